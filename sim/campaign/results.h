// What each case gave: its record (status, exit code, attempts), the figures of its flight
// read from its summary.json, whether it succeeded; and the campaign's results.csv and
// summary.json made from them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace campaign {

enum class Status { ok, failed, timeout, interrupted };
const char* status_name(Status s);

// Exit code recorded for a case stopped at its time limit, as timeout(1) reports it.
constexpr int kTimeoutExitCode = 124;

// The record of a case that ran to its end, written whole once its attempts are over:
// "status=ok exit_code=0 attempts=1". A case without one has not run (or was interrupted).
struct CaseRecord {
    Status status = Status::ok;
    int exit_code = 0;
    int attempts = 1;
};
std::string format_record(const CaseRecord& r);
std::optional<CaseRecord> parse_record(const std::string& text);

// The flight's figures, in the order of figure_names(); absent where the flight gave none.
constexpr size_t kFigureCount = 6;
using Figures = std::array<std::optional<double>, kFigureCount>;
const std::array<const char*, kFigureCount>& figure_names();
Figures figures_from_summary(const std::string& summary_json_text);
// An orbit: the periapsis above the sensible atmosphere.
constexpr double kOrbitPeriapsisKm = 100.0;
bool orbit_reached(const Figures& f);

// Success criteria: "" (an orbit reached), or terms joined by "and", each a figure or "orbit",
// a comparison and a number: "apoapsis_km>100 and inclination_deg<28.7".
std::string success_problem(const std::string& criterion);  // "" when it can be used
bool succeeded(const std::string& criterion, Status status, const Figures& f);

struct CaseResult {
    long number = 0;
    std::string seed;                 // as planned
    std::vector<std::string> values;  // the dispersed values, as planned
    std::optional<CaseRecord> record;
    Figures figures{};
};

// results.csv: one row per case in case order: case, seed, status, exit code, every dispersed
// value under its column, the figures, orbit and success (1 or 0). Figures are written as the
// shortest text that reads back to the same number, so the same flights give the same bytes.
std::string results_csv(const std::vector<std::string>& columns, const std::vector<CaseResult>& results,
                        const std::string& criterion);

struct CampaignSummary {
    long planned = 0, ok = 0, failed = 0, timeout = 0, interrupted = 0;
    long successes = 0, decided = 0;  // decided: cases with a record
    double rate = 0.0, low95 = 0.0, high95 = 0.0;
};
CampaignSummary summarise(const std::vector<CaseResult>& results, const std::string& criterion);
// Wilson's score interval for k successes in n trials at 95 % confidence.
std::pair<double, double> wilson_interval(long k, long n);
// The p-th percentile (0..100) of sorted values, interpolated between neighbours.
double percentile(const std::vector<double>& sorted, double p);

// The cases farthest from an orbit: the lowest periapses among the flights that ended well,
// after every case that failed or ran out of time.
std::vector<long> worst_cases(const std::vector<CaseResult>& results, size_t count);

std::string summary_json(const std::string& campaign_file, const std::vector<CaseResult>& results,
                         const std::string& criterion);

}  // namespace campaign
