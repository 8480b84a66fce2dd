#include "results.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "distributions.h"

namespace campaign {

namespace {

constexpr double kZ95 = 1.959963984540054;  // standard normal quantile for 95 % two-sided
constexpr size_t kWorstInSummary = 10;

std::optional<double> number_at(const nlohmann::json& j, const char* object, const char* key) {
    if (!j.contains(object) || !j[object].is_object()) return std::nullopt;
    const nlohmann::json& o = j[object];
    if (!o.contains(key) || !o[key].is_number()) return std::nullopt;
    const double x = o[key].get<double>();
    return std::isfinite(x) ? std::optional(x) : std::nullopt;
}

struct Term {
    int figure = -1;  // index into figure_names(), or -1 for "orbit"
    std::string op;
    double value = 0.0;
};

// Parses a criterion; `problem` says why it cannot be used.
std::vector<Term> parse_criterion(const std::string& text, std::string& problem) {
    std::vector<Term> terms;
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    std::string term;
    auto finish = [&]() {
        if (term.empty()) {
            problem = "a term is missing around \"and\"";
            return;
        }
        Term t;
        const size_t op_at = term.find_first_of("<>=!");
        const std::string name = term.substr(0, op_at);
        if (name == "orbit" && op_at == std::string::npos) {
            terms.push_back(t);
            term.clear();
            return;
        }
        const auto& names = figure_names();
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) {
            problem = "\"" + name + "\" is not a figure (orbit";
            for (const char* n : names) problem += std::string(", ") + n;
            problem += ")";
            return;
        }
        t.figure = static_cast<int>(found - names.begin());
        size_t op_end = op_at;
        while (op_end < term.size() && std::string("<>=!").find(term[op_end]) != std::string::npos) ++op_end;
        t.op = term.substr(op_at, op_end - op_at);
        if (t.op != "<" && t.op != "<=" && t.op != ">" && t.op != ">=") {
            problem = "\"" + term + "\": the comparison is one of < <= > >=";
            return;
        }
        const std::string number = term.substr(op_end);
        char* end = nullptr;
        t.value = std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0' || !std::isfinite(t.value)) {
            problem = "\"" + term + "\" needs a number after the comparison";
            return;
        }
        terms.push_back(t);
        term.clear();
    };
    for (const std::string& w : words) {
        if (w == "and") finish();
        else term += w;
        if (!problem.empty()) return {};
    }
    finish();
    return problem.empty() ? terms : std::vector<Term>{};
}

std::string figure_text(const std::optional<double>& x) { return x ? exact_text(*x) : std::string(); }

}  // namespace

const char* status_name(Status s) {
    switch (s) {
        case Status::ok: return "ok";
        case Status::failed: return "failed";
        case Status::timeout: return "timeout";
        case Status::interrupted: return "interrupted";
    }
    return "";
}

std::string format_record(const CaseRecord& r) {
    return std::string("status=") + status_name(r.status) + " exit_code=" + std::to_string(r.exit_code) +
           " attempts=" + std::to_string(r.attempts) + "\n";
}

std::optional<CaseRecord> parse_record(const std::string& text) {
    std::istringstream in(text);
    CaseRecord r;
    int fields = 0;
    for (std::string w; in >> w;) {
        const size_t eq = w.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = w.substr(0, eq), value = w.substr(eq + 1);
        try {
            if (key == "status") {
                const Status all[] = {Status::ok, Status::failed, Status::timeout};
                const auto s = std::find_if(std::begin(all), std::end(all), [&](Status x) { return value == status_name(x); });
                if (s == std::end(all)) return std::nullopt;
                r.status = *s;
            } else if (key == "exit_code") {
                r.exit_code = std::stoi(value);
            } else if (key == "attempts") {
                r.attempts = std::stoi(value);
            } else {
                return std::nullopt;
            }
        } catch (const std::exception&) {
            return std::nullopt;
        }
        ++fields;
    }
    return fields == 3 ? std::optional(r) : std::nullopt;
}

const std::array<const char*, kFigureCount>& figure_names() {
    static const std::array<const char*, kFigureCount> names = {
        "apoapsis_km", "periapsis_km", "inclination_deg", "propellant_kg", "max_dyn_pressure_Pa", "max_acceleration_g"};
    return names;
}

Figures figures_from_summary(const std::string& text) {
    Figures f{};
    const nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.contains("final") || !j["final"].is_object()) return f;
    const nlohmann::json& final_state = j["final"];
    f[0] = number_at(final_state, "orbit", "apoapsis_km");
    f[1] = number_at(final_state, "orbit", "periapsis_km");
    f[2] = number_at(final_state, "orbit", "inclination_deg");
    f[3] = number_at(final_state, "orbit", "propellant_kg");
    f[4] = number_at(j, "extremes", "max_dyn_pressure_Pa");
    f[5] = number_at(j, "extremes", "max_acceleration_g");
    return f;
}

bool orbit_reached(const Figures& f) { return f[1] && *f[1] >= kOrbitPeriapsisKm; }

std::string success_problem(const std::string& criterion) {
    std::string problem;
    parse_criterion(criterion, problem);
    return problem;
}

