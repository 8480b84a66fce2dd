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
    double own_cpu = 0.0;          // s; CPU of this process alone (the engine's own work)
};

template <class F>
Cost measure(F&& f) {
    const double self0 = cpu_seconds(RUSAGE_SELF), children0 = cpu_seconds(RUSAGE_CHILDREN);
    const Clock::time_point t0 = Clock::now();
    f();
    const double self = cpu_seconds(RUSAGE_SELF) - self0;
    return {std::chrono::duration<double>(Clock::now() - t0).count(), self + cpu_seconds(RUSAGE_CHILDREN) - children0,
            self};
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

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// Overhead: the campaign's CPU (engine, shells, records, results) beyond the flights' own, as
// a share of the flights' CPU; and the same of the wall time with one job. Each iteration flies
// the flights alone, the campaign twice, the flights alone again (so that a load that rises or
// falls during the iteration weighs on both alike), and compares the sums; the median over the
// iterations is taken, since other processes on the machine make single runs noisy.
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
    std::vector<double> cpu_ratio, wall_ratio, flight_cpu, case_cpu, own_cpu;
    const double cases = double(example.cases.size());
    for (auto _ : state) {
        const Cost a1 = measure([&] { example.fly_alone(); });
        const Cost e1 = measure([&] { example.run_campaign(1, signals); });
        const Cost e2 = measure([&] { example.run_campaign(1, signals); });
        const Cost a2 = measure([&] { example.fly_alone(); });
        cpu_ratio.push_back((e1.cpu + e2.cpu) / (a1.cpu + a2.cpu));
        wall_ratio.push_back((e1.wall + e2.wall) / (a1.wall + a2.wall));
        flight_cpu.push_back((a1.cpu + a2.cpu) / (2.0 * cases));
        case_cpu.push_back((e1.cpu + e2.cpu) / (2.0 * cases));
        own_cpu.push_back((e1.own_cpu + e2.own_cpu) / (2.0 * cases));
        state.SetIterationTime(0.5 * (e1.wall + e2.wall));
    }
    state.counters["flight_cpu_ms"] = 1e3 * median(flight_cpu);
    state.counters["case_cpu_ms"] = 1e3 * median(case_cpu);
    // The engine's own share, free of the flights' noise: planning, starting, records, results.
    state.counters["engine_own_cpu_ms"] = 1e3 * median(own_cpu);
    state.counters["overhead_cpu_pct"] = 100.0 * (median(cpu_ratio) - 1.0);
    state.counters["overhead_wall_pct"] = 100.0 * (median(wall_ratio) - 1.0);
    state.counters["cases_per_cpu_min"] = 60.0 / median(case_cpu);
}
BENCHMARK(BM_CampaignOverhead)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(9);

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
