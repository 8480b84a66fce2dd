// The ascent autopilot: profile, release timing, pitch shaping, heading hold and cut-off.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;

constexpr double kEarthRadiusKm = 6371.0;

// The post-step's calling contract: schedule after a Reset, else the mission clock.
void guidance_tick(Korvan* k, double simt) {
    if (k->launch_time == -100.0) {
        k->mission_time = -5.0;
        k->launch_time = 0.0;
    } else {
        k->mission_time = simt - k->launch_time;
    }
    k->Step(k, simt);
}

struct Flight {
    double altitude = 0.0;        // m
    double speed = 0.0;           // m/s, relative to the body
    double apoapsis_km = 50.0;
    double vertical_speed = 0.0;  // m/s
    double pitch_deg = 0.0, bank_deg = 0.0, aoa_deg = 0.0, slip_deg = 0.0, heading_deg = 90.0;
    VECTOR3 angular_vel{};
    double dyn_pressure = 0.0, atm_pressure = 0.0;
};

double speed_for_energy(double energy, double altitude = 0.0) { return std::sqrt((energy - altitude * 1e-6) * 1e6); }

class AscentTest : public KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        korvan->load_default_profile();
        korvan->armed = false;  // released: every Step is an ascent step
        korvan->release_pending = false;
    }
    void fly(const Flight& f) {
        auto& pins = env.record(korvan).pins;
        pins.altitude = f.altitude;
        pins.relative_vel = _V(f.speed, 0.0, 0.0);
        ELEMENTS el{};
        el.a = (kEarthRadiusKm + f.apoapsis_km) * 1000.0;
        el.e = 0.0;
        pins.elements = el;
        pins.horizon_airspeed = _V(0.0, f.vertical_speed, 0.0);
        pins.pitch = f.pitch_deg * RAD;
        pins.bank = f.bank_deg * RAD;
        pins.aoa = f.aoa_deg * RAD;
        pins.slip = f.slip_deg * RAD;
        pins.heading = f.heading_deg * RAD;
        pins.angular_vel = f.angular_vel;
        pins.dyn_pressure = f.dyn_pressure;
        pins.atm_pressure = f.atm_pressure;
    }
    void step(const Flight& f) {
        fly(f);
        env.world.sim_time += 0.01;
        korvan->Step(korvan, env.world.sim_time);
    }
    double main_level() { return korvan->GetThrusterGroupLevel(THGROUP_MAIN); }
};

TEST_F(KorvanTest, ProfilePitchInterpolatesTheAscentProfile) {
    korvan->load_default_profile();
    ASSERT_EQ(korvan->profile_size(), 14);
    struct Case {
        double energy, pitch;
    } cases[] = {{0.85, 38.5}, {0.2, 48.5}, {18.0, 0.0}, {25.0, 0.0}, {-0.1, 49.25},
                 {0.0, 49.0},  {1.0, 30.0}, {12.0, 3.0}, {8.5, 4.0}};
    for (const Case& c : cases) EXPECT_NEAR(korvan->ProfilePitch(c.energy), c.pitch, 1e-12) << c.energy;
}

TEST_F(KorvanTest, ProfilePitchOfNotANumberIsTheFirstPointsPitch) {
    korvan->load_default_profile();
    EXPECT_EQ(korvan->ProfilePitch(std::numeric_limits<double>::quiet_NaN()), 49.0);
}

TEST_F(KorvanTest, ProfilePitchWithoutAProfileIsZeroAndReadsNothing) {
    EXPECT_EQ(korvan->profile_size(), 0);
    EXPECT_EQ(korvan->ProfilePitch(1.0), 0.0);
    korvan->SetProfile(3, nullptr, new double[3]{1.0, 2.0, 3.0});
    EXPECT_EQ(korvan->profile_size(), 0);
    EXPECT_EQ(korvan->ProfilePitch(1.0), 0.0);
}

TEST_F(KorvanTest, ProfilePitchOfARepeatedAbscissaStaysDefined) {
    korvan->SetProfile(3, new double[3]{0.0, 1.0, 1.0}, new double[3]{10.0, 20.0, 30.0});
    EXPECT_EQ(korvan->ProfilePitch(1.0), 20.0);
    EXPECT_EQ(korvan->ProfilePitch(0.5), 15.0);
    EXPECT_EQ(korvan->ProfilePitch(2.0), 30.0);
}

