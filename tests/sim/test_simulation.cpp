#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>

#include "default_ascent.h"
#include "flight_data.h"
#include "host_keys.h"
#include "sim_test_util.h"

namespace {

using sim_test::load_error;
using sim_test::options_for;
using sim_test::ships;

const std::string kOrbiting =
    "Block1:Ballast\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7672.6\n  AROT 10 20 30\n"
    "  VROT 0.1 0 0\nEND\n";
const std::string kLanded = "Block2:Ballast\n  STATUS Landed Earth\n  POS -80.675 28.5\n  HEADING 90\nEND\n";
const std::string kChild = "Block3:Ballast\n  ATTACHED 0:0,Block2\nEND\n";

std::string saved_after_loading(const std::string& scenario) {
    sim::Simulation s(options_for(scenario));
    s.load();
    return s.scenario_text();
}

TEST(HostKeys, ALoadedAndSavedScenarioSavesAgainTheSame) {
    const std::string first = saved_after_loading(ships(kOrbiting + kLanded + kChild));
    const std::string second = saved_after_loading(first);
    EXPECT_EQ(second, first);
}

TEST(HostKeys, AFlownScenarioSavedTwiceIsAFixedPoint) {
    sim::RunOptions opt = options_for(ships(kOrbiting + kLanded + kChild));
    opt.until = 3.0;
    sim::Simulation flown(opt);
    flown.run();
    const std::string first = flown.scenario_text();
    EXPECT_EQ(saved_after_loading(first), first);
    EXPECT_NE(first.find("RPOS 67"), std::string::npos);
}

// The pilot's RCS mode and active autopilot are kept in the scenario, and a change of them
// is saved even when the vessel has not moved.
TEST(HostKeys, ThePilotsModesAreSavedAndLoaded) {
    const std::string flying = "Block1:Ballast\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7672.6\n"
                               "  RCSMODE 1\n  NAVMODE PROGRADE\nEND\n";
    sim::Simulation s(options_for(ships(flying)));
    s.load();
    runtime::VesselRecord& v = *s.world().find_vessel("Block1");
    EXPECT_EQ(v.controls.rcs_mode, RCS_ROT);
    EXPECT_EQ(v.controls.navmode, NAVMODE_PROGRADE);
    const std::string first = s.scenario_text();
    EXPECT_NE(first.find("  RCSMODE 1\n  NAVMODE PROGRADE\n"), std::string::npos) << first;
    v.controls.navmode = NAVMODE_KILLROT;
    v.controls.rcs_mode = RCS_NONE;
    const std::string changed = s.scenario_text();
    EXPECT_NE(changed.find("  NAVMODE KILLROT\n"), std::string::npos) << changed;
    EXPECT_EQ(changed.find("RCSMODE"), std::string::npos) << "off is not written";
    EXPECT_EQ(saved_after_loading(first), first);
}

TEST(HostKeys, AVesselIsSavedWithTheHostsKeysFirst) {
    sim::Simulation s(options_for(ships(kOrbiting + kLanded + kChild)));
    s.load();
    const std::vector<std::string> orbiting = s.saved_block(*s.world().find_vessel("Block1"));
    const std::vector<std::string> expected_orbiting = {"STATUS Orbiting Earth", "RPOS 6771000 0 0",
                                                        "RVEL 0 0 7672.6", "AROT 10 20 30", "VROT 0.1 0 0"};
    EXPECT_EQ(orbiting, expected_orbiting);
    const std::vector<std::string> landed = s.saved_block(*s.world().find_vessel("Block2"));
    ASSERT_EQ(landed.size(), 4u);
    EXPECT_EQ(landed[0], "STATUS Landed Earth");
    EXPECT_EQ(landed[1], "POS -80.675 28.5");
    EXPECT_EQ(landed[2], "HEADING 90");
    EXPECT_EQ(landed[3], "ALT 0");
    const std::vector<std::string> child = s.saved_block(*s.world().find_vessel("Block3"));
    EXPECT_EQ(child, std::vector<std::string>{"ATTACHED 0:0,Block2"});
}

TEST(HostKeys, TheStateFollowsTheKeys) {
    sim::Simulation s(options_for(ships(kOrbiting + kLanded + kChild)));
    s.load();
    runtime::World& w = s.world();
    const runtime::VesselRecord& orbiting = *w.find_vessel("Block1");
    EXPECT_EQ(orbiting.state.pos.x, 6771000.0);
    EXPECT_EQ(orbiting.state.vel.z, 7672.6);
    EXPECT_NEAR(orbiting.state.omega.x, 0.1 * RAD, 1e-15);
    const VECTOR3 arot = sim::arot_from_matrix(orbiting.state.R) * DEG;
    EXPECT_NEAR(arot.x, 10.0, 1e-9);
    EXPECT_NEAR(arot.y, 20.0, 1e-9);
    EXPECT_NEAR(arot.z, 30.0, 1e-9);
    const runtime::VesselRecord& landed = *w.find_vessel("Block2");
    EXPECT_TRUE(landed.state.landed);
    EXPECT_NEAR(w.heading(landed) * DEG, 90.0, 1e-9);
    double lng = 0, lat = 0, rad = 0;
    w.equ_pos(landed, lng, lat, rad);
    EXPECT_NEAR(lng * DEG, -80.675, 1e-9);
    EXPECT_NEAR(lat * DEG, 28.5, 1e-9);
    EXPECT_EQ(w.parent_of(w.find_vessel("Block3")), &landed);
    EXPECT_EQ(w.focus, &orbiting) << "without a focus block the first vessel has the focus";
}

TEST(HostKeys, ParsesEachKeyAndRefusesWhatItCannotUse) {
    struct Case {
        const char* line;
        bool host_key;
        const char* error;
    };
    const Case cases[] = {
        {"STATUS Landed Earth", true, ""},
        {"status orbiting Earth", true, ""},
        {"STATUS Landed Mars", true, "unknown body \"Mars\" (this host knows Earth)"},
        {"STATUS Flying Earth", true, "expected \"STATUS Landed <body>\" or \"STATUS Orbiting <body>\""},
        {"POS 10 20", true, ""},
        {"POS 10", true, "POS needs longitude and latitude in degrees"},
        {"POS 10 95", true, "POS latitude 95 is outside -90..90"},
        {"HEADING east", true, "HEADING needs one number of degrees"},
        {"ALT 2.5", true, ""},
        {"RPOS 1 2", true, "RPOS needs three numbers (m)"},
        {"RVEL 1 2 x", true, "RVEL needs three numbers (m/s)"},
        {"AROT 1 2 3", true, ""},
        {"VROT 0 0 0 0", true, "VROT needs three rates (deg/s)"},
        // States that would turn non-finite within a few steps.
        {"ALT 1e300", true, "ALT 1e300 is outside -100..10000 m"},
        {"ALT -1000", true, "ALT -1000 is outside -100..10000 m"},
        {"RPOS 1e300 0 0", true, "RPOS lies beyond 1e+12 m from the Earth's centre"},
        {"RVEL 0 0 1e6", true, "RVEL is faster than 30000 m/s"},
        {"VROT 1e7 0 0", true, "VROT turns faster than 1e+06 deg/s"},
        {"PRPLEVEL 0:1 1:0.5", true, ""},
        {"PRPLEVEL 0:1.5", true, "PRPLEVEL level 1.5 is outside 0..1"},
        {"PRPLEVEL full", true, "PRPLEVEL entry \"full\" is not \"<index>:<level>\""},
        {"ATTACHED 0:1,Carrier", true, ""},
        {"ATTACHED 0,Carrier", true, "expected \"ATTACHED <parent point>:<child point>,<parent name>\""},
        {"RCSMODE 2", true, ""},
        {"RCSMODE 3", true, "RCSMODE needs 0 (off), 1 (rotation) or 2 (translation)"},
        {"NAVMODE Prograde", true, ""},
        {"NAVMODE UP", true, "NAVMODE needs one of KILLROT, HLEVEL, PROGRADE, RETROGRADE, NORMAL, ANTINORMAL"},
        {"GEAR 1 1.0000", false, ""},
        {"CONFIGURATION 1", false, ""},
    };
    for (const Case& c : cases) {
        sim::HostKeys keys;
        std::string error;
        EXPECT_EQ(sim::parse_host_key(c.line, keys, error), c.host_key) << c.line;
        EXPECT_EQ(error, c.error) << c.line;
    }
}

TEST(HostKeys, LinesNoOneKnowsPassSilently) {
    const std::string scn = ships("Block1:Ballast\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7672.6\n"
                                  "  COLOUR blue\nEND\n");
    EXPECT_EQ(load_error(options_for(scn)), "");
}

TEST(ScenarioLoading, StopsBeforeTheRunNamingTheFileAndLine) {
    struct Case {
        std::string blocks;
        std::string message;
    };
    // The ships block starts on line 5 of the test scenario.
    const Case cases[] = {
        {"A:NoSuchClass\nEND\n", "test.scn:6: unknown vessel class \"NoSuchClass\" (no Config/Vessels/NoSuchClass.cfg)"},
        {"A:Ballast\n  POS 1 2\nEND\n",
         "test.scn:6: vessel \"A\" has no \"STATUS Landed <body>\" or \"STATUS Orbiting <body>\" line"},
        {"A:Ballast\n  STATUS Landed Earth\n  POS 1 200\nEND\n", "test.scn:8: POS latitude 200 is outside -90..90"},
        {"A:Ballast\n  STATUS Landed Earth\nEND\n", "test.scn:6: vessel \"A\" is landed but has no \"POS <lng> <lat>\" line"},
        {"A:Ballast\n  STATUS Orbiting Earth\n  RPOS 7e6 0 0\nEND\n",
         "test.scn:6: vessel \"A\" is orbiting but lacks an \"RPOS\" or \"RVEL\" line"},
        {"A:Ballast\n  STATUS Orbiting Earth\n  RPOS 7 0 0\n  RVEL 0 0 1\nEND\n",
         "test.scn:6: vessel \"A\": RPOS lies more than 100 m below the surface (positions are from the Earth's "
         "centre, in metres)"},
        // 1.9 km deep: the ground's spring threw the vessel out into a non-finite state.
        {"A:Ballast\n  STATUS Orbiting Earth\n  RPOS 4484336 0 0\n  RVEL 0 0 1\nEND\n",
         "test.scn:6: vessel \"A\": RPOS lies more than 100 m below the surface (positions are from the Earth's "
         "centre, in metres)"},
        {"A:Ballast\n  STATUS Landed Earth\n  POS 1 2\n  PRPLEVEL 0:1\nEND\n",
         "test.scn:9: vessel \"A\" has 0 propellant resource(s): no index 0"},
        {"A:Ballast\n  ATTACHED 0:0,Nobody\nEND\n", "test.scn:7: unknown parent vessel \"Nobody\""},
        {"A:Ballast\n  STATUS Landed Earth\n  POS 1 2\nEND\nB:Ballast\n  ATTACHED 3:0,A\nEND\n",
         "test.scn:11: \"A\" has no child attachment point 3"},
    };
    for (const Case& c : cases) EXPECT_EQ(load_error(options_for(ships(c.blocks))), c.message) << c.blocks;
}

TEST(ScenarioLoading, OptionsThatWouldFreezeOrBreakTheRunAreRefused) {
    struct Case {
        double dt;
        std::optional<double> until;
        double interval;
        const char* message;  // nullptr: accepted
    };
    const double nan = std::nan(""), inf = HUGE_VAL;
    const Case cases[] = {
        {0.01, 60.0, 1.0, nullptr},
        {0.1, 0.0, 1e-300, nullptr},
        {1e308, {}, 1.0, "--dt 1e+308: the frame step must be from 0.0001 to 0.1 s"},
        {0.5, {}, 1.0, "--dt 0.5: the frame step must be from 0.0001 to 0.1 s"},  // the state runs away
        {1e-300, {}, 1.0, "--dt 1e-300: the frame step must be from 0.0001 to 0.1 s"},
        {nan, {}, 1.0, "--dt nan: the frame step must be from 0.0001 to 0.1 s"},
        {0.01, nan, 1.0, "--until nan: the end of the run must be a time of 0 s or more"},
        {0.01, inf, 1.0, "--until inf: the end of the run must be a time of 0 s or more"},
        {0.01, -1.0, 1.0, "--until -1: the end of the run must be a time of 0 s or more"},
        {0.01, {}, 0.0, "--telemetry-interval 0: the interval must be a number of seconds above 0"},
        {0.01, {}, inf, "--telemetry-interval inf: the interval must be a number of seconds above 0"},
    };
    for (const Case& c : cases) {
        sim::RunOptions opt = options_for(ships(kOrbiting));
        opt.dt = c.dt;
        opt.until = c.until;
        opt.telemetry_interval = c.interval;
        EXPECT_EQ(load_error(opt), c.message != nullptr ? c.message : "") << c.dt;
    }
}

TEST(ScenarioLoading, AStopEventMustBeOneTheRunCanRaise) {
    sim::RunOptions opt = options_for(ships(kLanded), "when altitude>10 event high\n");
    opt.stop_on = {"high", "liftoff"};
    EXPECT_EQ(load_error(opt), "");
    opt.stop_on = {"lunch"};
    EXPECT_EQ(load_error(opt).rfind("--stop-on: unknown event \"lunch\"", 0), 0u);
    opt.stop_on = {};
    opt.script_text = "when altitude>10 event high\nwhen time_since high>1 event higher\nwhen time_since lunch>1 stop\n";
    EXPECT_EQ(load_error(opt).rfind("test.txt:3: unknown event \"lunch\"", 0), 0u) << load_error(opt);
}

// The orbit in conditions and events: time_since counts from an event and never holds
// before it; the apoapsis event comes where the time to apoapsis runs out.
TEST(Script, ConditionsOnTheOrbitAndOnTheTimeSinceAnEvent) {
    // Climbing away from the periapsis of an elliptic orbit.
    const std::string climbing = "Block1:Ballast\n  STATUS Orbiting Earth\n  RPOS 6571000 0 0\n"
                                 "  RVEL 1500 2000 7600\nEND\n";
    const std::string script =
        "when time_to_apoapsis<100 event near_top\n"
        "when time_since near_top>=20 and navmode=off event later\n"
        "when time_since apoapsis>0.5 stop\n";
    sim::RunOptions opt = options_for(ships(climbing), script);
    opt.until = 4000.0;
    opt.dt = 0.1;
    sim::Simulation s(opt);
    s.load();
    const double to_apoapsis = sim::read_flight_data(s.world(), *s.focus_vessel()).time_to_apoapsis_s;
    ASSERT_GT(to_apoapsis, 200.0);
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::ScriptStop);
    EXPECT_NEAR(s.event_time("near_top").value(), to_apoapsis - 100.0, 0.2);
    EXPECT_NEAR(s.event_time("later").value(), to_apoapsis - 80.0, 0.2);
    EXPECT_NEAR(s.event_time("apoapsis").value(), to_apoapsis, 0.2);
}

