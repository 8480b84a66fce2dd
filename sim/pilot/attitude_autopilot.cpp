// The attitude autopilots: targets and the rate law (docs/physics.md, "Attitude autopilots").
#include "pilot/attitude_autopilot.h"

#include <algorithm>
#include <cmath>

#include "physics/vector_math.h"

namespace pilot {

namespace vm = physics::vm;

namespace {

// The rate law: the wanted rate follows the angle with kAngleTime, the rate follows the
// wanted rate with kRateTime. kAngleTime >= 4 kRateTime keeps the hold free of overshoot
// where nothing saturates.
constexpr double kRateTime = 0.4;    // s
constexpr double kAngleTime = 2.0;   // s
constexpr double kMaxRate = 10.0 * RAD;  // rad/s: the fastest turn an autopilot asks for
// A turn may only be so fast that half the braking group's authority stops it in the angle
// left: |rate| <= sqrt(2 x 0.5 x a x |angle|).
constexpr double kBrakingShare = 0.5;
constexpr double kTiny = 1e-12;

// Positive and negative group of each axis, in the meaning of SetAttitudeRotLevel.
constexpr THGROUP_TYPE kPositiveGroup[3] = {THGROUP_ATT_PITCHUP, THGROUP_ATT_YAWLEFT, THGROUP_ATT_BANKRIGHT};
constexpr THGROUP_TYPE kNegativeGroup[3] = {THGROUP_ATT_PITCHDOWN, THGROUP_ATT_YAWRIGHT, THGROUP_ATT_BANKLEFT};

// Torque of a group at full level, vessel frame, the physics' convention (F x r).
VECTOR3 group_torque(const runtime::World& world, const runtime::VesselRecord& v, THGROUP_TYPE type) {
    VECTOR3 torque = vm::vec(0.0, 0.0, 0.0);
    const runtime::ThrusterGroupRecord* g = world.group(const_cast<runtime::VesselRecord&>(v), type);
    if (g == nullptr) return torque;
    for (const runtime::ThrusterRecord* t : g->thrusters) torque = vm::add(torque, t->full_torque());
    return torque;
}

// Level of one axis's groups (signed) that moves its rate toward the wanted change.
double rate_level(double rate_change, double positive, double negative) {
    const double authority = rate_change > 0.0 ? positive : negative;
    if (authority <= 0.0) return 0.0;
    return std::clamp(rate_change / (authority * kRateTime), -1.0, 1.0);
}

double pointing_level(double error, double turn_rate, double rate, double positive, double negative) {
    double braking = error > 0.0 ? negative : positive;
    if (braking <= 0.0) braking = std::max(positive, negative);
    const double size = std::fabs(error);
    const double closing =
        std::min({size / kAngleTime, std::sqrt(2.0 * kBrakingShare * braking * size), kMaxRate});
    return rate_level(turn_rate + std::copysign(closing, error) - rate, positive, negative);
}

VECTOR3 unit_or_zero(const VECTOR3& a) {
    const double n = vm::norm(a);
    return n > kTiny ? vm::scale(a, 1.0 / n) : vm::vec(0.0, 0.0, 0.0);
}

// Column k of R: the vessel's axis k in global coordinates.
VECTOR3 axis(const MATRIX3& R, int k) { return vm::vec(R.data[k], R.data[3 + k], R.data[6 + k]); }

// Horizon level: the nose's direction along the horizon (or, nose straight up or down, the
// roof's, which is where the nose goes when it comes down), roof up.
bool horizon_level_target(const VECTOR3& up, const MATRIX3& R, TargetAttitude& target) {
    const VECTOR3 nose = axis(R, 2);
    VECTOR3 level = vm::madd(nose, up, -vm::dot(nose, up));
    if (vm::norm(level) < 1e-6) {
        const VECTOR3 roof = vm::scale(axis(R, 1), vm::dot(nose, up) > 0.0 ? -1.0 : 1.0);
        level = vm::madd(roof, up, -vm::dot(roof, up));
    }
    target.forward = unit_or_zero(level);
    target.up = up;
    target.hold_roll = true;
    return vm::norm(target.forward) > 0.0;
}

}  // namespace

RotationGroupTorques rotation_group_torques(const runtime::World& world, const runtime::VesselRecord& v) {
    RotationGroupTorques t;
    for (int k = 0; k < 3; ++k) {
        t.positive.data[k] = group_torque(world, v, kPositiveGroup[k]).data[k];
        t.negative.data[k] = group_torque(world, v, kNegativeGroup[k]).data[k];
    }
    return t;
}

AttitudeAuthority attitude_authority(const runtime::World& world, const runtime::VesselRecord& v) {
    const RotationGroupTorques torques = rotation_group_torques(world, v);
    AttitudeAuthority a;
    const double mass = world.mass(v);
    const VECTOR3& pmi = v.def.pmi;
    for (int k = 0; k < 3; ++k) {
        const double inertia = mass * pmi.data[k];
        if (!(inertia > 0.0)) continue;
        a.positive.data[k] = std::max(0.0, torques.positive.data[k]) / inertia;
        a.negative.data[k] = std::max(0.0, -torques.negative.data[k]) / inertia;
    }
    return a;
}

bool target_attitude(int navmode, const runtime::World& world, const runtime::VesselRecord& v,
                     TargetAttitude& target) {
    const VECTOR3& r = v.state.pos;
    const VECTOR3& vel = v.state.vel;  // inertial, relative to the body's centre
    const VECTOR3 up = unit_or_zero(r);
    const double r2 = vm::dot(r, r), v2 = vm::dot(vel, vel);
    if (!(r2 > 0.0)) return false;
    // The host's angular velocity is the negative of the usual one (docs/physics.md).
    const MATRIX3& R = v.state.R;
    target.turn_rate = vm::scale(vm::to_local(R, vm::cross(r, vel)), -1.0 / r2);
    if (navmode == NAVMODE_HLEVEL) return horizon_level_target(up, R, target);
    if ((navmode == NAVMODE_PROGRADE || navmode == NAVMODE_RETROGRADE) && v2 > 0.0) {
        const VECTOR3 gravity = vm::scale(r, -world.earth.mu / (r2 * std::sqrt(r2)));
        target.turn_rate = vm::scale(vm::to_local(R, vm::cross(vel, gravity)), -1.0 / v2);
    }
    VECTOR3 forward{};
    switch (navmode) {
        case NAVMODE_PROGRADE: forward = unit_or_zero(vel); break;
        case NAVMODE_RETROGRADE: forward = vm::scale(unit_or_zero(vel), -1.0); break;
        // The orbit normal lies on the north side of an eastward orbit: v x r in the global
        // frame's components (docs/physics.md).
        case NAVMODE_NORMAL: forward = unit_or_zero(vm::cross(vel, r)); break;
        case NAVMODE_ANTINORMAL: forward = unit_or_zero(vm::cross(r, vel)); break;
        default: return false;
    }
    if (vm::norm(forward) == 0.0) return false;
    target.forward = forward;
    target.up = up;
    // Roof toward the sky, unless the target is straight up or down.
    target.hold_roll = vm::norm(vm::cross(forward, up)) > 1e-6;
    return true;
}

VECTOR3 attitude_error(const MATRIX3& R, const TargetAttitude& target) {
    VECTOR3 e = vm::vec(0.0, 0.0, 0.0);
    const VECTOR3 f = vm::to_local(R, target.forward);
    const double lateral = std::hypot(f.x, f.y);
    const double angle = std::atan2(lateral, f.z);
    if (lateral > kTiny) {
        // Target above the nose (f.y > 0): nose up, +x. Target to the right: nose right, -y.
        e.x = angle * f.y / lateral;
        e.y = -angle * f.x / lateral;
    } else if (f.z < 0.0) {
        e.x = PI;  // straight behind: over the nose
    }
    if (target.hold_roll) {
        const VECTOR3 u = vm::to_local(R, target.up);
        // Sky to the right of the roof (u.x > 0): right wing down, +z.
        if (std::hypot(u.x, u.y) > 1e-9) e.z = std::atan2(u.x, u.y);
    }
    return e;
}

VECTOR3 pointing_demand(const VECTOR3& error, const VECTOR3& turn_rate, const VECTOR3& omega,
                        const AttitudeAuthority& authority) {
    VECTOR3 d{};
    for (int k = 0; k < 3; ++k)
        d.data[k] = pointing_level(error.data[k], turn_rate.data[k], omega.data[k], authority.positive.data[k],
                                   authority.negative.data[k]);
    return d;
}

VECTOR3 kill_rotation_demand(const VECTOR3& omega, const AttitudeAuthority& authority) {
    VECTOR3 d{};
    for (int k = 0; k < 3; ++k)
        d.data[k] = rate_level(-omega.data[k], authority.positive.data[k], authority.negative.data[k]);
    return d;
}

bool rotation_killed(const VECTOR3& omega) {
    return std::fabs(omega.x) < kKillRotationDone && std::fabs(omega.y) < kKillRotationDone &&
           std::fabs(omega.z) < kKillRotationDone;
}

}  // namespace pilot
