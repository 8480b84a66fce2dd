#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

constexpr double kStep = 0.01;            // s
constexpr double kHeadingEast = PI05;     // rad
constexpr double kLatitude = 28.5 * RAD;  // rad
// The nose wheel sits 1.34 m higher than the main wheels, 34.9 m ahead of them.
const double kPitchOnGear = -std::atan2(13.14 - 11.8, 23.0 + 11.9);

struct OnTheRunway : ::testing::Test {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = nullptr;
    std::unique_ptr<physics::Physics> phys;
    void SetUp() override {
        v = korvan_like::create_plain_vessel(world, "K");
        ASSERT_NE(v, nullptr);
        v->def = runtime::VesselDefinition{};
        korvan_like::define(*v, mech);
        physics::rest_on_ground(world, *v, -80.6 * RAD, kLatitude, kHeadingEast);
        phys = std::make_unique<physics::Physics>(world);
    }
    void run(double seconds) {
        for (long i = 0, n = std::lround(seconds / kStep); i < n; ++i) phys->step(kStep);
    }
    VECTOR3 ground_relative_velocity() const {
        const VECTOR3 g = physics::ground_velocity(world.earth, v->state.pos);
        return _V(v->state.vel.x - g.x, v->state.vel.y - g.y, v->state.vel.z - g.z);
    }
    double along_track_speed() const {
        const VECTOR3 nose = _V(v->state.R.m13, v->state.R.m23, v->state.R.m33);
        const VECTOR3 u = ground_relative_velocity();
        return nose.x * u.x + nose.y * u.y + nose.z * u.z;
    }
    double mass() const { return korvan_like::kEmptyMass + v->def.propellants[0]->mass; }
    // Height above the surface of a touchdown point.
    double point_height(size_t i) const {
        const VECTOR3& p = v->def.touchdown[i];
        const MATRIX3& R = v->state.R;
        const VECTOR3 g = _V(v->state.pos.x + R.m11 * p.x + R.m12 * p.y + R.m13 * p.z,
                             v->state.pos.y + R.m21 * p.x + R.m22 * p.y + R.m23 * p.z,
                             v->state.pos.z + R.m31 * p.x + R.m32 * p.y + R.m33 * p.z);
        return std::sqrt(g.x * g.x + g.y * g.y + g.z * g.z) - world.earth.radius;
    }
    double surface_gravity() const { return world.earth.mu / (world.earth.radius * world.earth.radius); }
};

TEST_F(OnTheRunway, AVesselAtRestStaysExactlyWhereItIs) {
    double lng0, lat0, rad0;
    world.equ_pos(*v, lng0, lat0, rad0);
    const MATRIX3 turn0 = v->state.R;
    run(60.0);
    double lng, lat, rad;
    world.equ_pos(*v, lng, lat, rad);
    EXPECT_TRUE(v->state.landed);
    EXPECT_NEAR(lng, lng0, 1e-13);
    EXPECT_NEAR(lat, lat0, 1e-13);
    EXPECT_NEAR(rad, rad0, 1e-8);
    EXPECT_NEAR(world.heading(*v), kHeadingEast, 1e-12);
    EXPECT_NEAR(world.pitch(*v), kPitchOnGear, 1e-12);
    EXPECT_NEAR(world.bank(*v), 0.0, 1e-12);
    const VECTOR3 u = ground_relative_velocity();
    EXPECT_EQ(u.x * u.x + u.y * u.y + u.z * u.z, 0.0);
    EXPECT_FALSE(turn0.m11 == v->state.R.m11 && turn0.m13 == v->state.R.m13);  // the Earth has turned it
}

TEST_F(OnTheRunway, ADroppedVesselSettlesAndComesToRest) {
    world.move(*v).pos = _V(v->state.pos.x * 1.00000002, v->state.pos.y * 1.00000002, v->state.pos.z * 1.00000002);
    world.move(*v).landed = false;
    run(5.0);
    EXPECT_TRUE(v->state.landed);
    EXPECT_NEAR(world.pitch(*v), kPitchOnGear, 0.002);
    for (size_t i = 0; i < 3; ++i) EXPECT_LT(point_height(i), 0.0);
}

