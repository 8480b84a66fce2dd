// The cheap bound on the time to apoapsis must never decide a script condition differently
// from the exact value the frame loop would read: checked over orbits of every shape (near-
// circular to nearly parabolic, unbound, inclined), at every phase including just before and
// after both apsides, against thresholds at and around the exact value.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "condition_bounds.h"
#include "physics/physics.h"

namespace {

using namespace sim;

constexpr double kMu = 3.986004418e14;  // m^3/s^2, the Earth's
constexpr double kUnbound = 1.0e9;      // s, what the telemetry shows for an unbound orbit

// The value read_flight_data() gives.
double exact_time_to_apoapsis(const VECTOR3& pos, const VECTOR3& vel) {
    const double t = physics::orbit_shape(kMu, pos, vel).time_to_apoapsis;
    return std::isfinite(t) ? t : kUnbound;
}

// Position and velocity on an orbit of periapsis radius rp and eccentricity e at true
// anomaly nu, in a plane tilted by incl about x.
void state_on_orbit(double rp, double e, double nu, double incl, VECTOR3& pos, VECTOR3& vel) {
    const double p = rp * (1.0 + e);
    const double r = p / (1.0 + e * std::cos(nu));
    const double k = std::sqrt(kMu / p);
    const double px = r * std::cos(nu), py = r * std::sin(nu);
    const double vx = -k * std::sin(nu), vy = k * (e + std::cos(nu));
    pos = _V(px, py * std::cos(incl), py * std::sin(incl));
    vel = _V(vx, vy * std::cos(incl), vy * std::sin(incl));
}

TEST(ConditionBounds, TheTimeToApoapsisBoundNeverDecidesOtherwiseThanTheExactValue) {
    std::mt19937_64 rng(14);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const std::vector<double> eccentricities = {0.0, 1e-13, 1e-11, 1e-9, 1e-6, 1e-3, 0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5,
                                                0.9, 0.99, 0.999999, 1.0, 1.2, 3.0};
    // Phases: the apsides and tiny steps either side of them, and spread around the orbit.
    std::vector<double> anomalies = {0.0, PI};
    for (double d : {1e-12, 1e-9, 1e-6, 1e-3, 0.1}) {
        for (double at : {0.0, PI}) {
            anomalies.push_back(at + d);
            anomalies.push_back(at - d);
        }
    }
    for (int i = 0; i < 40; ++i) anomalies.push_back(-PI + PI2 * unit(rng));
    const Comparison ops[] = {Comparison::Greater, Comparison::GreaterEqual, Comparison::Less,
                              Comparison::LessEqual, Comparison::Equal,   Comparison::NotEqual};
    long checked = 0, decided = 0, climbing_checked = 0, climbing_decided = 0;
    for (double e : eccentricities) {
        for (double nu : anomalies) {
            if (e >= 1.0 && 1.0 + e * std::cos(nu) <= 0.05) continue;  // beyond the hyperbola's asymptotes
            const double rp = 6.4e6 + 4.0e7 * unit(rng) * unit(rng);
            const double incl = PI * unit(rng);
            VECTOR3 pos, vel;
            state_on_orbit(rp, e, nu, incl, pos, vel);
            const double exact = exact_time_to_apoapsis(pos, vel);
            const auto range = time_to_apoapsis_range(kMu, pos, vel);
            if (range) {
                ASSERT_LE(range->lo, exact) << "e " << e << " nu " << nu;
                ASSERT_GE(range->hi, exact) << "e " << e << " nu " << nu;
            }
            // Climbing well between the apsides, as an ascent coasts up to its apoapsis.
            const bool climbing = std::sin(nu) > 0.3 && e >= 0.05 && e <= 0.4;
            std::vector<double> thresholds = {-1.0, 0.0, 1.0, 60.0, exact, std::nextafter(exact, 0.0),
                                              std::nextafter(exact, 2 * kUnbound), exact * 0.5, exact * 2.0,
                                              exact * (1 - 1e-12), kUnbound, 2.0 * kUnbound, 1e4 * unit(rng)};
            if (range) {
                for (double x : {range->lo, range->hi, 2 * range->lo, range->hi / 2}) thresholds.push_back(x);
            }
            for (double x : thresholds) {
                for (Comparison op : ops) {
                    Condition c;
                    c.op = op;
                    c.value = x;
                    const bool truth = condition_holds(c, exact);
                    ++checked;
                    if (climbing && x == 1.0 && op == Comparison::Less) ++climbing_checked;
                    if (!range) continue;
                    const auto d = condition_over_range(c, *range);
                    if (!d) continue;
                    ++decided;
                    if (climbing && x == 1.0 && op == Comparison::Less) ++climbing_decided;
                    ASSERT_EQ(*d, truth) << "e " << e << " nu " << nu << " x " << x << " op "
                                         << static_cast<int>(op) << " exact " << exact;
                }
            }
        }
    }
    // The bound pays: "time_to_apoapsis<1" while climbing between the apsides is decided
    // without the exact value.
    EXPECT_GT(checked, 10000);
    EXPECT_GT(decided, checked / 10);
    EXPECT_GT(climbing_checked, 40);
    EXPECT_EQ(climbing_decided, climbing_checked);
}

}  // namespace
