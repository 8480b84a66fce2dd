// The physics step: every model in its fixed order, for every vessel.
#include "physics/physics.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {

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
};

// The outside forces in the global frame, weight included, for the attitude R they were found
// at: only the ground contact needs them, so a step in flight does not compute them.
VECTOR3 outside_global(const StepForces& f, const MATRIX3& R) {
    return vm::madd(vm::to_global(R, f.outside.force), f.gravity, f.mass.mass);
}

// What holds over a whole step of one vessel, whatever its substeps: the forces the vessel
// added, and how far its touchdown points reach from its centre (squared), which the step
// asks up to three times.
struct StepSetting {
    Wrench added;
    double touchdown_reach_squared;
};

namespace {

constexpr double kSecondsPerDay = 86400.0;
// A vessel in full contact that moves slower than this relative to the ground, and that the
// ground can hold, comes to rest.
constexpr double kRestSpeed = 0.01;  // m/s
constexpr double kRestRate = 0.001;  // rad/s
constexpr double kVerticalNose = 1.0 - 1e-9;  // cosine of the nose's angle from the vertical

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
    return StepForces{env, mass, propulsion, added, aero, gravity, outside};
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
PresentState present_state(const runtime::World& world, runtime::VesselRecord& v, double burn_dt,
                           double thrust_factor) {
    PresentState p;
    p.k = kinematics_of(v.state);
    p.env = environment(EnvironmentInput{world.earth, p.k});
    p.mass = mass_properties(v.def);
    p.thrust = propulsion(PropulsionInput{v.def, p.env.air.pressure, burn_dt, thrust_factor});
    p.airfoils = airfoil_forces(v.def, p.env);
    p.added = added_forces(v.controls);
    return p;
}

StepForces forces_of(const runtime::World& world, const runtime::VesselRecord& v, const PresentState& p, double dt) {
    return forces_at(world, v, p.k, p.env, p.mass, p.airfoils, p.thrust, p.added, dt);
}

ContactInput contact_input(const runtime::World& world, const runtime::VesselRecord& v, const Kinematics& k,
                           const StepForces& f, double dt) {
    return contact_at(v.def, k, world.earth, f.mass, outside_global(f, k.R), f.outside.torque, dt);
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
    return vm::to_local(v.state.R, vm::sub(vm::scale(ground_acceleration, f.mass.mass), outside_global(f, v.state.R)));
}

// A vessel's links (Physics::links_): it rides on a parent (World::parent_of finds one), it
// carries children (World::place_children has some to place).
constexpr unsigned char kRides = 1, kCarries = 2;
unsigned char links_of(const runtime::VesselRecord& v) {
    unsigned char links = 0;
    for (const auto& a : v.def.attachments)
        if (a->linked != nullptr) links |= a->to_parent ? kRides : kCarries;
    return links;
}

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

// The compass heading (rad) of a vessel's nose at a global position; of its roof for a nose
// that points straight up or down.
double heading_at(const MATRIX3& R, const VECTOR3& pos) {
    const double r = vm::norm(pos), a = std::atan2(pos.z, pos.x);
    const double sl = pos.y / r, cl = std::sqrt(pos.x * pos.x + pos.z * pos.z) / r;
    const VECTOR3 east = vm::vec(-std::sin(a), 0.0, std::cos(a));
    const VECTOR3 north = vm::vec(-sl * std::cos(a), cl, -sl * std::sin(a));
    VECTOR3 nose = vm::vec(R.m13, R.m23, R.m33);
    if (std::fabs(vm::dot(nose, vm::scale(pos, 1.0 / r))) > kVerticalNose) nose = vm::vec(R.m12, R.m22, R.m32);
    return std::atan2(vm::dot(nose, east), vm::dot(nose, north));
}

bool slow_on_ground(const runtime::World& world, const Kinematics& s) {
    const VECTOR3 relative = vm::sub(s.vel, ground_velocity(world.earth, s.pos));
    const VECTOR3 relative_rate =
        vm::sub(s.omega, vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(world.earth), 0.0)));
    return vm::norm(relative) < kRestSpeed && vm::norm(relative_rate) < kRestRate;
}

