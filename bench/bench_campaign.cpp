// What a campaign costs beyond its flights: the example campaign (campaigns/ascent.toml, 24
// dispersed flights of 700 s) flown as plain korvan-sim processes one after another, and
// through the local engine (plan, a shell per case, records, results.csv and summary.json;
// not the gnuplot chart), side by side in each iteration; and the engine with one job against
// two. Wall and CPU time of the processes (getrusage of the children).
#if defined(KORVAN_CAMPAIGN_BENCH)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "campaign_file.h"
#include "campaign_folder.h"
#include "engines.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kTimeout = 600.0;  // s

double cpu_seconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct Cost {
    double wall = 0.0, cpu = 0.0;  // s; CPU of this process and its children
};

template <class F>
Cost measure(F&& f) {
    const double cpu0 = cpu_seconds(RUSAGE_SELF) + cpu_seconds(RUSAGE_CHILDREN);
    const Clock::time_point t0 = Clock::now();
    f();
    return {std::chrono::duration<double>(Clock::now() - t0).count(),
            cpu_seconds(RUSAGE_SELF) + cpu_seconds(RUSAGE_CHILDREN) - cpu0};
}

struct Example {
    campaign::Campaign campaign = campaign::read_campaign(KORVAN_SOURCE_DIR "/campaigns/ascent.toml");
    std::vector<campaign::CasePlan> cases = campaign::plan_cases(campaign);
    fs::path dir = fs::temp_directory_path() / ("korvan_bench_campaign_" + std::to_string(::getpid()));
    ~Example() { fs::remove_all(dir); }

    // The flights alone: each case's korvan-sim command, run in its folder, one after another.
    void fly_alone() const {
        const campaign::CampaignFolder folder((dir / "alone").string(), campaign.runs);
        for (const campaign::CasePlan& p : cases) {
            std::vector<std::string> args = campaign::korvan_sim_arguments(campaign, p, KORVAN_SIM_PROGRAM);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            posix_spawn_file_actions_t files;
            posix_spawn_file_actions_init(&files);
            posix_spawn_file_actions_addchdir_np(&files, folder.case_dir(p.number).c_str());
            posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            pid_t pid = 0;
            posix_spawn(&pid, KORVAN_SIM_PROGRAM, &files, nullptr, argv.data(), environ);
            posix_spawn_file_actions_destroy(&files);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }

    // The campaign as `korvan-campaign run` makes it, short of the chart.
    void run_campaign(int jobs, campaign::SignalWait& signals) const {
        const fs::path out = dir / ("jobs" + std::to_string(jobs));
        fs::remove_all(out);
        const campaign::CampaignFolder folder(out.string(), campaign.runs);
        campaign::Settings s;
        s.runs = campaign.runs;
        s.korvan_sim = KORVAN_SIM_PROGRAM;
        for (const campaign::Parameter& p : campaign.parameters) s.columns.push_back(p.column());
        folder.write_plan(campaign, cases, s);
        std::vector<long> numbers;
        for (const campaign::CasePlan& p : cases) numbers.push_back(p.number);
        campaign::Progress silent(campaign.runs, false, nullptr);
        campaign::run_local(folder, numbers, campaign::EngineOptions{jobs, kTimeout}, signals, silent);
        const std::vector<campaign::CaseResult> results = folder.read_results(s);
        benchmark::DoNotOptimize(campaign::results_csv(s.columns, results, s.success));
        benchmark::DoNotOptimize(campaign::summary_json(s.campaign_file, results, s.success));
    }
};

// Overhead: the campaign's CPU (engine, shells, records, results) beyond the flights' own, as
// a share of the flights' CPU; and the same of the wall time with one job. Each iteration flies
// both, side by side; the least of each over the iterations is taken, since a loaded machine
// only ever adds to a process's time.
void BM_CampaignOverhead(benchmark::State& state) {
    Example example;
    campaign::SignalWait signals;
    {  // the alone runs need the case folders: a plan without runs
        const campaign::CampaignFolder folder((example.dir / "alone").string(), example.campaign.runs);
        campaign::Settings s;
        s.runs = example.campaign.runs;
        s.korvan_sim = KORVAN_SIM_PROGRAM;
        folder.write_plan(example.campaign, example.cases, s);
    }
    constexpr double kLong = 1e300;
    Cost alone{kLong, kLong}, engine{kLong, kLong};
    for (auto _ : state) {
        const Cost a = measure([&] { example.fly_alone(); });
        const Cost e = measure([&] { example.run_campaign(1, signals); });
        alone = {std::min(alone.wall, a.wall), std::min(alone.cpu, a.cpu)};
        engine = {std::min(engine.wall, e.wall), std::min(engine.cpu, e.cpu)};
        state.SetIterationTime(e.wall);
    }
    const double cases = double(example.cases.size());
    state.counters["flight_cpu_ms"] = 1e3 * alone.cpu / cases;
    state.counters["case_cpu_ms"] = 1e3 * engine.cpu / cases;
    state.counters["overhead_cpu_pct"] = 100.0 * (engine.cpu - alone.cpu) / alone.cpu;
    state.counters["overhead_wall_pct"] = 100.0 * (engine.wall - alone.wall) / alone.wall;
    state.counters["cases_per_cpu_min"] = 60.0 * cases / engine.cpu;
}
BENCHMARK(BM_CampaignOverhead)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(4);

// Scaling: the campaign with one job and with two, side by side; speedup = wall(1) / wall(2).
void BM_CampaignScaling(benchmark::State& state) {
    Example example;
    campaign::SignalWait signals;
    double one = 0.0, two = 0.0;
    for (auto _ : state) {
        one += measure([&] { example.run_campaign(1, signals); }).wall;
        const double t = measure([&] { example.run_campaign(2, signals); }).wall;
        two += t;
        state.SetIterationTime(t);
    }
    state.counters["wall_1_job_s"] = one / double(state.iterations());
    state.counters["wall_2_jobs_s"] = two / double(state.iterations());
    state.counters["speedup"] = one / two;
}
BENCHMARK(BM_CampaignScaling)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(2);

}  // namespace
#endif
