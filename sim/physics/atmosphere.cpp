// U.S. Standard Atmosphere 1976. Up to 86 km the seven layers by geopotential altitude;
// above, the temperature of the standard by geometric altitude and a pressure integrated
// hydrostatically with the standard's mean molecular weight (docs/physics.md).
#include <algorithm>
#include <array>
#include <cmath>

#include "physics/physics.h"

namespace physics {
namespace {

constexpr double kG0 = 9.80665;            // m/s^2
constexpr double kGasConstant = 8.31432;   // J/(mol K)
constexpr double kMolarMassSeaLevel = 0.0289644;  // kg/mol
constexpr double kEarthRadiusStandard = 6356766.0;  // m, r0 of the standard
constexpr double kGamma = 1.4;
constexpr double kHydrostaticConstant = kG0 * kMolarMassSeaLevel / kGasConstant;  // K/m
constexpr double kSeaLevelPressure = 101325.0;  // Pa
constexpr double kLowerTop = 86000.0;           // m, geometric
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

// Above 86 km: kinetic temperature by geometric altitude.
constexpr double kIsothermalTop = 91000.0;   // m
constexpr double kEllipseTop = 110000.0;     // m
constexpr double kLinearTop = 120000.0;      // m
constexpr double kTemperature86 = 186.8673;  // K
constexpr double kEllipseCentre = 263.1905;  // K
constexpr double kEllipseA = -76.3232;       // K
constexpr double kEllipseB = -19942.9;       // m
constexpr double kLinearLapse = 0.012;       // K/m
constexpr double kTemperature110 = 240.0;    // K
constexpr double kTemperature120 = 360.0;    // K
constexpr double kExosphereTemperature = 1000.0;  // K
constexpr double kExosphereLambda = 0.01875e-3;   // 1/m

double upper_temperature(double z) {
    if (z <= kIsothermalTop) return kTemperature86;
    if (z <= kEllipseTop) {
        const double u = (z - kIsothermalTop) / kEllipseB;
        return kEllipseCentre + kEllipseA * std::sqrt(std::max(0.0, 1.0 - u * u));
    }
    if (z <= kLinearTop) return kTemperature110 + kLinearLapse * (z - kEllipseTop);
    const double xi = (z - kLinearTop) * (kEarthRadiusStandard + kLinearTop) / (kEarthRadiusStandard + z);
    return kExosphereTemperature - (kExosphereTemperature - kTemperature120) * std::exp(-kExosphereLambda * xi);
}

// Mean molecular weight of the standard's composition (kg/mol) at geometric altitudes (m),
// linear between the points.
struct MolarPoint {
    double z, molar_mass;
};
constexpr std::array<MolarPoint, 18> MOLAR_MASS{{
    {86000.0, kMolarMassSeaLevel * 0.999579},
    {91000.0, 0.028955},
    {96000.0, 0.028860},
    {100000.0, 0.028395},
    {110000.0, 0.027270},
    {115000.0, 0.026682},
    {120000.0, 0.026203},
    {130000.0, 0.025440},
    {150000.0, 0.024100},
    {200000.0, 0.021300},
    {300000.0, 0.017730},
    {400000.0, 0.015980},
    {500000.0, 0.014330},
    {600000.0, 0.011510},
    {700000.0, 0.008000},
    {800000.0, 0.005540},
    {900000.0, 0.004400},
    {1000000.0, 0.003940},
}};

double upper_molar_mass(double z) {
    if (z <= MOLAR_MASS.front().z) return MOLAR_MASS.front().molar_mass;
    if (z >= MOLAR_MASS.back().z) return MOLAR_MASS.back().molar_mass;
    size_t i = 0;
    while (z > MOLAR_MASS[i + 1].z) ++i;
    const double f = (z - MOLAR_MASS[i].z) / (MOLAR_MASS[i + 1].z - MOLAR_MASS[i].z);
    return MOLAR_MASS[i].molar_mass + f * (MOLAR_MASS[i + 1].molar_mass - MOLAR_MASS[i].molar_mass);
}

// d ln p / dz = -g(z) M(z) / (R* T(z)), the hydrostatic balance of the whole gas.
double log_pressure_slope(double z) {
    const double r = kEarthRadiusStandard / (kEarthRadiusStandard + z);
    return -kG0 * r * r * upper_molar_mass(z) / (kGasConstant * upper_temperature(z));
}

// ln p and its slope every kilometre from 86 to 1000 km, integrated once; between the
// nodes a cubic Hermite curve, so that pressure and its slope are continuous.
constexpr double kTableStep = 1000.0;  // m
constexpr size_t kTableSize = 915;     // 86 .. 1000 km
constexpr int kSubsteps = 20;

struct UpperTable {
    std::array<double, kTableSize> log_p{}, slope{};
    UpperTable() {
        log_p[0] = std::log(lower_atmosphere(kLowerTop).pressure);
        slope[0] = log_pressure_slope(kLowerTop);
        for (size_t k = 1; k < kTableSize; ++k) {
            // Simpson's rule over each substep.
            double y = log_p[k - 1];
            const double h = kTableStep / kSubsteps;
            for (int s = 0; s < kSubsteps; ++s) {
                const double z0 = kLowerTop + double(k - 1) * kTableStep + s * h;
                y += h / 6.0 *
                     (log_pressure_slope(z0) + 4.0 * log_pressure_slope(z0 + 0.5 * h) + log_pressure_slope(z0 + h));
            }
            log_p[k] = y;
            slope[k] = log_pressure_slope(kLowerTop + double(k) * kTableStep);
        }
    }
};
const UpperTable& upper_table() {
    static const UpperTable table;
    return table;
}

double upper_log_pressure(double z) {
    const UpperTable& t = upper_table();
    const double x = (z - kLowerTop) / kTableStep;
    if (x >= double(kTableSize - 1)) {
        // Beyond the table: the last scale height, so that pressure keeps falling smoothly.
        const double dz = z - (kLowerTop + double(kTableSize - 1) * kTableStep);
        return t.log_p[kTableSize - 1] + t.slope[kTableSize - 1] * dz;
    }
    const size_t i = size_t(x);
    const double u = x - double(i);
    const double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * t.log_p[i] + (u3 - 2 * u2 + u) * kTableStep * t.slope[i] +
           (-2 * u3 + 3 * u2) * t.log_p[i + 1] + (u3 - u2) * kTableStep * t.slope[i + 1];
}

Atmosphere upper_atmosphere(double z) {
    static const double speed_of_sound_86 = lower_atmosphere(kLowerTop).speed_of_sound;
    Atmosphere a;
    a.temperature = upper_temperature(z);
    a.pressure = std::exp(upper_log_pressure(z));
    a.density = a.pressure * upper_molar_mass(z) / (kGasConstant * a.temperature);
    a.speed_of_sound = speed_of_sound_86;
    return a;
}

}  // namespace

Atmosphere us_standard_atmosphere(double geometric_altitude_m) {
    if (!(geometric_altitude_m == geometric_altitude_m)) return Atmosphere{0.0, 0.0, 0.0, 0.0};  // NaN
    // Deep below the surface (a vessel that fell through) the lowest layer's air holds.
    const double z = std::max(geometric_altitude_m, kLowestAltitude);
    if (z < kLowerTop) return lower_atmosphere(z);
    return upper_atmosphere(z);
}

}  // namespace physics
