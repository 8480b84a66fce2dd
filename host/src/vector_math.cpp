// Vector and matrix helpers of the host API.
#include <cmath>

#include "orbiter_api.h"

double dotp(const VECTOR3& a, const VECTOR3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

VECTOR3 crossp(const VECTOR3& a, const VECTOR3& b) {
    return _V(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

double length(const VECTOR3& a) {
    return std::sqrt(dotp(a, a));
}

double dist(const VECTOR3& a, const VECTOR3& b) {
    return length(a - b);
}

// A zero vector stays zero rather than becoming NaN.
VECTOR3 unit(const VECTOR3& a) {
    const double len = length(a);
    return len > 0.0 ? a / len : _V(0.0, 0.0, 0.0);
}

VECTOR3 mul(const MATRIX3& m, const VECTOR3& v) {
    return _V(m.m11 * v.x + m.m12 * v.y + m.m13 * v.z, m.m21 * v.x + m.m22 * v.y + m.m23 * v.z,
              m.m31 * v.x + m.m32 * v.y + m.m33 * v.z);
}

VECTOR3 tmul(const MATRIX3& m, const VECTOR3& v) {
    return _V(m.m11 * v.x + m.m21 * v.y + m.m31 * v.z, m.m12 * v.x + m.m22 * v.y + m.m32 * v.z,
              m.m13 * v.x + m.m23 * v.y + m.m33 * v.z);
}

MATRIX3 mul(const MATRIX3& a, const MATRIX3& b) {
    MATRIX3 r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            double s = 0.0;
            for (int k = 0; k < 3; ++k) s += a.data[i * 3 + k] * b.data[k * 3 + j];
            r.data[i * 3 + j] = s;
        }
    }
    return r;
}

MATRIX3 identity_matrix() {
    MATRIX3 m;
    for (double& d : m.data) d = 0.0;
    m.m11 = m.m22 = m.m33 = 1.0;
    return m;
}