TEST_F(OnTheRunway, ThrustBelowTheRollingFrictionDoesNotMoveIt) {
    // Rolling friction holds 0.025 of the weight; ten kilonewtons is far below.
    world.set_thruster_level(*v, *v->def.thrusters[0], 10000.0 / korvan_like::kMainThrust);
    run(10.0);
    EXPECT_TRUE(v->state.landed);
    EXPECT_EQ(along_track_speed(), 0.0);
}

TEST_F(OnTheRunway, ItRollsUnderThrustAgainstRollingFrictionAndBrakesToAStop) {
    constexpr double kLevel = 0.2;
    korvan_like::set_main_level(world, *v, kLevel);
    run(0.5);  // released and settled on its springs
    EXPECT_FALSE(v->state.landed);
    const double v0 = along_track_speed();
    const double m = mass();
    const double thrust = 4 * korvan_like::kMainThrust * kLevel *
                          physics::thruster_isp(*v->def.thrusters[0], v->air.pressure) / korvan_like::kMainIspVacuum;
    const double expected = (thrust - korvan_like::kRollingFriction * m * surface_gravity()) / m;
    run(4.0);
    EXPECT_NEAR((along_track_speed() - v0) / 4.0, expected, 0.03 * expected);

    korvan_like::set_main_level(world, *v, 0.0);
    v->def.friction_lng = korvan_like::kBrakingFriction;
    const double before = along_track_speed();
    run(1.0);
    EXPECT_NEAR(before - along_track_speed(), korvan_like::kBrakingFriction * surface_gravity(), 0.1);
    run(5.0);
    EXPECT_TRUE(v->state.landed);
    EXPECT_EQ(along_track_speed(), 0.0);
    EXPECT_NEAR(world.heading(*v), kHeadingEast, 1e-3);
}

TEST_F(OnTheRunway, TheYawCoupleSteersItOnTheGround) {
    korvan_like::set_main_level(world, *v, 0.2);
    run(5.0);
    const double heading0 = world.heading(*v);
    for (int i = 0; i < 200; ++i) {
        // Full right-hand steering as the vessel applies it: a couple of forces at z = +-12.
        const double f = mass() * 20.0;
        v->controls.added_forces.push_back({_V(f, 0, 0), _V(0, 0, 12)});
        v->controls.added_forces.push_back({_V(-f, 0, 0), _V(0, 0, -12)});
        phys->step(kStep);
    }
    EXPECT_GT(world.heading(*v) - heading0, 1.0 * RAD);  // the nose has turned right
    for (size_t i = 0; i < 3; ++i) EXPECT_LT(point_height(i), 0.01);  // still on its wheels
}

// At take-off speed a nose-up couple (the pilot pitching up) lifts the nose
// wheel while the main wheels stay on the runway; with enough speed the wing lifts it off.
TEST_F(OnTheRunway, ItRotatesAboutTheMainGearAndLiftsOffWhenLiftExceedsWeight) {
    korvan_like::set_main_level(world, *v, 1.0);
    while (along_track_speed() < 110.0 && world.sim_time < 60.0) phys->step(kStep);
    ASSERT_GE(along_track_speed(), 110.0);
    constexpr double kPitchTarget = 12.0 * RAD;
    const double inertia = mass() * 86.7;
    bool nose_up_on_main_gear = false;
    double t_end = world.sim_time + 30.0;
    while (world.sim_time < t_end && point_height(1) < 5.0) {
        const double torque = std::clamp(inertia * (20.0 * (kPitchTarget - world.pitch(*v)) - 8.0 * v->state.omega.x),
                                         -6e7, 6e7);
        v->controls.added_forces.push_back({_V(0, -torque / 38.0, 0), _V(0, 0, -19)});
        v->controls.added_forces.push_back({_V(0, torque / 38.0, 0), _V(0, 0, 19)});
        phys->step(kStep);
        if (point_height(0) > 0.5 && point_height(1) < 0.01 && point_height(2) < 0.01) nose_up_on_main_gear = true;
    }
    EXPECT_TRUE(nose_up_on_main_gear);
    EXPECT_GT(point_height(1), 5.0);
    EXPECT_GT(v->forces.lift.y, 0.0);
    EXPECT_FALSE(v->state.landed);
    EXPECT_TRUE(physics::state_is_finite(*v));
}

