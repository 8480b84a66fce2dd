#include <gtest/gtest.h>

#include <cmath>

#include "physics/physics.h"

namespace {

// Above 86 km the pressure and density come from the standard's six gases.
constexpr double kUpperTolerance = 2e-3;  // relative

struct AtmosphereRow {
    double altitude_km, temperature, pressure, density, speed_of_sound;  // speed 0: not defined
    double tolerance;  // relative, for pressure and density
};

// The 1976 standard's figures by geometric altitude.
constexpr AtmosphereRow STANDARD_TABLE[] = {
    {0, 288.150, 101325, 1.2250, 340.294, 1e-4},
    {1, 281.651, 89876.3, 1.11166, 336.435, 1e-4},
    {5, 255.676, 54048.3, 0.73643, 320.55, 1e-4},
    {11, 216.774, 22699.9, 0.364801, 295.154, 1e-4},
    {20, 216.650, 5529.29, 0.0889097, 295.069, 1e-4},
    {32, 228.49, 889.06, 0.013555, 303.02, 1e-4},
    {47, 269.684, 115.85, 1.4965e-3, 329.21, 2e-4},
    {51, 270.650, 70.458, 9.0690e-4, 329.80, 2e-4},
    {71, 216.846, 4.4796, 7.1965e-5, 295.20, 2e-4},
    {86, 186.87, 0.37338, 6.958e-6, 274.10, 5e-4},
    {91, 186.87, 0.15381, 2.860e-6, 0, kUpperTolerance},
    {100, 195.08, 3.2011e-2, 5.604e-7, 0, kUpperTolerance},
    {110, 240.00, 7.1042e-3, 9.708e-8, 0, kUpperTolerance},
    {115, 300.00, 4.0096e-3, 4.289e-8, 0, kUpperTolerance},
    {120, 360.00, 2.5382e-3, 2.222e-8, 0, kUpperTolerance},
    {150, 634.39, 4.5422e-4, 2.0763e-9, 0, kUpperTolerance},
    {200, 854.56, 8.4736e-5, 2.5410e-10, 0, kUpperTolerance},
    {300, 976.01, 8.7704e-6, 1.9160e-11, 0, kUpperTolerance},
    {500, 999.24, 3.0236e-7, 5.2150e-13, 0, kUpperTolerance},
    {1000, 1000.00, 7.5138e-9, 3.5607e-15, 0, kUpperTolerance},
};

TEST(Atmosphere, MatchesTheStandardTableAtEveryRow) {
    for (const AtmosphereRow& row : STANDARD_TABLE) {
        SCOPED_TRACE(row.altitude_km);
        const physics::Atmosphere a = physics::us_standard_atmosphere(row.altitude_km * 1000.0);
        EXPECT_NEAR(a.temperature, row.temperature, 0.01);
        EXPECT_NEAR(a.pressure / row.pressure, 1.0, row.tolerance);
        EXPECT_NEAR(a.density / row.density, 1.0, row.tolerance);
        if (row.speed_of_sound > 0) {
            EXPECT_NEAR(a.speed_of_sound, row.speed_of_sound, 0.01);
        }
    }
}

TEST(Atmosphere, HoldsTheSpeedOfSoundOf86KmAbove) {
    const double at86 = physics::us_standard_atmosphere(86000.0).speed_of_sound;
    for (double km : {90.0, 150.0, 400.0}) {
        EXPECT_DOUBLE_EQ(physics::us_standard_atmosphere(km * 1000.0).speed_of_sound, at86);
    }
}

// Pressure and density fall at every metre-scale step from the ground to 2000 km, stay
// positive, and never fall by more than the local scale height allows: no jumps, at the
// layer bases, at 86 km or at the ends of the upper table.
TEST(Atmosphere, PressureAndDensityFallSmoothlyWithoutJumps) {
    constexpr double kStep = 50.0;  // m
    physics::Atmosphere previous = physics::us_standard_atmosphere(0.0);
    for (double z = kStep; z <= 2.0e6; z += kStep) {
        const physics::Atmosphere a = physics::us_standard_atmosphere(z);
        ASSERT_GT(a.pressure, 0.0) << z;
        ASSERT_GT(a.density, 0.0) << z;
        ASSERT_LT(a.pressure, previous.pressure) << z;
        ASSERT_LT(a.density, previous.density) << z;
        ASSERT_GT(a.pressure / previous.pressure, 0.97) << z;
        ASSERT_GT(a.density / previous.density, 0.95) << z;
        previous = a;
    }
}

TEST(Atmosphere, IsContinuousAcross86Km) {
    const physics::Atmosphere below = physics::us_standard_atmosphere(86000.0 - 1e-6);
    const physics::Atmosphere above = physics::us_standard_atmosphere(86000.0);
    EXPECT_NEAR(above.pressure / below.pressure, 1.0, 1e-7);
    EXPECT_NEAR(above.density / below.density, 1.0, 1e-5);
    EXPECT_NEAR(above.temperature, below.temperature, 1e-3);
}

// The scale heights of pressure and density (the slopes of their logarithms) change without
// a step from 86 to 1000 km: at every node of the upper table, in the middle of every
// segment, and where the two parts join. Two steps are the standard's own: it switches the
// mixing weight at 100 km, and at 86 km its temperature stops falling by 2 K/km, which turns
// the density's slope (not the pressure's) by 6 %.
TEST(Atmosphere, ScaleHeightsAboveTheLayersHaveNoStep) {
    constexpr double kProbe = 10.0;  // m either side
    auto slopes = [](double z, double (*of)(const physics::Atmosphere&)) {
        const double here = std::log(of(physics::us_standard_atmosphere(z)));
        const double below = (here - std::log(of(physics::us_standard_atmosphere(z - kProbe)))) / kProbe;
        const double above = (std::log(of(physics::us_standard_atmosphere(z + kProbe))) - here) / kProbe;
        return std::pair{below, above};
    };
    auto pressure = [](const physics::Atmosphere& a) { return a.pressure; };
    auto density = [](const physics::Atmosphere& a) { return a.density; };
    double worst = 0.0, worst_at = 0.0;
    for (double z = 86000.0; z <= 1.0e6; z += 500.0) {
        for (auto of : {+pressure, +density}) {
            const auto [below, above] = slopes(z, of);
            const double step = std::fabs(above / below - 1.0);
            const bool standards_own = z == 100000.0 || (z == 86000.0 && of == +density);
            if (standards_own) {
                EXPECT_LT(step, 0.07) << z;
            } else if (step > worst) {
                worst = step;
                worst_at = z;
            }
        }
    }
    EXPECT_LT(worst, 1e-3) << "at " << worst_at << " m";
}

}  // namespace
