// Ground contact at the touchdown points: a critically damped spring per point, pressing
// only, and friction limited by each point's normal force (docs/physics.md).
#include <algorithm>
#include <cmath>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {
namespace {

constexpr double kStandardGravity = 9.80665;  // m/s^2
constexpr double kStaticDeflection = 0.03;    // m: each point's spring sinks this far under its share of the weight
constexpr double kMaxFrequencyStep = 0.5;     // highest contact frequency times dt: keeps the explicit step stable
constexpr double kContactMargin = 1.0;        // m above the points' reach where contact is not looked for
constexpr int kMaxContactSubsteps = 32;       // beyond them the springs are softened for the step instead

// What the touchdown points are made for (docs/physics.md, "Crashes"). An impact beyond any of
// these is a crash.
constexpr double kCrashSinkSpeed = 5.0;    // m/s: a point striking the ground faster breaks the gear
constexpr double kCrashRollSpeed = 200.0;  // m/s: a point rolling or sliding faster tears its tyre
constexpr double kCrashDepth = 1.0;        // m: a point pressed deeper has run out of travel ...
constexpr double kCrashDeflections = 10.0; // ... or, on springs softened for a long step, ten static deflections
constexpr double kDampingRatio = 1.0;

struct GroundAxes {
    VECTOR3 longitudinal, lateral;  // global, horizontal, along the vessel's nose and to its right
};

VECTOR3 horizontal(const VECTOR3& v, const VECTOR3& up) { return vm::madd(v, up, -vm::dot(v, up)); }

GroundAxes ground_axes(const MATRIX3& R, const VECTOR3& up) {
    const VECTOR3 nose = vm::vec(R.m13, R.m23, R.m33);
    const VECTOR3 top = vm::vec(R.m12, R.m22, R.m32);
    const VECTOR3 right = vm::vec(R.m11, R.m21, R.m31);
    VECTOR3 lng = horizontal(nose, up);
    double n = vm::norm(lng);
    if (n < 1e-6) {  // nose straight up or down: the vessel's top gives the direction
        lng = horizontal(top, up);
        n = vm::norm(lng);
    }
    lng = vm::scale(lng, 1.0 / n);
    VECTOR3 lat = horizontal(right, up);
    lat = vm::madd(lat, lng, -vm::dot(lat, lng));
    const double m = vm::norm(lat);
    lat = m > 1e-9 ? vm::scale(lat, 1.0 / m) : vm::cross(up, lng);
    return GroundAxes{lng, lat};
}

// Velocity of a point of the vessel: dR/dt = -R [omega]x moves it by -R (omega x p).
VECTOR3 point_velocity(const MATRIX3& R, const VECTOR3& vel, const VECTOR3& omega, const VECTOR3& p) {
    return vm::sub(vel, vm::to_global(R, vm::cross(omega, p)));
}

// The unsoftened spring of each point: it sinks kStaticDeflection under its share of the weight.
double rigid_stiffness(const runtime::VesselDefinition& def, const MassOutput& mass) {
    return mass.mass * kStandardGravity / (double(def.touchdown.size()) * kStaticDeflection);
}

// The square of the stiffest mode of the vessel on springs of stiffness k at every point:
// bouncing (n k / m) or rocking about an axis (k times the points' squared arms over the
// moment of inertia), rad^2/s^2.
double highest_frequency_squared(const runtime::VesselDefinition& def, const MassOutput& mass, double k) {
    double arm2[3] = {0.0, 0.0, 0.0};
    for (const VECTOR3& p : def.touchdown) {
        arm2[0] += p.y * p.y + p.z * p.z;
        arm2[1] += p.x * p.x + p.z * p.z;
        arm2[2] += p.x * p.x + p.y * p.y;
    }
    double highest = double(def.touchdown.size()) * k / mass.mass;
    const double inertia[3] = {mass.inertia.x, mass.inertia.y, mass.inertia.z};
    for (int a = 0; a < 3; ++a)
        if (inertia[a] > 0.0) highest = std::max(highest, k * arm2[a] / inertia[a]);
    return highest;
}

// Spring stiffness per point: the static deflection under the vessel's weight, softened when
// the stiffest mode would still be too fast for the step (beyond what substeps can take).
double contact_stiffness(const runtime::VesselDefinition& def, const MassOutput& mass, double dt) {
    double k = rigid_stiffness(def, mass);
    if (dt <= 0.0) return k;
    const double highest = highest_frequency_squared(def, mass, k);
    const double limit = kMaxFrequencyStep * kMaxFrequencyStep / (dt * dt);
    if (highest > limit) k *= limit / highest;
    return k;
}

// The square of the stiffest mode of the unsoftened springs.
double rigid_frequency_squared(const runtime::VesselDefinition& def, const MassOutput& mass) {
    return highest_frequency_squared(def, mass, rigid_stiffness(def, mass));
}

// Velocity of a point of the vessel relative to the ground under it.
VECTOR3 ground_relative_velocity(const runtime::BodyRecord& body, const Kinematics& k, const VECTOR3& p,
                                 const VECTOR3& at) {
    return vm::sub(point_velocity(k.R, k.vel, k.omega, p), ground_velocity(body, at));
}

// The height above the surface of a point of the vessel.
double point_height(const runtime::BodyRecord& body, const Kinematics& k, const VECTOR3& p) {
    return vm::norm(vm::add(k.pos, vm::to_global(k.R, p))) - body.radius;
}

// How a point that is below the surface strikes it, and whether the vessel can take that.
Impact point_impact(const runtime::BodyRecord& body, const Kinematics& before, const Kinematics& after,
                    const VECTOR3& p, bool hull, double max_depth) {
    Impact impact;
    const VECTOR3 r = vm::add(after.pos, vm::to_global(after.R, p));
    const double radius = vm::norm(r);
    const double depth = body.radius - radius;
    if (!(depth > 0.0)) return impact;
    const VECTOR3 up = vm::scale(r, 1.0 / radius);
    const VECTOR3 relative = ground_relative_velocity(body, after, p, r);
    impact.sink_speed = -vm::dot(relative, up);
    impact.speed = vm::norm(relative);
    const double rolling = vm::norm(vm::madd(relative, up, impact.sink_speed));
    impact.hull = hull;
    impact.crash = hull || impact.sink_speed > kCrashSinkSpeed || rolling > kCrashRollSpeed || depth > max_depth;
    const double height_before = point_height(body, before, p);
    impact.fraction = height_before > 0.0 ? height_before / (height_before + depth) : 0.0;
    return impact;
}

// Rotation for take-off. A rigid gear holds the nose down with the whole weight moment about
// the main wheels, far more than a vessel whose main wheels stand well behind its centre of
// mass can overcome with its controls. The ground's hold on the nose (a nose-down pitching
// moment of the wheel loads) therefore fades as the outside forces pitch the vessel nose up,
// and is gone once their moment reaches kFullRotationShare of that weight moment: the vessel
// then turns about its main wheels with the pitch authority it has in the air. Small moments
// (the air at taxi speeds) leave the contact as it is.
constexpr double kFullRotationShare = 0.1;

void limit_nose_hold(Wrench& pressing, const ContactInput& in) {
    const double nose_up = in.external_torque.x;  // vessel frame: +x turns the nose up
    if (nose_up <= 0.0 || pressing.torque.x >= 0.0) return;
    double arm = 0.0;  // mean distance of the main wheels behind the centre of mass
    int behind = 0;
    for (const VECTOR3& p : in.def.touchdown)
        if (p.z < 0.0) arm -= p.z, ++behind;
    if (behind == 0) return;
    arm /= behind;
    const double weight_moment = in.mass.mass * kStandardGravity * arm;
    const double release = std::min(1.0, nose_up / (kFullRotationShare * weight_moment));
    pressing.torque.x *= 1.0 - release;
}

// Friction at the points in contact, solved together. Each point may push along the ground's
// longitudinal and lateral axes within its grip (friction coefficient times its normal force).
// A push at one point turns the vessel and so moves the others: the pushes f are coupled
// through the vessel's mass and inertia, K f = -(slide / time + unpushed acceleration), with
// K_jk = t_j.t_k / m + w_j I^-1 w_k and w = p x t (the vessel-frame arm of a push), and are
// solved by projected Gauss-Seidel within the grip limits.
constexpr int kMaxPushes = 6;           // two axes at each of three points
constexpr int kFrictionIterations = 30;
constexpr double kFrictionTolerance = 1e-12;  // relative change of the pushes that ends the iteration

struct Push {
    size_t point;
    VECTOR3 axis, axis_local, arm;
    double limit;   // N
    double wanted;  // m/s^2: the change of the point's sliding along the axis that the pushes must give
    double force;   // N
};

// How the point's sliding along an axis would change without friction: the outside and normal
// forces move and turn the vessel; while friction holds the sliding over the step, the ground
// under a moving point and the axes turning with the vessel count as well.
double unpushed_acceleration(const ContactInput& in, const Push& u, const VECTOR3& linear, const VECTOR3& angular) {
    double a = vm::dot(u.axis, linear) - vm::dot(angular, u.arm);
    if (in.friction.holds_over_step) {
        const Kinematics& s = in.motion;
        const VECTOR3& p = in.def.touchdown[u.point];
        const VECTOR3 point_vel = point_velocity(s.R, in.friction.vel, in.friction.omega, p);
        const VECTOR3 relative =
            vm::sub(point_vel, ground_velocity(in.body, vm::add(s.pos, vm::to_global(s.R, p))));
        // The vessel's angular velocity in the usual sense is -R omega; its vertical part turns the axes.
        const VECTOR3 up = vm::scale(s.pos, 1.0 / vm::norm(s.pos));
        const VECTOR3 turning = vm::scale(up, -vm::dot(vm::to_global(s.R, in.friction.omega), up));
        a += vm::dot(relative, vm::cross(turning, u.axis)) - vm::dot(u.axis, ground_velocity(in.body, point_vel));
    }
    return a;
}

// Projected Gauss-Seidel on K f = wanted with |f_j| <= limit_j, from f = 0. K is +0 beyond
// `count` pushes, and so are their forces: each row's sum then runs over all kMaxPushes, a
// fixed length, and every term past `count` adds an exact +0 to a sum that starts at +0 (so
// is never -0) and leaves it as it was.
void solve_pushes(std::array<Push, kMaxPushes>& pushes, int count, const double (&K)[kMaxPushes][kMaxPushes]) {
    double f[kMaxPushes] = {};
    for (int iteration = 0; iteration < kFrictionIterations; ++iteration) {
        double largest_change = 0.0, largest_force = 0.0;
        for (int j = 0; j < count; ++j) {
            const Push& u = pushes[size_t(j)];
            if (K[j][j] <= 0.0) continue;
            double achieved = 0.0;
            for (int k = 0; k < kMaxPushes; ++k) achieved += K[j][k] * f[k];
            const double force = std::clamp(f[j] + (u.wanted - achieved) / K[j][j], -u.limit, u.limit);
            largest_change = std::max(largest_change, std::fabs(force - f[j]));
            largest_force = std::max(largest_force, std::fabs(force));
            f[j] = force;
        }
        if (largest_change <= kFrictionTolerance * largest_force) break;
    }
    for (int j = 0; j < count; ++j) pushes[size_t(j)].force = f[j];
}

Wrench friction(const ContactInput& in, const GroundAxes& axes, const Wrench& pressing, const double normal[3],
                const VECTOR3 slide[3]) {
    const Kinematics& s = in.motion;
    const MassOutput& mass = in.mass;
    const VECTOR3 inverse_inertia = vm::vec(mass.inertia.x > 0.0 ? 1.0 / mass.inertia.x : 0.0,
                                            mass.inertia.y > 0.0 ? 1.0 / mass.inertia.y : 0.0,
                                            mass.inertia.z > 0.0 ? 1.0 / mass.inertia.z : 0.0);
    // Accelerations without friction: of the centre of mass (global) and of the rotation.
    const VECTOR3 linear =
        vm::scale(vm::add(in.external_force, vm::to_global(s.R, pressing.force)), 1.0 / mass.mass);
    const VECTOR3 angular = vm::hadamard(inverse_inertia, vm::add(in.external_torque, pressing.torque));

    std::array<Push, kMaxPushes> pushes{};
    int count = 0;
    for (size_t i = 0; i < in.def.touchdown.size(); ++i) {
        if (normal[i] <= 0.0) continue;
        for (const bool lateral : {false, true}) {
            Push& u = pushes[size_t(count++)];
            u.point = i;
            u.axis = lateral ? axes.lateral : axes.longitudinal;
            u.axis_local = vm::to_local(s.R, u.axis);
            u.arm = vm::cross(in.def.touchdown[i], u.axis_local);
            u.limit = std::max(0.0, lateral ? in.def.friction_lat : in.def.friction_lng) * normal[i];
            u.wanted = -(vm::dot(slide[i], u.axis) / in.friction.time + unpushed_acceleration(in, u, linear, angular));
            u.force = 0.0;
        }
    }
    double K[kMaxPushes][kMaxPushes] = {};  // +0 beyond `count`, as solve_pushes needs
    for (int j = 0; j < count; ++j)
        for (int k = 0; k < count; ++k)
            K[j][k] = vm::dot(pushes[size_t(j)].axis, pushes[size_t(k)].axis) / mass.mass +
                      vm::dot(pushes[size_t(j)].arm, vm::hadamard(inverse_inertia, pushes[size_t(k)].arm));
    solve_pushes(pushes, count, K);
    Wrench w;
    for (int j = 0; j < count; ++j) {
        const Push& u = pushes[size_t(j)];
        add_force_at(w, vm::scale(u.axis_local, u.force), in.def.touchdown[u.point]);
    }
    return w;
}

}  // namespace

