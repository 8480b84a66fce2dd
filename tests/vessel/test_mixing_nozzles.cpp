// Flight-control mixing: the two inner main engines' nozzles and, under guidance, the
// control surfaces.
#include <gtest/gtest.h>

#include <limits>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;

class MixingTest : public KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        korvan->first_step_pending = false;
        env.world.focus = nullptr;
        rates(_V(0.0, 0.0, 0.0));
        env.record(korvan).pins.mach = 0.5;
    }
    void rates(const VECTOR3& w) { env.record(korvan).pins.angular_vel = w; }
    VECTOR3 nozzle(int slot) {
        VECTOR3 d{};
        korvan->GetThrusterDir(korvan->main_thrusters[slot - 1], d);
        return d;
    }
    void expect_nozzle(int slot, double x, double y, double z) {
        const VECTOR3 d = nozzle(slot);
        EXPECT_NEAR(d.x, x, 1e-12) << "slot " << slot;
        EXPECT_NEAR(d.y, y, 1e-12) << "slot " << slot;
        EXPECT_NEAR(d.z, z, 1e-12) << "slot " << slot;
    }
};

TEST_F(MixingTest, AtRestBothNozzlesPointStraightAft) {
    for (int config : {-2, -1, 0, 1, 2}) {
        korvan->config_index = config;
        korvan->mix_flight_controls();
        expect_nozzle(1, 0.0, 0.0, 1.0);
        expect_nozzle(2, 0.0, 0.0, 1.0);
    }
}

TEST_F(MixingTest, EachLawTiltsTheNozzlesItsOwnWay) {
    // Demands come from rate damping: pitch = 2 w.x, yaw = -2 w.y, roll = 2 w.z.
    struct Case {
        int config;
        double mach;
        VECTOR3 w;
        VECTOR3 slot1, slot2;
    } cases[] = {
        {0, 0.5, _V(0.0, 0.0, 0.25), _V(0.0, -0.02, 1.0), _V(0.0, 0.02, 1.0)},     // roll 0.5, fixed gain
        {-1, 0.5, _V(0.0, 0.0, 0.25), _V(0.0, -0.02, 1.0), _V(0.0, 0.02, 1.0)},
        {2, 0.5, _V(0.0, 0.0, 0.25), _V(0.0, 0.02, 1.0), _V(0.0, -0.02, 1.0)},     // roll reversed
        {0, 0.5, _V(0.125, 0.0, 0.0), _V(0.0, 0.02, 1.0), _V(0.0, 0.02, 1.0)},     // pitch 0.25
        {1, 0.5, _V(0.125, 0.0, 0.0), _V(0.0, 0.06, 1.0), _V(0.0, 0.06, 1.0)},     // Mach-scaled, six engines
        {1, 5.99, _V(0.125, 0.0, 0.0), _V(0.0, 0.06, 1.0), _V(0.0, 0.06, 1.0)},
        {1, 6.0, _V(0.125, 0.0, 0.0), _V(0.0, 0.012, 1.0), _V(0.0, 0.012, 1.0)},
        {1, 0.5, _V(0.0, 0.0, 0.25), _V(0.0, -0.06, 1.0), _V(0.0, 0.06, 1.0)},
        {0, 0.5, _V(0.0, -0.25, 0.0), _V(0.01, 0.0, 1.0), _V(0.01, 0.0, 1.0)},     // yaw 0.5
        {1, 8.0, _V(0.0, 0.25, 0.0), _V(-0.01, 0.0, 1.0), _V(-0.01, 0.0, 1.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "config " << c.config << " Mach " << c.mach);
        korvan->config_index = c.config;
        env.record(korvan).pins.mach = c.mach;
        rates(c.w);
        korvan->mix_flight_controls();
        expect_nozzle(1, c.slot1.x, c.slot1.y, c.slot1.z);
        expect_nozzle(2, c.slot2.x, c.slot2.y, c.slot2.z);
    }
}

TEST_F(MixingTest, TheMachScaledGainFollowsTheEngineSet) {
    korvan->config_index = 1;
    korvan->num_engines = 4;
    rates(_V(0.125, 0.0, 0.0));
    korvan->mix_flight_controls();
    expect_nozzle(1, 0.0, 0.04, 1.0);
}

TEST_F(MixingTest, ConfigurationThreeAndAboveLeaveTheNozzlesAlone) {
    korvan->SetThrusterDir(korvan->main_thrusters[0], _V(0.1, 0.2, 1.0));
    korvan->SetThrusterDir(korvan->main_thrusters[1], _V(-0.1, 0.2, 1.0));
    rates(_V(0.3, 0.3, 0.3));
    for (int config : {3, 4, 100}) {
        korvan->config_index = config;
        korvan->mix_flight_controls();
        expect_nozzle(1, 0.1, 0.2, 1.0);
        expect_nozzle(2, -0.1, 0.2, 1.0);
    }
}

TEST_F(MixingTest, OnlyTheFocusVesselTakesThePilotsInputs) {
    korvan->config_index = 0;
    auto& manual = env.record(korvan).state.manual_levels;
    manual[THGROUP_ATT_PITCHDOWN] = 0.5;
    manual[THGROUP_ATT_YAWLEFT] = 1.0;
    manual[THGROUP_ATT_BANKRIGHT] = 0.5;
    korvan->mix_flight_controls();
    expect_nozzle(1, 0.0, 0.0, 1.0);
    env.give_focus(korvan);
    korvan->mix_flight_controls();
    // pitch 0.5, yaw 1, roll -0.5
    expect_nozzle(1, 0.02, 0.02 * (2.0 + 1.0), 1.0);
    expect_nozzle(2, 0.02, 0.02 * (2.0 - 1.0), 1.0);
}

TEST_F(MixingTest, TheGuidanceOutputsAreSquaredInPlaceEveryStep) {
    struct Case {
        double before, after;
    } cases[] = {{0.5, 0.25},
                 {-0.5, -0.25},
                 {1.0, 1.0},
                 {0.0, 0.0},
                 {3.0, 1.0},
                 {-1e308, -1.0},
                 {std::numeric_limits<double>::infinity(), 1.0},
                 {std::numeric_limits<double>::quiet_NaN(), 0.0}};
    for (const Case& c : cases) {
        korvan->pitch_output = korvan->yaw_output = korvan->roll_output = c.before;
        korvan->mix_flight_controls();
        EXPECT_EQ(korvan->pitch_output, c.after) << c.before;
        EXPECT_EQ(korvan->yaw_output, c.after) << c.before;
        EXPECT_EQ(korvan->roll_output, c.after) << c.before;
    }
    korvan->pitch_output = 0.5;
    korvan->mix_flight_controls();
    korvan->mix_flight_controls();
    EXPECT_EQ(korvan->pitch_output, 0.0625);
}

TEST_F(MixingTest, EngagedGuidanceSteersTheSurfacesAndTheNozzles) {
    korvan->config_index = 0;
    korvan->engaged = true;
    korvan->pitch_output = 0.5;   // squared: 0.25
    korvan->yaw_output = -0.5;    // -0.25
    korvan->roll_output = 0.2;    // 0.04
    korvan->mix_flight_controls();
    EXPECT_DOUBLE_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_ELEVATOR), -0.125);
    EXPECT_DOUBLE_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_AILERON), -0.02);
    EXPECT_DOUBLE_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_RUDDER), -0.125);
    expect_nozzle(1, 0.02 * -0.25, 0.02 * (4.0 * 0.25 - 2.0 * 0.04), 1.0);
    expect_nozzle(2, 0.02 * -0.25, 0.02 * (4.0 * 0.25 + 2.0 * 0.04), 1.0);
}

