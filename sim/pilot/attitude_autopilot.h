// The attitude autopilots every vessel has (kill rotation, horizon level, prograde,
// retrograde, orbit normal and antinormal): what each steers to and the control law that
// turns an attitude error into levels of the vessel's own attitude thruster groups. Laws and
// conventions in docs/physics.md, "Attitude autopilots".
#pragma once

#include "orbiter_api.h"
#include "runtime/world.h"

namespace pilot {

// What the vessel's rotation groups can do about each axis of the vessel frame (host sign
// convention: +x nose up, +y nose left, +z right wing down): the angular acceleration at full
// level of the group that turns the positive way and of the one that turns the negative
// way, both >= 0 (rad/s^2). An axis without a group has 0 there.
struct AttitudeAuthority {
    VECTOR3 positive{};
    VECTOR3 negative{};
};
AttitudeAuthority attitude_authority(const runtime::World& world, const runtime::VesselRecord& v);

// The torque (N m, vessel frame, host sign convention) of each axis's positive and negative
// rotation group at full level: what the authority divides by the inertia. Each thruster
// holds its own torque, derived when its geometry is set, so this is a sum of a few vectors.
struct RotationGroupTorques {
    VECTOR3 positive{};
    VECTOR3 negative{};
};
RotationGroupTorques rotation_group_torques(const runtime::World& world, const runtime::VesselRecord& v);

// The attitude an autopilot steers to, in global coordinates: where the nose (vessel +z)
// points, and the direction the roof (vessel +y) leans toward. Without a roll reference
// (roof along the nose) only the nose is steered.
struct TargetAttitude {
    VECTOR3 forward{};
    VECTOR3 up{};
    bool hold_roll = false;
    // How the target turns, as the vessel's angular velocity would if it followed it (vessel
    // frame, host sign convention): gravity turns the velocity at (v x g) / v^2; the local
    // horizon, and the roof's reference about the orbit normal, turn at (r x v) / r^2.
    VECTOR3 turn_rate{};
};
// The target of a pointing mode (horizon level, prograde, retrograde, normal, antinormal);
// false for kill rotation, an unknown mode, or a direction that is not defined (no speed).
bool target_attitude(int navmode, const runtime::World& world, const runtime::VesselRecord& v,
                     TargetAttitude& target);

// The rotation (rad) about each vessel axis, host sign convention, that brings the vessel's
// attitude R onto the target: nose first (about x and y, by the angle between nose and
// target), then roll (about z).
VECTOR3 attitude_error(const MATRIX3& R, const TargetAttitude& target);

// Signed levels of the rotation groups, -1..1 per axis, in the meaning of SetAttitudeRotLevel
// (+x pitch up, +y yaw left, +z bank right): the rate law that turns the vessel through the
// error and then turns it with the target, and the one that only stops its rotation.
VECTOR3 pointing_demand(const VECTOR3& error, const VECTOR3& turn_rate, const VECTOR3& omega,
                        const AttitudeAuthority& authority);
VECTOR3 kill_rotation_demand(const VECTOR3& omega, const AttitudeAuthority& authority);

// Kill rotation ends itself once every rate is below this (rad/s).
constexpr double kKillRotationDone = 1.0e-4;
bool rotation_killed(const VECTOR3& omega);

}  // namespace pilot
