// The attitude autopilots flying the Korvan above the air with its own attitude thrusters:
// kill rotation stops a tumble, the pointing modes bring a 30-degree offset within a degree
// and hold it through a burn of the main engines, and a new mode takes over from the last.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "korvan_flight.h"
#include "pilot/pilot.h"

namespace {

using namespace flight_test;

constexpr double kOrbitAltitude = 150000.0;  // m: no air to speak of
// m/s: below the speed at which the vessel's guidance holds its main engines off (about
// 7800 m/s there), so that they burn when the pilot throttles up; the vessel falls slowly.
constexpr double kOrbitSpeed = 6000.0;
constexpr int kRocketSet = 4;
constexpr double kSettleLimit = 60.0;        // s: a mode has this long to reach its target
constexpr double kHoldTolerance = 1.0;       // deg
constexpr double kBurnTime = 20.0;           // s of the main engines at full thrust

Placement in_orbit(double heading_deg, double pitch_deg, double bank_deg = 0.0) {
    Placement p;
    p.altitude_m = kOrbitAltitude;
    p.speed_m_s = kOrbitSpeed;
    p.track_deg = 90.0;
    p.heading_deg = heading_deg;
    p.pitch_deg = pitch_deg;
    p.bank_deg = bank_deg;
    return p;
}

// Flies frame by frame until the condition holds; the time it took, or a negative value.
template <class Done>
double fly_until(KorvanFlight& f, double limit, Done done) {
    const double start = f.world().sim_time;
    while (f.world().sim_time - start < limit) {
        if (done()) return f.world().sim_time - start;
        f.frame();
    }
    return -1.0;
}

TEST(AttitudeAutopilots, KillRotationStopsFiveDegreesPerSecondAboutEveryAxis) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    Placement p = in_orbit(90.0, 0.0);
    const double spin = 5.0 * kDeg;
    p.omega = _V(spin, -spin, spin);
    KorvanFlight f(p, false, kRocketSet);
    const double fuel_before = f.vessel().GetFuelMass();
    ASSERT_TRUE(f.vessel().ActivateNavmode(NAVMODE_KILLROT));
    const double took = fly_until(f, kSettleLimit, [&] { return !f.vessel().GetNavmodeState(NAVMODE_KILLROT); });
    ASSERT_GT(took, 0.0) << "kill rotation never ended itself";
    const VECTOR3 w = f.omega();
    for (double rate : {w.x, w.y, w.z}) EXPECT_LT(std::fabs(rate) / kDeg, 0.05);
    EXPECT_LT(took, 30.0);
    RecordProperty("s to stop", std::to_string(took));
    EXPECT_LT(f.vessel().GetFuelMass(), fuel_before) << "the attitude thrusters burn propellant";
    f.fly(5.0);
    EXPECT_LT(length(f.omega()) / kDeg, 0.05) << "it stays still after the mode has ended";
}

// Where each pointing mode steers the nose, from the vessel's position and inertial velocity.
VECTOR3 pointing_target(int mode, const runtime::VesselState& s) {
    switch (mode) {
        case NAVMODE_PROGRADE: return s.vel;
        case NAVMODE_RETROGRADE: return -s.vel;
        case NAVMODE_NORMAL: return crossp(s.vel, s.pos);
        case NAVMODE_ANTINORMAL: return crossp(s.pos, s.vel);
        default: return _V(0, 0, 0);
    }
}

struct PointingCase {
    const char* name;
    int mode;
    double heading_deg, pitch_deg, bank_deg;  // the start, 30 degrees off the target
};

// The track is due east, so prograde is east, retrograde west, the orbit normal north.
constexpr PointingCase kPointingCases[] = {
    {"prograde, nose high", NAVMODE_PROGRADE, 90.0, 30.0, 0.0},
    {"prograde, nose left", NAVMODE_PROGRADE, 60.0, 0.0, 10.0},
    {"retrograde, nose low", NAVMODE_RETROGRADE, 270.0, -30.0, 0.0},
    {"retrograde, nose right", NAVMODE_RETROGRADE, 300.0, 0.0, -10.0},
    {"orbit normal", NAVMODE_NORMAL, 30.0, 0.0, 0.0},
    {"orbit antinormal", NAVMODE_ANTINORMAL, 210.0, 0.0, 0.0},
};

