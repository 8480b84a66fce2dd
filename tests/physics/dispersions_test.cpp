#include <gtest/gtest.h>

#include <cmath>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

struct Dispersed : ::testing::Test {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = nullptr;
    void SetUp() override {
        v = korvan_like::create_plain_vessel(world, "K");
        ASSERT_NE(v, nullptr);
        v->def = runtime::VesselDefinition{};
        korvan_like::define(*v, mech);
    }
    // Puts the vessel at an altitude over 30 N 40 E, moving with the ground.
    void place(double altitude) {
        const double r = world.earth.radius + altitude, lat = 30 * RAD, lng = 40 * RAD;
        runtime::VesselState& s = world.move(*v);
        s.pos = _V(r * std::cos(lat) * std::cos(lng), r * std::sin(lat), r * std::cos(lat) * std::sin(lng));
        s.vel = physics::ground_velocity(world.earth, s.pos);
    }
    physics::EnvironmentOutput environment() {
        const physics::Kinematics k = physics::kinematics_of(v->state);
        return physics::environment(physics::EnvironmentInput{world.earth, k});
    }
};

// A thrust factor scales thrust and propellant flow alike: the specific impulse is unchanged.
TEST_F(Dispersed, TheThrustFactorScalesThrustAndFlowAlike) {
    korvan_like::set_main_level(world, *v, 1.0);
    const double full = korvan_like::kPropellantMass;
    const physics::PropulsionOutput nominal = physics::propulsion(physics::PropulsionInput{v->def, 0.0, 1.0});
    const double nominal_burn = full - v->def.propellants[0]->mass;
    v->def.propellants[0]->mass = full;
    const physics::PropulsionOutput strong = physics::propulsion(physics::PropulsionInput{v->def, 0.0, 1.0, 1.08});
    EXPECT_NEAR(strong.thrust.z, 1.08 * nominal.thrust.z, 1e-6 * nominal.thrust.z);
    EXPECT_NEAR(full - v->def.propellants[0]->mass, 1.08 * nominal_burn, 1e-9 * full);
}

// The density factor scales the air's density and dynamic pressure, not its pressure or speed
// of sound; the wind follows its profile in altitude on the horizon's axes, and the World's
// air-relative observables see the same airspeed as the physics.
TEST_F(Dispersed, DensityAndWindReachThePhysicsAndTheObservables) {
    const double east = 12.0, north = -5.0;
    world.earth.density_factor = 1.2;
    world.earth.wind_east = east;
    world.earth.wind_north = north;
    struct Height {
        double altitude, profile;
    };
    const Height HEIGHTS[] = {{0.0, 0.0},   {10.0, std::pow(0.01, 1.0 / 7.0)}, {500.0, std::pow(0.5, 1.0 / 7.0)},
                              {5000.0, 1.0}, {25000.0, 0.5},                  {40000.0, 0.0}};
    for (const Height& h : HEIGHTS) {
        SCOPED_TRACE(h.altitude);
        place(h.altitude);
        const physics::EnvironmentOutput env = environment();
        const physics::Atmosphere standard = physics::us_standard_atmosphere(env.altitude);
        EXPECT_DOUBLE_EQ(env.air.density, 1.2 * standard.density);
        EXPECT_DOUBLE_EQ(env.air.pressure, standard.pressure);
        // Moving with the ground, the vessel meets the wind from ahead of it: the airspeed is
        // the wind's opposite, east and north as the World's horizon axes have them.
        const double speed = std::hypot(east, north) * h.profile;
        EXPECT_NEAR(env.airspeed, speed, 1e-9);
        EXPECT_NEAR(env.dyn_pressure, 0.5 * 1.2 * standard.density * speed * speed, 1e-9);
        const VECTOR3 horizon = world.horizon_airspeed(*v);
        EXPECT_NEAR(horizon.x, -east * h.profile, 1e-9);
        EXPECT_NEAR(horizon.y, 0.0, 1e-9);
        EXPECT_NEAR(horizon.z, -north * h.profile, 1e-9);
        EXPECT_NEAR(world.airspeed(*v), env.airspeed, 1e-9);
    }
}

}  // namespace
