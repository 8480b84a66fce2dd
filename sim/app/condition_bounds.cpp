#include "condition_bounds.h"

#include <cmath>


namespace sim {

namespace {

// Only orbits with v^2 r / mu below this are bounded: the energy (v^2/2 - mu/r) is then at
// least a quarter of mu/r below zero, so that r/a = 2 - v^2 r/mu > 1/2, a < 2 r, and the
// period lies between 2 pi sqrt(r^3 / 8 mu) (a >= r/2 on any ellipse) and 2 pi sqrt(8 r^3 / mu).
constexpr double kMaxVisVivaRatio = 1.5;
// The exact time to apoapsis carries an absolute error of a few 1e-16 rad of mean anomaly M
// (M is about pi near the apoapsis), and is 0 for an eccentricity below 1e-12. With
// (r.v)^2 > kMinRadialTerm mu r, the eccentricity (>= |r.v| / sqrt(mu a), a < 2 r) is above 2e-9
// and the radial-speed bound spans more than 1e-9 rad of mean anomaly, so that rounding stays
// below a millionth of it.
constexpr double kMinRadialTerm = 8e-18;
// Generous room for rounding on each side of the interval.
constexpr double kRoundingFactor = 2.0;
const double kSqrt8 = std::sqrt(8.0);

}  // namespace

// On the osculating orbit the radial speed vr = r.v/|r| falls at most at the rate mu/r^2
// (gravity; the centrifugal term only raises it), and r only grows while vr > 0, so the
// apoapsis is at least vr r^2 / mu = (r.v) r / mu away; and less than half a period away
// while climbing. Descending, the next apoapsis is between half and a whole period away.
// Divisions and square roots only: no trigonometry, and bounds loose enough for rounding.
std::optional<ValueRange> time_to_apoapsis_range(double mu, const VECTOR3& pos, const VECTOR3& vel) {
    const double r = std::sqrt(dotp(pos, pos));
    const double v2 = dotp(vel, vel);
    const double rv = dotp(pos, vel);
    if (!(v2 * r < kMaxVisVivaRatio * mu) || !(r > 0.0) || !(rv * rv > kMinRadialTerm * mu * r)) return std::nullopt;
    const double root_r3_mu = r * std::sqrt(r / mu);  // s; the period is 2 pi sqrt(a^3 / mu)
    const double period_min = PI2 * root_r3_mu / kSqrt8;
    const double period_max = PI2 * root_r3_mu * kSqrt8;
    if (rv > 0.0) return ValueRange{rv * r / mu / kRoundingFactor, period_max / 2.0 * kRoundingFactor};
    return ValueRange{period_min / 2.0 / kRoundingFactor, period_max * kRoundingFactor};
}

std::optional<bool> condition_over_range(const Condition& c, const ValueRange& range) {
    const bool equality = c.op == Comparison::Equal || c.op == Comparison::NotEqual;
    if (equality && c.value >= range.lo && c.value <= range.hi) return std::nullopt;
    // The other comparisons are monotonic in the value: the same result at both ends holds
    // throughout.
    const bool at_lo = condition_holds(c, range.lo);
    if (at_lo != condition_holds(c, range.hi)) return std::nullopt;
    return at_lo;
}

}  // namespace sim
