// The local engine: a pool of processes, each running one case's command.sh.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <chrono>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engines.h"

extern char** environ;

namespace campaign {

namespace {

using Clock = std::chrono::steady_clock;

// How long a stopped case may take to write what it has before it is killed.
constexpr double kStopGrace = 10.0;      // s
constexpr double kProgressInterval = 1.0;  // s

double seconds_since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

struct Attempt {
    long number = 0;
    int attempt = 1;
};

struct Running {
    Attempt what;
    pid_t pid = 0;
    Clock::time_point started = Clock::now();
    bool stopped = false;  // told to stop (SIGTERM)
    Clock::time_point stopped_at{};
    bool timed_out = false;
};

// Starts `sh command.sh` with its output in the case's log, the signals as a shell expects them.
pid_t start_case(const CampaignFolder& folder, long number) {
    std::error_code ec;
    std::filesystem::remove(folder.case_dir(number) + "/summary.json", ec);  // an earlier attempt's
    const std::string command = folder.command_path(number), log = folder.log_path(number);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char sh[] = "sh";
    std::vector<char*> argv = {sh, const_cast<char*>(command.c_str()), nullptr};
    pid_t pid = 0;
    const int error = posix_spawn(&pid, "/bin/sh", &files, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) throw CampaignError(command + ": cannot start /bin/sh (" + std::strerror(error) + ")");
    return pid;
}

int exit_code_of(int wait_status) {
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

}  // namespace

SignalWait::SignalWait() {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGCHLD}) sigaddset(&held, s);
    sigprocmask(SIG_BLOCK, &held, nullptr);
}

int SignalWait::wait(double seconds) {
    sigset_t held;
    sigemptyset(&held);
    for (int s : {SIGINT, SIGTERM, SIGCHLD}) sigaddset(&held, s);
    seconds = std::max(0.0, seconds);
    timespec timeout{static_cast<time_t>(seconds), static_cast<long>((seconds - std::floor(seconds)) * 1e9)};
    const int s = sigtimedwait(&held, nullptr, &timeout);
    return s > 0 ? s : 0;
}

int SignalWait::pause(double seconds) {
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (double left = seconds; left > 0.0; left = std::chrono::duration<double>(end - Clock::now()).count()) {
        const int s = wait(left);
        if (s == SIGINT || s == SIGTERM) return s;
    }
    return 0;
}

EngineEnd run_local(const CampaignFolder& folder, const std::vector<long>& cases, const EngineOptions& options,
                    SignalWait& signals, Progress& progress) {
    std::deque<Attempt> queue;
    for (long n : cases) queue.push_back({n, 1});
    std::vector<Running> running;
    bool stopping = false;

    auto finished = [&](const Running& r, int wait_status) {
        const int code = exit_code_of(wait_status);
        // A stopped campaign keeps what ended whole; the rest has no record and runs again.
        if (stopping && code != 0) return;
        CaseRecord record;
        record.attempts = r.what.attempt;
        record.status = r.timed_out ? Status::timeout : code == 0 ? Status::ok : Status::failed;
        record.exit_code = r.timed_out ? kTimeoutExitCode : code;
        if (record.status != Status::ok && r.what.attempt < kAttempts) {
            queue.push_front({r.what.number, r.what.attempt + 1});
            return;
        }
        folder.write_record(r.what.number, record);
        progress.case_done(record.status != Status::ok);
    };
    auto stop = [&](Running& r, bool timed_out) {
        ::kill(r.pid, SIGTERM);
        r.stopped = true;
        r.stopped_at = Clock::now();
        r.timed_out = timed_out;
    };

    while (!queue.empty() || !running.empty()) {
        while (!stopping && static_cast<int>(running.size()) < options.jobs && !queue.empty()) {
            Running r;
            r.what = queue.front();
            queue.pop_front();
            r.pid = start_case(folder, r.what.number);
            running.push_back(r);
        }
        double wait = kProgressInterval;
        for (const Running& r : running)
            wait = std::min(wait, r.stopped ? kStopGrace - seconds_since(r.stopped_at)
                                            : options.timeout_s - seconds_since(r.started));
        const int signal = signals.wait(wait);
        if ((signal == SIGINT || signal == SIGTERM) && !stopping) {
            stopping = true;
            queue.clear();
            for (Running& r : running)
                if (!r.stopped) stop(r, false);
        }
        int status = 0;
        for (pid_t pid; (pid = ::waitpid(-1, &status, WNOHANG)) > 0;) {
            const auto r = std::find_if(running.begin(), running.end(), [&](const Running& x) { return x.pid == pid; });
            if (r == running.end()) continue;
            const Running ended = *r;
            running.erase(r);
            finished(ended, status);
        }
        for (Running& r : running) {
            if (!r.stopped && seconds_since(r.started) >= options.timeout_s) stop(r, true);
            else if (r.stopped && seconds_since(r.stopped_at) >= kStopGrace) ::kill(r.pid, SIGKILL);
        }
        progress.show();
    }
    return stopping ? EngineEnd::interrupted : EngineEnd::finished;
}

}  // namespace campaign
