// End to end through the real message link: a Korvan releases a STAGE whose group holds a
// STAGE with a PAYLOAD of its own and a second PAYLOAD; the new vessel, a class built on the
// same framework in a module of its own, takes the group into its table at its next step.
#include <string>

#include "stages_fixture.h"

namespace {

using stages_test::LinkLibrary;
using stages_test::Message;

constexpr double kOuterMass = 1000.0, kInnerStageMass = 300.0, kInnerPayloadMass = 50.0, kSecondPayloadMass = 70.0;
constexpr double kTestVesselHullMass = 1000.0;  // the test class's own empty mass

class HandoverEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        env.world.set_root(STAGES_TEST_RUN_TREE);
        runtime::VesselClass cls;
        cls.name = "CveTest";
        cls.module = "CveTestVessel";
        env.world.add_class(cls);
        env.world.add_class(stages_test::plain_class("Drop", 2.0, 500.0, 0.0));
        korvan = env.make();
        ASSERT_NE(korvan, nullptr);
        env.place_in_orbit(korvan);
        for (const char* line : {"STAGE O o.msh CveTest 0 0 -10 1000 0 0.5", "STAGE S s.msh Drop 0 1 -12 300 0 0",
                                 "PAYLOAD A a.msh Drop 0 2 -13 50 0 0", "ENDSTAGE",
                                 "PAYLOAD B b.msh Drop 0 -1 -14 70 0 0", "ENDSTAGE"})
            korvan->ParseItemLine(line);
        korvan->rebuild_vessel();
        korvan->config_index = 2;  // the payload key releases items
    }

    korvan_test::VesselWorld env;
    Korvan* korvan = nullptr;
};

TEST_F(HandoverEndToEnd, MessagesGoOutInTheOrderOfTheGroup) {
    korvan->SetSeparationVelocity(_V(0.0, 0.25, 0.0));
    VESSEL* outer = korvan->SeparateLastItem();
    ASSERT_NE(outer, nullptr);
    LinkLibrary link(STAGES_TEST_RUN_TREE);
    const Message end{"ENDSTAGE", "ENDSTAGE"};
    EXPECT_EQ(link.take_all(outer),
              (std::vector<Message>{{"STAGE", "STAGE S s.msh Drop 0.00 1.00 -2.00 300.00 0.00 0.00"},
                                    {"PAYLOAD", "PAYLOAD A a.msh Drop 0.00 2.00 -3.00 50.00 0.00 0.00"},
                                    end,
                                    {"PAYLOAD", "PAYLOAD B b.msh Drop 0.00 -1.00 -4.00 70.00 0.00 0.00"},
                                    end}));
}

TEST_F(HandoverEndToEnd, NewVesselHoldsTheGroupAfterItsNextStepAndTheCarrierNoLonger) {
    const double carrier_empty_before = korvan->GetEmptyMass();
    const std::size_t carrier_meshes_before = env.def(korvan).meshes.size();

    korvan->command_payload();

    runtime::VesselRecord* outer_rec = env.world.find_vessel("O");
    ASSERT_NE(outer_rec, nullptr);
    ASSERT_NE(outer_rec->iface, nullptr);
    auto* outer = static_cast<COMMON_VESSEL_EX*>(outer_rec->iface);
    EXPECT_EQ(outer->item_count(), 0);  // not yet: the lines wait for its next step

    outer->clbkPostStep(env.world.sim_time + 0.01, 0.01, env.world.mjd);

    ASSERT_EQ(outer->item_count(), 3);
    struct Expected {
        const char* name;
        short kind, parent;
        VECTOR3 offset;
    };
    const Expected expected[] = {{"S", CVE_STAGE, -1, _V(0.0, 1.0, -2.0)},
                                 {"A", CVE_PAYLOAD, 0, _V(0.0, 2.0, -3.0)},
                                 {"B", CVE_PAYLOAD, -1, _V(0.0, -1.0, -4.0)}};
    for (int i = 0; i < 3; ++i) {
        const CVE_ITEM& item = outer->item(i);
        EXPECT_STREQ(item.name, expected[i].name);
        EXPECT_EQ(item.kind, expected[i].kind) << item.name;
        EXPECT_EQ(item.parent, expected[i].parent) << item.name;
        EXPECT_DOUBLE_EQ(item.mesh.offset.x, expected[i].offset.x) << item.name;
        EXPECT_DOUBLE_EQ(item.mesh.offset.y, expected[i].offset.y) << item.name;
        EXPECT_DOUBLE_EQ(item.mesh.offset.z, expected[i].offset.z) << item.name;
    }
    EXPECT_EQ(outer->current_open_group(), -1);
    EXPECT_DOUBLE_EQ(outer->GetEmptyMass(), kTestVesselHullMass + kInnerStageMass + kInnerPayloadMass +
                                                kSecondPayloadMass);
    EXPECT_EQ(outer_rec->def.meshes.size(), 3u);

    EXPECT_EQ(korvan->item_count(), 0);
    EXPECT_DOUBLE_EQ(carrier_empty_before - korvan->GetEmptyMass(),
                     kOuterMass + kInnerStageMass + kInnerPayloadMass + kSecondPayloadMass);
    EXPECT_EQ(carrier_meshes_before - env.def(korvan).meshes.size(), 4u);
}

}  // namespace