// Entries that wait on an event not yet recorded are left out of a frame's checks until it
// is recorded: over generated scripts whose events are raised in a random order (by time,
// by chains of time_since conditions, several in one pass), every event comes on the frame
// that checking every entry in script order every frame would pick.
TEST(Script, EntriesWaitingOnEventsFireOnTheFramesOfAFullRescan) {
    constexpr int kScripts = 40;
    constexpr int kEvents = 8;
    constexpr int kFrames = 120;
    constexpr double kDt = 0.01;
    std::mt19937 rng(20261209);
    auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int script_no = 0; script_no < kScripts; ++script_no) {
        // An entry raises event `raises` when its time (in frames) has come, or when each of
        // its (event, frames, inclusive) conditions holds: time_since E > f - 0.5 frames, or
        // time_since E >= 0 (which holds in the pass that records E).
        struct Cond {
            int event, frames;
            bool same_pass;
        };
        struct Entry {
            int raises = 0;
            int at_frame = -1;
            std::vector<Cond> conds;
        };
        std::vector<Entry> timed, conditional;
        for (int e = 0; e < kEvents; ++e) {
            Entry entry;
            entry.raises = e;
            if (e < 2 || pick(4) == 0) {
                entry.at_frame = 1 + pick(60);
                timed.push_back(entry);
                continue;
            }
            const int n = 1 + pick(2);
            for (int k = 0; k < n; ++k) {
                const bool same_pass = pick(3) == 0;
                entry.conds.push_back({pick(kEvents), same_pass ? 0 : 1 + pick(30), same_pass});
            }
            conditional.push_back(entry);
        }
        std::shuffle(timed.begin(), timed.end(), rng);
        std::shuffle(conditional.begin(), conditional.end(), rng);
        std::stable_sort(timed.begin(), timed.end(),
                         [](const Entry& a, const Entry& b) { return a.at_frame < b.at_frame; });
        std::string text;
        char line[160];
        for (const Entry& e : timed) {
            std::snprintf(line, sizeof line, "t=%.3f event e%d\n", (e.at_frame - 0.5) * kDt, e.raises);
            text += line;
        }
        for (const Entry& e : conditional) {
            text += "when ";
            for (size_t k = 0; k < e.conds.size(); ++k) {
                const Cond& c = e.conds[k];
                if (c.same_pass) std::snprintf(line, sizeof line, "time_since e%d>=0", c.event);
                else std::snprintf(line, sizeof line, "time_since e%d>%.3f", c.event, (c.frames - 0.5) * kDt);
                text += (k > 0 ? " and " : "") + std::string(line);
            }
            std::snprintf(line, sizeof line, " event e%d\n", e.raises);
            text += line;
        }

        // The full rescan: every entry not yet run, in script order, every frame.
        std::vector<const Entry*> order;
        for (const Entry& e : timed) order.push_back(&e);
        for (const Entry& e : conditional) order.push_back(&e);
        std::vector<int> recorded(kEvents, -1);
        std::vector<bool> done(order.size(), false);
        for (int f = 0; f <= kFrames; ++f) {
            for (size_t i = 0; i < order.size(); ++i) {
                const Entry& e = *order[i];
                bool due = e.at_frame >= 0 ? f >= e.at_frame : true;
                for (const Cond& c : e.conds)
                    due = due && recorded[c.event] >= 0 && f - recorded[c.event] >= c.frames;
                if (done[i] || !due) continue;
                done[i] = true;
                if (recorded[e.raises] < 0) recorded[e.raises] = f;
            }
        }

        sim::RunOptions opt = options_for(ships(kOrbiting), text);
        opt.dt = kDt;
        opt.until = (kFrames + 0.5) * kDt;
        sim::Simulation s(opt);
        s.run();
        for (int e = 0; e < kEvents; ++e) {
            std::snprintf(line, sizeof line, "e%d", e);
            const std::optional<double> t = s.event_time(line);
            const int frame = t ? static_cast<int>(std::lround(*t / kDt)) : -1;
            EXPECT_EQ(frame, recorded[e]) << "event e" << e << " of the script\n" << text;
        }
    }
}

