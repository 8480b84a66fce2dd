// The engines that run a campaign's cases: a pool of local processes, or a Slurm job array.
// Either runs each case's own command.sh, retries a case that fails or runs out of time once,
// and writes the case's record only when its attempts are over; a stopped engine leaves the
// cases it had not finished without a record, for resume.
#pragma once

#include <string>
#include <vector>

#include "campaign_folder.h"
#include "progress.h"

namespace campaign {

struct EngineOptions {
    int jobs = 1;            // cases at once (Slurm: the array's throttle)
    double timeout_s = 0.0;  // wall seconds a case may take
};

enum class EngineEnd { finished, interrupted, lost };  // lost: the cluster dropped cases

// A case's attempts: the first, and one more after a failure or a timeout.
constexpr int kAttempts = 2;

// SIGINT and SIGTERM (and SIGCHLD) are held back from the moment this exists and taken one at
// a time by wait(), so an engine stops its children at a point of its own choosing.
class SignalWait {
public:
    SignalWait();
    // Waits up to `seconds` for a signal; its number, or 0 when none came.
    int wait(double seconds);
    // Waits `seconds`, or until SIGINT or SIGTERM (returned; 0 when neither came).
    int pause(double seconds);
};

EngineEnd run_local(const CampaignFolder& folder, const std::vector<long>& cases, const EngineOptions& options,
                    SignalWait& signals, Progress& progress);

EngineEnd run_slurm(const CampaignFolder& folder, const std::vector<long>& cases, const EngineOptions& options,
                    SignalWait& signals, Progress& progress);

// The batch script of a Slurm array task: the case's command.sh within its time limit, retried
// once, its record written whole.
const char* slurm_case_script();

}  // namespace campaign
