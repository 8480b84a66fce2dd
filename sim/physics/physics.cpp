// The physics step: every model in its fixed order, for every vessel.
#include "physics/physics.h"

#include <cmath>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {

namespace {

constexpr double kSecondsPerDay = 86400.0;
// A vessel in full contact that moves slower than this relative to the ground, and that the
// ground can hold, comes to rest.
constexpr double kRestSpeed = 0.01;  // m/s
constexpr double kRestRate = 0.001;  // rad/s

// Everything the models give for one vessel at one state of a step. The environment, mass,
// thrust and added forces are the caller's, referred to rather than copied: a step evaluates
// the forces twice.
struct StepForces {
    const EnvironmentOutput& env;
    const MassOutput& mass;
    const PropulsionOutput& propulsion;
    const Wrench& added;
    AeroOutput aero;
    VECTOR3 gravity;         // global, m/s^2
    Wrench outside;          // vessel frame: propulsion, aerodynamics and added forces
    VECTOR3 outside_global;  // global: the same plus weight
};

// The forces at a state: the airfoils' forces given for it, the rest of the aerodynamics at
// the vessel's levels, gravity, and the thrust and added forces given.
StepForces forces_at(const runtime::World& world, const runtime::VesselRecord& v, const Kinematics& k,
                     const EnvironmentOutput& env, const MassOutput& mass, const AeroOutput& airfoils,
                     const PropulsionOutput& propulsion, const Wrench& added, double dt) {
    AeroOutput aero = airfoils;
    add_surface_forces(aero, AeroInput{v.def, env, v.controls.control_surface_levels, k.omega, mass.inertia, dt});
    const VECTOR3 gravity = gravity_acceleration(world.earth.mu, k.pos, env.radius);
    Wrench outside = propulsion.wrench;
    add_wrench(outside, aero.wrench);
    add_wrench(outside, added);
    const VECTOR3 outside_global = vm::madd(vm::to_global(k.R, outside.force), gravity, mass.mass);
    return StepForces{env, mass, propulsion, added, aero, gravity, outside, outside_global};
}

// What the forces at the vessel's present state are made of, kept for StepForces to refer to.
struct PresentState {
    Kinematics k;
    EnvironmentOutput env;
    MassOutput mass;
    PropulsionOutput thrust;
    AeroOutput airfoils;
    Wrench added;
};

// The vessel's present state and what acts on it there; burns the propellant of burn_dt seconds.
PresentState present_state(const runtime::World& world, runtime::VesselRecord& v, double burn_dt) {
    PresentState p;
    p.k = kinematics_of(v.state);
    p.env = environment(EnvironmentInput{world.earth, p.k});
    p.mass = mass_properties(v.def);
    p.thrust = propulsion(PropulsionInput{v.def, p.env.air.pressure, burn_dt});
    p.airfoils = airfoil_forces(v.def, p.env);
    p.added = added_forces(v.controls);
    return p;
}

StepForces forces_of(const runtime::World& world, const runtime::VesselRecord& v, const PresentState& p, double dt) {
    return forces_at(world, v, p.k, p.env, p.mass, p.airfoils, p.thrust, p.added, dt);
}

ContactInput contact_input(const runtime::World& world, const runtime::VesselRecord& v, const Kinematics& k,
                           const StepForces& f, double dt) {
    return contact_at(v.def, k, world.earth, f.mass, f.outside_global, f.outside.torque, dt);
}

runtime::AirData air_data(const Atmosphere& air) {
    runtime::AirData a;
    a.pressure = air.pressure;
    a.density = air.density;
    a.temperature = air.temperature;
    a.speed_of_sound = air.speed_of_sound;
    return a;
}

void write_air(runtime::World& world, runtime::VesselRecord& v, const Atmosphere& air) {
    world.set_air(v, air_data(air));
}

// Forces in the vessel frame of the attitude they were computed for.
void write_forces(runtime::VesselRecord& v, const StepForces& f, const VECTOR3& contact_force, const MATRIX3& R) {
    v.forces.weight = vm::to_local(R, vm::scale(f.gravity, f.mass.mass));
    v.forces.thrust = f.propulsion.thrust;
    v.forces.lift = f.aero.lift;
    v.forces.drag = f.aero.drag;
    v.forces.total = vm::add(vm::add(f.outside.force, contact_force), v.forces.weight);
}

// Force the ground gives a resting vessel: what keeps it on its circle about the axis.
VECTOR3 resting_contact_force(const runtime::World& world, const runtime::VesselRecord& v, const StepForces& f) {
    const double w = body_rotation_rate(world.earth);
    const VECTOR3 ground_acceleration = vm::vec(-w * w * v.state.pos.x, 0.0, -w * w * v.state.pos.z);
    return vm::to_local(v.state.R, vm::sub(vm::scale(ground_acceleration, f.mass.mass), f.outside_global));
}

bool same(const VECTOR3& a, const VECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

// Puts a resting vessel where the ground has carried it at body rotation angle theta.
void hold_on_ground(const runtime::World& world, runtime::VesselState& s, const runtime::PhysicsCarry& m,
                    double theta) {
    const MATRIX3 turn = vm::body_rotation(theta);
    s.pos = vm::to_global(turn, m.ground_pos);
    s.R = vm::matmul(turn, m.ground_rot);
    s.vel = ground_velocity(world.earth, s.pos);
    s.omega = vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(world.earth), 0.0));
}

