// The physics models, one function each, with an explicit input record and their own output.
// Physics::step calls them in order; tests call them alone.
#pragma once

#include <array>

#include "physics/physics.h"

namespace physics {

// Forces and torques in the vessel frame. Torque in the convention of docs/physics.md:
// a force F at a point r gives F x r, positive x nose up, y nose left, z right wing down.
struct Wrench {
    VECTOR3 force{};
    VECTOR3 torque{};
};
inline void add_force_at(Wrench& w, const VECTOR3& force, const VECTOR3& point) {
    w.force.x += force.x, w.force.y += force.y, w.force.z += force.z;
    w.torque.x += force.y * point.z - force.z * point.y;
    w.torque.y += force.z * point.x - force.x * point.z;
    w.torque.z += force.x * point.y - force.y * point.x;
}
inline void add_wrench(Wrench& into, const Wrench& w) {
    into.force.x += w.force.x, into.force.y += w.force.y, into.force.z += w.force.z;
    into.torque.x += w.torque.x, into.torque.y += w.torque.y, into.torque.z += w.torque.z;
}

// Where a vessel is and how it moves: the part of its state the forces depend on. The
// integrator evaluates the forces at the start of a step and at a predicted end.
struct Kinematics {
    VECTOR3 pos{};    // m, global
    VECTOR3 vel{};    // m/s, global
    MATRIX3 R{};      // vessel to global
    VECTOR3 omega{};  // rad/s, vessel frame
};
Kinematics kinematics_of(const runtime::VesselState& state);

// Environment: where the vessel is and the air it meets.
struct EnvironmentInput {
    const runtime::BodyRecord& body;
    const Kinematics& motion;
    // The air at this position when it is already known (the end of the last step is where
    // the next one starts); null: found from the altitude.
    const Atmosphere* known_air = nullptr;
};
struct EnvironmentOutput {
    Atmosphere air;
    double radius;            // m from the body's centre
    double altitude;          // m above the mean radius
    VECTOR3 airspeed_local;   // vessel frame: the vessel's velocity relative to the air
    double airspeed;          // m/s
    double mach;
    double dyn_pressure;      // Pa
};
EnvironmentOutput environment(const EnvironmentInput& in);

// Mass: empty mass plus all propellant; inertia = mass x PMI.
struct MassOutput {
    double mass;       // kg
    VECTOR3 inertia;   // kg m^2, principal moments
};
MassOutput mass_properties(const runtime::VesselDefinition& def);

// Propulsion: thrust of every firing thruster (level above 0) at its level, in definition order; burns
// the propellant of burn_dt seconds (0 computes the thrust and burns nothing). The thrust factor
// scales every thruster's thrust and propellant flow alike (docs/physics.md, "Dispersions").
struct PropulsionInput {
    runtime::VesselDefinition& def;
    double pressure;  // Pa, ambient
    double burn_dt;   // s
    double thrust_factor = 1.0;
};
struct PropulsionOutput {
    Wrench wrench;
    VECTOR3 thrust{};  // vessel frame, total: the wrench's force
    // Change of the wrench per pascal of ambient pressure: the specific impulse is linear in
    // the pressure, so the thrust later in the step follows from it.
    Wrench wrench_per_pascal;
};
PropulsionOutput propulsion(const PropulsionInput& in);
// The same thrusters at the same levels (and share of the step) at another ambient pressure.
PropulsionOutput propulsion_at_pressure(const PropulsionOutput& at, double pressure_change);
double thruster_isp(const runtime::ThrusterRecord& th, double pressure);  // m/s
double thruster_mass_flow(const runtime::ThrusterRecord& th);            // kg/s at its level

// Aerodynamics: airfoils, control surfaces, drag elements, body drag of vessels without
// airfoils, rotational drag.
struct AeroInput {
    const runtime::VesselDefinition& def;
    const EnvironmentOutput& env;
    const std::array<double, AIRCTRL_TYPE_COUNT>& surface_levels;
    VECTOR3 omega;    // rad/s, vessel frame
    VECTOR3 inertia;  // kg m^2: rotational drag never reverses a rate within one step
    double dt;        // s; 0 sets no such limit
};
struct AeroOutput {
    Wrench wrench;
    VECTOR3 lift{};  // vessel frame, airfoil lift and control-surface forces
    VECTOR3 drag{};  // vessel frame
};
AeroOutput aerodynamics(const AeroInput& in);
// The airfoils alone. They depend on the air and the airspeed only, not on anything the vessel
// sets between steps, so the physics carries them from the end of one step to the next start.
AeroOutput airfoil_forces(const runtime::VesselDefinition& def, const EnvironmentOutput& env);
// How many substeps a step of dt needs for the airfoils' forces given (docs/physics.md,
// "Substeps").
int aero_substeps(const Wrench& airfoils, const MassOutput& mass, double airspeed, double dt);
// Everything else the air does, at the vessel's levels: control surfaces, drag elements, the
// body drag of a vessel without airfoils, rotational drag.
void add_surface_forces(AeroOutput& out, const AeroInput& in);

// Forces the vessel added with AddForce for this step (vessel frame).
Wrench added_forces(const runtime::VesselControls& controls);

// Central gravity (global frame, m/s^2).
VECTOR3 gravity_acceleration(double mu, const VECTOR3& pos);
// The same, with the distance from the centre already known (|pos|, as the environment has it).
VECTOR3 gravity_acceleration(double mu, const VECTOR3& pos, double radius);

// Ground contact at the touchdown points (docs/physics.md, "Ground contact").
// What friction does at one evaluation. At a step's start it holds the points' sliding at
// zero over the step: it stops what sliding there is within the step and balances every other
// acceleration of the points, the ground and the vessel turning under them included. At the
// predicted end it is the push of the last half kick, which leaves no sliding at all.
struct FrictionTask {
    VECTOR3 vel{};     // global: the velocities whose sliding it stops
    VECTOR3 omega{};   // vessel frame
    double time = 0.0; // s, within which it stops it
    bool holds_over_step = true;
};
struct ContactInput {
    const runtime::VesselDefinition& def;
    const Kinematics& motion;  // pose, and the velocities the springs' damping sees
    const runtime::BodyRecord& body;
    const MassOutput& mass;
    VECTOR3 external_force;   // global: every force but contact, weight included
    VECTOR3 external_torque;  // vessel frame
    double dt;                // the step, which bounds the springs' stiffness
    FrictionTask friction;
};
// A contact at a step's start: friction holds the sliding of this state at zero over the step.
ContactInput contact_at(const runtime::VesselDefinition& def, const Kinematics& motion,
                        const runtime::BodyRecord& body, const MassOutput& mass, const VECTOR3& external_force,
                        const VECTOR3& external_torque, double dt);
struct ContactOutput {
    Wrench wrench;             // vessel frame
    int points_in_contact = 0;
    bool all_points_in_contact = false;
};
ContactOutput ground_contact(const ContactInput& in);
// Whether a vessel whose centre is `radius` m from the body's may touch the ground: its
// farthest touchdown point reaches the contact margin above the surface. Where it cannot,
// ground_contact finds nothing, and a step in flight does not look for contact.
bool ground_within_reach(const runtime::VesselDefinition& def, const runtime::BodyRecord& body, double radius);
// The same with the squared distance of the farthest touchdown point from the centre of mass
// known (touchdown_reach_squared): a step asks up to three times with the same points.
double touchdown_reach_squared(const runtime::VesselDefinition& def);
bool ground_within_reach(double reach_squared, const runtime::BodyRecord& body, double radius);

// How many substeps a step of dt needs while the vessel may touch the ground: its springs'
// stiffest mode is integrated stably only within kMaxFrequencyStep of a radian per step.
// Beyond a limit of substeps the springs are softened for the step instead.
int contact_substeps(const runtime::VesselDefinition& def, const MassOutput& mass, double dt);

// An impact the vessel cannot take: its hull below the surface, or a touchdown point striking
// the ground, rolling on it or pressed into it beyond what the gear is made for
// (docs/physics.md, "Crashes").
struct Impact {
    bool crash = false;
    bool hull = false;         // the hull struck the ground, not only the gear
    double speed = 0.0;        // m/s: the striking point's speed relative to the ground
    double sink_speed = 0.0;   // m/s: its part into the ground
    double fraction = 0.0;     // of the way from `before` to `after` where it reached the surface
};
// Whether the vessel strikes the ground so at `after`, a pose with the velocities it arrives
// with, having come from `before` (the same state for a vessel found so).
Impact find_impact(const runtime::VesselDefinition& def, const runtime::BodyRecord& body, const MassOutput& mass,
                   double dt, const Kinematics& before, const Kinematics& after);

// Whether the ground can hold a vessel at rest against the given forces: friction within its
// limits, the ground pressed down, the yaw torque within the wheels' grip.
bool ground_holds(const ContactInput& in);

// Integration (docs/physics.md, "Integration"): second order in every force. The forces are
// evaluated at the step's start and at a predicted end; drift() kicks the velocities by half
// a step of the start's accelerations and moves the pose to the end of the step (the attitude
// and the rates by the vessel's exact free turn), finish() adds half a step of the end's
// accelerations. With gravity alone it is velocity Verlet.
struct Accelerations {
    VECTOR3 linear{};   // m/s^2, global, gravity included
    VECTOR3 angular{};  // rad/s^2, vessel frame, from the torques
    VECTOR3 inertia{};  // kg m^2: the drift turns the vessel freely with it (Euler's gyroscopic term)
};
// From the forces and torques (vessel frame, gravity apart) at one state of the step.
Accelerations accelerations(const MassOutput& mass, const Kinematics& motion, const Wrench& total,
                            const VECTOR3& gravity);
struct Drift {
    Kinematics predicted;  // the end pose, velocities kicked by the whole step's start accelerations
    VECTOR3 half_vel{};    // velocities after the first half kick
    VECTOR3 half_omega{};
};
Drift drift(const Kinematics& start, const Accelerations& a, double dt);
Kinematics finish(const Drift& drift, const Accelerations& end, double dt);

}  // namespace physics
