// U.S. Standard Atmosphere 1976 from 86 to 1000 km, from its own defining equations: the
// kinetic temperature by geometric altitude, and the number densities of N2, O, O2, Ar, He
// and H by molecular and eddy diffusion with the standard's vertical-flux terms. The
// equations are integrated once, on first use, into a table of ln p and ln rho every
// kilometre with their slopes; a cubic Hermite curve between the nodes keeps pressure,
// density and their first derivatives continuous (docs/physics.md).
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "physics/atmosphere_layers.h"

namespace physics {
namespace {

// The standard works in kilometres above 86 km: altitudes below are in km, slopes per km.
constexpr double kG0 = 9.80665;                  // m/s^2
constexpr double kGasConstant = 8314.32;         // J/(kmol K)
constexpr double kBoltzmann = 1.380622e-23;      // J/K
constexpr double kAvogadro = 6.022169e26;        // 1/kmol
constexpr double kEarthRadiusStandard = 6356.766;  // km, r0 of the standard
constexpr double kMolarMassSeaLevel = 28.9644;   // kg/kmol
constexpr double kMetresPerKm = 1000.0;

// Kinetic temperature: isothermal to 91 km, an ellipse to 110 km, +12 K/km to 120 km, then
// an exponential approach to the exospheric temperature. Each joint has a continuous slope.
constexpr double kBase = 86.0;                   // km
constexpr double kIsothermalTop = 91.0;          // km
constexpr double kEllipseTop = 110.0;            // km
constexpr double kLinearTop = 120.0;             // km
constexpr double kTop = 1000.0;                  // km
constexpr double kTemperatureBase = 186.8673;    // K
constexpr double kEllipseCentre = 263.1905;      // K
constexpr double kEllipseA = -76.3232;           // K
constexpr double kEllipseB = -19.9429;           // km
constexpr double kTemperature110 = 240.0;        // K
constexpr double kLinearLapse = 12.0;            // K/km
constexpr double kTemperature120 = 360.0;        // K
constexpr double kExosphereTemperature = 1000.0; // K
constexpr double kExosphereLambda = 0.01875;     // 1/km

struct Temperature {
    double value;  // K
    double slope;  // K/km
};

Temperature kinetic_temperature(double z) {
    if (z <= kIsothermalTop) return {kTemperatureBase, 0.0};
    if (z <= kEllipseTop) {
        const double u = (z - kIsothermalTop) / kEllipseB;
        const double root = std::sqrt(std::max(1e-300, 1.0 - u * u));
        return {kEllipseCentre + kEllipseA * root, -kEllipseA * u / (kEllipseB * root)};
    }
    if (z <= kLinearTop) return {kTemperature110 + kLinearLapse * (z - kEllipseTop), kLinearLapse};
    const double stretch = (kEarthRadiusStandard + kLinearTop) / (kEarthRadiusStandard + z);
    const double xi = (z - kLinearTop) * stretch;
    const double fade = (kExosphereTemperature - kTemperature120) * std::exp(-kExosphereLambda * xi);
    return {kExosphereTemperature - fade, kExosphereLambda * fade * stretch * stretch};
}

double gravity(double z) {
    const double r = kEarthRadiusStandard / (kEarthRadiusStandard + z);
    return kG0 * r * r;
}

// Eddy diffusion: constant to 95 km, fading to nothing at 115 km.
constexpr double kEddyBase = 120.0;   // m^2/s
constexpr double kEddyFadeStart = 95.0, kEddyTop = 115.0;  // km
constexpr double kEddyShape = 400.0;  // km^2

double eddy_diffusion(double z) {
    if (z < kEddyFadeStart) return kEddyBase;
    const double d = kEddyShape - (z - kEddyFadeStart) * (z - kEddyFadeStart);
    if (z >= kEddyTop || d <= 0.0) return 0.0;
    return kEddyBase * std::exp(1.0 - kEddyShape / d);
}

// Below 100 km the gas is mixed with the sea-level mean molecular weight; above, the mixing
// and nitrogen's own balance use nitrogen's weight. This switch is the standard's; it leaves
// a small kink in the pressure's slope at 100 km.
constexpr double kMixingSwitch = 100.0;  // km

enum Gas { N2, O, O2, AR, HE, H, GAS_COUNT };
constexpr int kIntegratedGases = 5;  // N2 to He, integrated up from 86 km; H comes apart

struct GasConstants {
    double molar_mass;         // kg/kmol
    double thermal_diffusion;  // alpha
    double diffusion_a;        // 1/(m s): D = a / n (T / 273.15)^b
    double diffusion_b;
    double flux_q, flux_u, flux_w;  // v/(D+K) = Q (Z-U)^2 exp(-W (Z-U)^3): 1/km^3, km, 1/km^3
};
constexpr std::array<GasConstants, GAS_COUNT> GASES{{
    {28.0134, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0},
    {15.9994, 0.0, 6.986e20, 0.750, -5.809644e-4, 56.90311, 2.706240e-5},
    {31.9988, 0.0, 4.863e20, 0.750, 1.366212e-4, 86.0, 8.333333e-5},
    {39.948, 0.0, 4.487e20, 0.870, 9.434079e-5, 86.0, 8.333333e-5},
    {4.0026, -0.40, 1.700e21, 0.691, -2.457369e-4, 86.0, 6.666667e-4},
    {1.00797, -0.25, 3.305e21, 0.500, 0.0, 0.0, 0.0},
}};
// Atomic oxygen's second flux term, below 97 km only.
constexpr double kOxygenFluxQ = -3.416248e-3;  // 1/km^3
constexpr double kOxygenFluxTop = 97.0;        // km
constexpr double kOxygenFluxW = 5.008765e-4;   // 1/km^3
constexpr double kDiffusionReferenceTemperature = 273.15;  // K

// Number densities at 86 km (1/m^3).
constexpr std::array<double, kIntegratedGases> DENSITIES_86{1.129794e20, 8.6e16, 3.030898e19, 1.351400e18,
                                                             7.5817e14};
// Hydrogen: from 150 km up, fixed at 500 km, with an upward flux (1/(m^2 s)).
constexpr double kHydrogenBottom = 150.0, kHydrogenReference = 500.0;  // km
constexpr double kHydrogenDensity500 = 8.0e10;  // 1/m^3
constexpr double kHydrogenFlux = 7.2e11;        // 1/(m^2 s)

double flux_term(int gas, double z) {
    const GasConstants& c = GASES[size_t(gas)];
    const double d = z - c.flux_u;
    double v = c.flux_q * d * d * std::exp(-c.flux_w * d * d * d);
    if (gas == O && z < kOxygenFluxTop) {
        const double e = kOxygenFluxTop - z;
        v += kOxygenFluxQ * e * e * std::exp(-kOxygenFluxW * e * e * e);
    }
    return v;
}

using Densities = std::array<double, kIntegratedGases>;  // ln n of N2, O, O2, Ar, He

// What the gases' balance needs of an altitude alone, computed once per altitude of the
// integration: the temperature's relative slope, g/(R* T), eddy diffusion, each gas's
// diffusion coefficient times the background density, and its flux term.
struct Level {
    double z;                 // km
    double relative_slope;    // (dT/dZ) / T, 1/km
    double per_weight;        // g / (R* T) per kg/kmol of molecular weight, 1/km
    double eddy;              // m^2/s
    std::array<double, GAS_COUNT> diffusion_times_n{};  // a (T / 273.15)^b, 1/(m s)
    std::array<double, GAS_COUNT> flux{};                // 1/km
};

Level level_at(double z) {
    const Temperature t = kinetic_temperature(z);
    Level l;
    l.z = z;
    l.relative_slope = t.slope / t.value;
    l.per_weight = gravity(z) * kMetresPerKm / (kGasConstant * t.value);
    l.eddy = eddy_diffusion(z);
    const double ln_temperature = std::log(t.value / kDiffusionReferenceTemperature);
    for (int gas = O; gas < GAS_COUNT; ++gas) {
        const GasConstants& c = GASES[size_t(gas)];
        l.diffusion_times_n[size_t(gas)] = c.diffusion_a * std::exp(c.diffusion_b * ln_temperature);
        l.flux[size_t(gas)] = flux_term(gas, z);
    }
    return l;
}

// d ln n / dZ (1/km) of N2, O, O2, Ar and He, and into *major (when given) the number
// density of the three major gases, which hydrogen's balance needs. `mixed_above_100` says on
// which side of the switch at 100 km the slope is taken, so that a node there gets both
// one-sided slopes.
Densities gas_slopes(const Level& l, const Densities& ln_n, bool mixed_above_100, double* major = nullptr) {
    const double mixing_weight = mixed_above_100 ? GASES[N2].molar_mass : kMolarMassSeaLevel;
    const double n_n2 = std::exp(ln_n[N2]);
    const double n_major = n_n2 + std::exp(ln_n[O]) + std::exp(ln_n[O2]);
    if (major != nullptr) *major = n_major;
    Densities slope{};
    slope[N2] = -(l.relative_slope + l.per_weight * mixing_weight);
    for (int gas = O; gas < kIntegratedGases; ++gas) {
        const GasConstants& c = GASES[size_t(gas)];
        // Atomic and molecular oxygen diffuse through nitrogen; argon and helium through the
        // three major gases.
        const double d = l.diffusion_times_n[size_t(gas)] / (gas == O || gas == O2 ? n_n2 : n_major);
        const double diffusive = d / (d + l.eddy);
        slope[size_t(gas)] = -(l.relative_slope +
                               diffusive * (c.thermal_diffusion * l.relative_slope + l.per_weight * c.molar_mass) +
                               (1.0 - diffusive) * l.per_weight * mixing_weight + l.flux[size_t(gas)]);
    }
    return slope;
}

// d ln n(H) / dZ (1/km) with its upward flux, given the major gases' number density.
double hydrogen_slope(const Level& l, double ln_h, double n_major) {
    const GasConstants& c = GASES[H];
    const double d = l.diffusion_times_n[H] / n_major;
    return -((1.0 + c.thermal_diffusion) * l.relative_slope + l.per_weight * c.molar_mass) -
           kHydrogenFlux * kMetresPerKm / (d * std::exp(ln_h));
}

Densities add_scaled(const Densities& y, const Densities& k, double h) {
    Densities r;
    for (size_t i = 0; i < r.size(); ++i) r[i] = y[i] + h * k[i];
    return r;
}

// The table: ln p and ln rho at every kilometre from 86 to 1000 km with their slopes on each
// side of the node (they differ only where the standard switches a law).
constexpr double kNodeSpacing = 1.0;  // km
constexpr int kNodeCount = int((kTop - kBase) / kNodeSpacing + 0.5) + 1;
constexpr int kSubsteps = 4;          // Runge-Kutta steps per node
constexpr double kSubstep = kNodeSpacing / kSubsteps;

struct Node {
    double ln_pressure, ln_density;      // ln Pa, ln kg/m^3
    double pressure_slope_below, pressure_slope_above;  // 1/km
    double density_slope_below, density_slope_above;    // 1/km
};

struct NodeGases {
    Densities ln_n{};
    Densities slope_below{}, slope_above{};
    double ln_h = 0.0, h_slope = 0.0;
    bool has_hydrogen = false;
};

double node_altitude(int i) { return kBase + double(i) * kNodeSpacing; }

// The five gases from 86 km up, one kilometre at a time, each kilometre on one side of the
// switch at 100 km; also, at every substep for hydrogen's diffusion, the major gases' density
// and the altitude's Level (the same altitudes as hydrogen's, so found once for both).
void integrate_gases(std::vector<NodeGases>& nodes, std::vector<double>& major_at_substeps,
                     std::vector<Level>& levels_at_substeps) {
    Densities y;
    for (size_t i = 0; i < y.size(); ++i) y[i] = std::log(DENSITIES_86[i]);
    major_at_substeps.assign(size_t((kNodeCount - 1) * kSubsteps + 1), 0.0);
    levels_at_substeps.resize(major_at_substeps.size());
    Level start = level_at(kBase);
    levels_at_substeps[0] = start;
    for (int i = 0; i < kNodeCount; ++i) {
        const double z = node_altitude(i);
        NodeGases& node = nodes[size_t(i)];
        node.ln_n = y;
        node.slope_above = gas_slopes(start, y, z >= kMixingSwitch, &major_at_substeps[size_t(i * kSubsteps)]);
        // The two sides differ only at the switch itself.
        node.slope_below = z == kMixingSwitch ? gas_slopes(start, y, false) : node.slope_above;
        if (i == kNodeCount - 1) break;
        const bool above = z >= kMixingSwitch;
        for (int s = 0; s < kSubsteps; ++s) {
            const double zs = z + s * kSubstep;
            const Level middle = level_at(zs + 0.5 * kSubstep);
            const Level end = level_at(s + 1 == kSubsteps ? node_altitude(i + 1) : zs + kSubstep);
            // At a node the first slope is the node's own from above (the same Level, densities and
            // side); the major gases' density at each substep comes with its first slope.
            const Densities k1 =
                s == 0 ? node.slope_above : gas_slopes(start, y, above, &major_at_substeps[size_t(i * kSubsteps + s)]);
            const Densities k2 = gas_slopes(middle, add_scaled(y, k1, 0.5 * kSubstep), above);
            const Densities k3 = gas_slopes(middle, add_scaled(y, k2, 0.5 * kSubstep), above);
            const Densities k4 = gas_slopes(end, add_scaled(y, k3, kSubstep), above);
            start = end;
            for (size_t g = 0; g < y.size(); ++g) y[g] += kSubstep / 6.0 * (k1[g] + 2.0 * k2[g] + 2.0 * k3[g] + k4[g]);
            levels_at_substeps[size_t(i * kSubsteps + s + 1)] = end;
        }
    }
}

// Hydrogen from 500 km outward both ways, in steps of two substeps so that each Runge-Kutta
// midpoint falls on a substep where the major gases and the Level are known. Substep k is at
// kBase + k kSubstep exactly (quarter kilometres), as the gases' integration had it.
void integrate_hydrogen(std::vector<NodeGases>& nodes, const std::vector<double>& major_at_substeps,
                        const std::vector<Level>& levels_at_substeps) {
    const int reference = int((kHydrogenReference - kBase) / kNodeSpacing + 0.5) * kSubsteps;
    const int bottom = int((kHydrogenBottom - kBase) / kNodeSpacing + 0.5) * kSubsteps;
    const int top = int(major_at_substeps.size()) - 1;
    auto level = [&](int substep) -> const Level& { return levels_at_substeps[size_t(substep)]; };
    auto record = [&](int substep, double ln_h) {
        if (substep % kSubsteps != 0) return;
        NodeGases& node = nodes[size_t(substep / kSubsteps)];
        node.ln_h = ln_h;
        node.h_slope = hydrogen_slope(level(substep), ln_h, major_at_substeps[size_t(substep)]);
        node.has_hydrogen = true;
    };
    for (const int direction : {+1, -1}) {
        double y = std::log(kHydrogenDensity500);
        record(reference, y);
        const double h = 2.0 * kSubstep * direction;
        for (int s = reference; direction > 0 ? s + 2 <= top : s - 2 >= bottom; s += 2 * direction) {
            const Level& start = level(s);
            const Level& middle = level(s + direction);
            const Level& end = level(s + 2 * direction);
            const double n0 = major_at_substeps[size_t(s)];
            const double n1 = major_at_substeps[size_t(s + direction)];
            const double n2 = major_at_substeps[size_t(s + 2 * direction)];
            const double k1 = hydrogen_slope(start, y, n0);
            const double k2 = hydrogen_slope(middle, y + 0.5 * h * k1, n1);
            const double k3 = hydrogen_slope(middle, y + 0.5 * h * k2, n1);
            const double k4 = hydrogen_slope(end, y + h * k3, n2);
            y += h / 6.0 * (k1 + 2.0 * k2 + 2.0 * k3 + k4);
            record(s + 2 * direction, y);
        }
    }
}

// ln p, ln rho and their slopes from the gases at a node. Below the hydrogen's bottom node the
// slope from below leaves hydrogen out, as the standard has none there.
Node node_from_gases(const NodeGases& g, double z, bool hydrogen_below) {
    const Temperature t = kinetic_temperature(z);
    double n = 0.0, mass = 0.0;
    double n_below = 0.0, n_above = 0.0, mass_below = 0.0, mass_above = 0.0;
    for (int gas = 0; gas < kIntegratedGases; ++gas) {
        const double ni = std::exp(g.ln_n[size_t(gas)]);
        const double mi = ni * GASES[size_t(gas)].molar_mass;
        n += ni;
        mass += mi;
        n_below += ni * g.slope_below[size_t(gas)];
        n_above += ni * g.slope_above[size_t(gas)];
        mass_below += mi * g.slope_below[size_t(gas)];
        mass_above += mi * g.slope_above[size_t(gas)];
    }
    if (g.has_hydrogen) {
        const double nh = std::exp(g.ln_h);
        const double mh = nh * GASES[H].molar_mass;
        n += nh;
        mass += mh;
        n_above += nh * g.h_slope;
        mass_above += mh * g.h_slope;
        if (hydrogen_below) {
            n_below += nh * g.h_slope;
            mass_below += mh * g.h_slope;
        }
    }
    const double relative_slope = t.slope / t.value;
    return Node{std::log(n * kBoltzmann * t.value), std::log(mass / kAvogadro),
                n_below / n + relative_slope,           n_above / n + relative_slope,
                mass_below / mass,                      mass_above / mass};
}

struct UpperTable {
    std::array<Node, kNodeCount> nodes{};
    UpperTable() {
        std::vector<NodeGases> gases(kNodeCount);
        std::vector<double> major_at_substeps;
        std::vector<Level> levels_at_substeps;
        integrate_gases(gases, major_at_substeps, levels_at_substeps);
        integrate_hydrogen(gases, major_at_substeps, levels_at_substeps);
        for (int i = 0; i < kNodeCount; ++i) {
            const double z = node_altitude(i);
            nodes[size_t(i)] = node_from_gases(gases[size_t(i)], z, z > kHydrogenBottom);
        }
        // The gases' sum at 86 km differs from the layers' pressure below by a few parts in a
        // million; the whole table is shifted by that so that the two parts join exactly.
        const Atmosphere joint = lower_atmosphere(kLowerAtmosphereTop);
        const double pressure_shift = std::log(joint.pressure) - nodes[0].ln_pressure;
        const double density_shift = std::log(joint.density) - nodes[0].ln_density;
        for (Node& n : nodes) {
            n.ln_pressure += pressure_shift;
            n.ln_density += density_shift;
        }
    }
};

const UpperTable& upper_table() {
    static const UpperTable table;
    return table;
}

// Cubic Hermite curve through two nodes with the slopes on the segment's side of each.
double hermite(double u, double y0, double slope0, double y1, double slope1) {
    const double u2 = u * u, u3 = u2 * u;
    return (2 * u3 - 3 * u2 + 1) * y0 + (u3 - 2 * u2 + u) * kNodeSpacing * slope0 + (-2 * u3 + 3 * u2) * y1 +
           (u3 - u2) * kNodeSpacing * slope1;
}

}  // namespace

Atmosphere upper_atmosphere(double geometric_altitude_m) {
    static const double speed_of_sound_86 = lower_atmosphere(kLowerAtmosphereTop).speed_of_sound;
    const UpperTable& table = upper_table();
    const double z = geometric_altitude_m / kMetresPerKm;
    const double x = std::max(0.0, (z - kBase) / kNodeSpacing);
    double ln_p, ln_rho;
    if (x >= double(kNodeCount - 1)) {
        // Beyond the table: the last scale heights, so that pressure and density keep falling
        // smoothly toward zero.
        const Node& last = table.nodes.back();
        const double dz = z - kTop;
        ln_p = last.ln_pressure + last.pressure_slope_below * dz;
        ln_rho = last.ln_density + last.density_slope_below * dz;
    } else {
        const size_t i = size_t(x);
        const double u = x - double(i);
        const Node& a = table.nodes[i];
        const Node& b = table.nodes[i + 1];
        ln_p = hermite(u, a.ln_pressure, a.pressure_slope_above, b.ln_pressure, b.pressure_slope_below);
        ln_rho = hermite(u, a.ln_density, a.density_slope_above, b.ln_density, b.density_slope_below);
    }
    Atmosphere air;
    air.temperature = kinetic_temperature(z).value;
    air.pressure = std::exp(ln_p);
    air.density = std::exp(ln_rho);
    air.speed_of_sound = speed_of_sound_86;
    return air;
}

}  // namespace physics