void remember_ground_pose(runtime::PhysicsCarry& m, const VECTOR3& pos, const MATRIX3& R, double theta) {
    const MATRIX3 unturn = vm::transpose(vm::body_rotation(theta));
    m.ground_pos = vm::to_global(unturn, pos);
    m.ground_rot = vm::matmul(unturn, R);
    m.resting = true;
}

bool slow_on_ground(const runtime::World& world, const Kinematics& s) {
    const VECTOR3 relative = vm::sub(s.vel, ground_velocity(world.earth, s.pos));
    const VECTOR3 relative_rate =
        vm::sub(s.omega, vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(world.earth), 0.0)));
    return vm::norm(relative) < kRestSpeed && vm::norm(relative_rate) < kRestRate;
}

}  // namespace

namespace {

bool same(const runtime::AirfoilRecord& a, const runtime::AirfoilRecord& b) {
    return a.orientation == b.orientation && same(a.ref, b.ref) && a.coeff == b.coeff && a.chord == b.chord &&
           a.area == b.area && a.aspect == b.aspect;
}

// Whether the vessel still has the airfoils whose definitions the carry keeps: the vessel may
// rebuild them between steps, mostly as they were (two records compared a step).
bool same_airfoils(const runtime::VesselDefinition& def, const runtime::PhysicsCarry& c) {
    bool same_all = c.airfoil_definitions.size() == def.airfoils.size();
    for (size_t i = 0; same_all && i < def.airfoils.size(); ++i) same_all = same(c.airfoil_definitions[i], *def.airfoils[i]);
    return same_all;
}

AeroOutput carried_airfoils(const runtime::PhysicsCarry& c) {
    AeroOutput out;
    out.wrench.force = c.airfoil_force;
    out.wrench.torque = c.airfoil_torque;
    out.lift = c.airfoil_lift;
    out.drag = c.airfoil_drag;
    return out;
}

// The airfoils' forces at the start of a step: those carried from the end of the last one when
// the vessel still has the same airfoils, else computed afresh.
AeroOutput starting_airfoils(const runtime::VesselDefinition& def, const EnvironmentOutput& env,
                             const runtime::PhysicsCarry& c, bool definitions_kept) {
    return c.airfoils_known && definitions_kept ? carried_airfoils(c) : airfoil_forces(def, env);
}

// Carries the airfoils' forces to the next step; the definitions are copied only when they
// changed (nothing in a step changes them).
void carry_airfoils(runtime::PhysicsCarry& c, const runtime::VesselDefinition& def, const AeroOutput& airfoils,
                    bool definitions_kept) {
    c.airfoil_force = airfoils.wrench.force;
    c.airfoil_torque = airfoils.wrench.torque;
    c.airfoil_lift = airfoils.lift;
    c.airfoil_drag = airfoils.drag;
    c.airfoils_known = true;
    if (definitions_kept) return;
    c.airfoil_definitions.resize(def.airfoils.size());
    for (size_t i = 0; i < def.airfoils.size(); ++i) c.airfoil_definitions[i] = *def.airfoils[i];
}

Atmosphere atmosphere_of(const runtime::AirData& a) {
    return Atmosphere{a.temperature, a.pressure, a.density, a.speed_of_sound};
}

}  // namespace

