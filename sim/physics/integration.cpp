// Integration of one step: translation by velocity Verlet (symplectic under gravity, the
// other forces held over the step), rotation by Euler's equations and the exact rotation of
// the attitude by the step's angular velocity (docs/physics.md).
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

void integrate(runtime::VesselState& s, const MotionInput& in) {
    const double dt = in.dt;
    const double m = in.mass.mass;
    const VECTOR3 a = m > 0.0 ? vm::scale(in.force, 1.0 / m) : vm::vec(0.0, 0.0, 0.0);

    // Kick, drift, kick.
    s.vel = vm::madd(s.vel, vm::add(a, gravity_acceleration(in.mu, s.pos)), 0.5 * dt);
    s.pos = vm::madd(s.pos, s.vel, dt);
    s.vel = vm::madd(s.vel, vm::add(a, gravity_acceleration(in.mu, s.pos)), 0.5 * dt);

    // I dw/dt = tau + w x (I w): with dR/dt = -R [w]x the gyroscopic term carries a plus sign.
    const VECTOR3& I = in.mass.inertia;
    const VECTOR3 gyro = vm::cross(s.omega, vm::hadamard(I, s.omega));
    const VECTOR3 t = vm::add(in.torque, gyro);
    s.omega = vm::vec(s.omega.x + dt * angular_acceleration(t.x, I.x), s.omega.y + dt * angular_acceleration(t.y, I.y),
                      s.omega.z + dt * angular_acceleration(t.z, I.z));
    s.R = rotate_attitude(s.R, s.omega, dt);
}

}  // namespace physics
