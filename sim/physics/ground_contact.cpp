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

// Mass a point "feels" when pushed along a vessel-frame direction: translation and rotation.
double effective_mass(const VECTOR3& point, const VECTOR3& direction, const MassOutput& mass) {
    const VECTOR3 w = vm::cross(point, direction);
    double inverse = 1.0 / mass.mass;
    if (mass.inertia.x > 0.0) inverse += w.x * w.x / mass.inertia.x;
    if (mass.inertia.y > 0.0) inverse += w.y * w.y / mass.inertia.y;
    if (mass.inertia.z > 0.0) inverse += w.z * w.z / mass.inertia.z;
    return 1.0 / inverse;
}

// Spring stiffness per point: the static deflection under the vessel's weight, softened when
// the stiffest rocking mode would be too fast for the step.
double contact_stiffness(const runtime::VesselDefinition& def, const MassOutput& mass, double dt) {
    const double points = double(def.touchdown.size());
    double k = mass.mass * kStandardGravity / (points * kStaticDeflection);
    if (dt <= 0.0) return k;
    double arm2[3] = {0.0, 0.0, 0.0};
    for (const VECTOR3& p : def.touchdown) {
        arm2[0] += p.y * p.y + p.z * p.z;
        arm2[1] += p.x * p.x + p.z * p.z;
        arm2[2] += p.x * p.x + p.y * p.y;
    }
    double highest = points * k / mass.mass;
    const double inertia[3] = {mass.inertia.x, mass.inertia.y, mass.inertia.z};
    for (int a = 0; a < 3; ++a)
        if (inertia[a] > 0.0) highest = std::max(highest, k * arm2[a] / inertia[a]);
    const double limit = kMaxFrequencyStep * kMaxFrequencyStep / (dt * dt);
    if (highest > limit) k *= limit / highest;
    return k;
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

}  // namespace

ContactOutput ground_contact(const ContactInput& in) {
    ContactOutput out;
    const runtime::VesselState& s = in.state;
    const MassOutput& mass = in.mass;
    if (mass.mass <= 0.0) return out;
    double reach = 0.0;
    for (const VECTOR3& p : in.def.touchdown) reach = std::max(reach, vm::norm(p));
    const double radius = vm::norm(s.pos);
    if (radius - in.body.radius > reach + kContactMargin) return out;

    const double points = double(in.def.touchdown.size());
    const double k = contact_stiffness(in.def, mass, in.dt);
    const double c = 2.0 * kDampingRatio * std::sqrt(k * mass.mass / points);
    const VECTOR3 up = vm::scale(s.pos, 1.0 / radius);
    const GroundAxes axes = ground_axes(s.R, up);
    const VECTOR3 lng_local = vm::to_local(s.R, axes.longitudinal);
    const VECTOR3 lat_local = vm::to_local(s.R, axes.lateral);

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
        // Velocity of the point: dR/dt = -R [omega]x moves it by -R (omega x p).
        const VECTOR3 v = vm::sub(s.vel, vm::to_global(s.R, vm::cross(s.omega, p)));
        const VECTOR3 relative = vm::sub(v, ground_velocity(in.body, r));
        const double closing = vm::dot(relative, point_up[i]);
        normal[i] = std::max(0.0, k * depth - c * closing);
        slide[i] = vm::madd(relative, point_up[i], -closing);
        touching[i] = true;
        ++out.points_in_contact;
    }
    out.all_points_in_contact = out.points_in_contact == int(in.def.touchdown.size());
    if (out.points_in_contact == 0) return out;

    // Then friction: the force that would stop each point's sliding within the step, with
    // its share of the outside force, limited by the point's normal force.
    const double shares = double(out.points_in_contact);
    const double outside_lng = vm::dot(in.external_force, axes.longitudinal) / shares;
    const double outside_lat = vm::dot(in.external_force, axes.lateral) / shares;
    Wrench pressing;  // the normal forces alone, kept apart for the take-off rotation below
    for (size_t i = 0; i < in.def.touchdown.size(); ++i) {
        if (!touching[i]) continue;
        const VECTOR3& p = in.def.touchdown[i];
        double f_lng = 0.0, f_lat = 0.0;
        if (in.dt > 0.0 && normal[i] > 0.0) {
            const double limit_lng = std::max(0.0, in.def.friction_lng) * normal[i];
            const double limit_lat = std::max(0.0, in.def.friction_lat) * normal[i];
            const double m_lng = effective_mass(p, lng_local, mass) / shares;
            const double m_lat = effective_mass(p, lat_local, mass) / shares;
            f_lng = -m_lng * vm::dot(slide[i], axes.longitudinal) / in.dt - outside_lng;
            f_lat = -m_lat * vm::dot(slide[i], axes.lateral) / in.dt - outside_lat;
            f_lng = std::clamp(f_lng, -limit_lng, limit_lng);
            f_lat = std::clamp(f_lat, -limit_lat, limit_lat);
        }
        const VECTOR3 friction = vm::add(vm::scale(axes.longitudinal, f_lng), vm::scale(axes.lateral, f_lat));
        add_force_at(pressing, vm::to_local(s.R, vm::scale(point_up[i], normal[i])), p);
        add_force_at(out.wrench, vm::to_local(s.R, friction), p);
    }
    limit_nose_hold(pressing, in);
    add_wrench(out.wrench, pressing);
    return out;
}

bool ground_holds(const ContactInput& in) {
    const runtime::VesselState& s = in.state;
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