// Writes a step's motion through the World, then what the next step carries: the World's move
// drops the carry, so only the physics' own step keeps it. A resting vessel is put where the
// ground has carried it; `air_found`: the air and airfoils at k were found (a moving vessel's).
void end_step(runtime::World& world, runtime::VesselRecord& v, runtime::PhysicsCarry& carry, const Kinematics& k,
              bool resting, double theta_next, bool air_found) {
    runtime::VesselState& moved = world.move(v);
    moved.pos = k.pos;
    moved.vel = k.vel;
    moved.R = k.R;
    moved.omega = k.omega;
    if (resting) hold_on_ground(world, moved, carry, theta_next);
    moved.landed = resting;
    carry.resting = resting;
    carry.airfoils_known = air_found;
    carry.air_known = air_found;
    carry.valid = true;
}

// A wreck held where it came to rest at the end of a step: its air and forces there, with no
// thrust.
void hold_wreck(runtime::World& world, runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t_end) {
    const double theta = body_rotation_angle(world.earth, t_end);
    Kinematics k = kinematics_of(v.state);
    end_step(world, v, carry, k, true, theta, false);
    k = kinematics_of(v.state);
    const EnvironmentOutput env = environment(EnvironmentInput{world.earth, k});
    const MassOutput mass = mass_properties(v.def);
    const PropulsionOutput no_thrust;
    const Wrench nothing_added;
    const StepForces f = forces_at(world, v, k, env, mass, airfoil_forces(v.def, env), no_thrust, nothing_added, 0.0);
    write_air(world, v, f.env.air);
    write_forces(v, f, resting_contact_force(world, v, f), k.R);
}

}  // namespace

namespace {

// Definitions the same bit for bit give the same forces; a zero of the other sign only costs a
// recomputation. The numbers' differences are gathered without a branch for each.
bool same(const runtime::AirfoilRecord& a, const runtime::AirfoilRecord& b) {
    const auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
    const std::uint64_t differing = (bits(a.ref.x) ^ bits(b.ref.x)) | (bits(a.ref.y) ^ bits(b.ref.y)) |
                                    (bits(a.ref.z) ^ bits(b.ref.z)) | (bits(a.chord) ^ bits(b.chord)) |
                                    (bits(a.area) ^ bits(b.area)) | (bits(a.aspect) ^ bits(b.aspect));
    return differing == 0 && a.orientation == b.orientation && a.coeff == b.coeff;
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
    // Which vessels ride on a parent and which carry children: attachments change only
    // between steps.
    const size_t count = world_.vessel_count();
    links_.resize(count);
    for (size_t i = 0; i < count; ++i) links_[i] = links_of(*world_.vessel(i));

    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete || (links_[i] & kRides)) continue;
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
        if (!v.pending_delete && links_[i] == kCarries) world_.place_children(&v);
    }
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete || !(links_[i] & kRides)) continue;
        const PresentState p = present_state(world_, v, 0.0, thrust_factor_);
        const StepForces f = forces_of(world_, v, p, dt);
        write_air(world_, v, f.env.air);
        write_forces(v, f, vm::vec(0.0, 0.0, 0.0), v.state.R);
        v.controls.added_forces.clear();
    }
}

void Physics::step_vessel(runtime::VesselRecord& v, double dt) {
    const runtime::VesselState& s = v.state;
    runtime::PhysicsCarry& carry = world_.carry(v);
    if (!carry.valid) {
        // A new vessel, or one placed from outside: take its state as it is now. A wreck stays
        // one while it is on the ground.
        carry.airfoils_known = false;
        carry.air_known = false;
        carry.resting = false;
        carry.crashed = carry.crashed && s.landed;
        if (s.landed) remember_ground_pose(carry, s.pos, s.R, body_rotation_angle(world_.earth, world_.sim_time));
    }
    // The forces the vessel added act over the whole step, whatever its substeps.
    const StepSetting setting{added_forces(v.controls), touchdown_reach_squared(v.def)};
    v.controls.added_forces.clear();
    // The mass before the first substep burns anything.
    const MassOutput mass = mass_properties(v.def);
    const int substeps = carry.resting ? 1 : substeps_of(v, carry, setting, mass, dt);
    const double h = dt / substeps;
    for (int i = 0; i < substeps; ++i)
        advance(v, carry, world_.sim_time + i * h, h, setting, i == 0 ? mass : mass_properties(v.def));
}