Physics::Physics(runtime::World& world) : world_(world) {}
Physics::~Physics() = default;

void Physics::step(double dt) {
    // Which vessels ride on a parent: attachments change only between steps.
    const size_t count = world_.vessel_count();
    riding_.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const runtime::VesselRecord* v = world_.vessel(i);
        riding_[i] = !v->def.attachments.empty() && world_.parent_of(v) != nullptr ? 1 : 0;
    }

    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete || riding_[i]) continue;
        step_vessel(v, dt);
    }
    if (world_.mjd != mjd_written_ || world_.sim_time != time_written_) {
        mjd_base_ = world_.mjd;
        time_base_ = world_.sim_time;
    }
    world_.sim_time += dt;
    world_.sim_step = dt;
    world_.mjd = mjd_base_ + (world_.sim_time - time_base_) / kSecondsPerDay;
    mjd_written_ = world_.mjd;
    time_written_ = world_.sim_time;

    // Attachments: children ride rigidly with their parents and take no part in the motion.
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        // A vessel without attachment points carries no children.
        if (!v.pending_delete && !riding_[i] && !v.def.attachments.empty()) world_.place_children(&v);
    }
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete || !riding_[i]) continue;
        const PresentState p = present_state(world_, v, 0.0);
        const StepForces f = forces_of(world_, v, p, dt);
        write_air(world_, v, f.env.air);
        write_forces(v, f, vm::vec(0.0, 0.0, 0.0), v.state.R);
        v.controls.added_forces.clear();
    }
}

