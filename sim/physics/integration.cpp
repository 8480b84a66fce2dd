// Integration of one step: translation by velocity Verlet (symplectic under gravity, the
// other forces held over the step); rotation by the torque's kick to the angular momentum,
// then the free turn of the step split over the vessel's three axes, each turn exact
// (docs/physics.md).
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

// Turns the vessel frame by `angle` about its own axis i (R exp(-[angle e_i]x), the docs'
// sense of a positive rate) and a vessel-frame vector L with it (exp(+[angle e_i]x) L), so
// that the vector in space, R L, stays put.
void turn_about_axis(MATRIX3& R, VECTOR3& L, int i, double angle) {
    const int j = (i + 1) % 3, k = (i + 2) % 3;
    const double c = std::cos(angle), s = std::sin(angle);
    const double lj = L.data[j], lk = L.data[k];
    L.data[j] = c * lj - s * lk;
    L.data[k] = s * lj + c * lk;
    for (int row = 0; row < 3; ++row) {
        double& rj = R.data[row * 3 + j];
        double& rk = R.data[row * 3 + k];
        const double a = rj, b = rk;
        rj = c * a - s * b;
        rk = s * a + c * b;
    }
}

// The rate about axis i of a vessel whose angular momentum is L; an axis without inertia
// keeps the rate it had.
double rate_about(int i, const VECTOR3& L, const VECTOR3& inertia, const VECTOR3& omega) {
    return inertia.data[i] > 0.0 ? L.data[i] / inertia.data[i] : omega.data[i];
}

}  // namespace

void integrate(runtime::VesselState& s, const MotionInput& in) {
    const double dt = in.dt;
    const double m = in.mass.mass;
    const VECTOR3 a = m > 0.0 ? vm::scale(in.force, 1.0 / m) : vm::vec(0.0, 0.0, 0.0);

    // Kick, drift, kick.
    s.vel = vm::madd(s.vel, vm::add(a, gravity_acceleration(in.mu, s.pos)), 0.5 * dt);
    s.pos = vm::madd(s.pos, s.vel, dt);
    s.vel = vm::madd(s.vel, vm::add(a, gravity_acceleration(in.mu, s.pos)), 0.5 * dt);

    // I dw/dt = tau + w x (I w) (the plus sign with dR/dt = -R [w]x): the torque kicks the
    // angular momentum L = I w, then the vessel turns freely for the step. The free turn is
    // split over the axes, half x, half y, z, half y, half x: each part turns the frame and L
    // together about one axis at that axis's rate, exactly. So R L is kept exactly with no
    // torque, |L| too, and the energy without drift. (A step of w x (I w) taken straight
    // lengthened L every step: a tumbling vessel spun itself up to a non-finite state.)
    const VECTOR3& I = in.mass.inertia;
    VECTOR3 L = vm::madd(vm::hadamard(I, s.omega), in.torque, dt);
    const double half = 0.5 * dt;
    const struct {
        int axis;
        double h;
    } turns[] = {{0, half}, {1, half}, {2, dt}, {1, half}, {0, half}};
    MATRIX3 R = s.R;
    bool turned = false;
    for (const auto& t : turns) {
        const double angle = rate_about(t.axis, L, I, s.omega) * t.h;
        if (angle == 0.0) continue;
        turn_about_axis(R, L, t.axis, angle);
        turned = true;
    }
    s.omega = vm::vec(rate_about(0, L, I, s.omega), rate_about(1, L, I, s.omega), rate_about(2, L, I, s.omega));
    if (turned) s.R = orthonormal(R);  // not moved, the attitude stays exactly as it was
}

}  // namespace physics
