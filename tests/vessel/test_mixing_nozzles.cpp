// Flight-control mixing: the two inner main engines' nozzles and, under guidance, the
// control surfaces.
#include <gtest/gtest.h>

#include <cmath>
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
    auto& manual = env.record(korvan).controls.manual_levels;
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
    // Every output is squared as it stands, beyond 1 too; only a square beyond what a fresh
    // command can reach (1 for pitch, (180/15)^2 for yaw, ((180+50)/25)^2 for roll) is held
    // there, and a value that is not a finite number counts as 0.
    constexpr double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double before;
        double pitch, yaw, roll;  // after one step
    } cases[] = {{0.5, 0.25, 0.25, 0.25},
                 {-0.5, -0.25, -0.25, -0.25},
                 {1.0, 1.0, 1.0, 1.0},
                 {0.0, 0.0, 0.0, 0.0},
                 {1.6, 1.0, 2.56, 2.56},
                 {-2.0, -1.0, -4.0, -4.0},
                 {9.2, 1.0, 84.64, 84.64},
                 {12.0, 1.0, 144.0, 84.64},
                 {-13.0, -1.0, -144.0, -84.64},
                 {-1e308, -1.0, -144.0, -84.64},
                 {inf, 0.0, 0.0, 0.0},
                 {-inf, 0.0, 0.0, 0.0},
                 {std::numeric_limits<double>::quiet_NaN(), 0.0, 0.0, 0.0}};
    for (const Case& c : cases) {
        korvan->pitch_output = korvan->yaw_output = korvan->roll_output = c.before;
        korvan->mix_flight_controls();
        EXPECT_NEAR(korvan->pitch_output, c.pitch, 1e-12) << c.before;
        EXPECT_NEAR(korvan->yaw_output, c.yaw, 1e-12) << c.before;
        EXPECT_NEAR(korvan->roll_output, c.roll, 1e-12) << c.before;
    }
    korvan->pitch_output = 0.5;
    korvan->mix_flight_controls();
    korvan->mix_flight_controls();
    EXPECT_EQ(korvan->pitch_output, 0.0625);
}

TEST_F(MixingTest, AFreshRollOutputBeyondOneDeflectsTheAileronsAsTheLawSays) {
    // A 50-degree heading correction gives the autopilot roll outputs of 2 and more; 1.6
    // squares to 2.56 and asks the ailerons for -0.5 x 2.56 = -1.28, which the host then
    // holds at full deflection.
    korvan->engaged = true;
    korvan->roll_output = 1.6;
    korvan->yaw_output = 1.5;
    korvan->mix_flight_controls();
    const auto& asked = env.record(korvan).controls.control_surface_requests;
    EXPECT_DOUBLE_EQ(asked[AIRCTRL_AILERON], -1.28);
    EXPECT_DOUBLE_EQ(asked[AIRCTRL_RUDDER], 0.5 * 2.25);
    EXPECT_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_AILERON), -1.0);
}

TEST_F(MixingTest, AKeptOutputAboveOneStaysBoundedStepAfterStep) {
    // Outputs the autopilot does not rewrite are squared on every step; over a long flight
    // without fresh commands they settle at their bound instead of running to infinity.
    korvan->engaged = true;
    rates(_V(0.0, 0.0, 0.0));
    for (double start : {1.0001, 1.6, -3.0, 9.2, 1e6}) {
        korvan->pitch_output = korvan->yaw_output = korvan->roll_output = start;
        for (int step = 0; step < 10000; ++step) {
            korvan->mix_flight_controls();
            ASSERT_TRUE(std::isfinite(korvan->yaw_output)) << start << " step " << step;
            ASSERT_LE(std::fabs(korvan->pitch_output), 1.0) << start << " step " << step;
            ASSERT_LE(std::fabs(korvan->yaw_output), 144.0) << start << " step " << step;
            ASSERT_LE(std::fabs(korvan->roll_output), 84.64) << start << " step " << step;
        }
        const double sign = start < 0.0 ? -1.0 : 1.0;
        EXPECT_DOUBLE_EQ(korvan->roll_output, sign * 84.64) << start;
        const VECTOR3 slot1 = nozzle(1);
        EXPECT_TRUE(std::isfinite(slot1.x) && std::isfinite(slot1.y)) << start;
    }
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
