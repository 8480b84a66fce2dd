// Orbits, the body's rotation, and placing a vessel at rest on the ground.
#include <algorithm>
#include <cmath>
#include <limits>

#include "physics/physics.h"
#include "physics/vector_math.h"

namespace physics {

double specific_energy(double mu, const VECTOR3& pos, const VECTOR3& vel) {
    return 0.5 * vm::dot(vel, vel) - mu / vm::norm(pos);
}

double vis_viva_speed(double mu, double radius, double semi_major_axis) {
    return std::sqrt(mu * (2.0 / radius - 1.0 / semi_major_axis));
}

double circular_speed(double mu, double radius) { return std::sqrt(mu / radius); }

OrbitShape orbit_shape(double mu, const VECTOR3& pos, const VECTOR3& vel) {
    const double r = vm::norm(pos);
    const double v2 = vm::dot(vel, vel);
    const double energy = 0.5 * v2 - mu / r;
    OrbitShape o{};
    o.semi_major_axis = -mu / (2.0 * energy);
    const VECTOR3 e = vm::scale(vm::sub(vm::scale(pos, v2 - mu / r), vm::scale(vel, vm::dot(pos, vel))), 1.0 / mu);
    o.eccentricity = vm::norm(e);
    // The global frame has the pole at +y and east at increasing longitude, so an eastward
    // orbit has its r x v along -y.
    const VECTOR3 h = vm::cross(pos, vel);
    const double hn = vm::norm(h);
    o.inclination = hn > 0.0 ? std::acos(std::clamp(-h.y / hn, -1.0, 1.0)) : 0.0;
    o.periapsis_radius = o.semi_major_axis * (1.0 - o.eccentricity);
    o.apoapsis_radius = o.eccentricity < 1.0 ? o.semi_major_axis * (1.0 + o.eccentricity)
                                             : std::numeric_limits<double>::infinity();
    if (o.eccentricity >= 1.0) {
        // Unbound: the periapsis from the angular momentum, h^2 / (mu (1 + e)).
        o.periapsis_radius = hn * hn / (mu * (1.0 + o.eccentricity));
        o.period = o.time_to_apoapsis = std::numeric_limits<double>::infinity();
        return o;
    }
    const double a = o.semi_major_axis;
    const double mean_motion = std::sqrt(mu / (a * a * a));  // rad/s
    o.period = PI2 / mean_motion;
    // Eccentric anomaly E from r = a (1 - e cos E) and r.v = e sqrt(mu a) sin E; the mean
    // anomaly M = E - e sin E reaches pi at the apoapsis. A circle has its apoapsis anywhere.
    if (o.eccentricity > 1e-12) {
        const double E = std::atan2(vm::dot(pos, vel) / std::sqrt(mu * a), 1.0 - r / a);
        const double M = E - o.eccentricity * std::sin(E);  // -pi..pi
        o.time_to_apoapsis = (PI - M) / mean_motion;
    }
    return o;
}

double body_rotation_rate(const runtime::BodyRecord& body) { return PI2 / body.sidereal_period; }

double body_rotation_angle(const runtime::BodyRecord& body, double sim_time) {
    return body.rotation_offset + body_rotation_rate(body) * sim_time;
}

VECTOR3 ground_velocity(const runtime::BodyRecord& body, const VECTOR3& pos) {
    const double w = body_rotation_rate(body);
    return vm::vec(-w * pos.z, 0.0, w * pos.x);
}

namespace {
bool finite(const VECTOR3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace

bool state_is_finite(const runtime::VesselRecord& v) {
    const runtime::VesselState& s = v.state;
    for (double m : s.R.data)
        if (!std::isfinite(m)) return false;
    return finite(s.pos) && finite(s.vel) && finite(s.omega);
}

namespace {
// Rotation that turns the unit vector n onto +y (vessel frame), the shortest way.
MATRIX3 tilt_onto_y(const VECTOR3& n) {
    const VECTOR3 y = vm::vec(0.0, 1.0, 0.0);
    const VECTOR3 axis = vm::cross(n, y);
    const double s = vm::norm(axis), c = vm::dot(n, y);
    MATRIX3 q = identity_matrix();
    if (s < 1e-12) return q;
    const VECTOR3 k = vm::scale(axis, 1.0 / s);
    const double c1 = 1.0 - c;
    // Rodrigues: I + s [k]x + (1 - c) [k]x^2
    q.m11 = 1.0 - c1 * (k.y * k.y + k.z * k.z);
    q.m12 = -s * k.z + c1 * k.x * k.y;
    q.m13 = s * k.y + c1 * k.x * k.z;
    q.m21 = s * k.z + c1 * k.x * k.y;
    q.m22 = 1.0 - c1 * (k.x * k.x + k.z * k.z);
    q.m23 = -s * k.x + c1 * k.y * k.z;
    q.m31 = -s * k.y + c1 * k.x * k.z;
    q.m32 = s * k.x + c1 * k.y * k.z;
    q.m33 = 1.0 - c1 * (k.x * k.x + k.y * k.y);
    return q;
}
}  // namespace

void rest_on_ground(runtime::World& world, runtime::VesselRecord& v, double longitude, double latitude,
                    double heading, std::optional<double> height) {
    const runtime::BodyRecord& body = world.earth;
    // The vessel stands on the plane of its three touchdown points.
    const auto& td = v.def.touchdown;
    VECTOR3 normal = vm::cross(vm::sub(td[1], td[0]), vm::sub(td[2], td[0]));
    const double nn = vm::norm(normal);
    normal = nn > 0.0 ? vm::scale(normal, (normal.y < 0.0 ? -1.0 : 1.0) / nn) : vm::vec(0.0, 1.0, 0.0);
    const MATRIX3 tilt = tilt_onto_y(normal);
    double lowest = 0.0;  // lowest touchdown point below the vessel's origin, once tilted
    for (const VECTOR3& p : td) lowest = std::min(lowest, vm::to_global(tilt, p).y);
    const double radius = body.radius + height.value_or(-lowest);
    const double theta = body_rotation_angle(body, world.sim_time);
    const double a = longitude + theta;
    const double cl = std::cos(latitude), sl = std::sin(latitude);
    const VECTOR3 up = vm::vec(cl * std::cos(a), sl, cl * std::sin(a));
    const VECTOR3 east = vm::vec(-std::sin(a), 0.0, std::cos(a));
    const VECTOR3 north = vm::vec(-sl * std::cos(a), cl, -sl * std::sin(a));
    const double ch = std::cos(heading), sh = std::sin(heading);
    const VECTOR3 forward = vm::add(vm::scale(north, ch), vm::scale(east, sh));
    const VECTOR3 right = vm::sub(vm::scale(east, ch), vm::scale(north, sh));
    runtime::VesselState& s = world.move(v);
    s.pos = vm::scale(up, radius);
    s.vel = ground_velocity(body, s.pos);
    MATRIX3 level;
    level.m11 = right.x, level.m12 = up.x, level.m13 = forward.x;
    level.m21 = right.y, level.m22 = up.y, level.m23 = forward.y;
    level.m31 = right.z, level.m32 = up.z, level.m33 = forward.z;
    s.R = vm::matmul(level, tilt);
    s.omega = vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(body), 0.0));
    s.landed = true;
}

}  // namespace physics
