// korvan-campaign: plans dispersed cases of a korvan-sim flight from a campaign file, runs them
// on a pool of local processes or as a Slurm job array, and collects their results.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <unistd.h>

#include "campaign_file.h"
#include "campaign_folder.h"
#include "engines.h"
#include "output_files.h"
#include "report_chart.h"

namespace fs = std::filesystem;
using namespace campaign;

namespace {

constexpr int kExitOk = 0;           // the cases ended well
constexpr int kExitCasesFailed = 1;  // some cases failed or ran out of time
constexpr int kExitInput = 2;        // bad input: nothing was run
constexpr int kExitLost = 3;         // the cluster ended without some cases' records
constexpr int kExitOutput = 4;       // a result could not be written
constexpr int kExitInterrupted = 5;  // SIGINT or SIGTERM: finished cases kept

constexpr double kDefaultTimeout = 600.0;  // s of wall time a case may take
constexpr int kDefaultSlurmThrottle = 64;  // array tasks at once

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0  the cases ran and ended well\n"
    "  1  some cases failed or ran out of time (summary.json lists them)\n"
    "  2  bad input: nothing was run (the message names file:line)\n"
    "  3  the cluster ended without some cases' records (resume DIR runs them)\n"
    "  4  a result could not be written\n"
    "  5  interrupted by SIGINT or SIGTERM: finished cases are kept, resume DIR runs the rest\n";

std::string program_folder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.parent_path().string();
}

struct EngineChoice {
    std::string engine;
    int jobs = 0;  // 0: the engine's default
    double timeout_s = 0.0;
};

