// Integration of one step, second order in every force: half a kick with the accelerations at
// the step's start, the drift of the pose (the attitude by the exact rotation of the half-step
// angular velocity), and half a kick with the accelerations at the predicted end. Under
// gravity alone this is velocity Verlet, symplectic (docs/physics.md).
#include <cmath>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {
namespace {

// Attitude after turning at omega (vessel frame, docs convention) for dt:
// R exp(-[omega dt]x), by Rodrigues' formula, then made orthonormal again.
MATRIX3 rotate_attitude(const MATRIX3& R, const VECTOR3& omega, double dt) {
    const double rate = vm::norm(omega);
    const double angle = rate * dt;
    if (angle == 0.0) return R;
    const VECTOR3 n = vm::scale(omega, 1.0 / rate);
    const double s = std::sin(angle), c1 = 1.0 - std::cos(angle);
    // E = I - s [n]x + c1 [n]x^2
    MATRIX3 E;
    E.m11 = 1.0 - c1 * (n.y * n.y + n.z * n.z);
    E.m12 = s * n.z + c1 * n.x * n.y;
    E.m13 = -s * n.y + c1 * n.x * n.z;
    E.m21 = -s * n.z + c1 * n.x * n.y;
    E.m22 = 1.0 - c1 * (n.x * n.x + n.z * n.z);
    E.m23 = s * n.x + c1 * n.y * n.z;
    E.m31 = s * n.y + c1 * n.x * n.z;
    E.m32 = -s * n.x + c1 * n.y * n.z;
    E.m33 = 1.0 - c1 * (n.x * n.x + n.y * n.y);
    MATRIX3 r = vm::matmul(R, E);
    // Orthonormal columns again: z kept in direction, x made normal to it, y = z x x.
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

double angular_acceleration(double torque, double inertia) { return inertia > 0.0 ? torque / inertia : 0.0; }

}  // namespace

Accelerations accelerations(const MassOutput& mass, const Kinematics& motion, const Wrench& total,
                            const VECTOR3& gravity) {
    Accelerations a;
    a.linear = mass.mass > 0.0 ? vm::madd(gravity, vm::to_global(motion.R, total.force), 1.0 / mass.mass) : gravity;
    // I dw/dt = tau + w x (I w): with dR/dt = -R [w]x the gyroscopic term carries a plus sign.
    const VECTOR3& I = mass.inertia;
    const VECTOR3& w = motion.omega;
    const VECTOR3 t = vm::add(total.torque, vm::cross(w, vm::hadamard(I, w)));
    a.angular = vm::vec(angular_acceleration(t.x, I.x), angular_acceleration(t.y, I.y), angular_acceleration(t.z, I.z));
    return a;
}

Drift drift(const Kinematics& start, const Accelerations& a, double dt) {
    Drift d;
    const double half = 0.5 * dt;
    d.half_vel = vm::madd(start.vel, a.linear, half);
    d.half_omega = vm::madd(start.omega, a.angular, half);
    d.predicted.pos = vm::madd(start.pos, d.half_vel, dt);
    d.predicted.R = rotate_attitude(start.R, d.half_omega, dt);
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
