// What a batch of flights relies on in korvan-sim: a signal ends a run with what it has, bad
// output and input paths are refused, clock conditions are decided though no step meets them,
// the report names no orbit on the ground, and summary.json holds the flight's extremes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "default_ascent.h"
#include "flight_data.h"
#include "sim_test_util.h"

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace {

namespace fs = std::filesystem;
using sim_test::options_for;
using sim_test::ships;

const std::string kLanded = "Block:Ballast\n  STATUS Landed Earth\n  POS -80.675 28.5\n  HEADING 90\nEND\n";
const std::string kOrbiting = "Block:Ballast\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7672.6\nEND\n";

// A frame step that meets none of the times these conditions ask for exactly: the clock's
// conditions "=" are decided within half a step of them.
TEST(ClockConditions, AnEqualTimeNoStepMeetsIsDecidedWithinHalfAStep) {
    for (double dt : {0.03, 0.07, 0.011}) {
        SCOPED_TRACE(dt);
        sim::RunOptions opt = options_for(ships(kOrbiting), "when time=5 event five\n"
                                                            "when time_since five=0.25 event later\n"
                                                            "when time!=0 and time=5.5 event both\n");
        opt.dt = dt;
        opt.until = 7.0;
        sim::Simulation s(opt);
        s.run();
        for (const auto& [event, at] : {std::pair("five", 5.0), std::pair("both", 5.5)}) {
            ASSERT_TRUE(s.event_time(event)) << event;
            EXPECT_LE(std::fabs(*s.event_time(event) - at), dt / 2 + 1e-9) << event;
        }
        ASSERT_TRUE(s.event_time("later"));
        EXPECT_LE(std::fabs(*s.event_time("later") - *s.event_time("five") - 0.25), dt / 2 + 1e-9);
    }
}

TEST(RunReport, NamesAnOrbitOnlyForAVesselOffTheGround) {
    for (const auto& [ship, orbit] : {std::pair(kLanded, false), std::pair(kOrbiting, true)}) {
        sim::RunOptions opt = options_for(ships(ship));
        opt.until = 1.0;
        sim::Simulation s(opt);
        s.run();
        const std::string report = s.report();
        EXPECT_EQ(report.find("orbit:") != std::string::npos, orbit) << report;
        EXPECT_EQ(report.find("on the ground") != std::string::npos, !orbit) << report;
    }
}

// The extremes are those of the telemetry rows: the highest dynamic pressure of the first
// minute of the default ascent is its telemetry's, and on the runway alone the ground's push
// already gives one g.
TEST(Summary, HoldsTheHighestDynamicPressureAndAccelerationOfTheRows) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.until = 60.0;
    sim::Simulation s(opt);
    s.run();
    const nlohmann::json extremes = nlohmann::json::parse(s.summary_json())["extremes"];
    std::vector<std::string> header;
    std::stringstream columns(sim::telemetry_header());
    for (std::string c; std::getline(columns, c, ',');) header.push_back(c);
    const size_t q = static_cast<size_t>(std::find(header.begin(), header.end(), "dyn_pressure_Pa") - header.begin());
    double highest = 0.0, when = 0.0;
    for (const std::string& row : s.telemetry_rows()) {
        std::vector<double> cells;
        std::stringstream in(row);
        for (std::string c; std::getline(in, c, ',');) cells.push_back(std::stod(c));
        if (cells[q] > highest) highest = cells[q], when = cells[0];
    }
    EXPECT_GT(highest, 10000.0);
    EXPECT_EQ(extremes["max_dyn_pressure_Pa"].get<double>(), highest);
    EXPECT_EQ(extremes["max_dyn_pressure_time_s"].get<double>(), when);
    EXPECT_GT(extremes["max_acceleration_g"].get<double>(), 1.0);
}

#if !defined(_WIN32)

struct Ran {
    int exit_code = -1;
    std::string output;  // stdout and stderr
};

// korvan-sim with these arguments; when `signal` is set, it is sent after `after_s` seconds.
Ran korvan_sim(std::vector<std::string> args, int signal = 0, double after_s = 0.0) {
    const std::string log = (fs::temp_directory_path() / ("korvan_batch_" + std::to_string(::getpid()) + ".log")).string();
    args.insert(args.begin(), KORVAN_SIM_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    pid_t pid = 0;
    Ran ran;
    if (posix_spawn(&pid, KORVAN_SIM_PROGRAM, &files, nullptr, argv.data(), environ) != 0) return ran;
    posix_spawn_file_actions_destroy(&files);
    if (signal != 0) {
        ::usleep(static_cast<useconds_t>(after_s * 1e6));
        ::kill(pid, signal);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ran.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(log);
    ran.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    fs::remove(log);
    return ran;
}

// SIGINT and SIGTERM end the default flight (far from over) with its outputs: the telemetry
// up to then, summary.json marked interrupted, the final scenario; and an exit code of their own.
TEST(Signals, EndARunWithWhatItHasAndExitCode5) {
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const fs::path out = fs::temp_directory_path() / ("korvan_signal_" + std::to_string(::getpid()));
        fs::remove_all(out);
        // A script without a stop and a far end: the flight is still on when the signal comes,
        // however slow the build.
        const fs::path script = out.string() + ".txt";
        std::ofstream(script) << "t=1 key O\n";
        const Ran ran = korvan_sim({"--script", script.string(), "--until", "1e7", "--out", out.string()}, signal, 1.0);
        fs::remove(script);
        EXPECT_EQ(ran.exit_code, sim::kExitInterrupted) << ran.output;
        std::ifstream summary(out / "summary.json");
        const nlohmann::json j = nlohmann::json::parse(summary, nullptr, false);
        ASSERT_FALSE(j.is_discarded());
        EXPECT_EQ(j["outcome"], "interrupted");
        EXPECT_EQ(j["exit_status"], sim::kExitInterrupted);
        std::ifstream telemetry(out / "telemetry.csv");
        const auto rows = std::count(std::istreambuf_iterator<char>(telemetry), std::istreambuf_iterator<char>(), '\n');
        EXPECT_GE(rows, 2);
        EXPECT_TRUE(fs::exists(out / "final.scn"));
        fs::remove_all(out);
    }
}

TEST(Arguments, AnEmptyOutputFolderAndFoldersAsInputsAreRefusedAndHelpListsTheExitCodes) {
    const std::string folder = fs::temp_directory_path().string();
    const struct {
        std::vector<std::string> args;
        int exit_code;
        const char* said;
    } CASES[] = {
        {{"--out", ""}, sim::kExitInput, "--out: the output folder must not be empty"},
        {{folder, "--until", "1", "--out", folder + "/korvan_unused"}, sim::kExitInput, "is a folder, not a scenario file"},
        {{"--script", folder, "--until", "1", "--out", folder + "/korvan_unused"}, sim::kExitInput,
         "is a folder, not a script file"},
        {{"--help"}, sim::kExitOk, "5  interrupted by SIGINT or SIGTERM"},
    };
    for (const auto& c : CASES) {
        const Ran ran = korvan_sim(c.args);
        EXPECT_EQ(ran.exit_code, c.exit_code) << ran.output;
        EXPECT_NE(ran.output.find(c.said), std::string::npos) << ran.output;
    }
    EXPECT_FALSE(fs::exists(folder + "/korvan_unused"));
}

#endif

}  // namespace
