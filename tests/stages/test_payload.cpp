// Payload vessels captured at the payload point by their "BOLT" points, weighed by the
// carrier, and vessels grappled and released at the grapple point by their "GS" points.
#include <string>

#include "stages_fixture.h"

namespace {

// The carrier stands so that its payload point, (0, -1.2, 21) in its frame, is the global
// origin: every distance below is measured from there.
const VECTOR3 kCarrierPos = _V(0.0, 1.2, -21.0);
constexpr double kSatMass = 800.0;  // kg
constexpr double kSatSize = 2.0;    // m

class PayloadTest : public korvan_test::KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        runtime::World::current().move(env.record(korvan)).pos = kCarrierPos;
    }

    // A plain vessel of its own class with one to-parent point `id` at `point` in its frame,
    // placed so that the point lies at `point_global`.
    OBJHANDLE place(const std::string& name, const std::string& id, const VECTOR3& point, const VECTOR3& point_global,
                    double mass = kSatMass, double size = kSatSize) {
        env.world.add_class(
            stages_test::plain_class("Sat_" + name, size, mass, 0.0, {stages_test::to_parent_point(point, id)}));
        runtime::VesselRecord* rec = env.world.instantiate_vessel(name, "Sat_" + name);
        EXPECT_NE(rec, nullptr);
        runtime::World::current().move(*rec).pos = point_global - point;
        return rec;
    }

    OBJHANDLE held_at_payload_point() const { return korvan->GetAttachmentStatus(korvan->payload_attachment); }
    OBJHANDLE held_at_grapple_point() const { return korvan->GetAttachmentStatus(korvan->grapple_attachment); }
};

struct CaptureCase {
    const char* what;
    const char* id;
    double bolt_offset;  // m from the payload point along x
    bool captured;
};

class CaptureRule : public PayloadTest, public ::testing::WithParamInterface<CaptureCase> {};

