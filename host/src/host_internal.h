// Helpers shared by the runtime's sources: handle lookup and small math.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "runtime/world.h"

// Symbols the library shares between its own sources only: found directly, never through
// the dynamic linker's tables.
#if defined(_WIN32)
#define KORVAN_LIBRARY_INTERNAL
#else
#define KORVAN_LIBRARY_INTERNAL __attribute__((visibility("hidden")))
#endif

namespace runtime::detail {

// The World made current last, or the library's own empty one while the program has none:
// never null once the library is loaded.
extern World* current_world KORVAN_LIBRARY_INTERNAL;

// World::current(), inline for the library's own sources: every operation begins with it.
inline World& current() {
    return *current_world;
}

inline double clamp(double x, double lo, double hi) {
    return x < lo ? lo : (x > hi ? hi : x);
}

// The matrix whose columns are a, b, c.
inline MATRIX3 from_columns(const VECTOR3& a, const VECTOR3& b, const VECTOR3& c) {
    MATRIX3 m;
    m.m11 = a.x, m.m12 = b.x, m.m13 = c.x;
    m.m21 = a.y, m.m22 = b.y, m.m23 = c.y;
    m.m31 = a.z, m.m32 = b.z, m.m33 = c.z;
    return m;
}

inline MATRIX3 transpose(const MATRIX3& m) {
    MATRIX3 t;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) t.data[i * 3 + j] = m.data[j * 3 + i];
    return t;
}

// Orientation angles (alpha, beta, gamma) <-> attitude matrix: R = Rx(a) Ry(b) Rz(g).
MATRIX3 matrix_from_arot(const VECTOR3& arot);
VECTOR3 arot_from_matrix(const MATRIX3& R);

// The current World's record behind a vessel handle, or null.
VesselRecord* vessel_record(OBJHANDLE h);


}  // namespace runtime::detail