// High above the ground the events read a lower bound of the gear height: over generated
// attitudes, heights and touchdown points it never exceeds the height itself.
TEST(Events, TheGearHeightsLowerBoundNeverExceedsIt) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    sim::Simulation s(opt);
    s.load();
    runtime::VesselRecord& v = *s.focus_vessel();
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), angle(-PI, PI), height(-50.0, 300.0);
    const double radius = s.world().earth.radius;
    for (int n = 0; n < 2000; ++n) {
        SCOPED_TRACE(n);
        const auto point = [&] { return _V(unit(random), unit(random), unit(random)) * 40.0; };
        v.iface->SetTouchdownPoints(point(), point(), point());
        VESSELSTATUS status{};
        v.iface->GetStatus(status);
        status.arot = _V(angle(random), angle(random), angle(random));
        const VECTOR3 up = _V(unit(random), unit(random), unit(random));
        status.rpos = up * ((radius + height(random)) / length(up));
        v.iface->DefSetState(&status);
        ASSERT_LE(sim::gear_height_floor(s.world(), v), sim::gear_height(s.world(), v));
    }
}

TEST(Telemetry, TheHeaderNamesEachColumnWithItsUnit) {
    EXPECT_EQ(sim::telemetry_header(),
              "time_s,altitude_m,airspeed_m_s,mach,vertical_speed_m_s,pitch_deg,bank_deg,heading_deg,aoa_deg,"
              "slip_deg,dyn_pressure_Pa,static_pressure_Pa,apoapsis_km,periapsis_km,inclination_deg,period_s,"
              "time_to_apoapsis_s,mass_kg,fuel_kg,main_level,num_engines,ground_contact,gear_height_m,longitude_deg,"
              "latitude_deg,navmode,rcs_mode,qw,qx,qy,qz,gear_position,door_position,brake_position,nozzle_position,"
              "elevator_anim,aileron_anim,rudder_anim,retro_level,hover_level");
}

