#include "campaign_folder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output_files.h"

namespace campaign {

namespace fs = std::filesystem;

namespace {

constexpr int kLeastCaseDigits = 4;
constexpr const char* kInputFolder = "input";  // korvan-sim writes only plain names beside it

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    try {
        sim::write_file_atomically(path, text);
    } catch (const std::runtime_error& e) {
        throw CampaignError(e.what());
    }
}

int case_digits(long runs) {
    int digits = 1;
    for (long n = runs - 1; n >= 10; n /= 10) ++digits;
    return std::max(kLeastCaseDigits, digits);
}

std::vector<std::string> parameter_names(const Campaign& c) {
    std::vector<std::string> names;
    for (const Parameter& p : c.parameters) names.push_back(p.name);
    return names;
}

std::vector<std::string> split(const std::string& line, char by) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, by)) fields.push_back(field);
    if (!line.empty() && line.back() == by) fields.emplace_back();
    return fields;
}

}  // namespace

std::vector<CasePlan> plan_cases(const Campaign& c) {
    std::vector<CasePlan> cases;
    cases.reserve(static_cast<size_t>(c.runs));
    for (long n = 0; n < c.runs; ++n) {
        CasePlan p;
        p.number = n;
        p.seed = case_seed(c.seed, n);
        for (const Parameter& q : c.parameters) {
            Rng rng(parameter_seed(p.seed, q.column()));
            p.values.push_back(draw(q.distribution, rng));
        }
        cases.push_back(std::move(p));
    }
    return cases;
}

std::string shell_quote(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) || std::string("+-./_=:,@%").find(ch) != std::string::npos;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (char ch : word) quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return quoted + "'";
}

std::vector<std::string> korvan_sim_arguments(const Campaign& c, const CasePlan& p, const std::string& korvan_sim) {
    std::vector<std::string> args = {korvan_sim};
    if (c.scenario) args.push_back(std::string(kInputFolder) + "/scenario.scn");
    if (c.script) args.insert(args.end(), {"--script", std::string(kInputFolder) + "/script.txt"});
    if (c.until) args.insert(args.end(), {"--until", exact_text(*c.until)});
    if (c.dt) args.insert(args.end(), {"--dt", exact_text(*c.dt)});
    if (c.telemetry_interval) args.insert(args.end(), {"--telemetry-interval", exact_text(*c.telemetry_interval)});
    for (const std::string& e : c.stop_on) args.insert(args.end(), {"--stop-on", e});
    for (size_t i = 0; i < c.parameters.size(); ++i) {
        if (!c.parameters[i].host) continue;
        for (const HostOption& o : host_options())
            if (c.parameters[i].name == o.name) args.insert(args.end(), {o.option, p.values[i]});
    }
    // The files for watching a flight (about 4 MB a case) would fill a campaign's disk: a case
    // worth watching is rerun without these three.
    args.insert(args.end(), {"--no-acmi", "--no-czml", "--no-replay", "--out", "."});
    return args;
}

std::string command_script(const Campaign& c, const CasePlan& p, const std::vector<std::string>& arguments) {
    std::string values;
    for (size_t i = 0; i < c.parameters.size(); ++i) values += " " + c.parameters[i].column() + "=" + p.values[i];
    std::string command;
    for (const std::string& a : arguments) command += (command.empty() ? "exec " : " ") + shell_quote(a);
    return "#!/bin/sh\n# Case " + std::to_string(p.number) + " of the campaign " + c.path + " (case seed " +
           std::to_string(p.seed) + "):" + values +
           "\n# Flies this case alone; the flight's outputs land beside this file.\n"
           "case $0 in */*) cd \"${0%/*}\" || exit 2 ;; esac\n" +
           command + "\n";
}

std::vector<long> parse_case_list(const std::string& list, long runs) {
    std::vector<long> cases;
    auto number = [&](const std::string& text) {
        size_t used = 0;
        long n = -1;
        try {
            n = std::stol(text, &used);
        } catch (const std::exception&) {
        }
        if (used != text.size() || n < 0 || n >= runs)
            throw CampaignError("--cases " + list + ": \"" + text + "\" is not a case from 0 to " + std::to_string(runs - 1));
        return n;
    };
    for (const std::string& item : split(list, ',')) {
        const size_t dash = item.find('-', 1);
        const long first = number(item.substr(0, dash));
        const long last = dash == std::string::npos ? first : number(item.substr(dash + 1));
        if (last < first) throw CampaignError("--cases " + list + ": the range \"" + item + "\" runs backwards");
        for (long n = first; n <= last; ++n) cases.push_back(n);
    }
    std::sort(cases.begin(), cases.end());
    cases.erase(std::unique(cases.begin(), cases.end()), cases.end());
    return cases;
}

bool holds_campaign(const std::string& dir) {
    std::error_code ec;
    return fs::exists(fs::path(dir) / "campaign.json", ec) || fs::exists(fs::path(dir) / "cases.csv", ec);
}

