// Vector and matrix helpers of the physics step, in the physics' own words (madd, to_global,
// to_local, ...) beside the host API's dotp, crossp and mul.
#pragma once

#include <cmath>

#include "orbiter_api.h"

namespace physics::vm {

inline VECTOR3 vec(double x, double y, double z) {
    VECTOR3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}
inline double dot(const VECTOR3& a, const VECTOR3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline VECTOR3 cross(const VECTOR3& a, const VECTOR3& b) {
    return vec(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}
inline double norm(const VECTOR3& a) { return std::sqrt(dot(a, a)); }
inline VECTOR3 add(const VECTOR3& a, const VECTOR3& b) { return vec(a.x + b.x, a.y + b.y, a.z + b.z); }
inline VECTOR3 sub(const VECTOR3& a, const VECTOR3& b) { return vec(a.x - b.x, a.y - b.y, a.z - b.z); }
inline VECTOR3 scale(const VECTOR3& a, double f) { return vec(a.x * f, a.y * f, a.z * f); }
// a + b * f
inline VECTOR3 madd(const VECTOR3& a, const VECTOR3& b, double f) {
    return vec(a.x + b.x * f, a.y + b.y * f, a.z + b.z * f);
}
inline VECTOR3 hadamard(const VECTOR3& a, const VECTOR3& b) { return vec(a.x * b.x, a.y * b.y, a.z * b.z); }

// R v: a vessel-frame vector in global coordinates.
inline VECTOR3 to_global(const MATRIX3& m, const VECTOR3& v) {
    return vec(m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
               m.m31 * v.x + m.m32 * v.y + m.m33 * v.z);
}
// R^T v: a global vector in vessel-frame coordinates.
inline VECTOR3 to_local(const MATRIX3& m, const VECTOR3& v) {
    return vec(m.m11 * v.x + m.m21 * v.y + m.m31 * v.z, m.m12 * v.x + m.m22 * v.y + m.m32 * v.z,
               m.m13 * v.x + m.m23 * v.y + m.m33 * v.z);
}
inline MATRIX3 matmul(const MATRIX3& a, const MATRIX3& b) {
    MATRIX3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.data[3 * i + j] =
                a.data[3 * i] * b.data[j] + a.data[3 * i + 1] * b.data[3 + j] + a.data[3 * i + 2] * b.data[6 + j];
    return r;
}

// Rotation of the body by angle theta about the global +y axis: body-fixed coordinates to
// global ones (east is increasing longitude, see docs/physics.md).
inline MATRIX3 body_rotation(double theta) {
    const double c = std::cos(theta), s = std::sin(theta);
    MATRIX3 r;
    r.m11 = c, r.m12 = 0, r.m13 = -s;
    r.m21 = 0, r.m22 = 1, r.m23 = 0;
    r.m31 = s, r.m32 = 0, r.m33 = c;
    return r;
}
inline MATRIX3 transpose(const MATRIX3& m) {
    MATRIX3 r;
    r.m11 = m.m11, r.m12 = m.m21, r.m13 = m.m31;
    r.m21 = m.m12, r.m22 = m.m22, r.m23 = m.m32;
    r.m31 = m.m13, r.m32 = m.m23, r.m33 = m.m33;
    return r;
}

// Turns the vessel frame by `angle` about its own axis I (R exp(-[angle e_I]x), the docs'
// sense of a positive rate) and a vessel-frame vector L with it (exp(+[angle e_I]x) L), so
// that the vector in space, R L, stays put. The axis is a template argument so that the
// other two axes' indices are constants.
template <int I>
inline void turn_about_axis(MATRIX3& R, VECTOR3& L, double angle) {
    constexpr int j = (I + 1) % 3, k = (I + 2) % 3;
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

}  // namespace physics::vm
