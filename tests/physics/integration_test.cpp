// The integrator is second order in every force: halving the step quarters the error, for a
// sphere falling through the air, for the Korvan climbing under thrust, lift, control surfaces
// and rotational drag while it turns, and for the Korvan braking on its wheels.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

// Where a flight ends, and the difference between two ends.
struct FlightEnd {
    VECTOR3 pos, vel, omega;
    MATRIX3 R;
};

double distance(const VECTOR3& a, const VECTOR3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// Angle (rad) of the small rotation between two attitudes: |A - B| / sqrt(2) (Frobenius
// norm), which keeps its precision where acos((trace(A^T B) - 1) / 2) would not.
double attitude_angle(const MATRIX3& a, const MATRIX3& b) {
    double sum = 0.0;
    for (int i = 0; i < 9; ++i) sum += (a.data[i] - b.data[i]) * (a.data[i] - b.data[i]);
    return std::sqrt(sum / 2.0);
}

// Flies a freshly set-up World for a duration at a fixed step and returns the vessel's end.
using Setup = std::function<runtime::VesselRecord*(runtime::World&, korvan_like::Mechanisms&)>;
FlightEnd fly(const Setup& setup, double duration, double dt) {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = setup(world, mech);
    physics::Physics physics(world);
    const long steps = std::lround(duration / dt);
    for (long i = 0; i < steps; ++i) physics.step(dt);
    return FlightEnd{v->state.pos, v->state.vel, v->state.omega, v->state.R};
}

// The observed order of convergence from the errors at a step and at half of it.
double order(double error_at_step, double error_at_half) { return std::log2(error_at_step / error_at_half); }

// Position, velocity, attitude and rate errors of a flight's end against a reference.
std::array<double, 4> errors(const FlightEnd& end, const FlightEnd& reference) {
    return {distance(end.pos, reference.pos), distance(end.vel, reference.vel), attitude_angle(end.R, reference.R),
            distance(end.omega, reference.omega)};
}

// Flies the setup at three steps, each half the one before, against a reference run at a fine
// step, and expects every error to fall at least as fast as the given order.
void expect_order(const char* what, const Setup& setup, double duration, const double (&steps)[3],
                  double reference_step, double least_order) {
    const FlightEnd reference = fly(setup, duration, reference_step);
    std::array<double, 4> previous{};
    for (const double dt : steps) {
        SCOPED_TRACE(dt);
        const std::array<double, 4> e = errors(fly(setup, duration, dt), reference);
        std::printf("%s at %g s: position %.3g m, velocity %.3g m/s, attitude %.3g rad, rate %.3g rad/s\n", what, dt,
                    e[0], e[1], e[2], e[3]);
        if (dt != steps[0]) {
            for (size_t i = 0; i < e.size(); ++i) EXPECT_GT(order(previous[i], e[i]), least_order) << i;
        }
        previous = e;
    }
}

// A sphere dropped from 9,144 m at the equator with no speed relative to the turning Earth:
// 14.5939 kg, 0.0182415 m^2, drag coefficient 0.1, through the 1976 atmosphere.
constexpr double kSphereMass = 14.5939;     // kg
constexpr double kSphereArea = 0.0182415;   // m^2
constexpr double kSphereDrag = 0.1;
constexpr double kDropHeight = 9144.0;      // m
constexpr double kDropTime = 30.0;          // s
constexpr double kReferenceStep = 0.0005;   // s

runtime::VesselRecord* drop_sphere(runtime::World& world, korvan_like::Mechanisms&) {
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "sphere");
    v->def = runtime::VesselDefinition{};
    v->def.empty_mass = kSphereMass;
    v->def.cross_sections = _V(kSphereArea, kSphereArea, kSphereArea);
    v->def.cw_x = v->def.cw_y = v->def.cw_z_pos = v->def.cw_z_neg = kSphereDrag;
    world.move(*v).pos = _V(world.earth.radius + kDropHeight, 0, 0);
    world.move(*v).vel = physics::ground_velocity(world.earth, v->state.pos);
    world.move(*v).R = identity_matrix();
    world.move(*v).landed = false;
    return v;
}

TEST(Integration, TheDroppedSphereIsWithinACentimetreOfAFineStepAndSecondOrder) {
    const FlightEnd reference = fly(drop_sphere, kDropTime, kReferenceStep);
    const double fallen = kDropHeight - (distance(reference.pos, _V(0, 0, 0)) - 6371.0e3);
    EXPECT_GT(fallen, 2500.0);  // it has fallen far and fast enough for drag to matter
    double previous = 0.0;
    for (const double dt : {0.04, 0.02, 0.01}) {
        SCOPED_TRACE(dt);
        const double error = distance(fly(drop_sphere, kDropTime, dt).pos, reference.pos);
        std::printf("sphere at %g s: %.3g m from the %g s run\n", dt, error, kReferenceStep);
        if (previous > 0.0) {
            EXPECT_NEAR(order(previous, error), 2.0, 0.2);
        }
        previous = error;
        if (dt == 0.01) {
            EXPECT_LT(error, 0.01);
        }
    }
}

