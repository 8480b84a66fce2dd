// The default ascent, flown whole with the real module, physics and pilot: lift-off, gear up,
// climb under guidance, the switch to the four-engine set above Mach 19, the guidance's
// main-engine cut-off, the coast out of the air under the prograde hold, the burn at
// apoapsis and a whole revolution in orbit. Each flight is long, so each test flies once and
// checks everything about its flight; the variants (frame steps, a late rotation) reach the
// same orbit, and the same run gives the same telemetry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "default_ascent.h"
#include "flight_data.h"
#include "sim_test_util.h"

namespace {

constexpr double kLaunchLatitudeDeg = 28.5;
constexpr double kLaunchAzimuthDeg = 90.0;
constexpr double kMachSwitch = 19.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kLowestOrbitKm = 100.0;      // the orbit's lowest point stays above this
constexpr double kTargetPeriapsisKm = 115.0;  // what the guidance's cut-off law aims for
constexpr double kDeterminismCheckTime = 700.0;  // s: a second run as far as this

sim::RunOptions default_ascent() {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    return opt;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Column index of a telemetry header name.
size_t column(const std::string& name) {
    std::stringstream ss(sim::telemetry_header());
    std::string cell;
    for (size_t i = 0; std::getline(ss, cell, ','); ++i)
        if (cell == name) return i;
    ADD_FAILURE() << "no column " << name;
    return 0;
}

std::vector<double> cells(const std::string& row) {
    std::vector<double> out;
    std::stringstream ss(row);
    std::string cell;
    while (std::getline(ss, cell, ',')) out.push_back(std::stod(cell));
    return out;
}

// What a run leaves for the checks; each run's Simulation is gone before the next starts, as
// the host's World is one per process at a time.
struct Flown {
    sim::RunResult result;
    std::map<std::string, double> events;
    std::map<std::string, sim::FlightData> at_event;  // the focus vessel at each event
    std::vector<std::string> telemetry;
    std::vector<std::string> hud_frames;
    std::map<std::string, std::string> saved;
    sim::FlightData end;  // the focus vessel when the run ended
    double end_time = 0.0;
};

Flown fly(const sim::RunOptions& opt) {
    sim::Simulation s(opt);
    Flown f;
    f.result = s.run();
    for (const sim::EventRecord& e : s.events()) {
        f.events[e.name] = e.time;
        if (e.focus) f.at_event[e.name] = *e.focus;
    }
    f.telemetry = s.telemetry_rows();
    for (const auto& [name, svg] : s.hud_frames()) f.hud_frames.push_back(name);
    f.saved = s.saved_scenarios();
    f.end = sim::read_flight_data(s.world(), *s.focus_vessel());
    f.end_time = s.world().sim_time;
    return f;
}

double expected_inclination_deg() {
    return std::acos(std::cos(kLaunchLatitudeDeg * kPi / 180.0) * std::sin(kLaunchAzimuthDeg * kPi / 180.0)) * 180.0 /
           kPi;
}

// The burn at apoapsis ends in an orbit with the guidance's periapsis, at the launch
// inclination, with propellant left.
void expect_orbit_reached(const Flown& f) {
    ASSERT_TRUE(f.events.count("orbit")) << "the burn at apoapsis never ended";
    const sim::FlightData& inserted = f.at_event.at("orbit");
    EXPECT_NEAR(inserted.periapsis_km, kTargetPeriapsisKm, 5.0);
    EXPECT_GT(inserted.apoapsis_km, inserted.periapsis_km);
    EXPECT_LT(inserted.apoapsis_km, 400.0);
    EXPECT_NEAR(inserted.inclination_deg, expected_inclination_deg(), 0.1);
    EXPECT_GT(inserted.fuel_kg, 0.0);
    EXPECT_EQ(inserted.main_level, 0.0);
    EXPECT_EQ(inserted.navmode, NAVMODE_PROGRADE);
}

// The orbit lasts a whole revolution without coming below kLowestOrbitKm.
void expect_a_whole_revolution(const Flown& f) {
    ASSERT_EQ(f.result.outcome, sim::Outcome::ScriptStop) << f.result.message;
    ASSERT_TRUE(f.events.count("orbit"));
    const size_t time = column("time_s"), altitude = column("altitude_m");
    double lowest = 1e12, first = -1.0, last = -1.0;
    for (const std::string& row : f.telemetry) {
        const std::vector<double> r = cells(row);
        if (r[time] <= f.events.at("orbit")) continue;
        lowest = std::min(lowest, r[altitude] / 1000.0);
        if (first < 0.0) first = r[time];
        last = r[time];
    }
    EXPECT_GT(last - first, f.at_event.at("orbit").period_s);
    EXPECT_GT(lowest, kLowestOrbitKm);
    EXPECT_GT(f.end.periapsis_km, kLowestOrbitKm);
    EXPECT_NEAR(f.end.inclination_deg, expected_inclination_deg(), 0.1);
    EXPECT_GT(f.end.fuel_kg, 0.0);
}

TEST(DefaultAscentFiles, BuiltInTextsAreTheShippedFiles) {
    EXPECT_EQ(read_file(std::string(KORVAN_RUN_TREE) + "/Scenarios/Korvan/Runway.scn"), sim::default_scenario_text());
    EXPECT_EQ(read_file(std::string(KORVAN_RUN_TREE) + "/Scenarios/Korvan/ascent.txt"), sim::default_script_text());
}

TEST(DefaultAscent, FliesFromTheRunwayToOrbitTheSameWayEachTime) {
    const Flown f = fly(default_ascent());
    EXPECT_EQ(f.result.exit_status, sim::kExitOk);

    // Every phase, in order, and no landing.
    const char* phases[] = {"liftoff", "gear_up", "mach1", "engine_switch", "cutoff", "circularise", "orbit"};
    double previous = -1.0;
    for (const char* phase : phases) {
        ASSERT_TRUE(f.events.count(phase)) << phase;
        EXPECT_GT(f.events.at(phase), previous) << phase;
        previous = f.events.at(phase);
    }
    EXPECT_FALSE(f.events.count("landed"));
    const std::vector<std::string> huds = {"cutoff", "engine_switch", "mach1", "orbit", "takeoff"};
    EXPECT_EQ(f.hud_frames, huds);

    // The six-engine set until above Mach 19, then the four-engine set.
    const size_t engines = column("num_engines"), mach = column("mach");
    EXPECT_GT(f.at_event.at("engine_switch").mach, kMachSwitch);
    bool switched = false;
    for (size_t i = 0; i < f.telemetry.size(); ++i) {
        const std::vector<double> row = cells(f.telemetry[i]);
        for (double v : row) ASSERT_TRUE(std::isfinite(v)) << "row " << i << ": " << f.telemetry[i];
        if (!switched && row[engines] == 4.0) {
            switched = true;
            EXPECT_GT(row[mach], kMachSwitch);
        }
        if (!switched) {
            EXPECT_EQ(row[engines], 6.0);
        }
    }
    EXPECT_TRUE(switched);

    // The guidance cuts the engines on speed alone, as if the flight were level; this flight
    // path still climbs there, so the apoapsis lies above the 115 km the speed is chosen for
    // and the periapsis below the ground.
    const sim::FlightData& cutoff = f.at_event.at("cutoff");
    EXPECT_EQ(cutoff.num_engines, 4);
    EXPECT_GT(cutoff.fuel_kg, 1000.0);
    EXPECT_NEAR(cutoff.inclination_deg, expected_inclination_deg(), 0.1);
    EXPECT_GT(cutoff.apoapsis_km, kTargetPeriapsisKm);
    EXPECT_LT(cutoff.periapsis_km, 0.0);
    EXPECT_GT(cutoff.vertical_speed_m_s, 0.0);
    // The burn at apoapsis, under the prograde hold.
    const sim::FlightData& burn = f.at_event.at("circularise");
    EXPECT_EQ(burn.navmode, NAVMODE_PROGRADE);
    EXPECT_LT(std::fabs(burn.vertical_speed_m_s), 20.0);
    expect_orbit_reached(f);
    expect_a_whole_revolution(f);

    // Deterministic: a second run gives the same telemetry, bit for bit, as far as it goes.
    sim::RunOptions again = default_ascent();
    again.until = kDeterminismCheckTime;
    const Flown second = fly(again);
    ASSERT_GT(second.telemetry.size(), 600u);
    ASSERT_LE(second.telemetry.size(), f.telemetry.size());
    EXPECT_TRUE(std::equal(second.telemetry.begin(), second.telemetry.end(), f.telemetry.begin()));
    EXPECT_EQ(second.saved, f.saved);
}

struct Variant {
    const char* name;
    double dt;
    bool pilot_rotation;  // the script's pull on the pitch-up thrusters at take-off
};

class DefaultAscentVariant : public ::testing::TestWithParam<Variant> {};

// The same script with another frame step, or without the pilot's pull at take-off, also
// reaches orbit. The Korvan rotates by itself with the guidance engaged: it leaves the runway
// at about 90 m/s whether the pilot pulls or not. The whole revolution after it is the default
// flight's to show: these flights stop when the burn is over, which keeps the suite's time modest.
TEST_P(DefaultAscentVariant, ReachesOrbit) {
    const Variant& v = GetParam();
    sim::RunOptions opt = default_ascent();
    opt.dt = v.dt;
    opt.stop_on = {"orbit"};
    if (!v.pilot_rotation) {
        std::istringstream lines(opt.script_text);
        opt.script_text.clear();
        for (std::string line; std::getline(lines, line);)
            if (line.find("pitchup") == std::string::npos) opt.script_text += line + "\n";
    }
    const Flown f = fly(opt);
    EXPECT_EQ(f.result.outcome, sim::Outcome::StopEvent) << f.result.message;
    const sim::FlightData& liftoff = f.at_event.at("liftoff");
    EXPECT_LT(liftoff.time_s, 9.0);
    EXPECT_NEAR(liftoff.airspeed_m_s, 91.0, 3.0);
    expect_orbit_reached(f);
}

INSTANTIATE_TEST_SUITE_P(Flights, DefaultAscentVariant,
                         ::testing::Values(Variant{"FineSteps", 0.005, true}, Variant{"CoarseSteps", 0.02, true},
                                           Variant{"NoPilotRotation", 0.01, false}),
                         [](const ::testing::TestParamInfo<Variant>& flight) { return std::string(flight.param.name); });

}  // namespace
