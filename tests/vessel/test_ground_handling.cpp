// Ground handling: touchdown points with the gear, friction, nose-wheel steering.
#include <gtest/gtest.h>

#include <limits>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;

constexpr double kMass = 100000.0;  // kg

class GroundTest : public KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        korvan->gear_state = MECH_OPEN;
        korvan->gear_position = 1.0;
        auto& pins = env.record(korvan).pins;
        pins.mass = kMass;
        pins.altitude = 1.35;
        pins.airspeed = 20.0;
    }
    void rudder(double level) { env.record(korvan).controls.control_surface_levels[AIRCTRL_RUDDER] = level; }
    // The steering couple's force at the nose point, after one run.
    double steering_force() {
        auto& forces = env.record(korvan).controls.added_forces;
        forces.clear();
        korvan->apply_ground_handling();
        EXPECT_EQ(forces.size(), 2u);
        if (forces.size() != 2) return std::numeric_limits<double>::quiet_NaN();
        EXPECT_EQ(forces[0].point.z, 12.0);
        EXPECT_EQ(forces[1].point.z, -12.0);
        EXPECT_EQ(forces[1].force.x, -forces[0].force.x);
        return forces[0].force.x;
    }
};

TEST_F(GroundTest, FrictionFollowsConfigurationBrakesAndGear) {
    struct Case {
        int config;
        bool brakes;
        double gear;
        double longitudinal;
    } cases[] = {{0, true, 0.0, 0.02},  {0, false, 1.0, 0.02},  {1, false, 1.0, 0.025}, {1, true, 1.0, 0.3},
                 {1, false, 0.999, 0.3}, {-1, false, 1.0, 0.025}, {3, false, 0.0, 0.3},  {2, true, 1.0, 0.3}};
    for (const Case& c : cases) {
        korvan->config_index = c.config;
        korvan->wheel_brakes_on = c.brakes;
        korvan->gear_position = c.gear;
        korvan->apply_ground_handling();
        EXPECT_EQ(env.def(korvan).friction_lng, c.longitudinal) << c.config << " " << c.brakes << " " << c.gear;
        EXPECT_EQ(env.def(korvan).friction_lat, 0.4);
    }
}

TEST_F(GroundTest, SteeringFadesInAndWeakensWithSpeed) {
    struct Case {
        double airspeed, per_kg;
    } cases[] = {{0.0, 0.0}, {2.9, 0.0}, {3.0, 0.0}, {5.5, 10.0}, {8.0, 20.0}, {39.0, 20.0}, {40.0, 4.0}, {90.0, 4.0}};
    rudder(0.5);
    for (const Case& c : cases) {
        env.record(korvan).pins.airspeed = c.airspeed;
        EXPECT_NEAR(steering_force(), kMass * c.per_kg * 0.5, 1e-6) << c.airspeed;
    }
}

TEST_F(GroundTest, NoSteeringInTheAirOrWithTheGearNotFullyDown) {
    rudder(1.0);
    env.record(korvan).pins.altitude = 4.6;
    EXPECT_EQ(steering_force(), 0.0);
    env.record(korvan).pins.altitude = 4.5;
    EXPECT_EQ(steering_force(), kMass * 20.0);
    korvan->gear_position = 0.999;
    EXPECT_EQ(steering_force(), 0.0);
}

TEST_F(GroundTest, ACentredRudderStillAppliesTheCouple) {
    rudder(0.0);
    EXPECT_EQ(steering_force(), 0.0);
}

TEST_F(GroundTest, UndefinedAirDataAppliesNoSteering) {
    rudder(1.0);
    env.record(korvan).pins.airspeed = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(steering_force(), 0.0);
}

TEST_F(GroundTest, TheTouchdownPointsFollowTheTravellingGear) {
    struct Case {
        int state;
        double position;
        double nose_y, main_y;
    } cases[] = {{MECH_OPENING, 0.5, -8.8, -12.64}, {MECH_CLOSING, 0.0, -5.8, -12.14}, {MECH_OPENING, 1.0, -11.8, -13.14}};
    for (const Case& c : cases) {
        korvan->gear_state = c.state;
        korvan->gear_position = c.position;
        korvan->apply_ground_handling();
        const auto& td = env.def(korvan).touchdown;
        EXPECT_NEAR(td[0].y, c.nose_y, 1e-12);
        EXPECT_EQ(td[0].z, 23.0);
        EXPECT_EQ(td[1].x, -8.7);
        EXPECT_NEAR(td[1].y, c.main_y, 1e-12);
        EXPECT_EQ(td[2].x, 8.7);
        EXPECT_NEAR(td[2].y, c.main_y, 1e-12);
        EXPECT_EQ(td[2].z, -11.9);
    }
}

TEST_F(GroundTest, AtRestTheTouchdownPointsKeepTheirLastValue) {
    korvan->gear_state = MECH_CLOSING;
    korvan->gear_position = 0.25;
    korvan->apply_ground_handling();
    korvan->gear_state = MECH_CLOSED;
    korvan->gear_position = 0.0;
    korvan->apply_ground_handling();
    EXPECT_NEAR(env.def(korvan).touchdown[0].y, 6.0 * 0.75 - 11.8, 1e-12);
}

}  // namespace
