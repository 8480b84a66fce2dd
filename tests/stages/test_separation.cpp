// Separation: the last carried item becomes a vessel where its mesh sat; a released STAGE
// hands its group to the new vessel over the message link.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "stages_fixture.h"

namespace {

using stages_test::LinkLibrary;
using stages_test::Message;

const VECTOR3 kCarrierPos = _V(7.0e6, 0.0, 0.0);    // m, global
const VECTOR3 kCarrierVel = _V(0.0, 0.0, 7500.0);  // m/s, global
const VECTOR3 kPayloadKeyVelocity = _V(0.0, 0.25, 0.0);
constexpr double kDropMaxFuel = 1000.0;  // kg
constexpr double kTolerance = 1e-9;

class SeparationTest : public korvan_test::KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        env.world.add_class(stages_test::plain_class("Drop", 2.0, 500.0, kDropMaxFuel));
        runtime::VesselRecord& rec = env.record(korvan);
        runtime::World::current().move(rec).pos = kCarrierPos;
        runtime::World::current().move(rec).vel = kCarrierVel;
    }

    // Item lines in table order, then a rebuild so that each item's position is its mesh's.
    void carry(const std::vector<const char*>& lines) {
        for (const char* line : lines) korvan->ParseItemLine(line);
        korvan->rebuild_vessel();
    }

    runtime::VesselRecord& record_of(VESSEL* v) { return *env.world.record(v->GetHandle()); }

    VESSEL* separate_with_key_velocity() {
        korvan->SetSeparationVelocity(kPayloadKeyVelocity);
        return korvan->SeparateLastItem();
    }

    LinkLibrary link{KORVAN_RUN_TREE};
};

void expect_near(const VECTOR3& a, const VECTOR3& b) {
    EXPECT_NEAR(a.x, b.x, kTolerance);
    EXPECT_NEAR(a.y, b.y, kTolerance);
    EXPECT_NEAR(a.z, b.z, kTolerance);
}

TEST_F(SeparationTest, EmptyTableReleasesNothing) { EXPECT_EQ(separate_with_key_velocity(), nullptr); }

TEST_F(SeparationTest, PayloadLeavesWhereItsMeshSatWithTheKeyVelocityAndItsFuel) {
    carry({"PAYLOAD P p.msh Drop 0 -1 5 300 0 0.5"});
    VESSEL* p = separate_with_key_velocity();
    ASSERT_NE(p, nullptr);
    runtime::VesselRecord& rec = record_of(p);
    EXPECT_EQ(rec.name, "P");
    EXPECT_EQ(rec.class_name, "Drop");
    expect_near(rec.state.pos, kCarrierPos + _V(0.0, -1.0, 5.0));
    expect_near(rec.state.vel, kCarrierVel + kPayloadKeyVelocity);
    EXPECT_DOUBLE_EQ(p->GetFuelMass(), 0.5 * kDropMaxFuel);
    EXPECT_EQ(korvan->item_count(), 0);
}

TEST_F(SeparationTest, OverrideIsUsedOnceThenTheItemsOwnVelocity) {
    carry({"PAYLOAD A a.msh Drop 0 0 -20 100 0 0", "PAYLOAD B b.msh Drop 3 4 0 100 0 0"});
    VESSEL* b = separate_with_key_velocity();
    ASSERT_NE(b, nullptr);
    expect_near(record_of(b).state.vel, kCarrierVel + kPayloadKeyVelocity);
    VESSEL* a = korvan->SeparateLastItem();
    ASSERT_NE(a, nullptr);
    expect_near(record_of(a).state.vel, kCarrierVel + _V(0.0, 0.0, 0.5));  // on the axis: straight back
}

TEST_F(SeparationTest, PayloadTurnedNinetyDegreesHasItsYAxisAlongTheCarriersZ) {
    carry({"PAYLOAD P p.msh Drop 0 0 0 100 90 0"});
    VESSEL* p = separate_with_key_velocity();
    ASSERT_NE(p, nullptr);
    const MATRIX3& r = record_of(p).state.R;
    expect_near(mul(r, _V(0.0, 1.0, 0.0)), _V(0.0, 0.0, 1.0));
    expect_near(mul(r, _V(1.0, 0.0, 0.0)), _V(1.0, 0.0, 0.0));
}

