// The Korvan module flown by the headless host's physics: the vessel's damping and guidance
// laws must calm a disturbance, which holds only if the host's signs (angular velocity,
// pitch, bank, heading, sideslip, control surfaces, thrust directions) are the vessel's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "korvan_flight.h"

namespace {

using namespace flight_test;

TEST(FlightConventions, ThePlacementReadsBackAsTheHostsAngles) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    Placement p;
    p.heading_deg = 85.0;
    p.pitch_deg = 4.0;
    p.bank_deg = 15.0;
    KorvanFlight f(p, false);
    EXPECT_NEAR(f.heading_deg(), 85.0, 1e-9);
    EXPECT_NEAR(f.pitch_deg(), 4.0, 1e-9);
    EXPECT_NEAR(f.bank_deg(), 15.0, 1e-9);
    EXPECT_GT(f.energy_index(), 3.5);
    EXPECT_LT(f.energy_index(), 8.0);
}

// Above the air, with the rockets burning and the guidance off, only the rate damping
// steers the nozzles: a spin about any axis dies away, and without thrust it keeps.
struct SpinCase {
    const char* axis;
    VECTOR3 omega;            // rad/s at the start
    double burning_ratio;     // most of the spin left after kSpinTime with the rockets burning
};

constexpr double kSpin = 0.1;             // rad/s
constexpr double kSpinTime = 5.0;         // s
constexpr double kVacuumAltitude = 150000.0;  // m
constexpr double kVacuumSpeed = 1800.0;   // m/s: below Mach 6, where the nozzles swing widest
constexpr int kRocketSet = 4;

constexpr SpinCase kSpinCases[] = {
    {"pitch (nose up)", {kSpin, 0, 0}, 0.2},
    {"yaw (nose left)", {0, kSpin, 0}, 0.9},
    {"roll (right wing down)", {0, 0, kSpin}, 0.6},
};

KorvanFlight spinning_above_the_air(const SpinCase& c, bool burning) {
    Placement p;
    p.altitude_m = kVacuumAltitude;
    p.speed_m_s = kVacuumSpeed;
    p.omega = c.omega;
    return KorvanFlight(p, false, kRocketSet, burning);
}

double along(const VECTOR3& w, const VECTOR3& axis) { return dotp(w, axis) / length(axis); }

TEST(FlightConventions, AboveTheAirTheRateDampingStopsASpinAboutEachAxis) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const SpinCase& c : kSpinCases) {
        SCOPED_TRACE(c.axis);
        {
            KorvanFlight burning = spinning_above_the_air(c, true);
            burning.fly(kSpinTime);
            const double left = along(burning.omega(), c.omega);
            EXPECT_GT(left, 0.0) << "the damping must not reverse the spin";
            EXPECT_LT(left, c.burning_ratio * kSpin);
            EXPECT_NEAR(length(burning.omega()), left, 1e-3) << "no other axis is excited";
        }
        KorvanFlight coasting = spinning_above_the_air(c, false);
        coasting.fly(kSpinTime);
        EXPECT_NEAR(along(coasting.omega(), c.omega), kSpin, 1e-4) << "without thrust nothing brakes the spin";
    }
}

// In the air, engaged: energy index about 4.9, where the pitch law, the sideslip law and the
// heading hold all act; the launch azimuth is due east, the vessel flies east.
TEST(FlightConventions, TheGuidanceDampsANoseUpPitchRate) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    Placement p;
    p.omega = _V(kSpin, 0, 0);
    double engaged_rate = 0.0, free_rate = 0.0;
    {
        KorvanFlight engaged(p, true);
        ASSERT_STREQ(engaged.world().debug_line.data(), "Guidance ON");
        ASSERT_GT(engaged.energy_index(), 3.5);
        ASSERT_LT(engaged.energy_index(), 8.0);
        engaged.fly(1.0);
        engaged_rate = engaged.omega().x;
    }
    {
        KorvanFlight free_flying(p, false);
        free_flying.fly(1.0);
        free_rate = free_flying.omega().x;
    }
    EXPECT_LT(engaged_rate, 0.5 * kSpin);
    EXPECT_GT(free_rate, kSpin) << "the air alone does not brake it as fast";
}

struct SlipCase {
    const char* side;
    double heading_deg;  // the track is due east (90)
};

constexpr SlipCase kSlipCases[] = {{"nose left of the track", 85.0}, {"nose right of the track", 95.0}};

TEST(FlightConventions, TheGuidanceTurnsTheNoseIntoTheTrack) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const SlipCase& c : kSlipCases) {
        SCOPED_TRACE(c.side);
        Placement p;
        p.heading_deg = c.heading_deg;
        KorvanFlight f(p, true);
        const double slip0 = f.slip_deg();
        EXPECT_NEAR(std::fabs(slip0), 5.0, 1e-6);
        EXPECT_GT(slip0 * (c.heading_deg - 90.0), 0.0) << "nose left of the track: air from the right, negative slip";
        f.fly(3.0);
        EXPECT_LT(std::fabs(f.slip_deg()), 0.5 * std::fabs(slip0));
        EXPECT_GT(f.slip_deg() * slip0, 0.0) << "not yet past the track";
        EXPECT_LT(std::fabs(f.heading_deg() - 90.0), 0.5 * std::fabs(c.heading_deg - 90.0));
    }
}

struct BankCase {
    const char* side;
    double bank_deg;
};

constexpr BankCase kBankCases[] = {{"left wing down", 15.0}, {"right wing down", -15.0}};

TEST(FlightConventions, TheGuidanceLevelsTheWings) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const BankCase& c : kBankCases) {
        SCOPED_TRACE(c.side);
        Placement p;
        p.bank_deg = c.bank_deg;
        {
            KorvanFlight free_flying(p, false);
            free_flying.fly(2.0);
            EXPECT_NEAR(free_flying.bank_deg(), c.bank_deg, 0.5) << "the air alone keeps the bank";
        }
        KorvanFlight engaged(p, true);
        engaged.fly(2.0);
        EXPECT_LT(std::fabs(engaged.bank_deg()), std::fabs(c.bank_deg) / 3.0);
        EXPECT_GT(engaged.bank_deg() * c.bank_deg, 0.0) << "not yet past level";
        double largest = 0.0;
        for (int i = 0; i < 8; ++i) {
            engaged.fly(1.0);
            largest = std::max(largest, std::fabs(engaged.bank_deg()));
        }
        EXPECT_LT(largest, 0.5 * std::fabs(c.bank_deg)) << "the swing past level stays small";
    }
}

}  // namespace