TEST_F(KorvanTest, InstallingTheProfileArmsTheAutopilot) {
    korvan->engaged = true;
    korvan->load_default_profile();
    EXPECT_TRUE(korvan->armed);
    EXPECT_FALSE(korvan->engaged);
    EXPECT_EQ(korvan->launch_time, -100.0);
    EXPECT_EQ(korvan->pitch_error_gain, 0.2);
    EXPECT_EQ(korvan->pitch_rate_gain, 0.9);
    EXPECT_EQ(korvan->target_apoapsis_altitude, 115.0);
    EXPECT_EQ(korvan->body_radius, 6371000.0);
    EXPECT_EQ(korvan->body_gm, 3.986e14);
}

TEST_F(KorvanTest, TheFirstStepOnlySchedulesTheReleaseAQuarterSecondAhead) {
    korvan->load_default_profile();
    guidance_tick(korvan, 10.0);
    EXPECT_TRUE(korvan->armed);
    EXPECT_EQ(korvan->launch_time, 10.25);
    guidance_tick(korvan, 10.25);  // mission time exactly 0: not yet
    EXPECT_TRUE(korvan->armed);
    guidance_tick(korvan, 10.26);
    EXPECT_FALSE(korvan->armed);
    EXPECT_TRUE(korvan->release_pending);
    guidance_tick(korvan, 10.27);
    EXPECT_FALSE(korvan->release_pending);
}

TEST_F(KorvanTest, AnEngagedReleaseRunsTheMainEnginesAtFullThrust) {
    korvan->load_default_profile();
    korvan->engaged = true;
    guidance_tick(korvan, 0.0);
    EXPECT_EQ(korvan->GetThrusterGroupLevel(THGROUP_MAIN), 0.0);
    guidance_tick(korvan, 0.3);
    EXPECT_EQ(korvan->GetThrusterGroupLevel(THGROUP_MAIN), 1.0);
}

TEST_F(AscentTest, TheClimbCorrectionStaysLatchedWhenTheApoapsisDropsAgain) {
    // Energy index 1.02: profile pitch 29.2.
    Flight f{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 94.0, .vertical_speed = 100.0};
    step(f);
    EXPECT_NEAR(korvan->pitch_command, 29.2 - 0.02 * 100.0, 1e-9);
    EXPECT_FALSE(korvan->climb_latched);
    f.apoapsis_km = 96.0;
    step(f);
    EXPECT_TRUE(korvan->climb_latched);
    EXPECT_NEAR(korvan->pitch_command, 29.2 - 0.012 * 100.0, 1e-9);
    f.apoapsis_km = 94.0;
    step(f);
    EXPECT_NEAR(korvan->pitch_command, 29.2 - 0.012 * 100.0, 1e-9);
}

TEST_F(AscentTest, SinkingFasterThanTenMetresPerSecondLatchesTheClimbCorrection) {
    step(Flight{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 50.0, .vertical_speed = -11.0});
    EXPECT_TRUE(korvan->climb_latched);
}

TEST_F(AscentTest, TheLatchedLawFeedsBackTheAngleOfAttack) {
    korvan->climb_latched = true;
    // Sinking: k = 0.98 - 0.0156 sqrt(energy index).
    step(Flight{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 100.0, .vertical_speed = -5.0, .aoa_deg = 2.0});
    const double k = 0.98 - 0.0156 * std::sqrt(1.02);
    EXPECT_NEAR(korvan->pitch_command, 29.2 + 0.012 * 5.0 + k * 2.0, 1e-9);
}

TEST_F(AscentTest, AnApoapsisOfZeroCommandsAtLeastNineteenDegrees) {
    step(Flight{.altitude = 0.0, .speed = speed_for_energy(9.0), .apoapsis_km = 0.0});
    EXPECT_NEAR(korvan->pitch_command, 19.0, 1e-9);
    EXPECT_TRUE(korvan->climb_latched);
}

