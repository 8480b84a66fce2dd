// Observables derived on demand from definition and state (air data and forces come from
// the physics). A pinned value wins. Frames and signs follow docs/physics.md.
#include <bit>
#include <cmath>
#include <cstdint>

#include "host_internal.h"

namespace runtime {

namespace detail {

MATRIX3 matrix_from_arot(const VECTOR3& arot) {
    const double ca = std::cos(arot.x), sa = std::sin(arot.x);
    const double cb = std::cos(arot.y), sb = std::sin(arot.y);
    const double cg = std::cos(arot.z), sg = std::sin(arot.z);
    MATRIX3 rx = identity_matrix(), ry = identity_matrix(), rz = identity_matrix();
    rx.m22 = ca, rx.m23 = sa, rx.m32 = -sa, rx.m33 = ca;
    ry.m11 = cb, ry.m13 = -sb, ry.m31 = sb, ry.m33 = cb;
    rz.m11 = cg, rz.m12 = sg, rz.m21 = -sg, rz.m22 = cg;
    return mul(mul(rx, ry), rz);
}

VECTOR3 arot_from_matrix(const MATRIX3& R) {
    return _V(std::atan2(R.m23, R.m33), std::asin(clamp(-R.m13, -1.0, 1.0)), std::atan2(R.m12, R.m11));
}

}  // namespace detail

namespace {

VECTOR3 column(const MATRIX3& R, int c) {
    return _V(R.data[c], R.data[3 + c], R.data[6 + c]);
}

// Angles within a turn of 0..2pi are brought into it without the division fmod costs, to
// exactly what fmod gives (a - 2pi is exact there); any other is reduced by fmod.
[[gnu::always_inline]] inline double wrap_two_pi(double a) {
    if (a >= 0.0 && a < PI2) return a;
    if (a >= PI2 && a < 2.0 * PI2) return a - PI2;
    if (a < 0.0 && a > -PI2) return a + PI2;
    a = std::fmod(a, PI2);
    return a < 0.0 ? a + PI2 : a;
}

double wrap_pi(double a) {
    a = wrap_two_pi(a);
    return a > PI ? a - PI2 : a;
}

// The local horizon axes at a global position, inline where the frame group is derived (every
// step) and behind World::horizon_axes for everyone else.
[[gnu::always_inline]] inline void local_horizon_axes(const VECTOR3& pos, VECTOR3& east, VECTOR3& up,
                                                      VECTOR3& north) {
    const double r = length(pos);
    up = r > 0.0 ? pos / r : _V(1.0, 0.0, 0.0);
    const double horizontal = std::hypot(up.x, up.z);
    // Cosine and sine of the longitude straight from the position (no trigonometry: this runs
    // several times per step). Over a pole every direction is south (or north); the meridian
    // of angle 0 stands in.
    const double cos_lam = horizontal > 0.0 ? up.x / horizontal : 1.0;
    const double sin_lam = horizontal > 0.0 ? up.z / horizontal : 0.0;
    const double sin_lat = up.y, cos_lat = horizontal;
    east = _V(-sin_lam, 0.0, cos_lam);
    north = _V(-sin_lat * cos_lam, cos_lat, -sin_lat * sin_lam);
}

}  // namespace

VesselState& World::move(VesselRecord& v) {
    v.derived_.known = 0;
    v.carry_.valid = false;
    return v.state_;
}

void World::set_air(VesselRecord& v, const AirData& air) {
    v.air_ = air;
    v.derived_.known = 0;
}

// The frame group from the state and air data alone, in the formulas of docs/physics.md.
DerivedObservables& World::derive_frame(const VesselRecord& v) const {
    DerivedObservables& d = v.derived_;
    const VesselState& s = v.state_;
    local_horizon_axes(s.pos, d.east, d.up, d.north);
    d.altitude = length(s.pos) - earth.radius;
    const double w = body_rotation_rate();
    d.airspeed_global = s.vel - _V(-w * s.pos.z, 0.0, w * s.pos.x) - wind_velocity(earth, s.pos);
    d.airspeed_local = tmul(s.R, d.airspeed_global);
    d.airspeed = length(d.airspeed_global);
    d.mach = v.air_.speed_of_sound > 0.0 ? d.airspeed / v.air_.speed_of_sound : 0.0;
    d.dyn_pressure = 0.5 * v.air_.density * d.airspeed * d.airspeed;
    d.known |= DerivedObservables::kFrame;
    return d;
}

namespace {

// One group of a vessel's snapshot: `compute` at first need, the kept value after. Each group
// computes only what it answers, so a step pays for no angle nobody asked for.
template <class T, class Compute>
const T& once(DerivedObservables& d, unsigned group, T& value, Compute compute) {
    if ((d.known & group) == 0) {
        value = compute();
        d.known |= group;
    }
    return value;
}

}  // namespace

double World::mass(const VesselRecord& v) const {
    if (v.pins.mass) return *v.pins.mass;
    double m = v.def.empty_mass;
    for (const auto& p : v.def.propellants) m += p->mass;
    return m;
}

double World::altitude(const VesselRecord& v) const {
    if (v.pins.altitude) return *v.pins.altitude;
    return frame(v).altitude;
}

VECTOR3 World::airspeed_vector_global(const VesselRecord& v) const {
    return frame(v).airspeed_global;
}

VECTOR3 World::airspeed_vector_local(const VesselRecord& v) const {
    return frame(v).airspeed_local;
}

double World::airspeed(const VesselRecord& v) const {
    if (v.pins.airspeed) return *v.pins.airspeed;
    return frame(v).airspeed;
}

// A pinned airspeed counts in the Mach number and dynamic pressure, as it would in the air.
double World::mach(const VesselRecord& v) const {
    if (v.pins.mach) return *v.pins.mach;
    if (v.pins.airspeed) return v.air.speed_of_sound > 0.0 ? *v.pins.airspeed / v.air.speed_of_sound : 0.0;
    return frame(v).mach;
}

double World::dyn_pressure(const VesselRecord& v) const {
    if (v.pins.dyn_pressure) return *v.pins.dyn_pressure;
    if (v.pins.airspeed) return 0.5 * v.air.density * *v.pins.airspeed * *v.pins.airspeed;
    return frame(v).dyn_pressure;
}

double World::atm_pressure(const VesselRecord& v) const {
    if (v.pins.atm_pressure) return *v.pins.atm_pressure;
    return v.air.pressure;
}

void World::horizon_axes(const VECTOR3& pos, VECTOR3& east, VECTOR3& up, VECTOR3& north) const {
    local_horizon_axes(pos, east, up, north);
}

double World::pitch(const VesselRecord& v) const {
    if (v.pins.pitch) return *v.pins.pitch;
    DerivedObservables& d = frame(v);
    return once(d, DerivedObservables::kPitch, d.pitch, [&] {
        return std::asin(detail::clamp(dotp(column(v.state.R, 2), d.up), -1.0, 1.0));
    });
}

double World::bank(const VesselRecord& v) const {
    if (v.pins.bank) return *v.pins.bank;
    DerivedObservables& d = frame(v);
    return once(d, DerivedObservables::kBank, d.bank, [&] {
        return std::atan2(dotp(column(v.state.R, 0), d.up), dotp(column(v.state.R, 1), d.up));
    });
}

double World::heading(const VesselRecord& v) const {
    if (v.pins.heading) return *v.pins.heading;
    DerivedObservables& d = frame(v);
    return once(d, DerivedObservables::kHeading, d.heading, [&] {
        const VECTOR3 z = column(v.state.R, 2);
        return wrap_two_pi(std::atan2(dotp(z, d.east), dotp(z, d.north)));
    });
}

double World::aoa(const VesselRecord& v) const {
    if (v.pins.aoa) return *v.pins.aoa;
    DerivedObservables& d = frame(v);
    return once(d, DerivedObservables::kAoa, d.aoa,
                [&] { return std::atan2(-d.airspeed_local.y, d.airspeed_local.z); });
}

double World::slip(const VesselRecord& v) const {
    if (v.pins.slip) return *v.pins.slip;
    DerivedObservables& d = frame(v);
    return once(d, DerivedObservables::kSlip, d.slip,
                [&] { return std::atan2(-d.airspeed_local.x, d.airspeed_local.z); });
}

VECTOR3 World::angular_vel(const VesselRecord& v) const {
    return v.pins.angular_vel ? *v.pins.angular_vel : v.state.omega;
}

VECTOR3 World::horizon_airspeed(const VesselRecord& v) const {
    if (v.pins.horizon_airspeed) return *v.pins.horizon_airspeed;
    const DerivedObservables& d = frame(v);
    const VECTOR3& a = d.airspeed_global;
    return _V(dotp(a, d.east), dotp(a, d.up), dotp(a, d.north));
}

VECTOR3 World::global_pos(const VesselRecord& v) const {
    return v.pins.global_pos ? *v.pins.global_pos : v.state.pos;
}

VECTOR3 World::relative_vel(const VesselRecord& v) const {
    return v.pins.relative_vel ? *v.pins.relative_vel : v.state.vel;
}

void World::equ_pos(const VesselRecord& v, double& lng, double& lat, double& rad) const {
    if (v.pins.equ_pos) {
        lng = (*v.pins.equ_pos)[0], lat = (*v.pins.equ_pos)[1], rad = (*v.pins.equ_pos)[2];
        return;
    }
    const VECTOR3& p = v.state.pos;
    rad = length(p);
    lat = rad > 0.0 ? std::asin(detail::clamp(p.y / rad, -1.0, 1.0)) : 0.0;
    lng = std::hypot(p.x, p.z) > 0.0 ? wrap_pi(std::atan2(p.z, p.x) - body_rotation_angle()) : 0.0;
}

// Osculating elements about the body. The global frame turns prograde (eastward) motion
// into angular momentum along -y, so the elements are computed in (x, z, y), where the
// equator is the x-y plane and prograde orbits have inclinations below 90 degrees.
ELEMENTS orbital_elements(const VECTOR3& pos, const VECTOR3& velocity, double mu) {
    ELEMENTS el{};
    const VECTOR3 r = _V(pos.x, pos.z, pos.y);
    const VECTOR3 vel = _V(velocity.x, velocity.z, velocity.y);
    const double rl = length(r);
    if (rl <= 0.0 || mu <= 0.0) return el;
    // The vectors first, down to the arguments of each angle, and the maths library's calls
    // last, so that no vector has to be kept across them.
    const double v2 = dotp(vel, vel);
    const VECTOR3 h = crossp(r, vel);
    const double hl = length(h);
    const VECTOR3 e_vec = (crossp(vel, h) / mu) - r / rl;
    const double energy = v2 / 2.0 - mu / rl;
    el.a = energy != 0.0 ? -mu / (2.0 * energy) : 0.0;
    el.e = length(e_vec);
    const double cos_i = hl > 0.0 ? detail::clamp(h.z / hl, -1.0, 1.0) : 1.0;
    const VECTOR3 node = _V(-h.y, h.x, 0.0);  // z x h
    const double nl = length(node);
    constexpr double tiny = 1e-11;
    const bool has_node = nl > tiny * hl;
    // Argument of periapsis in the orbit plane, measured from the node: e along n and q.
    const VECTOR3 n_unit = has_node ? node / nl : _V(1.0, 0.0, 0.0);
    const VECTOR3 q_unit = hl > 0.0 ? crossp(h / hl, n_unit) : _V(0.0, 1.0, 0.0);
    const double e_q = dotp(e_vec, q_unit), e_n = dotp(e_vec, n_unit);
    // Mean anomaly. An ellipse takes it from the eccentric anomaly, which r and r.v give at
    // once (e cos E = 1 - r/a, e sin E = r.v / sqrt(mu a)): one atan2 where the true anomaly
    // would cost an atan2, a tangent, an arc tangent and a sine. Its rounding in the mean
    // longitude grows as 1e-16 / e (4e-14 rad for a low orbit's e of 0.005), so an orbit
    // nearly circular to 1e-6 goes through the true anomaly, where the ill-defined periapsis
    // cancels; beyond the ellipse the true anomaly stands in. Either way an atan2 of (y, x):
    // e sin E and e cos E, or r along q and n (the argument of latitude).
    constexpr double clearly_elliptic = 1e-6;
    const bool elliptic = el.e >= clearly_elliptic && el.e < 1.0 && el.a > 0.0;
    double y = 0.0, x = 0.0;
    if (elliptic) {
        y = dotp(r, vel) / std::sqrt(mu * el.a);
        x = 1.0 - rl / el.a;
    } else {
        y = dotp(r, q_unit);
        x = dotp(r, n_unit);
    }

    el.i = hl > 0.0 ? std::acos(cos_i) : 0.0;
    el.theta = has_node ? wrap_two_pi(std::atan2(node.y, node.x)) : 0.0;
    const double omega = el.e > tiny ? std::atan2(e_q, e_n) : 0.0;
    el.omegab = wrap_two_pi(el.theta + omega);
    double mean_anomaly = 0.0;
    if (elliptic) {
        mean_anomaly = std::atan2(y, x) - y;
    } else {
        const double nu = std::atan2(y, x) - omega;
        mean_anomaly = nu;
        if (el.e < 1.0) {
            const double E = 2.0 * std::atan(std::sqrt((1.0 - el.e) / (1.0 + el.e)) * std::tan(nu / 2.0));
            mean_anomaly = E - el.e * std::sin(E);
        }
    }
    el.L = wrap_two_pi(el.omegab + mean_anomaly);
    return el;
}

const ELEMENTS& World::elements(const VesselRecord& v) const {
    if (v.pins.elements) return *v.pins.elements;
    DerivedObservables& d = v.derived_;
    return once(d, DerivedObservables::kElements, d.elements,
                [&] { return orbital_elements(v.state.pos, v.state.vel, earth.mu); });
}

VECTOR3 World::force_vector(const VesselRecord& v) const {
    return v.pins.force ? *v.pins.force : v.forces.total;
}

// Central gravity on the vessel's whole mass, in the vessel frame.
VECTOR3 World::weight_vector(const VesselRecord& v) const {
    if (v.pins.weight) return *v.pins.weight;
    const double r = length(v.state.pos);
    if (r <= 0.0) return _V(0.0, 0.0, 0.0);
    const VECTOR3 g = v.state.pos * (-earth.mu * mass(v) / (r * r * r));
    return tmul(v.state.R, g);
}

VESSELSTATUS World::status(const VesselRecord& v) const {
    VESSELSTATUS s;
    status(v, s);
    return s;
}

// Every field written, in place: a vessel asks for its status every step.
void World::status(const VesselRecord& v, VESSELSTATUS& s) const {
    s.rpos = v.state.pos;
    s.rvel = v.state.vel;
    s.vrot = v.state.omega;
    DerivedObservables& d = v.derived_;
    s.arot = once(d, DerivedObservables::kArot, d.arot, [&] { return detail::arot_from_matrix(v.state.R); });
    const PropellantRecord* p = v.def.default_propellant;
    s.fuel = (p != nullptr && p->max_mass > 0.0) ? p->mass / p->max_mass : 0.0;
    s.eng_main = group_level(v, THGROUP_MAIN) - group_level(v, THGROUP_RETRO);
    s.eng_hovr = group_level(v, THGROUP_HOVER);
    s.rbody = const_cast<BodyRecord*>(&earth);
    s.base = nullptr;
    s.port = 0;
    s.status = v.state.landed ? 1 : 0;
}

// Engine levels of a status are not applied: a vessel comes into being with its engines off.
void World::set_status(VesselRecord& v, const VESSELSTATUS& s) {
    VesselState& state = move(v);
    state.pos = s.rpos;
    state.vel = s.rvel;
    state.omega = s.vrot;
    state.R = detail::matrix_from_arot(s.arot);
    if (PropellantRecord* p = v.def.default_propellant; p != nullptr && std::isfinite(s.fuel))
        p->mass = p->max_mass * detail::clamp(s.fuel, 0.0, 1.0);
    state.landed = s.status == 1 && length(s.rpos) - earth.radius <= kMaxLandedHeight;
}

void World::set_landed(VesselRecord& v, double lng, double lat, double heading_rad, double height) {
    VesselState& state = move(v);
    const double lam = lng + body_rotation_angle();
    const double r = earth.radius + height;
    state.pos = _V(r * std::cos(lat) * std::cos(lam), r * std::sin(lat), r * std::cos(lat) * std::sin(lam));
    VECTOR3 east, up, north;
    horizon_axes(state.pos, east, up, north);
    const double ch = std::cos(heading_rad), sh = std::sin(heading_rad);
    const VECTOR3 forward = north * ch + east * sh;
    const VECTOR3 right = east * ch - north * sh;
    state.R = detail::from_columns(right, up, forward);
    const double w = body_rotation_rate();
    state.vel = _V(-w * state.pos.z, 0.0, w * state.pos.x);
    state.omega = _V(0.0, 0.0, 0.0);
    state.landed = true;
}

}  // namespace runtime