// The Korvan at 20 km and Mach 3, engines at 80 %, elevator and aileron out, pitching and
// rolling: every kind of force and moment acts, and the attitude turns.
runtime::VesselRecord* climbing_korvan(runtime::World& world, korvan_like::Mechanisms& mech) {
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "K");
    v->def = runtime::VesselDefinition{};
    korvan_like::define(*v, mech);
    v->def.rot_drag = _V(0.1, 0.1, 0.1);
    world.move(*v).pos = _V(world.earth.radius + 20000.0, 0, 0);
    world.move(*v).vel = _V(150, 0, 880);
    world.move(*v).R = identity_matrix();
    world.move(*v).omega = _V(0.02, -0.01, 0.05);
    world.move(*v).landed = false;
    korvan_like::set_main_level(world, *v, 0.8);
    v->controls.control_surface_levels[AIRCTRL_ELEVATOR] = 0.3;
    v->controls.control_surface_levels[AIRCTRL_AILERON] = -0.2;
    return v;
}

TEST(Integration, TheTurningKorvanIsSecondOrderInPositionVelocityAttitudeAndRate) {
    expect_order("climbing", climbing_korvan, 10.0, {0.04, 0.02, 0.01}, 0.00125, 1.8);
}

// The Korvan on its wheels at 40 m/s, sliding 5 m/s sideways, braking, pitching and rolling
// on its springs: normal forces with their damping, friction at the grip limit along both
// axes. Steps at which the springs need no softening (see docs/physics.md).
runtime::VesselRecord* braking_korvan(runtime::World& world, korvan_like::Mechanisms& mech) {
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "K");
    v->def = runtime::VesselDefinition{};
    korvan_like::define(*v, mech);
    physics::rest_on_ground(world, *v, -80.6 * RAD, 28.5 * RAD, PI05);
    const VECTOR3 up = v->state.pos / length(v->state.pos);
    VECTOR3 nose = _V(v->state.R.m13, v->state.R.m23, v->state.R.m33);
    nose = nose - up * dotp(nose, up);
    nose = nose / length(nose);
    const VECTOR3 right = crossp(up, nose);
    world.move(*v).vel = v->state.vel + nose * 40.0 + right * 5.0;
    world.move(*v).pos = v->state.pos - up * 0.02;  // pressed 2 cm into its springs
    world.move(*v).omega = v->state.omega + _V(0.01, 0.005, 0.02);
    world.move(*v).landed = false;
    korvan_like::set_main_level(world, *v, 0.3);
    v->def.friction_lng = korvan_like::kBrakingFriction;
    v->def.friction_lat = 0.2;
    return v;
}

TEST(Integration, TheKorvanBrakingOnItsWheelsIsSecondOrder) {
    expect_order("braking", braking_korvan, 2.0, {0.005, 0.0025, 0.00125}, 0.0003125, 1.8);
}

}  // namespace

namespace {

// The airfoils' forces found at the end of a step start the next one, unless the vessel has
// changed its airfoils in between: then the next step flies exactly as a vessel that had the
// new airfoils from the first.
TEST(Integration, AVesselThatChangesItsAirfoilsBetweenStepsFliesWithTheNewOnes) {
    korvan_like::Mechanisms mech;
    runtime::World changed_world, fresh_world;
    runtime::VesselRecord* changed = climbing_korvan(changed_world, mech);
    runtime::VesselRecord* fresh = climbing_korvan(fresh_world, mech);
    physics::Physics changed_physics(changed_world);
    for (int i = 0; i < 10; ++i) changed_physics.step(0.01);

    auto change = [](runtime::VesselRecord& v) { v.def.airfoils.front()->area *= 0.5; };
    change(*changed);
    change(*fresh);
    fresh_world.move(*fresh) = changed->state;
    for (size_t i = 0; i < fresh->def.propellants.size(); ++i)
        fresh->def.propellants[i]->mass = changed->def.propellants[i]->mass;
    fresh_world.sim_time = changed_world.sim_time;
    fresh_world.mjd = changed_world.mjd;
    physics::Physics fresh_physics(fresh_world);
    changed_physics.step(0.01);
    fresh_physics.step(0.01);
    EXPECT_EQ(distance(changed->state.pos, fresh->state.pos), 0.0);
    EXPECT_EQ(distance(changed->state.vel, fresh->state.vel), 0.0);
    EXPECT_EQ(distance(changed->state.omega, fresh->state.omega), 0.0);
}

}  // namespace