// A step is cut into substeps short enough for the stiffest forces it meets: the springs of a
// vessel that may touch the ground within it, and the airfoils where the air is dense and
// fast (their forces at the start, most often carried from where the last step ended). In
// flight through thin air a step is one.
int Physics::substeps_of(const runtime::VesselRecord& v, runtime::PhysicsCarry& carry, const StepSetting& setting,
                         const MassOutput& mass, double dt) {
    const runtime::VesselState& s = v.state;
    const double radius = vm::norm(s.pos);
    const double descent = radius > 0.0 ? std::max(0.0, -vm::dot(s.vel, s.pos) / radius) : 0.0;
    const bool near_ground = ground_within_reach(setting.touchdown_reach_squared, world_.earth, radius - descent * dt);
    if (!carry.airfoils_known) {
        const Atmosphere carried_air = atmosphere_of(carry.air);
        const EnvironmentOutput env = environment(
            EnvironmentInput{world_.earth, kinematics_of(s), carry.air_known ? &carried_air : nullptr});
        carry_airfoils(carry, v.def, airfoil_forces(v.def, env), same_airfoils(v.def, carry));
    }
    const double airspeed = vm::norm(vm::sub(s.vel, ground_velocity(world_.earth, s.pos)));
    const int aero = aero_substeps(Wrench{carry.airfoil_force, carry.airfoil_torque}, mass, airspeed, dt);
    return near_ground ? std::max(aero, contact_substeps(v.def, mass, dt)) : aero;
}

// One step of h seconds from time t: held by the ground, or moving under every force.
void Physics::advance(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h,
                      const StepSetting& setting, const MassOutput& mass0) {
    // The air where the last step ended, which is where this one starts.
    const Atmosphere carried_air = atmosphere_of(carry.air);

    // The forces at the start, with the levels the vessel set after the last step. The
    // propellant of the whole step burns here; a wreck's engines give nothing.
    const Kinematics start = kinematics_of(v.state);
    const EnvironmentOutput env0 =
        environment(EnvironmentInput{world_.earth, start, carry.air_known ? &carried_air : nullptr});
    const PropulsionOutput thrust0 =
        carry.crashed ? PropulsionOutput{} : propulsion(PropulsionInput{v.def, env0.air.pressure, h, thrust_factor_});
    const bool airfoils_kept = same_airfoils(v.def, carry);
    const StepForces f0 = forces_at(world_, v, start, env0, mass0, starting_airfoils(v.def, env0, carry, airfoils_kept),
                                    thrust0, setting.added, h);
    if (carry.resting && !carry.crashed && !ground_holds(contact_input(world_, v, start, f0, h)))
        carry.resting = false;
    if (!carry.resting) {
        move(v, carry, t, h, start, f0, setting, airfoils_kept);
        return;
    }
    // Held by the ground: the air and forces of the start, the pose where the ground takes it.
    write_air(world_, v, f0.env.air);
    write_forces(v, f0, resting_contact_force(world_, v, f0), start.R);
    end_step(world_, v, carry, start, true, body_rotation_angle(world_.earth, t + h), false);
}

