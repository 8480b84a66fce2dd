// The default ascent, flown whole with the real module and physics: lift-off, gear up,
// climb under guidance, the switch to the four-engine set above Mach 19, the guidance's
// main-engine cut-off and the coast after it; the same run twice gives the same telemetry.
#include <gtest/gtest.h>

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
size_t column(const std::string& header, const std::string& name) {
    std::stringstream ss(header);
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
    std::string final_scenario;
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
    f.final_scenario = s.scenario_text();
    f.end = sim::read_flight_data(s.world(), *s.focus_vessel());
    f.end_time = s.world().sim_time;
    return f;
}

// One whole run, shared by the tests below.
class DefaultAscent : public ::testing::Test {
protected:
    static void SetUpTestSuite() { whole_run_ = new Flown(fly(default_ascent())); }
    static void TearDownTestSuite() {
        delete whole_run_;
        whole_run_ = nullptr;
    }
    static Flown* whole_run_;
};
Flown* DefaultAscent::whole_run_ = nullptr;

TEST(DefaultAscentFiles, BuiltInTextsAreTheShippedFiles) {
    EXPECT_EQ(read_file(std::string(KORVAN_RUN_TREE) + "/Scenarios/Korvan/Runway.scn"), sim::default_scenario_text());
    EXPECT_EQ(read_file(std::string(KORVAN_RUN_TREE) + "/Scenarios/Korvan/ascent.txt"), sim::default_script_text());
}

TEST_F(DefaultAscent, FliesEveryPhaseInOrder) {
    const Flown& f = *whole_run_;
    EXPECT_EQ(f.result.outcome, sim::Outcome::ScriptStop) << f.result.message;
    EXPECT_EQ(f.result.exit_status, sim::kExitOk);
    const char* phases[] = {"liftoff", "gear_up", "mach1", "engine_switch", "cutoff"};
    double previous = -1.0;
    for (const char* phase : phases) {
        ASSERT_TRUE(f.events.count(phase)) << phase;
        EXPECT_GT(f.events.at(phase), previous) << phase;
        previous = f.events.at(phase);
    }
    EXPECT_FALSE(f.events.count("landed"));
    // The flight goes on well past the cut-off, coasting with the engines off.
    EXPECT_GT(f.end_time, previous + 100.0);
    EXPECT_EQ(f.end.main_level, 0.0);
    const std::vector<std::string> huds = {"cutoff", "engine_switch", "mach1", "takeoff"};
    EXPECT_EQ(f.hud_frames, huds);
}

TEST_F(DefaultAscent, SwitchesToTheFourEngineSetAboveMachNineteen) {
    const std::vector<std::string>& rows = whole_run_->telemetry;
    const size_t engines = column(sim::telemetry_header(), "num_engines");
    const size_t mach = column(sim::telemetry_header(), "mach");
    ASSERT_TRUE(whole_run_->at_event.count("engine_switch"));
    EXPECT_GT(whole_run_->at_event.at("engine_switch").mach, kMachSwitch);
    bool switched = false;
    for (size_t i = 0; i < rows.size() && !switched; ++i) {
        const std::vector<double> row = cells(rows[i]);
        if (row[engines] == 4.0) {
            switched = true;
            EXPECT_GT(row[mach], kMachSwitch);
        } else {
            EXPECT_EQ(row[engines], 6.0);
        }
    }
    EXPECT_TRUE(switched);
}

TEST_F(DefaultAscent, CutOffByTheGuidanceWithPropellantLeftAndTheLaunchInclination) {
    ASSERT_TRUE(whole_run_->at_event.count("cutoff"));
    const sim::FlightData& d = whole_run_->at_event.at("cutoff");
    EXPECT_EQ(d.main_level, 0.0);
    EXPECT_EQ(d.num_engines, 4);
    EXPECT_GT(d.fuel_kg, 1000.0);
    const double expected_inclination =
        std::acos(std::cos(kLaunchLatitudeDeg * kPi / 180.0) * std::sin(kLaunchAzimuthDeg * kPi / 180.0)) * 180.0 / kPi;
    EXPECT_NEAR(d.inclination_deg, expected_inclination, 1.0);
    // The guidance cuts the engines on speed alone, as if the flight were level; this flight
    // path still climbs there, so the apoapsis lies above the 115 km the speed is chosen for.
    EXPECT_GT(d.apoapsis_km, 115.0);
    EXPECT_LT(d.apoapsis_km, 400.0);
    EXPECT_GT(d.vertical_speed_m_s, 0.0);
}

TEST_F(DefaultAscent, EveryTelemetryValueIsFinite) {
    const std::vector<std::string>& rows = whole_run_->telemetry;
    ASSERT_GT(rows.size(), 600u);
    for (size_t i = 0; i < rows.size(); ++i)
        for (double v : cells(rows[i])) ASSERT_TRUE(std::isfinite(v)) << "row " << i << ": " << rows[i];
}

TEST_F(DefaultAscent, ASecondRunGivesTheSameTelemetry) {
    const Flown again = fly(default_ascent());
    EXPECT_EQ(again.telemetry, whole_run_->telemetry);
    EXPECT_EQ(again.final_scenario, whole_run_->final_scenario);
}

}  // namespace