ContactInput contact_at(const runtime::VesselDefinition& def, const Kinematics& motion,
                        const runtime::BodyRecord& body, const MassOutput& mass, const VECTOR3& external_force,
                        const VECTOR3& external_torque, double dt) {
    return ContactInput{def, motion, body, mass, external_force, external_torque, dt,
                        FrictionTask{motion.vel, motion.omega, dt, true}};
}

double touchdown_reach_squared(const runtime::VesselDefinition& def) {
    double reach2 = 0.0;
    for (const VECTOR3& p : def.touchdown) reach2 = std::max(reach2, vm::dot(p, p));
    return reach2;
}

bool ground_within_reach(double reach_squared, const runtime::BodyRecord& body, double radius) {
    const double clearance = radius - body.radius - kContactMargin;
    return !(clearance > 0.0 && clearance * clearance > reach_squared);
}

bool ground_within_reach(const runtime::VesselDefinition& def, const runtime::BodyRecord& body, double radius) {
    return ground_within_reach(touchdown_reach_squared(def), body, radius);
}

ContactOutput ground_contact(const ContactInput& in) {
    ContactOutput out;
    const Kinematics& s = in.motion;
    const MassOutput& mass = in.mass;
    if (mass.mass <= 0.0) return out;
    const double radius = vm::norm(s.pos);
    if (!ground_within_reach(in.def, in.body, radius)) return out;

    const double points = double(in.def.touchdown.size());
    const double k = contact_stiffness(in.def, mass, in.dt);
    const double c = 2.0 * kDampingRatio * std::sqrt(k * mass.mass / points);
    const VECTOR3 up = vm::scale(s.pos, 1.0 / radius);
    const GroundAxes axes = ground_axes(s.R, up);

    // First the points in contact and their normal forces.
    double normal[3] = {0.0, 0.0, 0.0};
    bool touching[3] = {false, false, false};
    VECTOR3 point_up[3]{}, slide[3]{};
    for (size_t i = 0; i < in.def.touchdown.size(); ++i) {
        const VECTOR3& p = in.def.touchdown[i];
        const VECTOR3 r = vm::add(s.pos, vm::to_global(s.R, p));
        const double ri = vm::norm(r);
        const double depth = in.body.radius - ri;
        if (depth <= 0.0) continue;
        point_up[i] = vm::scale(r, 1.0 / ri);
        const VECTOR3 ground = ground_velocity(in.body, r);
        const double closing = vm::dot(vm::sub(point_velocity(s.R, s.vel, s.omega, p), ground), point_up[i]);
        normal[i] = std::max(0.0, k * depth - c * closing);
        const VECTOR3 sliding = vm::sub(point_velocity(s.R, in.friction.vel, in.friction.omega, p), ground);
        slide[i] = vm::madd(sliding, point_up[i], -vm::dot(sliding, point_up[i]));
        touching[i] = true;
        ++out.points_in_contact;
    }
    out.all_points_in_contact = out.points_in_contact == int(in.def.touchdown.size());
    if (out.points_in_contact == 0) return out;

    // The normal forces, the nose's hold released for the take-off rotation, then friction
    // against them and the outside forces.
    Wrench pressing;
    for (size_t i = 0; i < in.def.touchdown.size(); ++i)
        if (touching[i]) add_force_at(pressing, vm::to_local(s.R, vm::scale(point_up[i], normal[i])), in.def.touchdown[i]);
    limit_nose_hold(pressing, in);
    add_wrench(out.wrench, pressing);
    if (in.friction.time > 0.0) add_wrench(out.wrench, friction(in, axes, pressing, normal, slide));
    return out;
}