// The vessel moving under every force for h seconds from time t, unless it strikes the ground
// harder than it can take: it is then a wreck held on the ground.
void Physics::move(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h,
                   const Kinematics& start, const StepForces& f0, const StepSetting& setting, bool airfoils_kept) {
    // env0.radius is the start's distance from the centre, as ground_contact finds it.
    ContactOutput contact0;
    if (ground_within_reach(setting.touchdown_reach_squared, world_.earth, f0.env.radius)) {
        if (crash_if_struck(v, carry, t, h, start, start, f0.mass)) return;
        contact0 = ground_contact(contact_input(world_, v, start, f0, h));
    }
    Wrench total0 = f0.outside;
    add_wrench(total0, contact0.wrench);
    const Drift d = drift(start, accelerations(f0.mass, start, total0, f0.gravity), h);

    // The forces at the predicted end: the same levels, thrusters and added forces, the
    // mass left after the burn and the air there. Friction stops what sliding is left
    // after the first half kick within the half step that remains.
    const Kinematics& end = d.predicted;
    const EnvironmentOutput env1 = environment(EnvironmentInput{world_.earth, end});
    const bool end_within_reach = ground_within_reach(setting.touchdown_reach_squared, world_.earth, env1.radius);
    if (end_within_reach && crash_if_struck(v, carry, t, h, start, end, f0.mass)) return;
    const PropulsionOutput thrust1 = propulsion_at_pressure(f0.propulsion, env1.air.pressure - f0.env.air.pressure);
    const AeroOutput airfoils1 = airfoil_forces(v.def, env1);
    const MassOutput mass1 = mass_properties(v.def);
    const StepForces f1 = forces_at(world_, v, end, env1, mass1, airfoils1, thrust1, f0.added, h);
    ContactOutput contact1;
    if (end_within_reach) {
        ContactInput touching = contact_input(world_, v, end, f1, h);
        touching.friction = FrictionTask{d.half_vel, d.half_omega, 0.5 * h, false};
        contact1 = ground_contact(touching);
    }
    Wrench total1 = f1.outside;
    add_wrench(total1, contact1.wrench);
    const Kinematics k1 = finish(d, accelerations(f1.mass, end, total1, f1.gravity), h);

    // Air data and forces where the step has taken the vessel; the next step starts with the
    // air and the airfoils' forces found there (finish moves no position).
    write_air(world_, v, f1.env.air);
    write_forces(v, f1, contact1.wrench.force, k1.R);
    carry_airfoils(carry, v.def, airfoils1, airfoils_kept);
    carry.air = air_data(env1.air);
    const bool resting = contact1.all_points_in_contact && slow_on_ground(world_, k1) &&
                         ground_holds(contact_input(world_, v, k1, f1, h));
    // Where the ground has turned to by the step's end matters only to a vessel it holds.
    const double theta_next = resting ? body_rotation_angle(world_.earth, t + h) : 0.0;
    if (resting) remember_ground_pose(carry, k1.pos, k1.R, theta_next);
    end_step(world_, v, carry, k1, resting, theta_next, true);
}

// A vessel that strikes the ground harder than it can take, found at `after` coming from
// `before`, is wrecked: it comes to rest on the surface where it struck, level on its
// touchdown points and facing the way it went, and stays there.
bool Physics::crash_if_struck(runtime::VesselRecord& v, runtime::PhysicsCarry& carry, double t, double h,
                              const Kinematics& before, const Kinematics& after, const MassOutput& mass) {
    const Impact impact = find_impact(v.def, world_.earth, mass, h, before, after);
    if (!impact.crash) return false;
    const double when = t + impact.fraction * h;
    const VECTOR3 where = vm::madd(before.pos, vm::sub(after.pos, before.pos), impact.fraction);
    const VECTOR3 fixed = vm::to_local(vm::body_rotation(body_rotation_angle(world_.earth, when)), where);
    const double longitude = std::atan2(fixed.z, fixed.x);
    const double latitude = std::asin(std::clamp(fixed.y / vm::norm(fixed), -1.0, 1.0));
    rest_on_ground(world_, v, longitude, latitude, heading_at(before.R, where));
    remember_ground_pose(carry, v.state.pos, v.state.R, body_rotation_angle(world_.earth, world_.sim_time));
    carry.crashed = true;
    hold_wreck(world_, v, carry, t + h);
    crashes_.push_back(CrashReport{v.name, when, impact.speed, impact.sink_speed, impact.hull, longitude, latitude});
    return true;
}

void Physics::update_observables() {
    const size_t count = world_.vessel_count();
    const double dt = world_.sim_step;
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete) continue;
        const PresentState p = present_state(world_, v, 0.0, thrust_factor_);
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