Settings read_settings(const std::string& dir) {
    const std::string path = (fs::path(dir) / "campaign.json").string();
    const nlohmann::json j = nlohmann::json::parse(read_file(path), nullptr, false);
    if (j.is_discarded() || !j.is_object()) throw CampaignError(path + ": no campaign's settings (is " + dir + " a campaign folder?)");
    Settings s;
    try {
        s.campaign_file = j.at("campaign_file").get<std::string>();
        s.runs = j.at("runs").get<long>();
        s.seed = j.at("seed").get<uint64_t>();
        s.columns = j.at("columns").get<std::vector<std::string>>();
        s.success = j.at("success").get<std::string>();
        s.timeout_s = j.at("timeout_s").get<double>();
        s.engine = j.at("engine").get<std::string>();
        s.jobs = j.at("jobs").get<int>();
        s.korvan_sim = j.at("korvan_sim").get<std::string>();
    } catch (const nlohmann::json::exception& e) {
        throw CampaignError(path + ": " + e.what());
    }
    if (s.runs < 1) throw CampaignError(path + ": \"runs\" must be 1 or more");
    return s;
}

CampaignFolder::CampaignFolder(std::string dir, long runs) : dir_(std::move(dir)), digits_(case_digits(runs)) {}

std::string CampaignFolder::case_dir(long number) const {
    std::string name = std::to_string(number);
    if (static_cast<int>(name.size()) < digits_) name.insert(0, static_cast<size_t>(digits_) - name.size(), '0');
    return (fs::path(dir_) / "cases" / name).string();
}

std::string CampaignFolder::command_path(long number) const { return case_dir(number) + "/command.sh"; }
std::string CampaignFolder::log_path(long number) const { return case_dir(number) + "/korvan-sim.log"; }
std::string CampaignFolder::record_path(long number) const { return case_dir(number) + "/record"; }

bool CampaignFolder::has_record(long number) const {
    std::error_code ec;
    return fs::exists(record_path(number), ec);
}

std::string CampaignFolder::cases_csv(const Campaign& c, const std::vector<CasePlan>& cases) {
    std::string out = "case,seed";
    for (const Parameter& p : c.parameters) out += "," + p.column();
    out += "\n";
    for (const CasePlan& p : cases) {
        out += std::to_string(p.number) + "," + std::to_string(p.seed);
        for (const std::string& v : p.values) out += "," + v;
        out += "\n";
    }
    return out;
}

std::string CampaignFolder::read_cases_csv() const { return read_file((fs::path(dir_) / "cases.csv").string()); }

void CampaignFolder::write_settings(const Settings& s) const {
    const nlohmann::json j = {{"campaign_file", s.campaign_file}, {"runs", s.runs},       {"seed", s.seed},
                              {"columns", s.columns},             {"success", s.success}, {"timeout_s", s.timeout_s},
                              {"engine", s.engine},               {"jobs", s.jobs},       {"korvan_sim", s.korvan_sim}};
    write_file((fs::path(dir_) / "campaign.json").string(), j.dump(2) + "\n");
}

void CampaignFolder::write_plan(const Campaign& c, const std::vector<CasePlan>& cases, const Settings& s) const {
    std::error_code ec;
    fs::create_directories(fs::path(dir_) / "cases", ec);
    if (ec) throw CampaignError(dir_ + ": cannot create the campaign folder (" + ec.message() + ")");
    write_file((fs::path(dir_) / "campaign.toml").string(), c.text);
    write_settings(s);
    write_file((fs::path(dir_) / "cases.csv").string(), cases_csv(c, cases));
    const std::vector<std::string> names = parameter_names(c);
    for (const CasePlan& p : cases) {
        const fs::path folder = case_dir(p.number);
        fs::create_directories(folder / kInputFolder, ec);
        if (ec) throw CampaignError(folder.string() + ": cannot create the case's folder (" + ec.message() + ")");
        if (c.scenario) write_file((folder / kInputFolder / "scenario.scn").string(), render(*c.scenario, names, p.values));
        if (c.script) write_file((folder / kInputFolder / "script.txt").string(), render(*c.script, names, p.values));
        const std::string command = command_path(p.number);
        write_file(command, command_script(c, p, korvan_sim_arguments(c, p, s.korvan_sim)));
        fs::permissions(command, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec,
                        fs::perm_options::add, ec);
    }
}

void CampaignFolder::write_record(long number, const CaseRecord& r) const { write_file(record_path(number), format_record(r)); }

void CampaignFolder::forget_record(long number) const {
    std::error_code ec;
    fs::remove(record_path(number), ec);
}

std::vector<CaseResult> CampaignFolder::read_results(const Settings& s) const {
    std::vector<CaseResult> results;
    std::istringstream plan(read_cases_csv());
    std::string line;
    std::getline(plan, line);  // the header
    while (std::getline(plan, line)) {
        const std::vector<std::string> fields = split(line, ',');
        if (fields.size() != s.columns.size() + 2) throw CampaignError(dir_ + "/cases.csv: a row does not match its header");
        CaseResult r;
        try {
            r.number = std::stol(fields[0]);
        } catch (const std::exception&) {
            throw CampaignError(dir_ + "/cases.csv: \"" + fields[0] + "\" is not a case number");
        }
        r.seed = fields[1];
        r.values.assign(fields.begin() + 2, fields.end());
        if (has_record(r.number)) {
            r.record = parse_record(read_file(record_path(r.number)));
            if (!r.record) throw CampaignError(record_path(r.number) + ": not a case's record");
            r.figures = figures_from_summary(read_file(case_dir(r.number) + "/summary.json"));
        }
        results.push_back(std::move(r));
    }
    return results;
}

}  // namespace campaign