TEST(Telemetry, OneRowPerIntervalFromTheStartToTheEnd) {
    sim::RunOptions opt = options_for(ships(kOrbiting));
    opt.until = 5.0;
    opt.telemetry_interval = 2.0;
    sim::Simulation s(opt);
    EXPECT_EQ(s.run().outcome, sim::Outcome::Until);
    ASSERT_EQ(s.telemetry_rows().size(), 4u);  // 0, 2, 4 and the end at 5
    EXPECT_EQ(s.telemetry_rows()[0].rfind("0,", 0), 0u);
    const std::string last = s.telemetry_rows().back();
    EXPECT_NEAR(std::stod(last.substr(0, last.find(','))), 5.0, 1e-9);
}

TEST(Telemetry, TheSameRunGivesTheSameTelemetryBitForBit) {
    auto fly = [] {
        sim::RunOptions opt = options_for(ships(kOrbiting), "t=1 warp 4\nt=3 warp 1\n");
        opt.until = 8.0;
        opt.telemetry_interval = 0.5;
        sim::Simulation s(opt);
        s.run();
        return s.telemetry_csv();
    };
    EXPECT_EQ(fly(), fly());
}

TEST(Script, CommandsActOnTheFocusVesselAtTheirTime) {
    const std::string script =
        "t=1 pilot pitchup 0.75\nt=2 warp 5\nt=2 save two\nt=2 hud two\nt=2 event marked\n"
        "when time>3 focus Block2\nt=4 input nothing\nt=5 stop\n";
    sim::RunOptions opt = options_for(ships(kOrbiting + kLanded), script);
    opt.until = 100.0;
    sim::Simulation s(opt);
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::ScriptStop);
    runtime::World& w = s.world();
    EXPECT_EQ(w.find_vessel("Block1")->controls.manual_levels[THGROUP_ATT_PITCHUP], 0.75);
    EXPECT_EQ(w.time_acceleration, 5.0);
    EXPECT_EQ(w.focus, w.find_vessel("Block2"));
    EXPECT_EQ(s.saved_scenarios().count("two"), 1u);
    EXPECT_EQ(s.hud_frames().count("two"), 1u);
    EXPECT_NEAR(s.event_time("marked").value(), 2.0, 1e-9);
    ASSERT_EQ(s.warnings().size(), 1u);
    EXPECT_EQ(s.warnings()[0], "test.txt:7: no input box is open for \"nothing\"");
}