int default_jobs(const std::string& engine) {
    if (engine == "slurm") return kDefaultSlurmThrottle;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

// results.csv, summary.json and report.png from the records; prints the outcome in a few lines.
int report(const std::string& dir) {
    const Settings s = read_settings(dir);
    const CampaignFolder folder(dir, s.runs);
    const std::vector<CaseResult> results = folder.read_results(s);
    try {
        sim::write_file_atomically(dir + "/results.csv", results_csv(s.columns, results, s.success));
        sim::write_file_atomically(dir + "/summary.json", summary_json(s.campaign_file, results, s.success));
    } catch (const std::runtime_error& e) {
        std::fprintf(stderr, "korvan-campaign: %s\n", e.what());
        return kExitOutput;
    }
    const std::string chart = dir + "/report.png";
    const std::string problem =
        draw_report(chart, report_script(chart, fs::path(s.campaign_file).filename().string(), s.columns, results, s.success));
    const CampaignSummary sum = summarise(results, s.success);
    std::printf("%ld cases: %ld ok, %ld failed, %ld timeout, %ld not run; success (%s) %ld/%ld = %.1f %% "
                "(95 %% interval %.1f-%.1f %%)\nresults in %s/results.csv, summary.json%s\n",
                sum.planned, sum.ok, sum.failed, sum.timeout, sum.interrupted, s.success.empty() ? "orbit" : s.success.c_str(),
                sum.successes, sum.decided, 100 * sum.rate, 100 * sum.low95, 100 * sum.high95, dir.c_str(),
                problem.empty() ? ", report.png" : "");
    if (!problem.empty()) std::fprintf(stderr, "korvan-campaign: report.png not drawn: %s\n", problem.c_str());
    return sum.failed + sum.timeout > 0 ? kExitCasesFailed : kExitOk;
}

// Runs the cases of the folder that have no record yet, then reports.
int run_cases(const CampaignFolder& folder, const std::vector<long>& cases, const Settings& s, const EngineChoice& e,
              SignalWait& signals) {
    std::vector<long> missing;
    for (long n : cases)
        if (!folder.has_record(n)) missing.push_back(n);
    EngineOptions options;
    options.jobs = e.jobs > 0 ? e.jobs : s.jobs;
    options.timeout_s = e.timeout_s > 0 ? e.timeout_s : s.timeout_s;
    const std::string engine = e.engine.empty() ? s.engine : e.engine;
    if (engine == "local" && ::access(s.korvan_sim.c_str(), X_OK) != 0)
        throw CampaignError(s.korvan_sim + ": no korvan-sim to run (the campaign's command.sh files name it)");
    std::fprintf(stderr, "%zu case(s) to run (%zu of %zu already done), engine %s, %d at once\n", missing.size(),
                 cases.size() - missing.size(), cases.size(), engine.c_str(), options.jobs);
    Progress progress(static_cast<long>(missing.size()), ::isatty(STDERR_FILENO) != 0);
    const EngineEnd end = engine == "slurm" ? run_slurm(folder, missing, options, signals, progress)
                                            : run_local(folder, missing, options, signals, progress);
    progress.finish();
    const int reported = report(folder.dir());
    if (end == EngineEnd::interrupted) {
        std::fprintf(stderr, "korvan-campaign: interrupted; finished cases are kept: korvan-campaign resume %s\n",
                     folder.dir().c_str());
        return kExitInterrupted;
    }
    if (end == EngineEnd::lost) {
        std::fprintf(stderr, "korvan-campaign: the cluster ended without some cases' records: korvan-campaign resume %s\n",
                     folder.dir().c_str());
        return kExitLost;
    }
    return reported;
}

int run(const std::string& file, const std::string& dir, const std::string& case_list, const EngineChoice& e,
        std::string korvan_sim, bool dry_run, SignalWait& signals) {
    const Campaign c = read_campaign(file);
    if (korvan_sim.empty()) korvan_sim = (fs::path(program_folder()) / "korvan-sim").string();
    korvan_sim = fs::absolute(korvan_sim).lexically_normal().string();
    const std::string engine = e.engine.empty() ? "local" : e.engine;
    if (engine == "local" && !dry_run && ::access(korvan_sim.c_str(), X_OK) != 0)
        throw CampaignError(korvan_sim + ": no korvan-sim to run (--korvan-sim names it)");
    const std::vector<CasePlan> cases = plan_cases(c);
    const CampaignFolder folder(dir, c.runs);
    std::vector<long> selected;
    if (!case_list.empty()) selected = parse_case_list(case_list, c.runs);
    else
        for (long n = 0; n < c.runs; ++n) selected.push_back(n);
    if (holds_campaign(dir)) {
        if (case_list.empty())
            throw CampaignError(dir + " holds a campaign already: \"korvan-campaign resume " + dir +
                                "\" runs what is missing, --cases LIST runs chosen cases again");
        if (folder.read_cases_csv() != CampaignFolder::cases_csv(c, cases))
            throw CampaignError(dir + " holds the plan of another campaign (its cases.csv differs)");
    } else if (std::error_code ec; fs::exists(dir, ec) && !fs::is_empty(dir, ec)) {
        throw CampaignError(dir + ": the folder is not empty; give a new or empty folder");
    }
    Settings s;
    s.campaign_file = c.path;
    s.runs = c.runs;
    s.seed = c.seed;
    for (const Parameter& p : c.parameters) s.columns.push_back(p.column());
    s.success = c.success;
    s.timeout_s = e.timeout_s > 0 ? e.timeout_s : c.timeout_s.value_or(kDefaultTimeout);
    s.engine = engine;
    s.jobs = e.jobs > 0 ? e.jobs : default_jobs(engine);
    s.korvan_sim = korvan_sim;
    folder.write_plan(c, cases, s);
    if (!case_list.empty())
        for (long n : selected) folder.forget_record(n);
    if (dry_run) {
        std::printf("planned %ld case(s) in %s: cases.csv and cases/*/command.sh; nothing run\n", c.runs, dir.c_str());
        return kExitOk;
    }
    return run_cases(folder, selected, s, EngineChoice{engine, s.jobs, s.timeout_s}, signals);
}

int resume(const std::string& dir, const EngineChoice& e, SignalWait& signals) {
    const Settings s = read_settings(dir);
    std::vector<long> all;
    for (long n = 0; n < s.runs; ++n) all.push_back(n);
    return run_cases(CampaignFolder(dir, s.runs), all, s, e, signals);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"korvan-campaign: dispersion campaigns of korvan-sim flights. Plans the cases of a campaign file "
                 "(TOML) into a folder, runs each as its own korvan-sim command on local processes or as a Slurm job "
                 "array, and collects results.csv, summary.json and report.png."};
    app.require_subcommand(1);
    app.footer(kExitCodes);
    std::string file, dir, case_list, korvan_sim;
    bool dry_run = false;
    EngineChoice engine;
    auto engine_options = [&](CLI::App* sub) {
        sub->add_option("--jobs", engine.jobs, "Cases at once (local: default one per core; slurm: the array's throttle, "
                                               "default 64)")
            ->check(CLI::PositiveNumber);
        sub->add_option("--engine", engine.engine, "local (a process per case on this machine) or slurm (a job array)")
            ->check(CLI::IsMember({"local", "slurm"}));
        sub->add_option("--timeout", engine.timeout_s, "Wall seconds a case may take (default: the file's, else 600)")
            ->check(CLI::PositiveNumber);
    };
    CLI::App* run_cmd = app.add_subcommand("run", "Plan a campaign into DIR and run its cases");
    run_cmd->add_option("file", file, "Campaign file (TOML)")->required();
    run_cmd->add_option("--out", dir, "Campaign folder (new or empty; or this campaign's, with --cases)")->required();
    run_cmd->add_option("--cases", case_list, "Only these cases, run again if done: \"0-9,17\"");
    run_cmd->add_option("--korvan-sim", korvan_sim, "The korvan-sim the cases run (default: the one beside this program)");
    run_cmd->add_flag("--dry-run", dry_run, "Plan and write every case's inputs and command.sh; run nothing");
    engine_options(run_cmd);
    CLI::App* resume_cmd = app.add_subcommand("resume", "Run the cases of DIR that have no result yet");
    resume_cmd->add_option("dir", dir, "Campaign folder")->required();
    engine_options(resume_cmd);
    CLI::App* report_cmd = app.add_subcommand("report", "Write DIR's results.csv, summary.json and report.png again");
    report_cmd->add_option("dir", dir, "Campaign folder")->required();
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitOk : kExitInput;
    }
    if (dir.empty()) {
        std::fprintf(stderr, "korvan-campaign: the campaign folder must not be empty\n");
        return kExitInput;
    }
    // Cases run in folders of their own, and Slurm's tasks start elsewhere: whole paths only.
    dir = fs::absolute(dir).lexically_normal().string();
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // A signal while the plan is written waits for the engine, which stops at once: a plan is
    // never left half-written.
    SignalWait signals;
    try {
        if (*run_cmd) return run(file, dir, case_list, engine, korvan_sim, dry_run, signals);
        if (*resume_cmd) return resume(dir, engine, signals);
        return report(dir);
    } catch (const CampaignError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitInput;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvan-campaign: %s\n", e.what());
        return kExitOutput;
    }
}
