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
void add_force_at(Wrench& w, const VECTOR3& force, const VECTOR3& point);
void add_wrench(Wrench& into, const Wrench& w);

// Environment: where the vessel is and the air it meets.
struct EnvironmentInput {
    const runtime::BodyRecord& body;
    const runtime::VesselState& state;
};
struct EnvironmentOutput {
    Atmosphere air;
    double radius;            // m from the body's centre
    double altitude;          // m above the mean radius
    VECTOR3 up;               // global unit vector
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

// Propulsion: thrust of every thruster at its level; burns the propellant of burn_dt seconds
// (0 computes the thrust and burns nothing).
struct PropulsionInput {
    runtime::VesselDefinition& def;
    double pressure;  // Pa, ambient
    double burn_dt;   // s
};
struct PropulsionOutput {
    Wrench wrench;
    VECTOR3 thrust{};  // vessel frame, total
};
PropulsionOutput propulsion(const PropulsionInput& in);
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

// Forces the vessel added with AddForce for this step (vessel frame).
Wrench added_forces(const runtime::VesselState& state);

// Central gravity (global frame, m/s^2).
VECTOR3 gravity_acceleration(double mu, const VECTOR3& pos);

// Ground contact at the touchdown points (docs/physics.md, "Ground contact").
struct ContactInput {
    const runtime::VesselDefinition& def;
    const runtime::VesselState& state;
    const runtime::BodyRecord& body;
    const MassOutput& mass;
    VECTOR3 external_force;   // global: every force but contact, weight included
    VECTOR3 external_torque;  // vessel frame
    double dt;
};
struct ContactOutput {
    Wrench wrench;             // vessel frame
    int points_in_contact = 0;
    bool all_points_in_contact = false;
};
ContactOutput ground_contact(const ContactInput& in);

// Whether the ground can hold a vessel at rest against the given forces: friction within its
// limits, the ground pressed down, the yaw torque within the wheels' grip.
bool ground_holds(const ContactInput& in);

// Integration of translation (velocity Verlet with gravity) and rotation (Euler's equations,
// attitude by the exact rotation of the step) over dt.
struct MotionInput {
    MassOutput mass;
    VECTOR3 force;   // global, every force but gravity
    VECTOR3 torque;  // vessel frame
    double mu;
    double dt;
};
void integrate(runtime::VesselState& state, const MotionInput& in);

}  // namespace physics