TEST(Script, ARunStopsOnANamedEvent) {
    sim::RunOptions opt = options_for(ships(kOrbiting), "when time>=2.5 event half\n");
    opt.until = 100.0;
    opt.stop_on = {"half"};
    sim::Simulation s(opt);
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::StopEvent);
    EXPECT_EQ(r.stop_event, "half");
    EXPECT_LT(s.world().sim_time, 2.6);
}

TEST(Outputs, AreWrittenWholeIntoTheOutputFolder) {
    const std::string dir = ::testing::TempDir() + "korvan_sim_outputs";
    std::filesystem::remove_all(dir);
    sim::RunOptions opt = options_for(ships(kOrbiting), "t=1 hud one\nt=1 save one\n");
    opt.until = 2.0;
    opt.out_dir = dir;
    opt.write_acmi = opt.write_czml = opt.write_replay = false;
    sim::Simulation s(opt);
    s.run();
    s.write_outputs();
    for (const char* name : {"telemetry.csv", "summary.json", "final.scn", "one.svg", "one.scn"})
        EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/" + name)) << name;
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 5u) << "no temporary files are left behind";
    std::ifstream summary(dir + "/summary.json");
    const std::string text((std::istreambuf_iterator<char>(summary)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"outcome\": \"until\""), std::string::npos);
}