TEST_F(MixingTest, DisengagedGuidanceLeavesTheSurfacesToTheHost) {
    korvan->pitch_output = 0.5;
    korvan->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.3);
    korvan->mix_flight_controls();
    EXPECT_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_ELEVATOR), 0.3);
    expect_nozzle(1, 0.0, 0.0, 1.0);
}

TEST_F(MixingTest, AboveTenfoldTimeAccelerationOnlyTheSquaringHappens) {
    korvan->config_index = 0;
    rates(_V(0.125, 0.0, 0.0));
    korvan->pitch_output = 0.5;
    env.world.time_acceleration = 10.1;
    korvan->mix_flight_controls();
    EXPECT_EQ(korvan->pitch_output, 0.25);
    expect_nozzle(1, 0.0, 0.0, 1.0);
    env.world.time_acceleration = 10.0;
    korvan->mix_flight_controls();
    expect_nozzle(1, 0.0, 0.02, 1.0);
}

TEST_F(MixingTest, TheFirstStepChangesNothing) {
    korvan->first_step_pending = true;
    korvan->config_index = 0;
    korvan->pitch_output = 0.5;
    rates(_V(0.125, 0.0, 0.0));
    korvan->mix_flight_controls();
    EXPECT_EQ(korvan->pitch_output, 0.5);
    expect_nozzle(1, 0.0, 0.0, 1.0);
}

TEST_F(KorvanTest, OnTheVeryFirstPostStepTheGuidanceOutputsAreNotSquared) {
    // The yaw output survives the profile installation's reset; pitch and roll do not.
    korvan->yaw_output = -0.5;
    env.step(korvan);
    EXPECT_FALSE(korvan->first_step_pending);
    EXPECT_EQ(korvan->yaw_output, -0.5);
    env.step(korvan);
    EXPECT_EQ(korvan->yaw_output, -0.25);
}

}  // namespace