TEST_P(CaptureRule, CapturesABoltPointWithinReachAndWeighsItAtTheRebuild) {
    const CaptureCase& c = GetParam();
    OBJHANDLE sat = place("S", c.id, _V(0.0, -1.0, 0.0), _V(c.bolt_offset, 0.0, 0.0));
    const double empty_before = korvan->GetEmptyMass();
    korvan->command_payload();  // configuration 1, doors closed: capture and rebuild only
    EXPECT_EQ(held_at_payload_point(), c.captured ? sat : nullptr) << c.what;
    EXPECT_DOUBLE_EQ(korvan->payload_mass, c.captured ? kSatMass : 0.0) << c.what;
    EXPECT_DOUBLE_EQ(korvan->GetEmptyMass() - empty_before, c.captured ? kSatMass : 0.0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Payload, CaptureRule,
                         ::testing::Values(CaptureCase{"0.24 m away", "BOLT1", 0.24, true},
                                           CaptureCase{"0.25 m away", "BOLT1", 0.25, false},
                                           CaptureCase{"the id BOLT alone", "BOLT", 0.0, true},
                                           CaptureCase{"BOLT followed by more letters", "BOLTED_X", 0.1, true},
                                           CaptureCase{"the same id in lower case", "bolt1", 0.0, false},
                                           CaptureCase{"BOLT not at the start", "XBOLT", 0.0, false}),
                         [](const ::testing::TestParamInfo<CaptureCase>& param) {
                             return "case" + std::to_string(param.index);
                         });

TEST_F(PayloadTest, VesselWhoseSizeEqualsItsDistanceIsNotExamined) {
    // Centre 2 m above the payload point, its BOLT point exactly on it.
    OBJHANDLE sat = place("S", "BOLT1", _V(0.0, -2.0, 0.0), _V(0.0, 0.0, 0.0), kSatMass, 2.0);
    korvan->capture_payload();
    EXPECT_EQ(held_at_payload_point(), nullptr);
    env.world.record(sat)->def.size = 2.0001;
    korvan->capture_payload();
    EXPECT_EQ(held_at_payload_point(), sat);
}

TEST_F(PayloadTest, TwoMatchesAreAttachedInTurnAndTheLastOneIsWeighed) {
    place("A", "BOLT1", _V(0.0, -1.0, 0.0), _V(0.1, 0.0, 0.0), 800.0);
    OBJHANDLE b = place("B", "BOLT1", _V(0.0, -1.0, 0.0), _V(-0.1, 0.0, 0.0), 1200.0);
    korvan->capture_payload();
    EXPECT_EQ(held_at_payload_point(), b);
    EXPECT_DOUBLE_EQ(korvan->payload_mass, 1200.0);
}

TEST_F(PayloadTest, PayloadPlacedInTheScenarioWeighsFromTheFirstStep) {
    const double empty_before = korvan->GetEmptyMass();
    OBJHANDLE sat = place("S", "BOLT1", _V(0.0, -1.0, 0.0), _V(0.0, 0.0, 0.0));
    env.step(korvan);
    EXPECT_EQ(held_at_payload_point(), sat);
    EXPECT_DOUBLE_EQ(korvan->GetEmptyMass() - empty_before, kSatMass);
}

TEST_F(PayloadTest, PayloadThatLeftThePayloadPointNoLongerCounts) {
    const double empty_before = korvan->GetEmptyMass();
    OBJHANDLE sat = place("S", "BOLT1", _V(0.0, -1.0, 0.0), _V(0.0, 0.0, 0.0));
    korvan->command_payload();
    ASSERT_EQ(held_at_payload_point(), sat);
    korvan->DetachChild(korvan->payload_attachment, 0.0);  // released by someone else
    runtime::World::current().move(*env.world.record(sat)).pos = _V(100.0, 0.0, 0.0);
    korvan->command_payload();
    EXPECT_DOUBLE_EQ(korvan->payload_mass, 0.0);
    EXPECT_DOUBLE_EQ(korvan->GetEmptyMass(), empty_before);
}

TEST_F(PayloadTest, PayloadKeyAlternatesBetweenGrapplingAndReleasing) {
    korvan->config_index = 2;  // past the launch configurations: the key works the payloads
    OBJHANDLE arm = place("Arm", "GS1", _V(0.0, 0.0, 0.0), _V(1.5, 0.0, 0.0));
    korvan->command_payload();
    EXPECT_EQ(held_at_grapple_point(), arm);
    korvan->command_payload();
    EXPECT_EQ(held_at_grapple_point(), nullptr);
    runtime::World::current().move(*env.world.record(arm)).pos = _V(0.0, 1.9, 0.0);  // drifted back within 2 m
    korvan->command_payload();
    EXPECT_EQ(held_at_grapple_point(), arm);
}

TEST_F(PayloadTest, GrappleLooksAroundThePayloadPointsPresentPosition) {
    korvan->config_index = 2;
    korvan->capture_payload();
    runtime::World::current().move(env.record(korvan)).pos = kCarrierPos + _V(50.0, 0.0, 0.0);
    OBJHANDLE arm = place("Arm", "GS1", _V(0.0, 0.0, 0.0), _V(51.0, 0.0, 0.0));
    place("Far", "GS1", _V(0.0, 0.0, 0.0), _V(2.0, 0.0, 0.0));  // 2 m from the old point, 48 from the new
    korvan->command_payload();
    EXPECT_EQ(held_at_grapple_point(), arm);
}

TEST_F(PayloadTest, GrappleNeedsAGsPointWithinTwoMetres) {
    korvan->config_index = 2;
    place("Lower", "gs1", _V(0.0, 0.0, 0.0), _V(1.0, 0.0, 0.0));
    place("Edge", "GS1", _V(0.0, 0.0, 0.0), _V(2.0, 0.0, 0.0), kSatMass, 3.0);
    korvan->command_payload();
    EXPECT_EQ(held_at_grapple_point(), nullptr);
}

}  // namespace
