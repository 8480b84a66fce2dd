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

// Everything the models give for one vessel in one step.
struct StepForces {
    EnvironmentOutput env;
    MassOutput mass;
    PropulsionOutput propulsion;
    AeroOutput aero;
    Wrench added;
    VECTOR3 gravity;         // global, m/s^2
    Wrench outside;          // vessel frame: propulsion, aerodynamics and added forces
    VECTOR3 outside_global;  // global: the same plus weight
};

StepForces compute_forces(const runtime::World& world, runtime::VesselRecord& v, double burn_dt, double dt) {
    StepForces f;
    f.env = environment(EnvironmentInput{world.earth, v.state});
    f.mass = mass_properties(v.def);
    f.propulsion = propulsion(PropulsionInput{v.def, f.env.air.pressure, burn_dt});
    f.aero = aerodynamics(
        AeroInput{v.def, f.env, v.state.control_surface_levels, v.state.omega, f.mass.inertia, dt});
    f.added = added_forces(v.state);
    f.gravity = gravity_acceleration(world.earth.mu, v.state.pos);
    f.outside = f.propulsion.wrench;
    add_wrench(f.outside, f.aero.wrench);
    add_wrench(f.outside, f.added);
    f.outside_global = vm::madd(vm::to_global(v.state.R, f.outside.force), f.gravity, f.mass.mass);
    return f;
}

ContactInput contact_input(const runtime::World& world, const runtime::VesselRecord& v, const StepForces& f,
                           double dt) {
    return ContactInput{v.def, v.state, world.earth, f.mass, f.outside_global, f.outside.torque, dt};
}

void write_air(runtime::VesselRecord& v, const Atmosphere& air) {
    v.air.pressure = air.pressure;
    v.air.density = air.density;
    v.air.temperature = air.temperature;
    v.air.speed_of_sound = air.speed_of_sound;
}

// Forces in the vessel frame of the attitude they were computed for.
void write_forces(runtime::VesselRecord& v, const StepForces& f, const VECTOR3& contact_force) {
    v.forces.weight = vm::to_local(v.state.R, vm::scale(f.gravity, f.mass.mass));
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
bool same(const MATRIX3& a, const MATRIX3& b) {
    for (int i = 0; i < 9; ++i)
        if (a.data[i] != b.data[i]) return false;
    return true;
}

// Puts a resting vessel where the ground has carried it at body rotation angle theta.
void hold_on_ground(const runtime::World& world, runtime::VesselState& s, const Physics::VesselMemory& m,
                    double theta) {
    const MATRIX3 turn = vm::body_rotation(theta);
    s.pos = vm::to_global(turn, m.ground_pos);
    s.R = vm::matmul(turn, m.ground_rot);
    s.vel = ground_velocity(world.earth, s.pos);
    s.omega = vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(world.earth), 0.0));
}

void remember_ground_pose(Physics::VesselMemory& m, const runtime::VesselState& s, double theta) {
    const MATRIX3 unturn = vm::transpose(vm::body_rotation(theta));
    m.ground_pos = vm::to_global(unturn, s.pos);
    m.ground_rot = vm::matmul(unturn, s.R);
    m.resting = true;
}

bool slow_on_ground(const runtime::World& world, const runtime::VesselState& s) {
    const VECTOR3 relative = vm::sub(s.vel, ground_velocity(world.earth, s.pos));
    const VECTOR3 relative_rate =
        vm::sub(s.omega, vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(world.earth), 0.0)));
    return vm::norm(relative) < kRestSpeed && vm::norm(relative_rate) < kRestRate;
}

}  // namespace

Physics::Physics(runtime::World& world) : world_(world) {}

Physics::VesselMemory& Physics::memory_for(size_t index, const runtime::VesselRecord& v) {
    if (memory_.size() <= index) memory_.resize(world_.vessel_count());
    VesselMemory& m = memory_[index];
    const runtime::VesselState& s = v.state;
    const bool unchanged = m.vessel == &v && m.resting == s.landed && same(m.written_pos, s.pos) &&
                           same(m.written_vel, s.vel) && same(m.written_rot, s.R);
    if (!unchanged) {
        // A new vessel, or one placed from outside: take its state as it is now.
        m = VesselMemory{};
        m.vessel = &v;
        if (s.landed) remember_ground_pose(m, s, body_rotation_angle(world_.earth, world_.sim_time));
    }
    return m;
}

void Physics::step(double dt) {
    const size_t count = world_.vessel_count();
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete || world_.parent_of(&v) != nullptr) continue;
        step_vessel(v, memory_for(i, v), dt);
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
        if (!v.pending_delete && world_.parent_of(&v) == nullptr) world_.place_children(&v);
    }
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete) continue;
        if (world_.parent_of(&v) != nullptr) {
            const StepForces f = compute_forces(world_, v, 0.0, dt);
            write_air(v, f.env.air);
            write_forces(v, f, vm::vec(0.0, 0.0, 0.0));
            v.state.added_forces.clear();
        } else {
            // Air data where the step has taken the vessel.
            write_air(v, us_standard_atmosphere(vm::norm(v.state.pos) - world_.earth.radius));
        }
    }
}

void Physics::step_vessel(runtime::VesselRecord& v, VesselMemory& memory, double dt) {
    runtime::VesselState& s = v.state;
    const double theta_next = body_rotation_angle(world_.earth, world_.sim_time + dt);

    // Environment, mass, propulsion, aerodynamics, added forces and gravity.
    const StepForces f = compute_forces(world_, v, dt, dt);
    s.added_forces.clear();
    const ContactInput held = contact_input(world_, v, f, dt);

    // Ground contact and integration.
    if (memory.resting && !ground_holds(held)) memory.resting = false;
    if (memory.resting) {
        write_forces(v, f, resting_contact_force(world_, v, f));
        hold_on_ground(world_, s, memory, theta_next);
    } else {
        const ContactOutput contact = ground_contact(held);
        write_forces(v, f, contact.wrench.force);
        Wrench total = f.outside;
        add_wrench(total, contact.wrench);
        integrate(s, MotionInput{f.mass, vm::to_global(s.R, total.force), total.torque, world_.earth.mu, dt});
        if (contact.all_points_in_contact && slow_on_ground(world_, s) &&
            ground_holds(ContactInput{v.def, s, world_.earth, f.mass, f.outside_global, f.outside.torque, dt})) {
            remember_ground_pose(memory, s, theta_next);
            hold_on_ground(world_, s, memory, theta_next);
        }
    }
    s.landed = memory.resting;
    memory.written_pos = s.pos;
    memory.written_vel = s.vel;
    memory.written_rot = s.R;
}

void Physics::update_observables() {
    const size_t count = world_.vessel_count();
    const double dt = world_.sim_step;
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world_.vessel(i);
        if (v.pending_delete) continue;
        const StepForces f = compute_forces(world_, v, 0.0, dt);
        write_air(v, f.env.air);
        VECTOR3 contact = vm::vec(0.0, 0.0, 0.0);
        if (world_.parent_of(&v) == nullptr) {
            contact = v.state.landed ? resting_contact_force(world_, v, f)
                                     : ground_contact(contact_input(world_, v, f, dt)).wrench.force;
        }
        write_forces(v, f, contact);
    }
}

}  // namespace physics
