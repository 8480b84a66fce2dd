// U.S. Standard Atmosphere 1976. Up to 86 km the seven layers by geopotential altitude;
// above, the standard's gases (upper_atmosphere.cpp). Formulas in docs/physics.md.
#include <algorithm>
#include <array>
#include <cmath>

#include "physics/atmosphere_layers.h"

namespace physics {
namespace {

constexpr double kG0 = 9.80665;            // m/s^2
constexpr double kGasConstant = 8.31432;   // J/(mol K)
constexpr double kMolarMassSeaLevel = 0.0289644;  // kg/mol
constexpr double kEarthRadiusStandard = 6356766.0;  // m, r0 of the standard
constexpr double kGamma = 1.4;
constexpr double kHydrostaticConstant = kG0 * kMolarMassSeaLevel / kGasConstant;  // K/m
constexpr double kSeaLevelPressure = 101325.0;  // Pa
constexpr double kLowestAltitude = -10000.0;    // m

struct Layer {
    double base_height;  // m, geopotential
    double lapse;        // K/m
    double base_temperature;  // K, molecular-scale
};
constexpr std::array<Layer, 8> LAYERS{{
    {0.0, -0.0065, 288.15},
    {11000.0, 0.0, 216.65},
    {20000.0, 0.001, 216.65},
    {32000.0, 0.0028, 228.65},
    {47000.0, 0.0, 270.65},
    {51000.0, -0.0028, 270.65},
    {71000.0, -0.002, 214.65},
    {84852.0, 0.0, 186.946},
}};

// Ratio of the molecular weight to its sea-level value from 80 to 86 km geometric, every
// 500 m: the kinetic temperature is the molecular-scale one times this ratio.
constexpr double kMolarRatioStart = 80000.0;
constexpr double kMolarRatioStep = 500.0;
constexpr std::array<double, 13> MOLAR_RATIO{1.000000, 0.999996, 0.999989, 0.999971, 0.999941, 0.999909, 0.999870,
                                             0.999829, 0.999786, 0.999741, 0.999694, 0.999641, 0.999579};

double layer_pressure(const Layer& layer, double base_pressure, double height) {
    const double dh = height - layer.base_height;
    if (layer.lapse == 0.0) return base_pressure * std::exp(-kHydrostaticConstant * dh / layer.base_temperature);
    const double t = layer.base_temperature + layer.lapse * dh;
    return base_pressure * std::pow(layer.base_temperature / t, kHydrostaticConstant / layer.lapse);
}

struct LowerBases {
    std::array<double, LAYERS.size()> pressure{};
    LowerBases() {
        pressure[0] = kSeaLevelPressure;
        for (size_t i = 1; i < LAYERS.size(); ++i)
            pressure[i] = layer_pressure(LAYERS[i - 1], pressure[i - 1], LAYERS[i].base_height);
    }
};
const LowerBases& lower_bases() {
    static const LowerBases bases;
    return bases;
}

double molar_ratio(double z) {
    if (z <= kMolarRatioStart) return 1.0;
    const double x = std::min((z - kMolarRatioStart) / kMolarRatioStep, double(MOLAR_RATIO.size() - 1));
    const size_t i = std::min(size_t(x), MOLAR_RATIO.size() - 2);
    const double f = x - double(i);
    return MOLAR_RATIO[i] + f * (MOLAR_RATIO[i + 1] - MOLAR_RATIO[i]);
}

}  // namespace

Atmosphere lower_atmosphere(double z) {
    const double h = kEarthRadiusStandard * z / (kEarthRadiusStandard + z);
    size_t i = LAYERS.size() - 1;
    while (i > 0 && h < LAYERS[i].base_height) --i;
    const Layer& layer = LAYERS[i];
    const double molecular_temperature = layer.base_temperature + layer.lapse * (h - layer.base_height);
    const double p = layer_pressure(layer, lower_bases().pressure[i], h);
    Atmosphere a;
    a.temperature = molecular_temperature * molar_ratio(z);
    a.pressure = p;
    a.density = p * kMolarMassSeaLevel / (kGasConstant * molecular_temperature);
    a.speed_of_sound = std::sqrt(kGamma * kGasConstant * molecular_temperature / kMolarMassSeaLevel);
    return a;
}

Atmosphere us_standard_atmosphere(double geometric_altitude_m) {
    if (!(geometric_altitude_m == geometric_altitude_m)) return Atmosphere{0.0, 0.0, 0.0, 0.0};  // NaN
    // Deep below the surface (a vessel that fell through) the lowest layer's air holds.
    const double z = std::max(geometric_altitude_m, kLowestAltitude);
    if (z < kLowerAtmosphereTop) return lower_atmosphere(z);
    return upper_atmosphere(z);
}

}  // namespace physics