bool succeeded(const std::string& criterion, Status status, const Figures& f) {
    if (status != Status::ok) return false;
    if (criterion.empty()) return orbit_reached(f);
    std::string problem;
    for (const Term& t : parse_criterion(criterion, problem)) {
        if (t.figure < 0) {
            if (!orbit_reached(f)) return false;
            continue;
        }
        const std::optional<double>& x = f[static_cast<size_t>(t.figure)];
        if (!x) return false;
        const bool holds = t.op == "<" ? *x < t.value : t.op == "<=" ? *x <= t.value : t.op == ">" ? *x > t.value : *x >= t.value;
        if (!holds) return false;
    }
    return problem.empty();
}

std::string results_csv(const std::vector<std::string>& columns, const std::vector<CaseResult>& results,
                        const std::string& criterion) {
    std::string out = "case,seed,status,exit_code";
    for (const std::string& c : columns) out += "," + c;
    for (const char* f : figure_names()) out += std::string(",") + f;
    out += ",orbit,success\n";
    for (const CaseResult& r : results) {
        const Status status = r.record ? r.record->status : Status::interrupted;
        out += std::to_string(r.number) + "," + r.seed + "," + status_name(status) + ",";
        out += r.record ? std::to_string(r.record->exit_code) : std::string();
        for (const std::string& v : r.values) out += "," + v;
        for (const auto& x : r.figures) out += "," + figure_text(x);
        out += r.record ? std::string(",") + (orbit_reached(r.figures) ? "1" : "0") + "," +
                              (succeeded(criterion, status, r.figures) ? "1" : "0")
                        : std::string(",,");
        out += "\n";
    }
    return out;
}

std::pair<double, double> wilson_interval(long k, long n) {
    if (n <= 0) return {0.0, 1.0};
    const double p = static_cast<double>(k) / static_cast<double>(n), nn = static_cast<double>(n);
    const double z2 = kZ95 * kZ95;
    const double centre = (p + z2 / (2.0 * nn)) / (1.0 + z2 / nn);
    const double half = kZ95 * std::sqrt(p * (1.0 - p) / nn + z2 / (4.0 * nn * nn)) / (1.0 + z2 / nn);
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return std::nan("");
    const double at = p / 100.0 * static_cast<double>(sorted.size() - 1);
    const size_t i = static_cast<size_t>(std::floor(at));
    if (i + 1 >= sorted.size()) return sorted.back();
    return sorted[i] + (at - static_cast<double>(i)) * (sorted[i + 1] - sorted[i]);
}

CampaignSummary summarise(const std::vector<CaseResult>& results, const std::string& criterion) {
    CampaignSummary s;
    s.planned = static_cast<long>(results.size());
    for (const CaseResult& r : results) {
        const Status status = r.record ? r.record->status : Status::interrupted;
        (status == Status::ok ? s.ok : status == Status::failed ? s.failed : status == Status::timeout ? s.timeout : s.interrupted)++;
        if (!r.record) continue;
        ++s.decided;
        if (succeeded(criterion, status, r.figures)) ++s.successes;
    }
    s.rate = s.decided > 0 ? static_cast<double>(s.successes) / static_cast<double>(s.decided) : 0.0;
    std::tie(s.low95, s.high95) = wilson_interval(s.successes, s.decided);
    return s;
}

std::vector<long> worst_cases(const std::vector<CaseResult>& results, size_t count) {
    std::vector<const CaseResult*> order;
    for (const CaseResult& r : results)
        if (r.record) order.push_back(&r);
    // Failures first (in case order), then the lowest periapses.
    auto key = [](const CaseResult* r) {
        const bool ended_well = r->record->status == Status::ok && r->figures[1].has_value();
        return std::pair(ended_well ? 1 : 0, ended_well ? *r->figures[1] : 0.0);
    };
    std::stable_sort(order.begin(), order.end(), [&](const CaseResult* a, const CaseResult* b) { return key(a) < key(b); });
    std::vector<long> worst;
    for (size_t i = 0; i < order.size() && i < count; ++i) worst.push_back(order[i]->number);
    return worst;
}

std::string summary_json(const std::string& campaign_file, const std::vector<CaseResult>& results,
                         const std::string& criterion) {
    using nlohmann::json;
    const CampaignSummary s = summarise(results, criterion);
    json j;
    j["campaign"] = campaign_file;
    j["cases"] = {{"planned", s.planned}, {"ok", s.ok}, {"failed", s.failed}, {"timeout", s.timeout},
                  {"interrupted", s.interrupted}};
    j["success"] = {{"criterion", criterion.empty() ? "orbit" : criterion},
                    {"successes", s.successes},
                    {"of", s.decided},
                    {"rate", s.rate},
                    {"confidence_95", {s.low95, s.high95}}};
    json spread = json::object();
    for (size_t f = 0; f < kFigureCount; ++f) {
        std::vector<double> values;
        for (const CaseResult& r : results)
            if (r.record && r.record->status == Status::ok && r.figures[f]) values.push_back(*r.figures[f]);
        if (values.empty()) continue;
        std::sort(values.begin(), values.end());
        spread[figure_names()[f]] = {{"count", values.size()},       {"min", values.front()},
                                     {"p5", percentile(values, 5)},  {"p50", percentile(values, 50)},
                                     {"p95", percentile(values, 95)}, {"max", values.back()}};
    }
    j["figures"] = spread;
    json failed = json::array();
    for (const CaseResult& r : results)
        if (r.record && r.record->status != Status::ok)
            failed.push_back({{"case", r.number}, {"status", status_name(r.record->status)}, {"exit_code", r.record->exit_code}});
    j["failed_cases"] = failed;
    j["worst_cases"] = worst_cases(results, kWorstInSummary);
    return j.dump(2) + "\n";
}

}  // namespace campaign
