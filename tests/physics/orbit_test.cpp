#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

constexpr double kMu = 3.986004e14;      // m^3/s^2
constexpr double kRadius = 6371.0e3;     // m
constexpr double kDay = 86400.0;         // s
constexpr double kStep = 0.01;           // s
// Largest relative change of the specific orbital energy allowed over a day of coasting.
constexpr double kEnergyTolerance = 1e-9;

TEST(Orbits, CircularSpeedAt115KmIs7839MetresPerSecond) {
    EXPECT_NEAR(physics::circular_speed(kMu, kRadius + 115e3), 7839.4, 0.05);
}

struct Apsides {
    double periapsis_km, apoapsis_km;
};

TEST(Orbits, ElementsFromPositionAndVelocityAgreeWithVisViva) {
    constexpr Apsides ORBITS[] = {{115, 115}, {100, 115}, {200, 1000}, {300, 36000}};
    for (const Apsides& o : ORBITS) {
        SCOPED_TRACE(o.apoapsis_km);
        const double rp = kRadius + o.periapsis_km * 1e3, ra = kRadius + o.apoapsis_km * 1e3;
        const double a = 0.5 * (rp + ra);
        // At periapsis on the equator moving east (+z at longitude 0).
        const VECTOR3 pos = _V(rp, 0, 0), vel = _V(0, 0, physics::vis_viva_speed(kMu, rp, a));
        const physics::OrbitShape shape = physics::orbit_shape(kMu, pos, vel);
        EXPECT_NEAR(shape.semi_major_axis, a, 1e-3);
        EXPECT_NEAR(shape.periapsis_radius, rp, 1e-3);
        EXPECT_NEAR(shape.apoapsis_radius, ra, 1e-3);
        EXPECT_NEAR(shape.eccentricity, (ra - rp) / (ra + rp), 1e-12);
        EXPECT_NEAR(shape.inclination, 0.0, 1e-12);
        EXPECT_NEAR(physics::specific_energy(kMu, pos, vel), -kMu / (2 * a), 1e-6);
    }
}

// Positions all around orbits of several shapes, in a plane tilted 28.5 degrees: the time to
// the apoapsis is what Kepler's equation gives, and the period is the same everywhere.
TEST(Orbits, TimeToApoapsisAndPeriodFollowKeplersEquation) {
    constexpr Apsides ORBITS[] = {{100, 115}, {115, 180}, {-40, 223}, {300, 36000}};
    const double tilt = 28.5 * PI / 180.0;
    for (const Apsides& o : ORBITS) {
        const double rp = kRadius + o.periapsis_km * 1e3, ra = kRadius + o.apoapsis_km * 1e3;
        const double a = 0.5 * (rp + ra), e = (ra - rp) / (ra + rp);
        const double n = std::sqrt(kMu / (a * a * a));  // rad/s
        for (int k = 0; k < 24; ++k) {
            // Eccentric anomaly E: position and velocity in the orbit's plane (p along the
            // periapsis, q ahead), then tilted about the p axis.
            const double E = -PI + (k + 0.5) * PI2 / 24;
            const double b = a * std::sqrt(1 - e * e);
            const double speed_factor = n / (1 - e * std::cos(E));
            const double p = a * (std::cos(E) - e), q = b * std::sin(E);
            const double vp = -a * std::sin(E) * speed_factor, vq = b * std::cos(E) * speed_factor;
            const VECTOR3 pos = _V(p, -q * std::sin(tilt), q * std::cos(tilt));
            const VECTOR3 vel = _V(vp, -vq * std::sin(tilt), vq * std::cos(tilt));
            SCOPED_TRACE(::testing::Message() << o.apoapsis_km << " km apoapsis, E = " << E);
            const physics::OrbitShape shape = physics::orbit_shape(kMu, pos, vel);
            const double M = E - e * std::sin(E);
            EXPECT_NEAR(shape.period, PI2 / n, 1e-6 * shape.period);
            EXPECT_NEAR(shape.time_to_apoapsis, (PI - M) / n, 1e-6 * shape.period);
            EXPECT_NEAR(shape.inclination, tilt, 1e-9);
        }
    }
    const VECTOR3 pos = _V(kRadius + 200e3, 0, 0);
    const physics::OrbitShape escaping =
        physics::orbit_shape(kMu, pos, _V(0, 0, 1.5 * physics::circular_speed(kMu, pos.x)));
    EXPECT_TRUE(std::isinf(escaping.period));
    EXPECT_TRUE(std::isinf(escaping.time_to_apoapsis));
}