// The main wheels stand 11.9 m behind the centre of mass, so a rigid gear would need about
// 16 MN m to lift the nose. The ground's hold on the nose fades with the outside nose-up
// moment: a small one (the air at taxi speed) leaves the nose on its wheel, one of a tenth of
// the weight moment (what the vessel's nozzles give) turns it about the main wheels.
TEST_F(OnTheRunway, ANoseUpMomentOfATenthOfTheWeightMomentRotatesItAboutTheMainWheels) {
    korvan_like::set_main_level(world, *v, 0.3);
    run(3.0);
    const double weight_moment = mass() * 9.80665 * 11.9;
    auto rotate_with = [&](double moment, double seconds) {
        for (long i = 0, n = std::lround(seconds / kStep); i < n; ++i) {
            v->controls.added_forces.push_back({_V(0, -moment / 38.0, 0), _V(0, 0, -19)});
            v->controls.added_forces.push_back({_V(0, moment / 38.0, 0), _V(0, 0, 19)});
            phys->step(kStep);
        }
    };
    rotate_with(0.005 * weight_moment, 2.0);
    EXPECT_LT(point_height(0), 0.01);  // the nose wheel still carries its load
    EXPECT_NEAR(world.pitch(*v), kPitchOnGear, 0.001);

    rotate_with(0.1 * weight_moment, 2.0);
    EXPECT_GT(point_height(0), 1.0);  // the nose is up
    EXPECT_GT(world.pitch(*v), kPitchOnGear + 1.0 * RAD);
    EXPECT_LT(point_height(1), 0.01);  // on the main wheels
    EXPECT_LT(point_height(2), 0.01);

    // Without the moment the nose comes down again: the ground still holds it as a rigid gear does.
    rotate_with(0.0, 6.0);
    EXPECT_LT(point_height(0), 0.01);
    EXPECT_TRUE(physics::state_is_finite(*v));
}

}  // namespace

// A wreck stays one through a move from outside that leaves it on the ground (its engines give
// nothing, it stays where it rests); a placement off the ground frees it.
TEST(Wreck, OutlastsAMoveOnTheGroundAndIsFreedByAPlacementAboveIt) {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "K");
    korvan_like::define(*v, mech);
    physics::rest_on_ground(world, *v, -80.6 * RAD, kLatitude, kHeadingEast, 20.0);
    runtime::VesselState& falling = world.move(*v);
    falling.vel = falling.vel - falling.pos * (100.0 / std::sqrt(dotp(falling.pos, falling.pos)));
    falling.landed = false;
    physics::Physics phys(world);
    for (int i = 0; i < 100; ++i) phys.step(kStep);
    ASSERT_EQ(phys.crashes().size(), 1u);
    korvan_like::set_main_level(world, *v, 1.0);
    world.move(*v).omega = _V(0.1, 0, 0);  // as the vessel's own SetAngularVel does
    const double fuel = v->def.propellants[0]->mass, height = length(v->state.pos);
    for (int i = 0; i < 100; ++i) phys.step(kStep);
    EXPECT_TRUE(v->state.landed);
    EXPECT_EQ(v->def.propellants[0]->mass, fuel);
    EXPECT_NEAR(length(v->state.pos), height, 1e-6);
    world.move(*v).landed = false;  // placed anew as not landed
    phys.step(kStep);
    EXPECT_LT(v->def.propellants[0]->mass, fuel);
}