TEST_F(SeparationTest, StageHeadingAGroupKeepsTheCarriersOrientationWhateverItsAngle) {
    carry({"STAGE S s.msh Drop 0 0 -10 100 90 0", "PAYLOAD A a.msh Drop 0 1 -12 50 0 0"});
    VESSEL* s = separate_with_key_velocity();
    ASSERT_NE(s, nullptr);
    expect_near(mul(record_of(s).state.R, _V(0.0, 1.0, 0.0)), _V(0.0, 1.0, 0.0));
}

// The rotation by `angle` (rad) about the unit vector `axis`, as a vessel-to-global matrix.
MATRIX3 rotation(const VECTOR3& axis, double angle) {
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const VECTOR3 u = unit(axis);
    MATRIX3 m{};
    m.m11 = t * u.x * u.x + c, m.m12 = t * u.x * u.y - s * u.z, m.m13 = t * u.x * u.z + s * u.y;
    m.m21 = t * u.x * u.y + s * u.z, m.m22 = t * u.y * u.y + c, m.m23 = t * u.y * u.z - s * u.x;
    m.m31 = t * u.x * u.z - s * u.y, m.m32 = t * u.y * u.z + s * u.x, m.m33 = t * u.z * u.z + c;
    return m;
}

TEST_F(SeparationTest, FromARotatedAndTurningCarrierTheNewVesselFollowsTheCarriersAttitude) {
    // Over generated carrier attitudes and turn rates: the new vessel starts where the item
    // sat and moves with the carrier plus the separation velocity, both turned into the
    // global frame by the carrier's attitude; a single item is turned about the carrier's x
    // axis by its angle, a STAGE heading a group keeps the carrier's axes; both keep the
    // carrier's turn rate.
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> unit_interval(-1.0, 1.0);
    const VECTOR3 item_offset = _V(1.5, -2.0, 6.0);
    for (int trial = 0; trial < 40; ++trial) {
        const MATRIX3 carrier_r =
            rotation(_V(unit_interval(rng), unit_interval(rng), unit_interval(rng) + 1e-3), PI * unit_interval(rng));
        const VECTOR3 omega = _V(0.3 * unit_interval(rng), 0.3 * unit_interval(rng), 0.3 * unit_interval(rng));
        const double angle = std::round(18000.0 * unit_interval(rng)) / 100.0;  // as an item line holds it
        const bool group = trial % 2 == 1;
        SCOPED_TRACE(testing::Message() << "trial " << trial << (group ? " group" : " single") << " angle " << angle);

        runtime::VesselRecord& carrier = env.record(korvan);
        runtime::World::current().move(carrier).R = carrier_r;
        runtime::World::current().move(carrier).omega = omega;
        char line[160];
        // A new name each trial: the host makes no second vessel of a name.
        std::snprintf(line, sizeof line, "%s N%d n.msh Drop %.2f %.2f %.2f 100 %.2f 0", group ? "STAGE" : "PAYLOAD",
                      trial, item_offset.x, item_offset.y, item_offset.z, angle);
        carry({line});
        if (group) carry({"PAYLOAD M m.msh Drop 0 0 -12 10 0 0", "ENDSTAGE"});

        VESSEL* v = separate_with_key_velocity();
        ASSERT_NE(v, nullptr);
        link.take_all(v);
        const runtime::VesselState& s = record_of(v).state;
        expect_near(s.pos, kCarrierPos + mul(carrier_r, item_offset));
        expect_near(s.vel, kCarrierVel + mul(carrier_r, kPayloadKeyVelocity));
        expect_near(s.omega, omega);
        const double a = group ? 0.0 : angle * RAD;
        expect_near(mul(s.R, _V(1.0, 0.0, 0.0)), mul(carrier_r, _V(1.0, 0.0, 0.0)));
        expect_near(mul(s.R, _V(0.0, 1.0, 0.0)), mul(carrier_r, _V(0.0, std::cos(a), std::sin(a))));
        expect_near(mul(s.R, _V(0.0, 0.0, 1.0)), mul(carrier_r, _V(0.0, -std::sin(a), std::cos(a))));
        EXPECT_EQ(korvan->item_count(), 0);
    }
}

