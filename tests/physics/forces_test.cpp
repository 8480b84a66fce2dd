#include <gtest/gtest.h>

#include <cmath>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

using korvan_like::kMainIspSeaLevel;
using korvan_like::kMainIspVacuum;
using korvan_like::kMainThrust;
using korvan_like::kReferencePressure;

struct Korvan : ::testing::Test {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = nullptr;
    void SetUp() override {
        v = korvan_like::create_plain_vessel(world, "K");
        ASSERT_NE(v, nullptr);
        v->def = runtime::VesselDefinition{};
        korvan_like::define(*v, mech);
    }
};

struct IspCase {
    double pressure, isp;
};

TEST_F(Korvan, MainEngineThrustFollowsTheAmbientPressure) {
    const IspCase CASES[] = {
        {0.0, kMainIspVacuum},
        {kReferencePressure, kMainIspSeaLevel},
        {kReferencePressure / 2, 0.5 * (kMainIspVacuum + kMainIspSeaLevel)},
        {1e9, 0.0},  // never negative
    };
    korvan_like::set_main_level(world, *v, 0.5);
    for (const IspCase& c : CASES) {
        SCOPED_TRACE(c.pressure);
        EXPECT_NEAR(physics::thruster_isp(*v->def.thrusters[0], c.pressure), c.isp, 1e-9);
        const physics::PropulsionOutput out = physics::propulsion(physics::PropulsionInput{v->def, c.pressure, 0.0});
        EXPECT_NEAR(out.thrust.z, 4 * kMainThrust * 0.5 * c.isp / kMainIspVacuum, 1e-6);
        EXPECT_NEAR(out.thrust.x, 0.0, 1e-9);
    }
}

TEST_F(Korvan, EnginesBurnTheirVacuumFlowWhateverThePressure) {
    korvan_like::set_main_level(world, *v, 1.0);
    const double flow = 4 * kMainThrust / kMainIspVacuum;  // kg/s
    EXPECT_NEAR(physics::thruster_mass_flow(*v->def.thrusters[0]), kMainThrust / kMainIspVacuum, 1e-9);
    physics::propulsion(physics::PropulsionInput{v->def, kReferencePressure, 2.0});
    EXPECT_NEAR(v->def.propellants[0]->mass, korvan_like::kPropellantMass - 2.0 * flow, 1e-6);
}

TEST_F(Korvan, AnEmptyTankGivesNoThrustAndTheLastDropsGiveTheirShare) {
    korvan_like::set_main_level(world, *v, 1.0);
    const double flow = 4 * kMainThrust / kMainIspVacuum;
    v->def.propellants[0]->mass = 0.25 * flow;  // a quarter of a second
    const physics::PropulsionOutput last = physics::propulsion(physics::PropulsionInput{v->def, 0.0, 1.0});
    EXPECT_NEAR(last.thrust.z, 4 * kMainThrust * 0.25, 1.0);
    EXPECT_EQ(v->def.propellants[0]->mass, 0.0);
    const physics::PropulsionOutput none = physics::propulsion(physics::PropulsionInput{v->def, 0.0, 1.0});
    EXPECT_EQ(none.thrust.z, 0.0);
}

TEST_F(Korvan, AThrusterDirectionIsNormalised) {
    runtime::ThrusterRecord& th = *v->def.thrusters[korvan_like::kFirstRcs];
    th.set_geometry(th.pos, _V(0, 3, 0), th.max0);
    world.set_thruster_level(*v, th, 1.0);
    const physics::PropulsionOutput out = physics::propulsion(physics::PropulsionInput{v->def, 0.0, 0.0});
    EXPECT_NEAR(out.thrust.y, korvan_like::kRcsThrust, 1e-6);
}

// Aerodynamics of the Korvan flying level at a given airspeed vector (vessel frame) at 10 km.
physics::AeroOutput aero_at(const runtime::VesselRecord& v, VECTOR3 airspeed, VECTOR3 omega = _V(0, 0, 0)) {
    physics::EnvironmentOutput env{};
    env.air = physics::us_standard_atmosphere(10000.0);
    env.airspeed_local = airspeed;
    env.airspeed = std::sqrt(airspeed.x * airspeed.x + airspeed.y * airspeed.y + airspeed.z * airspeed.z);
    env.mach = env.airspeed / env.air.speed_of_sound;
    env.dyn_pressure = 0.5 * env.air.density * env.airspeed * env.airspeed;
    return physics::aerodynamics(
        physics::AeroInput{v.def, env, v.controls.control_surface_levels, omega, _V(0, 0, 0), 0.0});
}