int contact_substeps(const runtime::VesselDefinition& def, const MassOutput& mass, double dt) {
    if (mass.mass <= 0.0 || dt <= 0.0) return 1;
    const double needed = std::ceil(std::sqrt(rigid_frequency_squared(def, mass)) * dt / kMaxFrequencyStep);
    return needed > 1.0 ? int(std::min(needed, double(kMaxContactSubsteps))) : 1;
}

Impact find_impact(const runtime::VesselDefinition& def, const runtime::BodyRecord& body, const MassOutput& mass,
                   double dt, const Kinematics& before, const Kinematics& after) {
    Impact worst;
    if (mass.mass <= 0.0) return worst;
    const double points = double(def.touchdown.size());
    const double sink_at_rest = mass.mass * kStandardGravity / (points * contact_stiffness(def, mass, dt));
    const double max_depth = std::max(kCrashDepth, kCrashDeflections * sink_at_rest);
    auto consider = [&](const VECTOR3& p, bool hull) {
        const Impact impact = point_impact(body, before, after, p, hull, max_depth);
        if (!impact.crash) return;
        const double fraction = worst.crash ? std::min(worst.fraction, impact.fraction) : impact.fraction;
        if (!worst.crash || impact.speed > worst.speed) worst = impact;
        worst.hull = worst.hull || impact.hull;
        worst.fraction = fraction;
    };
    for (const VECTOR3& p : def.touchdown) {
        consider(p, false);
        // The hull: the touchdown points mirrored to the vessel's other side, as far above its
        // centre as the wheels are below it. What the gear does not cover, the hull meets.
        if (p.y != 0.0) consider(vm::vec(p.x, -p.y, p.z), true);
    }
    return worst;
}