// Each case: the carried lines, the vessels released one separation after another, and
// the messages each new vessel finds waiting.
struct GroupCase {
    const char* what;
    std::vector<const char*> lines;
    std::vector<std::string> released;
    std::vector<std::vector<Message>> messages;
};

const Message kEnd{"ENDSTAGE", "ENDSTAGE"};
Message item_message(const char* keyword, const std::string& text) { return {keyword, text}; }

class GroupHandover : public SeparationTest, public ::testing::WithParamInterface<GroupCase> {};

TEST_P(GroupHandover, SendsTheGroupWithEveryGroupClosed) {
    const GroupCase& c = GetParam();
    carry(c.lines);
    for (std::size_t k = 0; k < c.released.size(); ++k) {
        VESSEL* v = separate_with_key_velocity();
        ASSERT_NE(v, nullptr) << c.what;
        EXPECT_EQ(record_of(v).name, c.released[k]) << c.what;
        EXPECT_EQ(link.take_all(v), c.messages[k]) << c.what;
    }
    EXPECT_EQ(korvan->item_count(), 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Separation, GroupHandover,
    ::testing::Values(
        GroupCase{"a stage with one payload",
                  {"STAGE S s.msh Drop 0 0 -10 100 0 0", "PAYLOAD A a.msh Drop 0 1 -12 50 0 0"},
                  {"S"},
                  {{item_message("PAYLOAD", "PAYLOAD A a.msh Drop 0.00 1.00 -2.00 50.00 0.00 0.00"), kEnd}}},
        GroupCase{"the group widens to the stage whose first member is a stage",
                  {"STAGE S1 s1.msh Drop 0 0 -10 100 0 0", "STAGE S2 s2.msh Drop 0 0 -12 80 0 0",
                   "PAYLOAD X x.msh Drop 0 0 -13 10 0 0"},
                  {"S1"},
                  {{item_message("STAGE", "STAGE S2 s2.msh Drop 0.00 0.00 -2.00 80.00 0.00 0.00"),
                    item_message("PAYLOAD", "PAYLOAD X x.msh Drop 0.00 0.00 -3.00 10.00 0.00 0.00"), kEnd}}},
        GroupCase{"an inner stage that is not the first member leaves on its own first",
                  {"STAGE S1 s1.msh Drop 0 0 -10 100 0 0", "PAYLOAD A a.msh Drop 0 0 -11 10 0 0",
                   "STAGE S2 s2.msh Drop 0 0 -12 80 0 0", "PAYLOAD X x.msh Drop 0 0 -13 10 0 0"},
                  {"S2", "S1"},
                  {{item_message("PAYLOAD", "PAYLOAD X x.msh Drop 0.00 0.00 -1.00 10.00 0.00 0.00"), kEnd},
                   {item_message("PAYLOAD", "PAYLOAD A a.msh Drop 0.00 0.00 -1.00 10.00 0.00 0.00"), kEnd}}},
        GroupCase{"two nested groups ending at one item are closed one by one",
                  {"STAGE O o.msh Drop 0 0 -10 100 0 0", "STAGE S s.msh Drop 0 0 -11 50 0 0",
                   "STAGE T t.msh Drop 0 0 -12 40 0 0", "PAYLOAD X x.msh Drop 0 0 -13 10 0 0", "ENDSTAGE",
                   "ENDSTAGE", "PAYLOAD Y y.msh Drop 0 0 -14 20 0 0"},
                  {"O"},
                  {{item_message("STAGE", "STAGE S s.msh Drop 0.00 0.00 -1.00 50.00 0.00 0.00"),
                    item_message("STAGE", "STAGE T t.msh Drop 0.00 0.00 -2.00 40.00 0.00 0.00"),
                    item_message("PAYLOAD", "PAYLOAD X x.msh Drop 0.00 0.00 -3.00 10.00 0.00 0.00"), kEnd, kEnd,
                    item_message("PAYLOAD", "PAYLOAD Y y.msh Drop 0.00 0.00 -4.00 20.00 0.00 0.00"), kEnd}}},
        GroupCase{"a stage without items of its own is closed before its sibling",
                  {"STAGE O o.msh Drop 0 0 -10 100 0 0", "STAGE E e.msh Drop 0 0 -11 50 0 0", "ENDSTAGE",
                   "PAYLOAD Y y.msh Drop 0 0 -12 20 0 0"},
                  {"O"},
                  {{item_message("STAGE", "STAGE E e.msh Drop 0.00 0.00 -1.00 50.00 0.00 0.00"), kEnd,
                    item_message("PAYLOAD", "PAYLOAD Y y.msh Drop 0.00 0.00 -2.00 20.00 0.00 0.00"), kEnd}}}),
    [](const ::testing::TestParamInfo<GroupCase>& param) { return "case" + std::to_string(param.index); });

TEST_F(SeparationTest, GroupReachingTheLastSlotEndsWithEndstageAfterSlot49) {
    korvan->ParseItemLine("STAGE S s.msh Drop 0 0 -10 100 0 0");
    for (int i = 1; i < CVE_MAX_ITEMS; ++i) korvan->ParseItemLine("PAYLOAD P p.msh Drop 0 0 -11 1 0 0");
    korvan->rebuild_vessel();
    ASSERT_EQ(korvan->item_count(), CVE_MAX_ITEMS);
    VESSEL* s = separate_with_key_velocity();
    ASSERT_NE(s, nullptr);
    const std::vector<Message> messages = link.take_all(s);
    ASSERT_EQ(messages.size(), static_cast<std::size_t>(CVE_MAX_ITEMS));  // 49 items, one end
    EXPECT_EQ(messages[48].first, "PAYLOAD");
    EXPECT_EQ(messages.back(), kEnd);
    EXPECT_EQ(korvan->item_count(), 0);
}

TEST_F(SeparationTest, FailedCreationOfASinglePayloadLeavesItAndTheOverrideInPlace) {
    carry({"PAYLOAD A a.msh Drop 0 0 -20 100 0 0", "PAYLOAD B b.msh Later 0 0 -21 100 0 0"});
    EXPECT_EQ(separate_with_key_velocity(), nullptr);  // class "Later" is not known yet
    EXPECT_EQ(korvan->item_count(), 2);
    EXPECT_TRUE(korvan->item(1).in_use);

    env.world.add_class(stages_test::plain_class("Later", 2.0, 500.0, 0.0));
    VESSEL* b = korvan->SeparateLastItem();
    ASSERT_NE(b, nullptr);
    expect_near(record_of(b).state.vel, kCarrierVel + kPayloadKeyVelocity);  // the kept override
    EXPECT_EQ(korvan->item_count(), 1);
}

TEST_F(SeparationTest, FailedCreationOfAStageKeepsItsWholeGroupAndSendsNothing) {
    carry({"STAGE S s.msh Later 0 0 -10 100 0 0", "PAYLOAD A a.msh Drop 0 1 -12 50 0 0"});
    EXPECT_EQ(separate_with_key_velocity(), nullptr);
    EXPECT_EQ(korvan->item_count(), 2);
    EXPECT_TRUE(korvan->item(0).in_use);
    EXPECT_EQ(korvan->item(1).parent, 0);
    EXPECT_EQ(env.world.find_vessel("S"), nullptr);
    EXPECT_EQ(env.world.vessel_count(), 1u);
}

TEST_F(SeparationTest, ThePayloadKeyAfterAFailedReleaseKeepsTheItemForTheNextPress) {
    carry({"PAYLOAD B b.msh Later 0 0 -21 100 0 0"});
    korvan->config_index = 2;
    korvan->command_payload();
    EXPECT_EQ(korvan->item_count(), 1);
    env.world.add_class(stages_test::plain_class("Later", 2.0, 500.0, 0.0));
    korvan->command_payload();
    EXPECT_EQ(korvan->item_count(), 0);
    EXPECT_NE(env.world.find_vessel("B"), nullptr);
}

}  // namespace