TEST_F(AscentTest, AboveAnEnergyIndexOfFiveEquivalentAirspeedRaisesThePitchCommand) {
    step(Flight{.altitude = 0.0, .speed = speed_for_energy(6.0), .apoapsis_km = 100.0, .dyn_pressure = 20000.0,
                .atm_pressure = 101400.0});
    const double keas = 661.48 * std::sqrt(5.0 * (std::pow(20000.0 / 101400.0 + 1.0, 0.2857142857142857) - 1.0));
    const double profile = 5.0 + (3.0 - 5.0) / 7.0 * 1.0;
    EXPECT_NEAR(korvan->pitch_command, profile + keas / 20.0, 1e-9);
}

TEST_F(AscentTest, BelowAnEnergyIndexOf019ThePitchOutputIsHeldAtZero) {
    struct Case {
        double energy;
        bool steers;
    } cases[] = {{0.1, false}, {0.189, false}, {0.2, true}};
    for (const Case& c : cases) {
        step(Flight{.speed = speed_for_energy(c.energy), .pitch_deg = -30.0, .angular_vel = _V(0.1, 0.0, 0.0)});
        if (c.steers) {
            EXPECT_NE(korvan->pitch_output, 0.0) << c.energy;
        } else {
            EXPECT_EQ(korvan->pitch_output, 0.0) << c.energy;
        }
    }
}

TEST_F(AscentTest, ThePitchLawIsProportionalPlusRateAndLimited) {
    // Energy 1.02 gives a profile pitch 29.2 less 0.02 x vs (0): error = 29.2 - 25.
    step(Flight{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 50.0, .pitch_deg = 25.0});
    EXPECT_NEAR(korvan->pitch_error, 0.2 * 4.2, 1e-9);
    EXPECT_NEAR(korvan->pitch_output, -0.84, 1e-9);
    step(Flight{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 50.0, .pitch_deg = -30.0});
    EXPECT_EQ(korvan->pitch_output, -1.0);
    step(Flight{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 50.0, .pitch_deg = 29.2,
                .angular_vel = _V(1.0 * RAD, 0.0, 0.0)});
    EXPECT_NEAR(korvan->pitch_output, 0.9, 1e-9);
}

TEST_F(AscentTest, TheHeadingErrorTakesTheShorterWayRound) {
    struct Case {
        double heading, azimuth, error;
    } cases[] = {{350.0, 10.0, -20.0}, {10.0, 350.0, 20.0}, {90.0, 90.0, 0.0}, {100.0, 90.0, 10.0},
                 {90.0, 180.0, -50.0}, {200.0, 90.0, 50.0}, {45.0, 405.0, 0.0}};
    for (const Case& c : cases) {
        korvan->target_heading = c.azimuth + 180.0;
        step(Flight{.altitude = 1000.0, .speed = 1000.0, .apoapsis_km = 50.0, .heading_deg = c.heading});
        EXPECT_NEAR(korvan->bank_demand, c.error, 1e-9) << c.heading << " against " << c.azimuth;
        EXPECT_NEAR(korvan->roll_output, c.error / 25.0, 1e-9);
    }
}

TEST_F(AscentTest, TheMarkerTiltIsTheNegatedBankDemandWithinEightDegrees) {
    korvan->target_heading = 270.0;
    step(Flight{.altitude = 1000.0, .speed = 1000.0, .apoapsis_km = 50.0, .bank_deg = 5.0});
    EXPECT_NEAR(korvan->bank_demand, -5.0, 1e-9);
    EXPECT_NEAR(korvan->marker_bank_angle, 5.0 * RAD, 1e-12);
    step(Flight{.altitude = 1000.0, .speed = 1000.0, .apoapsis_km = 50.0, .bank_deg = -20.0});
    EXPECT_NEAR(korvan->marker_bank_angle, -8.0 * RAD, 1e-12);
}

TEST_F(AscentTest, BelowOneHundredMetresTheWingsAreHeldLevel) {
    korvan->target_heading = 270.0;
    step(Flight{.altitude = 50.0, .speed = 1000.0, .bank_deg = 10.0, .heading_deg = 120.0});
    EXPECT_EQ(korvan->bank_demand, 0.0);
    EXPECT_EQ(korvan->roll_output, 0.0);
}

