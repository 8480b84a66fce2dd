// The pilot's controls on the Korvan, from script lines through the World and the pilot
// model to the physics: attitude thrusters in rotation and translation mode fire the vessel's
// own groups with real thrust and propellant use, the throttle sets the main group, the
// aerodynamic controls move the control surfaces, and a pilot's input adds to the vessel's
// own level for each step without ever being applied twice.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "korvan_flight.h"

namespace {

using flight_test::korvan_module_built;

// The Korvan level and heading east (AROT 0 0 90 at RPOS on the +x axis), half its tank full,
// the rocket set: above the air at 150 km, or at 35 km where the air is thick. Above the air
// it flies slower than the speed at which its guidance holds the main engines off.
std::string korvan(double radius_m, double speed_m_s) {
    return sim_test::ships("K1:Korvan\n  STATUS Orbiting Earth\n  RPOS " + std::to_string(radius_m) +
                           " 0 0\n  RVEL 0 0 " + std::to_string(speed_m_s) +
                           "\n  AROT 0 0 90\n  PRPLEVEL 0:0.5\n  CONFIGURATION 1\n  NUMENGINES 4\nEND\n");
}
const std::string kAboveTheAir = korvan(6521000.0, 6000.0);
const std::string kInTheAir = korvan(6406000.0, 2200.0);

// The vessel's definition: half a tank, attitude thrusters and their arms, inertia per mass.
constexpr double kMass = 59874.0 + 0.5 * 76204.0;  // kg
constexpr double kRcsThrust = 16284.6;             // N, per thruster (roll thrusters half of it)
constexpr double kRcsIsp = 4169.25;                // m/s
constexpr double kPmi[3] = {86.7, 88.9, 13.6};     // m^2
constexpr double kInputTime = 2.0;                 // s

struct Flown {
    VECTOR3 omega{}, vel{};
    double fuel = 0.0;
    double main_level = 0.0;
    double own_elevator = 0.0, own_pitchup = 0.0;  // the vessel's own levels after the run
};

Flown fly(const std::string& scenario, const std::string& script, double seconds,
          const std::function<void(VESSEL&)>& vessel_sets = {}) {
    sim::RunOptions opt = sim_test::options_for(scenario, script);
    opt.until = seconds;
    sim::Simulation s(opt);
    s.load();
    runtime::VesselRecord& k = *s.world().find_vessel("K1");
    if (vessel_sets) vessel_sets(*k.iface);
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::Until) << r.message;
    Flown f;
    f.omega = k.state.omega;
    f.vel = k.state.vel;
    f.fuel = k.iface->GetFuelMass();
    f.main_level = k.iface->GetThrusterGroupLevel(THGROUP_MAIN);
    f.own_elevator = k.iface->GetControlSurfaceLevel(AIRCTRL_ELEVATOR);
    f.own_pitchup = k.iface->GetThrusterGroupLevel(THGROUP_ATT_PITCHUP);
    return f;
}

std::string hold_input(const std::string& control, double level) {
    return "t=0 pilot " + control + " " + std::to_string(level) + "\nt=" + std::to_string(kInputTime) + " pilot " +
           control + " 0\n";
}

struct RotationCase {
    const char* group;
    int axis;          // 0 x (nose up), 1 y (nose left), 2 z (right wing down)
    double sign;
    double torque;     // N m: the group's two thrusters at full level
};

constexpr RotationCase kRotationCases[] = {
    {"pitchup", 0, +1.0, 2 * kRcsThrust * 5.25},   {"pitchdown", 0, -1.0, 2 * kRcsThrust * 5.0},
    {"yawleft", 1, +1.0, 2 * kRcsThrust * 4.0},    {"yawright", 1, -1.0, 2 * kRcsThrust * 4.0},
    {"bankright", 2, +1.0, kRcsThrust * 13.0},     {"bankleft", 2, -1.0, kRcsThrust * 13.0},
};

