// The Slurm engine: the cases as one job array (sbatch --array with a throttle; several, one
// after another, when they outnumber the cluster's MaxArraySize), each task running its case's
// command.sh through the batch script slurm_case.sh; the queue is polled until the array has
// left it.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>

#include "engines.h"
#include "output_files.h"

namespace campaign {

namespace fs = std::filesystem;

namespace {

constexpr double kPollInterval = 2.0;   // s between looks at the queue
constexpr int kQueueFailuresAllowed = 30;  // in a row: the controller is away for a minute
constexpr long kSlurmDefaultMaxArraySize = 1001;  // tasks in an array, when the cluster does not say

struct CommandOutput {
    int status = -1;
    std::string text;  // stdout and stderr
};

CommandOutput run_command(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) line += (line.empty() ? "" : " ") + shell_quote(w);
    line += " 2>&1";
    CommandOutput out;
    FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.text.append(buffer, n);
    const int status = ::pclose(pipe);
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string trimmed(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    return s;
}

// The most tasks one array may hold: the cluster's MaxArraySize (indices 0 to MaxArraySize - 1).
long max_array_size() {
    const CommandOutput out = run_command({"scontrol", "show", "config"});
    std::istringstream lines(out.text);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string key, equals;
        long value = 0;
        if (words >> key >> equals >> value && key == "MaxArraySize" && equals == "=" && value > 0) return value;
    }
    return kSlurmDefaultMaxArraySize;
}

// Submits the array; returns its job id.
std::string submit(const CampaignFolder& folder, const std::vector<long>& cases, const EngineOptions& options) {
    const fs::path slurm = fs::path(folder.dir()) / "slurm";
    std::error_code ec;
    fs::create_directories(slurm, ec);
    const std::string script = (slurm / "case.sh").string();
    const std::string list = (slurm / "cases.txt").string();
    std::string numbers;
    for (long n : cases) numbers += std::to_string(n) + "\n";
    try {
        sim::write_file_atomically(script, slurm_case_script());
        sim::write_file_atomically(list, numbers);
    } catch (const std::runtime_error& e) {
        throw CampaignError(e.what());
    }
    const std::string array = "0-" + std::to_string(cases.size() - 1) + "%" + std::to_string(options.jobs);
    const CommandOutput out = run_command(
        {"sbatch", "--parsable", "--job-name=korvan-campaign", "--array=" + array, "--ntasks=1", "--cpus-per-task=1",
         "--chdir=" + folder.dir(), "--output=" + (slurm / "job-%A.log").string(), "--open-mode=append", script,
         folder.dir(), list, std::to_string(folder.digits()), std::to_string(static_cast<long>(std::ceil(options.timeout_s)))});
    const std::string reply = trimmed(out.text);
    if (out.status != 0 || reply.empty())
        throw CampaignError("sbatch --array=" + array + " failed" + (reply.empty() ? "" : ": " + reply) +
                            "\n(no Slurm here, or no SLURM_CONF? scripts/slurm-local.sh start runs a cluster on this "
                            "machine and names its SLURM_CONF; the plan stays: korvan-campaign resume " +
                            folder.dir() + " --engine slurm)");
    return reply.substr(0, reply.find(';'));  // "id" or "id;cluster"
}

// Whether the array is still in the queue; throws when the queue cannot be read for long.
class Queue {
public:
    explicit Queue(std::string job) : job_(std::move(job)) {}
    bool holds_job() {
        const CommandOutput out = run_command({"squeue", "--noheader", "--jobs=" + job_, "--format=%i"});
        if (out.status == 0) {
            failures_ = 0;
            return !trimmed(out.text).empty();
        }
        // A job the controller has forgotten is no longer queued.
        if (out.text.find("Invalid job id") != std::string::npos) return false;
        if (++failures_ > kQueueFailuresAllowed) throw CampaignError("squeue: " + trimmed(out.text));
        return true;
    }
    void cancel() { run_command({"scancel", job_}); }

private:
    std::string job_;
    int failures_ = 0;
};

}  // namespace

EngineEnd run_slurm(const CampaignFolder& folder, const std::vector<long>& cases, const EngineOptions& options,
                    SignalWait& signals, Progress& progress) {
    if (cases.empty()) return EngineEnd::finished;
    std::set<long> waiting(cases.begin(), cases.end());
    bool stopping = false;
    auto collect = [&]() {
        for (auto n = waiting.begin(); n != waiting.end();) {
            if (!folder.has_record(*n)) {
                ++n;
                continue;
            }
            std::ifstream in(folder.record_path(*n));
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const std::optional<CaseRecord> r = parse_record(text);
            progress.case_done(!r || r->status != Status::ok);
            n = waiting.erase(n);
        }
    };
    // A campaign larger than the cluster's arrays goes as several, one after another: the next
    // is submitted when the last has left the queue, so the throttle holds for the whole.
    const size_t part = static_cast<size_t>(max_array_size());
    for (size_t first = 0; first < cases.size() && !stopping; first += part) {
        const std::vector<long> these(cases.begin() + static_cast<std::ptrdiff_t>(first),
                                      cases.begin() + static_cast<std::ptrdiff_t>(std::min(cases.size(), first + part)));
        Queue queue(submit(folder, these, options));
        for (bool queued = true; queued;) {
            const int signal = signals.pause(kPollInterval);
            if ((signal == SIGINT || signal == SIGTERM) && !stopping) {
                stopping = true;
                queue.cancel();
            }
            queued = queue.holds_job();
            collect();
            progress.show();
        }
    }
    collect();
    if (stopping) return EngineEnd::interrupted;
    return waiting.empty() ? EngineEnd::finished : EngineEnd::lost;
}

}  // namespace campaign
