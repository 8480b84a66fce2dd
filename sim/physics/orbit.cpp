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

void rest_on_ground(const runtime::World& world, runtime::VesselRecord& v, double longitude, double latitude,
                    double heading) {
    const runtime::BodyRecord& body = world.earth;
    double lowest = 0.0;  // lowest touchdown point below the vessel's origin
    for (const VECTOR3& p : v.def.touchdown) lowest = std::min(lowest, p.y);
    const double radius = body.radius - lowest;
    const double theta = body_rotation_angle(body, world.sim_time);
    const double a = longitude + theta;
    const double cl = std::cos(latitude), sl = std::sin(latitude);
    const VECTOR3 up = vm::vec(cl * std::cos(a), sl, cl * std::sin(a));
    const VECTOR3 east = vm::vec(-std::sin(a), 0.0, std::cos(a));
    const VECTOR3 north = vm::vec(-sl * std::cos(a), cl, -sl * std::sin(a));
    const double ch = std::cos(heading), sh = std::sin(heading);
    const VECTOR3 forward = vm::add(vm::scale(north, ch), vm::scale(east, sh));
    const VECTOR3 right = vm::sub(vm::scale(east, ch), vm::scale(north, sh));
    runtime::VesselState& s = v.state;
    s.pos = vm::scale(up, radius);
    s.vel = ground_velocity(body, s.pos);
    s.R.m11 = right.x, s.R.m12 = up.x, s.R.m13 = forward.x;
    s.R.m21 = right.y, s.R.m22 = up.y, s.R.m23 = forward.y;
    s.R.m31 = right.z, s.R.m32 = up.z, s.R.m33 = forward.z;
    s.omega = vm::to_local(s.R, vm::vec(0.0, body_rotation_rate(body), 0.0));
    s.landed = true;
}

}  // namespace physics