TEST(Orbits, InclinationFollowsTheDirectionOfMotion) {
    const VECTOR3 pos = _V(kRadius + 200e3, 0, 0);
    const double v = physics::circular_speed(kMu, pos.x);
    EXPECT_NEAR(physics::orbit_shape(kMu, pos, _V(0, 0, v)).inclination, 0.0, 1e-12);      // east
    EXPECT_NEAR(physics::orbit_shape(kMu, pos, _V(0, v, 0)).inclination, PI05, 1e-12);     // north
    EXPECT_NEAR(physics::orbit_shape(kMu, pos, _V(0, 0, -v)).inclination, PI, 1e-7);       // west
}

TEST(Orbits, OneMetrePerSecondAtTheTopMovesTheOppositeApsisByAbout3Km) {
    const double r = kRadius + 115e3;
    const double v = physics::circular_speed(kMu, r);
    const physics::OrbitShape faster = physics::orbit_shape(kMu, _V(r, 0, 0), _V(0, 0, v + 1.0));
    EXPECT_NEAR(faster.apoapsis_radius - r, 3.3e3, 0.1e3);
}

// Pure gravity through the integrator, a day at the host's step.
TEST(Orbits, ACoastingOrbitKeepsItsEnergyOverADay) {
    physics::Kinematics s;
    const double r = kRadius + 300e3;
    s.pos = _V(r, 0, 0);
    s.vel = _V(0, 0, physics::vis_viva_speed(kMu, r, r + 200e3));
    s.R = identity_matrix();
    const double e0 = physics::specific_energy(kMu, s.pos, s.vel);
    const physics::MassOutput mass{1000.0, _V(1000, 1000, 1000)};
    auto gravity_only = [&](const physics::Kinematics& k) {
        return physics::accelerations(mass, k, physics::Wrench{}, physics::gravity_acceleration(kMu, k.pos));
    };
    double worst = 0.0;
    const long steps = long(kDay / kStep);
    for (long i = 0; i < steps; ++i) {
        const physics::Drift d = physics::drift(s, gravity_only(s), kStep);
        s = physics::finish(d, gravity_only(d.predicted), kStep);
        if (i % 1000 == 0) worst = std::max(worst, std::fabs(physics::specific_energy(kMu, s.pos, s.vel) / e0 - 1.0));
    }
    worst = std::max(worst, std::fabs(physics::specific_energy(kMu, s.pos, s.vel) / e0 - 1.0));
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", worst);
    RecordProperty("relative_energy_error", text);
    EXPECT_LT(worst, kEnergyTolerance);
}

// The whole step, one orbit of a vessel high above the air, keeps its energy and its plane.
TEST(Orbits, TheFullStepCoastsAnOrbitAboveTheAir) {
    runtime::World world;
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "coaster");
    ASSERT_NE(v, nullptr);
    const double r = kRadius + 2000e3;
    world.move(*v).pos = _V(r, 0, 0);
    world.move(*v).vel = _V(0, 0, physics::circular_speed(kMu, r));
    world.move(*v).landed = false;
    const double e0 = physics::specific_energy(kMu, v->state.pos, v->state.vel);
    physics::Physics physics(world);
    const double period = PI2 * std::sqrt(r * r * r / kMu);
    const long steps = long(period / kStep);
    for (long i = 0; i < steps; ++i) physics.step(kStep);
    EXPECT_NEAR(physics::specific_energy(kMu, v->state.pos, v->state.vel) / e0, 1.0, kEnergyTolerance);
    EXPECT_NEAR(v->state.pos.y, 0.0, 1e-3);
    EXPECT_NEAR(world.sim_time, steps * kStep, 1e-6);
    EXPECT_NEAR(world.mjd, 51544.5 + steps * kStep / kDay, 1e-9);
    EXPECT_TRUE(physics::state_is_finite(*v));
}

}  // namespace
