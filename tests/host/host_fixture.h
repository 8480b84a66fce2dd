// A World with plain vessels for the host runtime's tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "runtime/world.h"

namespace host_test {

constexpr double earth_radius = 6371.0e3;  // m, the World's body
constexpr double earth_mu = 3.986004e14;   // m^3/s^2

struct HostWorld : ::testing::Test {
    runtime::World world;

    // A plain vessel of a class with the given figures, created by name.
    runtime::VesselRecord* plain(const std::string& name, double empty_mass = 1000.0, double max_fuel = 0.0) {
        runtime::VesselClass cls;
        cls.name = "Plain_" + name;
        cls.empty_mass = empty_mass;
        cls.max_fuel = max_fuel;
        world.add_class(cls);
        std::string error;
        runtime::VesselRecord* v = world.create_vessel(name, cls.name, nullptr, &error);
        EXPECT_NE(v, nullptr) << error;
        return v;
    }
};

inline MATRIX3 columns(const VECTOR3& x, const VECTOR3& y, const VECTOR3& z) {
    MATRIX3 m;
    m.m11 = x.x, m.m12 = y.x, m.m13 = z.x;
    m.m21 = x.y, m.m22 = y.y, m.m23 = z.y;
    m.m31 = x.z, m.m32 = y.z, m.m33 = z.z;
    return m;
}

inline void expect_near(const VECTOR3& a, const VECTOR3& b, double tol, const std::string& what = "") {
    EXPECT_NEAR(a.x, b.x, tol) << what;
    EXPECT_NEAR(a.y, b.y, tol) << what;
    EXPECT_NEAR(a.z, b.z, tol) << what;
}

}  // namespace host_test
