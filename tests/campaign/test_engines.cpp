// korvan-campaign as a user runs it: a case that fails is retried once and recorded, one that
// runs out of time is stopped; a campaign stopped by SIGTERM and resumed gives the results of
// one run whole, whatever the number of jobs.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "results.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Folder {
    fs::path dir = fs::temp_directory_path() / ("korvan_campaign_" + std::to_string(::getpid()));
    Folder() { fs::create_directories(dir); }
    ~Folder() { fs::remove_all(dir); }
    std::string write(const std::string& name, const std::string& text, bool executable = false) const {
        std::ofstream(dir / name) << text;
        if (executable) fs::permissions(dir / name, fs::perms::owner_all);
        return (dir / name).string();
    }
};

std::string read(const fs::path& file) {
    std::ifstream in(file);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// korvan-campaign with these arguments, SIGTERM after `stop_after_s` when above 0; its exit code.
int campaign(std::vector<std::string> args, double stop_after_s = 0.0) {
    args.insert(args.begin(), KORVAN_CAMPAIGN_PROGRAM);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix_spawn(&pid, KORVAN_CAMPAIGN_PROGRAM, &files, nullptr, argv.data(), environ) != 0) return -1;
    posix_spawn_file_actions_destroy(&files);
    if (stop_after_s > 0) {
        ::usleep(static_cast<useconds_t>(stop_after_s * 1e6));
        ::kill(pid, SIGTERM);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A stand-in for korvan-sim that behaves by its case: the first fails once and then flies, the
// second always fails, the third never ends.
const char* kStandIn = R"(#!/bin/sh
case $(basename "$PWD") in
  0000) if [ -e tried ]; then exit 0; fi; touch tried; exit 3 ;;
  0001) exit 7 ;;
  *) exec sleep 30 ;;
esac
)";

TEST(Engine, RetriesAFailedCaseOnceAndStopsOneThatRunsOutOfTime) {
    const Folder f;
    const std::string sim = f.write("stand-in.sh", kStandIn, true);
    const std::string file = f.write("c.toml", "runs = 3\nseed = 1\n");
    EXPECT_EQ(campaign({"run", file, "--out", (f.dir / "out").string(), "--jobs", "3", "--timeout", "1",
                        "--korvan-sim", sim}),
              1);
    const std::string expected[] = {"status=ok exit_code=0 attempts=2\n", "status=failed exit_code=7 attempts=2\n",
                                    "status=timeout exit_code=124 attempts=2\n"};
    for (int n = 0; n < 3; ++n)
        EXPECT_EQ(read(f.dir / "out" / "cases" / ("000" + std::to_string(n)) / "record"), expected[n]) << n;
    const std::string results = read(f.dir / "out" / "results.csv");
    EXPECT_NE(results.find("\n1,"), std::string::npos);
    EXPECT_NE(results.find(",timeout,124,"), std::string::npos);
}

// Real flights: their figures are the same bytes whether the campaign ran whole on two jobs or
// was stopped by SIGTERM and resumed on one, and the azimuth reaches them.
TEST(Engine, AStoppedAndResumedCampaignGivesTheResultsOfOneRunWhole) {
    const Folder f;
    f.write("ascent.txt", "t=0.5 key U\nt=0.6 input {{azimuth}}\nt=1 key O\n");
    const std::string file =
        f.write("c.toml", "script = \"ascent.txt\"\nruns = 6\nseed = 4\nuntil = 150\n"
                          "[parameters.azimuth]\ndistribution = \"uniform\"\nlow = 60\nhigh = 120\n"
                          "[host.atmosphere_density]\ndistribution = \"normal\"\nmean = 1\nsd = 0.1\nlow = 0.8\n");
    const std::string whole = (f.dir / "whole").string(), parts = (f.dir / "parts").string();
    ASSERT_EQ(campaign({"run", file, "--out", whole, "--jobs", "2", "--korvan-sim", KORVAN_SIM_PROGRAM}), 0);
    const int stopped = campaign({"run", file, "--out", parts, "--jobs", "1", "--korvan-sim", KORVAN_SIM_PROGRAM}, 0.4);
    EXPECT_TRUE(stopped == 5 || stopped == 0) << stopped;  // 0 only on a machine fast enough to finish
    EXPECT_EQ(campaign({"resume", parts}), 0);
    const std::string results = read(fs::path(whole) / "results.csv");
    EXPECT_EQ(read(fs::path(parts) / "results.csv"), results);
    EXPECT_EQ(std::count(results.begin(), results.end(), '\n'), 7);
    EXPECT_EQ(results.find("interrupted"), std::string::npos);
}

}  // namespace