TEST(Outputs, OneThatCannotBeWrittenTakesNoOtherWithIt) {
    const std::string dir = ::testing::TempDir() + "korvan_sim_failed_output";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/one.scn");  // a folder where the save should go
    sim::RunOptions opt = options_for(ships(kOrbiting), "t=1 save one\nt=1.5 hud two\n");
    opt.until = 2.0;
    opt.out_dir = dir;
    sim::Simulation s(opt);
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::Until) << "the flight goes on";
    EXPECT_EQ(r.exit_status, sim::kExitOutput);
    s.write_outputs();
    for (const char* name : {"telemetry.csv", "summary.json", "final.scn", "two.svg"})
        EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/" + name)) << name;
    ASSERT_EQ(s.output_errors().size(), 1u);
    EXPECT_NE(s.output_errors()[0].find("one.scn: cannot write the file"), std::string::npos) << s.output_errors()[0];
    EXPECT_EQ(s.result().exit_status, sim::kExitOutput);
    std::ifstream summary(dir + "/summary.json");
    const std::string text((std::istreambuf_iterator<char>(summary)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\"output_errors\": [\n    \""), std::string::npos) << text;
    EXPECT_NE(s.report().find("not written: "), std::string::npos);
}

TEST(Outputs, ANonFiniteStateStopsTheRunNamingTheVessel) {
    sim::RunOptions opt = options_for(ships(kOrbiting));
    opt.until = 10.0;
    sim::Simulation s(opt);
    s.load();
    runtime::World::current().move(*s.world().find_vessel("Block1")).vel.x = std::nan("");
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::NonFinite);
    EXPECT_EQ(r.exit_status, sim::kExitNonFinite);
    EXPECT_EQ(r.message.rfind("vessel \"Block1\":", 0), 0u) << r.message;
}

}  // namespace

