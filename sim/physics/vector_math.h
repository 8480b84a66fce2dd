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

}  // namespace physics::vm
