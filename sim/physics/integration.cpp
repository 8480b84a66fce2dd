// Integration of one step, second order in every force: half a kick with the accelerations at
// the step's start, the drift of the pose (the attitude by the vessel's free turn, Euler's
// equations without torque split over its three axes, each turn exact), and half a kick with
// the accelerations at the predicted end. Under gravity alone this is velocity Verlet,
// symplectic (docs/physics.md).
#include <cmath>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {
namespace {

// Columns made orthonormal again: z kept in direction, x made normal to it, y = z x x.
MATRIX3 orthonormal(MATRIX3 r) {
    VECTOR3 z = vm::vec(r.m13, r.m23, r.m33);
    z = vm::scale(z, 1.0 / vm::norm(z));
    VECTOR3 x = vm::vec(r.m11, r.m21, r.m31);
    x = vm::madd(x, z, -vm::dot(x, z));
    x = vm::scale(x, 1.0 / vm::norm(x));
    const VECTOR3 y = vm::cross(z, x);
    r.m11 = x.x, r.m21 = x.y, r.m31 = x.z;
    r.m12 = y.x, r.m22 = y.y, r.m32 = y.z;
    r.m13 = z.x, r.m23 = z.y, r.m33 = z.z;
    return r;
}

// The rate about axis i of a vessel whose angular momentum is L; an axis without inertia
// keeps the rate it had.
double rate_about(int i, const VECTOR3& L, const VECTOR3& inertia, const VECTOR3& omega) {
    return inertia.data[i] > 0.0 ? L.data[i] / inertia.data[i] : omega.data[i];
}

// One part of the free turn: about axis I for `time` at that axis's rate. False when the
// rate is zero and nothing turned.
template <int I>
bool turn_part(MATRIX3& R, VECTOR3& L, const VECTOR3& inertia, const VECTOR3& omega, double time) {
    const double angle = rate_about(I, L, inertia, omega) * time;
    if (angle == 0.0) return false;
    vm::turn_about_axis<I>(R, L, angle);
    return true;
}

// The vessel turning freely for dt from attitude R at rate omega (Euler's equations without
// torque, I dw/dt = w x (I w), the plus sign going with dR/dt = -R [w]x): the angular
// momentum L = I w turns with the frame. The turn is split over the axes, half x, half y, z,
// half y, half x; each part turns the frame and L together about one axis at that axis's
// rate, exactly. So R L is kept exactly, |L| too, and the energy without drift. Taken as an
// acceleration instead, the gyroscopic term lengthened L a little every step, and a tumbling
// vessel spun itself up until its state was no longer finite.
void turn_freely(MATRIX3& R, VECTOR3& omega, const VECTOR3& inertia, double dt) {
    const double half = 0.5 * dt;
    VECTOR3 L = vm::hadamard(inertia, omega);
    MATRIX3 turned = R;
    bool moved = turn_part<0>(turned, L, inertia, omega, half);
    moved = turn_part<1>(turned, L, inertia, omega, half) || moved;
    moved = turn_part<2>(turned, L, inertia, omega, dt) || moved;
    moved = turn_part<1>(turned, L, inertia, omega, half) || moved;
    moved = turn_part<0>(turned, L, inertia, omega, half) || moved;
    if (!moved) return;  // not turning, the attitude stays exactly as it was
    R = orthonormal(turned);
    omega = vm::vec(rate_about(0, L, inertia, omega), rate_about(1, L, inertia, omega), rate_about(2, L, inertia, omega));
}

double angular_acceleration(double torque, double inertia) { return inertia > 0.0 ? torque / inertia : 0.0; }

}  // namespace

Accelerations accelerations(const MassOutput& mass, const Kinematics& motion, const Wrench& total,
                            const VECTOR3& gravity) {
    Accelerations a;
    a.linear = mass.mass > 0.0 ? vm::madd(gravity, vm::to_global(motion.R, total.force), 1.0 / mass.mass) : gravity;
    // The torques' part of I dw/dt = tau + w x (I w); the gyroscopic part is the drift's free turn.
    const VECTOR3& I = mass.inertia;
    const VECTOR3& t = total.torque;
    a.angular = vm::vec(angular_acceleration(t.x, I.x), angular_acceleration(t.y, I.y), angular_acceleration(t.z, I.z));
    a.inertia = I;
    return a;
}

Drift drift(const Kinematics& start, const Accelerations& a, double dt) {
    Drift d;
    const double half = 0.5 * dt;
    d.half_vel = vm::madd(start.vel, a.linear, half);
    d.half_omega = vm::madd(start.omega, a.angular, half);
    d.predicted.pos = vm::madd(start.pos, d.half_vel, dt);
    d.predicted.R = start.R;
    turn_freely(d.predicted.R, d.half_omega, a.inertia, dt);
    d.predicted.vel = vm::madd(d.half_vel, a.linear, half);
    d.predicted.omega = vm::madd(d.half_omega, a.angular, half);
    return d;
}

Kinematics finish(const Drift& drift, const Accelerations& end, double dt) {
    Kinematics k = drift.predicted;
    k.vel = vm::madd(drift.half_vel, end.linear, 0.5 * dt);
    k.omega = vm::madd(drift.half_omega, end.angular, 0.5 * dt);
    return k;
}

}  // namespace physics