// A state a scenario could not hold ends the run with its own status, and no final.scn
// that would not load is written.
TEST(Outputs, AStateBeyondWhatAScenarioHoldsStopsTheRunUnsaved) {
    sim::RunOptions opt = options_for(ships(kOrbiting));
    opt.until = 10.0;
    sim::Simulation s(opt);
    s.load();
    s.world().move(*s.world().find_vessel("Block1")).vel.x = 31000.0;
    const sim::RunResult r = s.run();
    EXPECT_EQ(r.outcome, sim::Outcome::BeyondScenario);
    EXPECT_EQ(r.exit_status, sim::kExitBeyondScenario);
    EXPECT_NE(r.message.find("vessel \"Block1\": RVEL"), std::string::npos) << r.message;
    s.write_outputs();
    EXPECT_NE(s.summary_json().find("final.scn not written"), std::string::npos);
}

// An output another would overwrite is refused before the run, names compared as Windows
// compares them, on every platform.
TEST(Outputs, AnOutputAnotherWouldOverwriteIsRefused) {
    EXPECT_EQ(load_error(options_for(ships(kOrbiting), "t=1 save FINAL\n")),
              "test.txt:1: \"FINAL.scn\" would overwrite final.scn, which the run writes at its end (names equal "
              "but for case are one file on Windows)");
    EXPECT_EQ(load_error(options_for(ships(kOrbiting), "t=1 save a\nt=2 save a\n")),
              "test.txt:2: \"a.scn\" would overwrite \"a.scn\" of line 1");
    EXPECT_EQ(load_error(options_for(ships(kOrbiting), "t=1 save a\nt=2 hud A\n")), "");
}