TEST(AttitudeAutopilots, PointingModesBringThirtyDegreesWithinOneAndHoldItThroughABurn) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const PointingCase& c : kPointingCases) {
        SCOPED_TRACE(c.name);
        KorvanFlight f(in_orbit(c.heading_deg, c.pitch_deg, c.bank_deg), false, kRocketSet);
        runtime::VesselRecord& k = f.korvan();
        auto off = [&] { return f.nose_off_deg(pointing_target(c.mode, k.state)); };
        EXPECT_NEAR(off(), 30.0, 1e-6);
        ASSERT_TRUE(f.vessel().ActivateNavmode(c.mode));
        const double took = fly_until(f, kSettleLimit, [&] { return off() < kHoldTolerance; });
        ASSERT_GT(took, 0.0) << "never within a degree";
        f.fly(5.0);
        EXPECT_LT(off(), 0.1) << "it settles on the target";
        EXPECT_LT(std::fabs(f.bank_deg()), 0.1) << "roof toward the sky";

        pilot::set_thruster_input(f.world(), k, THGROUP_MAIN, 1.0);
        const double fuel_before = f.vessel().GetFuelMass();
        double worst = 0.0;
        for (int i = 0; i < static_cast<int>(kBurnTime / kStep); ++i) {
            f.frame();
            worst = std::max(worst, off());
        }
        EXPECT_LT(worst, kHoldTolerance) << "held through the burn";
        // Four engines of 331872.3 N at 4492.98 m/s burn 295 kg/s.
        EXPECT_GT(fuel_before - f.vessel().GetFuelMass(), 0.95 * 295.4 * kBurnTime) << "the engines did burn";
        EXPECT_TRUE(f.vessel().GetNavmodeState(c.mode));
        RecordProperty(std::string(c.name) + ": s to within 1 deg", std::to_string(took));
        RecordProperty(std::string(c.name) + ": deg off, worst in the burn", std::to_string(worst));
    }
}

TEST(AttitudeAutopilots, HorizonLevelLevelsNoseAndWings) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    KorvanFlight f(in_orbit(45.0, 30.0, -20.0), false, kRocketSet);
    ASSERT_TRUE(f.vessel().ActivateNavmode(NAVMODE_HLEVEL));
    const double took =
        fly_until(f, kSettleLimit, [&] { return std::fabs(f.pitch_deg()) < 1.0 && std::fabs(f.bank_deg()) < 1.0; });
    ASSERT_GT(took, 0.0);
    f.fly(5.0);
    EXPECT_LT(std::fabs(f.pitch_deg()), 0.1);
    EXPECT_LT(std::fabs(f.bank_deg()), 0.1);
    // The heading is left to the pilot: it moves only as the nose comes down, then stays.
    const double heading = f.heading_deg();
    EXPECT_NEAR(heading, 45.0, 10.0);
    f.fly(10.0);
    EXPECT_NEAR(f.heading_deg(), heading, 0.1);
}

TEST(AttitudeAutopilots, ANewModeTakesOverAndSwitchingOffLeavesTheThrustersQuiet) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    KorvanFlight f(in_orbit(90.0, 0.0), false, kRocketSet);
    runtime::VesselRecord& k = f.korvan();
    VESSEL& v = f.vessel();
    ASSERT_TRUE(v.ActivateNavmode(NAVMODE_PROGRADE));
    f.fly(5.0);
    ASSERT_TRUE(v.ActivateNavmode(NAVMODE_RETROGRADE));
    EXPECT_FALSE(v.GetNavmodeState(NAVMODE_PROGRADE));
    const double took = fly_until(f, 2 * kSettleLimit, [&] { return f.nose_off_deg(-k.state.vel) < kHoldTolerance; });
    EXPECT_GT(took, 0.0) << "turned about to retrograde";

    // Off: the vessel keeps whatever rotation it has, nothing fires.
    runtime::World::current().move(k).omega = _V(0.01, 0.0, 0.0);
    ASSERT_TRUE(v.DeactivateNavmode(NAVMODE_RETROGRADE));
    const double fuel = v.GetFuelMass();
    f.fly(2.0);
    EXPECT_EQ(v.GetFuelMass(), fuel);
    EXPECT_NEAR(f.omega().x, 0.01, 1e-5) << "only the thin air brakes it";
}

}  // namespace