TEST(PilotControls, RotationInputsFireTheirGroupAndTurnTheVesselThatWay) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    const double full = fly(kAboveTheAir, "", 3.0).fuel;
    for (const RotationCase& c : kRotationCases) {
        SCOPED_TRACE(c.group);
        const Flown f = fly(kAboveTheAir, "t=0 rcs rot\n" + hold_input(c.group, 1.0), 3.0);
        const double expected = c.sign * c.torque / (kMass * kPmi[c.axis]) * kInputTime;  // rad/s
        EXPECT_NEAR(f.omega.data[c.axis], expected, 0.01 * std::fabs(expected));
        for (int other = 0; other < 3; ++other) {
            if (other == c.axis) continue;
            EXPECT_LT(std::fabs(f.omega.data[other]), 0.01 * std::fabs(expected)) << other;
        }
        // Two thrusters (two at half thrust for the roll) burn for the input's two seconds.
        const double burned = (c.axis == 2 ? 1.0 : 2.0) * kRcsThrust / kRcsIsp * kInputTime;
        EXPECT_NEAR(full - f.fuel, burned, 0.02 * burned);
    }
    // With the RCS off the same input fires nothing (the vessel still reads it).
    const Flown off = fly(kAboveTheAir, hold_input("pitchup", 1.0), 3.0);
    EXPECT_EQ(off.fuel, full);
    EXPECT_LT(length(off.omega), 1e-6) << "only the thin air's moments";
}

TEST(PilotControls, TranslationInputsPushTheVesselAlongItsAxesInTranslationModeOnly) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    const Flown coast = fly(kAboveTheAir, "", 3.0);
    const Flown up = fly(kAboveTheAir, "t=0 rcs lin\n" + hold_input("up", 1.0), 3.0);
    const Flown wrong_mode = fly(kAboveTheAir, "t=0 rcs rot\n" + hold_input("up", 1.0), 3.0);
    // The vessel's roof points away from the Earth's centre (+x here).
    const VECTOR3 dv = up.vel - coast.vel;
    const double expected = 2 * kRcsThrust / kMass * kInputTime;
    EXPECT_NEAR(dv.x, expected, 0.01 * expected);
    EXPECT_LT(std::hypot(dv.y, dv.z), 0.01 * expected);
    EXPECT_LT(length(wrong_mode.vel - coast.vel), 1e-9);
}

TEST(PilotControls, TheThrottleSetsTheMainGroupUntilChanged) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    const Flown burning = fly(kAboveTheAir, "t=0 pilot main 1\n", 1.0);
    EXPECT_EQ(burning.main_level, 1.0);
    const Flown stopped = fly(kAboveTheAir, "t=0 pilot main 1\nt=0.5 pilot main 0\n", 1.0);
    EXPECT_EQ(stopped.main_level, 0.0);
    const Flown coast = fly(kAboveTheAir, "", 1.0);
    // Four engines of 331872.3 N at their vacuum Isp, for one second and for half of it.
    const double flow = 4 * 331872.3 / 4492.98;  // kg/s
    EXPECT_NEAR(coast.fuel - burning.fuel, flow, 0.01 * flow);
    EXPECT_NEAR(coast.fuel - stopped.fuel, flow / 2, 0.02 * flow);
}

// In the air the elevator input pitches the nose up. The vessel's own level and the pilot's
// add up for each step: half of each flies exactly as the whole of either, and the vessel's
// own level is never changed by the input.
TEST(PilotControls, InputsAddToTheVesselsOwnLevelsOnceEachStep) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    const double t = 0.5;
    const Flown free_flight = fly(kInTheAir, "", t);
    const Flown pilot_full = fly(kInTheAir, "t=0 pilot elevator 1\n", t);
    const Flown shared = fly(kInTheAir, "t=0 pilot elevator 0.5\n", t,
                             [](VESSEL& v) { v.SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.5); });
    const Flown own_full =
        fly(kInTheAir, "", t, [](VESSEL& v) { v.SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 1.0); });
    EXPECT_GT(pilot_full.omega.x, free_flight.omega.x + 0.01) << "nose up";
    EXPECT_EQ(shared.omega.x, pilot_full.omega.x);
    EXPECT_EQ(shared.omega.x, own_full.omega.x);
    EXPECT_EQ(shared.own_elevator, 0.5);
    EXPECT_EQ(pilot_full.own_elevator, 0.0);

    auto pitch_up_half = [](VESSEL& v) { v.SetThrusterGroupLevel(THGROUP_ATT_PITCHUP, 0.5); };
    const Flown thrusters_shared = fly(kAboveTheAir, "t=0 rcs rot\nt=0 pilot pitchup 0.5\n", t, pitch_up_half);
    const Flown thrusters_pilot = fly(kAboveTheAir, "t=0 rcs rot\nt=0 pilot pitchup 1\n", t);
    EXPECT_GT(thrusters_pilot.omega.x, 0.0);
    EXPECT_EQ(thrusters_shared.omega.x, thrusters_pilot.omega.x);
    EXPECT_EQ(thrusters_shared.fuel, thrusters_pilot.fuel);
    EXPECT_EQ(thrusters_shared.own_pitchup, 0.5);
}

}  // namespace
