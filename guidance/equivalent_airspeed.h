// Equivalent airspeed in knots from dynamic and static pressure (Pa), as both the autopilot
// and the head-up display compute it.
#pragma once

#include <cmath>

namespace korvan {

constexpr double kSeaLevelPressure = 101400.0;           // Pa
constexpr double kKeasScale = 661.48;                    // knots
constexpr double kAirExponent = 0.2857142857142857;      // (gamma - 1) / gamma

// Counts as 0 without an atmosphere (p not positive) and never yields NaN from a
// negative radicand.
inline double equivalent_airspeed_knots(double q, double p) {
    if (!(p > 0.0)) return 0.0;
    const double radicand = p * 5.0 / kSeaLevelPressure * (std::pow(q / p + 1.0, kAirExponent) - 1.0);
    if (!(radicand > 0.0)) return 0.0;
    return kKeasScale * std::sqrt(radicand);
}

}  // namespace korvan