TEST_F(AscentTest, AboveAnEnergyIndexOfEightOnlyTheBankIsHeld) {
    korvan->target_heading = 270.0;
    step(Flight{.altitude = 1000.0, .speed = speed_for_energy(9.0, 1000.0), .apoapsis_km = 100.0, .bank_deg = 4.0,
                .heading_deg = 120.0});
    EXPECT_NEAR(korvan->bank_demand, -4.0, 1e-9);
}

TEST_F(AscentTest, FastTimeAccelerationReducesTheYawOutputBelowAnEnergyIndexOfEight) {
    struct Case {
        double energy, time_acceleration, yaw;
    } cases[] = {{5.0, 1.0, 0.2}, {5.0, 10.0, 0.2}, {5.0, 20.0, 0.04}, {9.0, 20.0, 0.2}, {3.0, 1.0, 0.7}};
    for (const Case& c : cases) {
        korvan->yaw_output = 0.7;  // kept below an energy index of 3.5
        env.world.time_acceleration = c.time_acceleration;
        step(Flight{.speed = speed_for_energy(c.energy), .apoapsis_km = 100.0, .slip_deg = 3.0});
        EXPECT_NEAR(korvan->yaw_output, c.yaw, 1e-12) << c.energy << " at x" << c.time_acceleration;
    }
}

TEST_F(AscentTest, TheCutOffRepeatsEveryStepEvenWhileDisengaged) {
    const Flight orbit{.altitude = 100000.0, .speed = 8000.0, .apoapsis_km = 120.0};
    korvan->engaged = true;
    korvan->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    korvan->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.4);
    step(orbit);
    EXPECT_TRUE(korvan->cutoff_done);
    EXPECT_FALSE(korvan->engaged);
    EXPECT_EQ(main_level(), 0.0);
    EXPECT_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_ELEVATOR), 0.0);
    EXPECT_EQ(korvan->cutoff_time, env.world.sim_time);
    for (int i = 0; i < 3; ++i) {
        korvan->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
        step(orbit);
        EXPECT_EQ(main_level(), 0.0);
        EXPECT_EQ(korvan->pitch_output, 0.0);
    }
}

TEST_F(AscentTest, TheRequiredSpeedIsThatOfTheOrbitReachingTheTargetApoapsis) {
    step(Flight{.altitude = 100000.0, .speed = 1000.0, .apoapsis_km = 50.0});
    const double r = 6471000.0, ra = 6486000.0, a = (r + ra) / 2.0, e = ra / a - 1.0;
    EXPECT_NEAR(korvan->required_speed, std::sqrt((1.0 - e * e) * a * 3.986e14) / r, 1e-9);
    EXPECT_FALSE(korvan->cutoff_done);  // energy index below 10
}

TEST_F(AscentTest, EngagedAscentStepsHoldFullThrust) {
    korvan->engaged = true;
    step(Flight{.altitude = 1000.0, .speed = 300.0, .apoapsis_km = 10.0});
    EXPECT_EQ(main_level(), 1.0);
}

TEST_F(AscentTest, UndefinedAirDataLeavesThePitchOutputDefined) {
    Flight f{.altitude = 20000.0, .speed = 1000.0, .apoapsis_km = 50.0};
    f.pitch_deg = std::numeric_limits<double>::quiet_NaN();
    step(f);
    EXPECT_EQ(korvan->pitch_output, 0.0);
}

TEST_F(AscentTest, SteeringToTheAzimuthWaitsForFiftyMetres) {
    korvan->yaw_output = 0.3;
    fly(Flight{.altitude = 40.0});
    korvan->SteerToAzimuth(korvan, 0.0);
    EXPECT_EQ(korvan->yaw_output, 0.3);
    fly(Flight{.altitude = 1000.0, .heading_deg = 90.0});
    korvan->energy_index = 1.0;
    korvan->target_heading = 270.0;  // on course: the wanted yaw rate is 0
    korvan->SteerToAzimuth(korvan, 0.0);
    EXPECT_EQ(korvan->yaw_output, 0.0);
}

}  // namespace
