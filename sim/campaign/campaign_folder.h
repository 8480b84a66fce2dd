// A campaign's folder: the plan (cases.csv and, per case, its inputs and command.sh, written
// before any case runs), the settings that resume needs (campaign.json), each case's record,
// and the campaign's results.
//
//   DIR/campaign.toml  campaign.json  cases.csv  results.csv  summary.json  report.png
//   DIR/cases/0007/command.sh  input/scenario.scn  input/script.txt  korvan-sim.log  record
//                  telemetry.csv  summary.json  final.scn  ...   (the flight's own outputs)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "campaign_file.h"
#include "results.h"

namespace campaign {

struct CasePlan {
    long number = 0;
    uint64_t seed = 0;
    std::vector<std::string> values;  // one per campaign parameter, in its order
};
std::vector<CasePlan> plan_cases(const Campaign& c);

// What a campaign folder keeps of how it was started: what resume and report need.
struct Settings {
    std::string campaign_file;
    long runs = 0;
    uint64_t seed = 0;
    std::vector<std::string> columns;  // the dispersed values' columns
    std::string success;
    double timeout_s = 0.0;
    std::string engine = "local";
    int jobs = 1;
    std::string korvan_sim;
};

// korvan-sim's arguments for one case, run in the case's folder.
std::vector<std::string> korvan_sim_arguments(const Campaign& c, const CasePlan& p, const std::string& korvan_sim);
// The text of command.sh: the exact korvan-sim command, from the case's folder.
std::string command_script(const Campaign& c, const CasePlan& p, const std::vector<std::string>& arguments);
// A word as the shell reads it back unchanged.
std::string shell_quote(const std::string& word);
// Case numbers from "0-9,17,20"; throws CampaignError naming what is wrong.
std::vector<long> parse_case_list(const std::string& list, long runs);

// Whether the folder holds a campaign's plan already.
bool holds_campaign(const std::string& dir);
// The settings a campaign folder was started with; throws CampaignError.
Settings read_settings(const std::string& dir);

class CampaignFolder {
public:
    CampaignFolder(std::string dir, long runs);

    const std::string& dir() const { return dir_; }
    int digits() const { return digits_; }  // of a case folder's name
    std::string case_dir(long number) const;    // DIR/cases/0007
    std::string command_path(long number) const;
    std::string log_path(long number) const;
    std::string record_path(long number) const;
    bool has_record(long number) const;

    // Writes the campaign file's copy, campaign.json, cases.csv and every case's inputs.
    void write_plan(const Campaign& c, const std::vector<CasePlan>& cases, const Settings& s) const;
    // The plan's cases.csv text for these cases (to compare with a folder's own).
    static std::string cases_csv(const Campaign& c, const std::vector<CasePlan>& cases);
    std::string read_cases_csv() const;
    void write_settings(const Settings& s) const;
    void write_record(long number, const CaseRecord& r) const;
    void forget_record(long number) const;
    // Every planned case with its record and figures, in case order.
    std::vector<CaseResult> read_results(const Settings& s) const;

private:
    std::string dir_;
    int digits_;  // of a case's folder name
};

}  // namespace campaign