TEST_F(Korvan, TheWingLiftsWithTheAirFromBelowAndDragOpposesTheAirspeed) {
    const double a = 10.0 * RAD;
    const physics::AeroOutput out = aero_at(*v, _V(0, -200 * std::sin(a), 200 * std::cos(a)));
    EXPECT_GT(out.lift.y, 0.0);
    EXPECT_LT(out.drag.z, 0.0);
    EXPECT_GT(out.drag.y, 0.0);  // along -v: the vessel sinks, drag pushes up and back
    const physics::AeroOutput below = aero_at(*v, _V(0, 200 * std::sin(a), 200 * std::cos(a)));
    EXPECT_LT(below.lift.y, 0.0);
}

TEST_F(Korvan, TheFinTurnsTheNoseIntoTheWind) {
    // Air from the left: positive slip; the fin behind the centre turns the nose left.
    const physics::AeroOutput out = aero_at(*v, _V(-20, 0, 200));
    EXPECT_GT(out.wrench.torque.y, 0.0);
}

struct SurfaceCase {
    AIRCTRL_TYPE type;
    int axis;       // torque component
    double sign;    // sign of the torque for a positive level
    const char* what;
};

TEST_F(Korvan, ControlSurfacesTurnTheVesselTheWayTheLawsExpect) {
    const SurfaceCase CASES[] = {
        {AIRCTRL_ELEVATOR, 0, +1, "a positive elevator pitches nose up"},
        {AIRCTRL_AILERON, 2, +1, "a positive aileron rolls right"},
        {AIRCTRL_RUDDER, 1, +1, "a positive rudder yaws nose left"},
        {AIRCTRL_ELEVATORTRIM, 0, +1, "a positive trim pitches nose up"},
    };
    v->def.airfoils.clear();
    const physics::AeroOutput neutral = aero_at(*v, _V(0, 0, 200));
    for (const SurfaceCase& c : CASES) {
        SCOPED_TRACE(c.what);
        v->controls.control_surface_levels = {};
        v->controls.control_surface_levels[c.type] = 1.0;
        const physics::AeroOutput out = aero_at(*v, _V(0, 0, 200));
        EXPECT_GT(c.sign * (out.wrench.torque.data[c.axis] - neutral.wrench.torque.data[c.axis]), 0.0);
    }
}

TEST_F(Korvan, DragElementsAddTheirDragAlongTheAirflow) {
    const double q = 0.5 * physics::us_standard_atmosphere(10000.0).density * 200 * 200;
    v->def.airfoils.clear();
    v->def.drag_elements.pop_back();  // the gear
    mech.brake_position = 0.0;
    const double clean = aero_at(*v, _V(0, 0, 200)).drag.z;
    mech.brake_position = 1.0;
    const double braked = aero_at(*v, _V(0, 0, 200)).drag.z;
    EXPECT_NEAR(braked - clean, -q * 0.8, 1e-6);
}

TEST_F(Korvan, WithoutAirfoilsTheCrossSectionsGiveTheDrag) {
    const double q = 0.5 * physics::us_standard_atmosphere(10000.0).density * 200 * 200;
    v->def.airfoils.clear();
    v->def.drag_elements.clear();
    EXPECT_NEAR(aero_at(*v, _V(0, 0, 200)).drag.z, -q * 0.1 * 158.2, 1e-6);
    EXPECT_NEAR(aero_at(*v, _V(0, 0, -200)).drag.z, q * 0.3 * 158.2, 1e-6);
    EXPECT_NEAR(aero_at(*v, _V(200, 0, 0)).drag.x, -q * 1.4 * 534.8, 1e-6);
}

TEST_F(Korvan, RotationalDragOpposesEveryRate) {
    const physics::AeroOutput out = aero_at(*v, _V(0, 0, 0), _V(0.1, -0.1, 0.1));
    EXPECT_LT(out.wrench.torque.x, 0.0);
    EXPECT_GT(out.wrench.torque.y, 0.0);
    EXPECT_LT(out.wrench.torque.z, 0.0);
}

}  // namespace