void Physics::step_vessel(runtime::VesselRecord& v, double dt) {
    const runtime::VesselState& s = v.state;
    runtime::PhysicsCarry& carry = world_.carry(v);
    const double theta_next = body_rotation_angle(world_.earth, world_.sim_time + dt);
    if (!carry.valid) {
        // A new vessel, or one placed from outside: take its state as it is now.
        carry.airfoils_known = false;
        carry.air_known = false;
        carry.resting = false;
        if (s.landed) remember_ground_pose(carry, s.pos, s.R, body_rotation_angle(world_.earth, world_.sim_time));
    }
    // The air where the last step ended, which is where this one starts.
    const Atmosphere carried_air = atmosphere_of(carry.air);

    // The forces at the start, with the levels the vessel set after the last step. The
    // propellant of the whole step burns here.
    const Kinematics start = kinematics_of(s);
    const EnvironmentOutput env0 =
        environment(EnvironmentInput{world_.earth, start, carry.air_known ? &carried_air : nullptr});
    const MassOutput mass0 = mass_properties(v.def);
    const PropulsionOutput thrust0 = propulsion(PropulsionInput{v.def, env0.air.pressure, dt});
    const Wrench added = added_forces(v.controls);
    const bool airfoils_kept = same_airfoils(v.def, carry);
    const StepForces f0 = forces_at(world_, v, start, env0, mass0, starting_airfoils(v.def, env0, carry, airfoils_kept),
                                    thrust0, added, dt);
    v.controls.added_forces.clear();
    bool resting = carry.resting;
    if (resting && !ground_holds(contact_input(world_, v, start, f0, dt))) resting = false;
    // What the step ends with: the motion, and the air and forces there (for a resting vessel
    // those of the start), written as soon as they are known; what the next step carries.
    Kinematics k1 = start;
    bool airfoils_found = false;
    if (resting) {
        write_air(world_, v, f0.env.air);
        write_forces(v, f0, resting_contact_force(world_, v, f0), start.R);
    } else {
        // env0.radius is the start's distance from the centre, as ground_contact finds it.
        const ContactOutput contact0 = ground_within_reach(v.def, world_.earth, env0.radius)
                                           ? ground_contact(contact_input(world_, v, start, f0, dt))
                                           : ContactOutput{};
        Wrench total0 = f0.outside;
        add_wrench(total0, contact0.wrench);
        const Drift d = drift(start, accelerations(f0.mass, start, total0, f0.gravity), dt);

        // The forces at the predicted end: the same levels, thrusters and added forces, the
        // mass left after the burn and the air there. Friction stops what sliding is left
        // after the first half kick within the half step that remains.
        const Kinematics& end = d.predicted;
        const EnvironmentOutput env1 = environment(EnvironmentInput{world_.earth, end});
        const PropulsionOutput thrust1 =
            propulsion_at_pressure(f0.propulsion, env1.air.pressure - f0.env.air.pressure);
        const AeroOutput airfoils1 = airfoil_forces(v.def, env1);
        const MassOutput mass1 = mass_properties(v.def);
        const StepForces f1 = forces_at(world_, v, end, env1, mass1, airfoils1, thrust1, added, dt);
        ContactOutput contact1;
        if (ground_within_reach(v.def, world_.earth, env1.radius)) {
            ContactInput touching = contact_input(world_, v, end, f1, dt);
            touching.friction = FrictionTask{d.half_vel, d.half_omega, 0.5 * dt, false};
            contact1 = ground_contact(touching);
        }
        Wrench total1 = f1.outside;
        add_wrench(total1, contact1.wrench);
        k1 = finish(d, accelerations(f1.mass, end, total1, f1.gravity), dt);
        write_air(world_, v, f1.env.air);
        write_forces(v, f1, contact1.wrench.force, k1.R);
        carry_airfoils(carry, v.def, airfoils1, airfoils_kept);
        carry.air = air_data(env1.air);  // the step ends where it was predicted to: finish moves no position
        airfoils_found = true;
        if (contact1.all_points_in_contact && slow_on_ground(world_, k1) &&
            ground_holds(contact_input(world_, v, k1, f1, dt))) {
            resting = true;
            remember_ground_pose(carry, k1.pos, k1.R, theta_next);
        }
    }

    // The motion through the World, then what the next step carries (the World's move drops
    // the carry: only the physics' own step keeps it).
    runtime::VesselState& moved = world_.move(v);
    moved.pos = k1.pos;
    moved.vel = k1.vel;
    moved.R = k1.R;
    moved.omega = k1.omega;
    if (resting) hold_on_ground(world_, moved, carry, theta_next);
    moved.landed = resting;
    carry.resting = resting;
    carry.airfoils_known = airfoils_found;
    carry.air_known = airfoils_found;  // a resting vessel moved with the ground after its air was found
    carry.valid = true;
}

void Physics::update_observables() {
    const size_t count = world_.vessel_count();
    const double dt = world_.sim_step;
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete) continue;
        const PresentState p = present_state(world_, v, 0.0);
        const StepForces f = forces_of(world_, v, p, dt);
        write_air(world_, v, f.env.air);
        VECTOR3 contact = vm::vec(0.0, 0.0, 0.0);
        if (world_.parent_of(&v) == nullptr) {
            contact = v.state.landed ? resting_contact_force(world_, v, f)
                                     : ground_contact(contact_input(world_, v, kinematics_of(v.state), f, dt)).wrench.force;
        }
        write_forces(v, f, contact, v.state.R);
    }
}

}  // namespace physics