bool ground_holds(const ContactInput& in) {
    const Kinematics& s = in.motion;
    const double radius = vm::norm(s.pos);
    if (radius <= 0.0 || in.mass.mass <= 0.0) return false;
    const VECTOR3 up = vm::scale(s.pos, 1.0 / radius);
    // Resting on the turning ground the vessel moves on a circle about the axis.
    const double w = body_rotation_rate(in.body);
    const VECTOR3 ground_acceleration = vm::vec(-w * w * s.pos.x, 0.0, -w * w * s.pos.z);
    const VECTOR3 needed = vm::sub(vm::scale(ground_acceleration, in.mass.mass), in.external_force);
    const double normal = vm::dot(needed, up);
    if (normal <= 0.0) return false;
    const GroundAxes axes = ground_axes(s.R, up);
    if (std::fabs(vm::dot(needed, axes.longitudinal)) > std::max(0.0, in.def.friction_lng) * normal) return false;
    if (std::fabs(vm::dot(needed, axes.lateral)) > std::max(0.0, in.def.friction_lat) * normal) return false;
    double arm = 0.0;
    for (const VECTOR3& p : in.def.touchdown) arm += std::sqrt(p.x * p.x + p.z * p.z);
    arm /= double(in.def.touchdown.size());
    const double yaw_torque = vm::dot(in.external_torque, vm::to_local(s.R, up));
    return std::fabs(yaw_torque) <= std::max(0.0, in.def.friction_lat) * normal * arm;
}

}  // namespace physics
