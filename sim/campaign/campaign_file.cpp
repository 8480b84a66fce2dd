#include "campaign_file.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <toml++/toml.h>

#include "results.h"

namespace campaign {

namespace fs = std::filesystem;

namespace {

constexpr long kMaxRuns = 10'000'000;

const std::set<std::string> kTopKeys = {"scenario", "script", "runs", "seed", "until", "dt", "telemetry_interval",
                                        "stop_on", "timeout", "success", "parameters", "host"};

bool is_word(const std::string& s) {
    if (s.empty() || !(std::isalpha(static_cast<unsigned char>(s[0])) || s[0] == '_')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
    return out;
}

// Collects the faults of one file, each "file:line: what".
class Reader {
public:
    explicit Reader(std::string file) : file_(std::move(file)) {}

    void fault(int line, const std::string& what) { faults.push_back(file_ + ":" + std::to_string(line) + ": " + what); }
    static int line_of(const toml::node& n) { return static_cast<int>(n.source().begin.line); }

    std::optional<double> number(const toml::node& n, const std::string& key) {
        if (const auto* i = n.as_integer()) return static_cast<double>(i->get());
        if (const auto* f = n.as_floating_point(); f != nullptr && std::isfinite(f->get())) return f->get();
        fault(line_of(n), "\"" + key + "\" must be a finite number");
        return std::nullopt;
    }
    std::optional<std::string> string(const toml::node& n, const std::string& key) {
        if (const auto* s = n.as_string()) return s->get();
        fault(line_of(n), "\"" + key + "\" must be a string");
        return std::nullopt;
    }

    std::vector<std::string> faults;

private:
    std::string file_;
};

std::string read_text(const std::string& path, std::string& problem) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        problem = "is a folder, not a file";
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        problem = "cannot be read";
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Choice values go into templates and into CSV files: numbers, or texts without the
// characters that would break a CSV field or a line.
std::optional<std::string> choice_text(Reader& r, const toml::node& n) {
    if (n.is_integer() || n.is_floating_point()) {
        const std::optional<double> x = r.number(n, "values");
        return x ? std::optional(exact_text(*x)) : std::nullopt;
    }
    if (const auto* s = n.as_string()) {
        const std::string& t = s->get();
        if (t.empty() || t.find_first_of(",\"\r\n") != std::string::npos || std::isspace(static_cast<unsigned char>(t.front())) ||
            std::isspace(static_cast<unsigned char>(t.back()))) {
            r.fault(Reader::line_of(n), "choice \"" + t + "\": a text value must not be empty, hold a comma, a quote or "
                                        "a line break, or begin or end with a space");
            return std::nullopt;
        }
        return t;
    }
    r.fault(Reader::line_of(n), "choice values must be numbers or strings");
    return std::nullopt;
}

// One [parameters.NAME] or [host.NAME] table.
std::optional<Parameter> read_parameter(Reader& r, const std::string& name, const toml::node& node, bool host) {
    const std::string where = std::string(host ? "[host." : "[parameters.") + name + "]";
    const toml::table* t = node.as_table();
    if (t == nullptr) {
        r.fault(Reader::line_of(node), where + " must be a table");
        return std::nullopt;
    }
    Parameter p;
    p.name = name;
    p.host = host;
    p.line = Reader::line_of(node);
    const toml::node* kind = t->get("distribution");
    const std::optional<std::string> kind_name = kind != nullptr ? r.string(*kind, "distribution") : std::nullopt;
    if (!kind_name) {
        if (kind == nullptr) r.fault(p.line, where + " needs a \"distribution\" (uniform, normal or choice)");
        return std::nullopt;
    }
    std::set<std::string> allowed;
    Distribution& d = p.distribution;
    if (*kind_name == "uniform") {
        d.kind = DistributionKind::Uniform;
        allowed = {"low", "high"};
    } else if (*kind_name == "normal") {
        d.kind = DistributionKind::Normal;
        allowed = {"mean", "sd", "low", "high"};
        d.mean = d.sd = std::numeric_limits<double>::quiet_NaN();
    } else if (*kind_name == "choice") {
        d.kind = DistributionKind::Choice;
        allowed = {"values", "weights"};
    } else {
        r.fault(Reader::line_of(*kind), where + ": unknown distribution \"" + *kind_name + "\" (uniform, normal or choice)");
        return std::nullopt;
    }
    bool ok = true;
    for (auto&& [key, value] : *t) {
        const std::string k(key.str());
        if (k == "distribution") continue;
        if (!allowed.count(k)) {
            r.fault(Reader::line_of(value), where + ": \"" + k + "\" is not a key of a " + *kind_name + " distribution");
            ok = false;
            continue;
        }
        if (k == "values" || k == "weights") {
            const toml::array* a = value.as_array();
            if (a == nullptr) {
                r.fault(Reader::line_of(value), where + ": \"" + k + "\" must be an array");
                ok = false;
                continue;
            }
            for (const toml::node& item : *a) {
                if (k == "values" && host && !(item.is_integer() || item.is_floating_point())) {
                    r.fault(Reader::line_of(item), where + ": a host dispersion takes numbers only");
                    ok = false;
                } else if (k == "values") {
                    const std::optional<std::string> text = choice_text(r, item);
                    ok = ok && text.has_value();
                    if (text) d.choices.push_back(*text);
                } else {
                    const std::optional<double> w = r.number(item, "weights");
                    ok = ok && w.has_value();
                    if (w) d.weights.push_back(*w);
                }
            }
            continue;
        }
        const std::optional<double> x = r.number(value, k);
        if (!x) {
            ok = false;
            continue;
        }
        (k == "low" ? d.low : k == "high" ? d.high : k == "mean" ? d.mean : d.sd) = *x;
    }
    if (!ok) return std::nullopt;
    if (const std::string problem = distribution_problem(d); !problem.empty()) {
        r.fault(p.line, where + ": " + problem);
        return std::nullopt;
    }
    return p;
}

void read_parameter_tables(Reader& r, const toml::table& root, const char* key, bool host, Campaign& c) {
    const toml::node* node = root.get(key);
    if (node == nullptr) return;
    const toml::table* t = node->as_table();
    if (t == nullptr) {
        r.fault(Reader::line_of(*node), std::string("\"") + key + "\" must hold tables ([" + key + ".NAME])");
        return;
    }
    std::vector<Parameter> read;
    for (auto&& [name_key, value] : *t) {
        const std::string name(name_key.str());
        if (host) {
            const auto& known = host_options();
            if (std::none_of(known.begin(), known.end(), [&](const HostOption& o) { return name == o.name; })) {
                std::vector<std::string> names;
                for (const HostOption& o : known) names.emplace_back(o.name);
                r.fault(Reader::line_of(value), "[host." + name + "]: unknown host dispersion (known: " + join(names) + ")");
                continue;
            }
        } else if (!is_word(name)) {
            r.fault(Reader::line_of(value), "[parameters." + name + "]: a parameter's name is a word (letters, digits, _)");
            continue;
        }
        if (auto p = read_parameter(r, name, value, host)) read.push_back(std::move(*p));
    }
    // Tables iterate by name; the file's order is the order of the columns.
    std::stable_sort(read.begin(), read.end(), [](const Parameter& a, const Parameter& b) { return a.line < b.line; });
    c.parameters.insert(c.parameters.end(), read.begin(), read.end());
}

std::optional<Template> read_template(Reader& r, const toml::node& node, const std::string& key, const fs::path& folder) {
    const std::optional<std::string> name = r.string(node, key);
    if (!name) return std::nullopt;
    Template t;
    t.path = (folder / *name).lexically_normal().string();
    std::string problem;
    t.text = read_text(t.path, problem);
    if (!problem.empty()) {
        r.fault(Reader::line_of(node), key + " \"" + *name + "\": " + t.path + " " + problem);
        return std::nullopt;
    }
    t.placeholders = find_placeholders(t.text, t.path, r.faults);
    return t;
}

void read_run_options(Reader& r, const toml::table& root, Campaign& c) {
    auto positive = [&](const char* key, bool zero_allowed) -> std::optional<double> {
        const toml::node* n = root.get(key);
        if (n == nullptr) return std::nullopt;
        const std::optional<double> x = r.number(*n, key);
        if (x && !(*x > 0.0 || (zero_allowed && *x == 0.0))) {
            r.fault(Reader::line_of(*n), std::string("\"") + key + "\" must be " + (zero_allowed ? "0 or more" : "above 0"));
            return std::nullopt;
        }
        return x;
    };
    c.until = positive("until", true);
    c.dt = positive("dt", false);
    c.telemetry_interval = positive("telemetry_interval", false);
    c.timeout_s = positive("timeout", false);
    if (const toml::node* n = root.get("stop_on")) {
        const toml::array* a = n->as_array();
        if (a == nullptr) r.fault(Reader::line_of(*n), "\"stop_on\" must be an array of event names");
        else
            for (const toml::node& e : *a)
                if (auto s = r.string(e, "stop_on")) c.stop_on.push_back(*s);
    }
    if (const toml::node* n = root.get("success")) {
        if (auto s = r.string(*n, "success")) {
            if (const std::string problem = success_problem(*s); !problem.empty())
                r.fault(Reader::line_of(*n), "success \"" + *s + "\": " + problem);
            else c.success = *s;
        }
    }
}

void read_runs_and_seed(Reader& r, const toml::table& root, Campaign& c) {
    auto integer = [&](const char* key, long low, long high) -> std::optional<long> {
        const toml::node* n = root.get(key);
        if (n == nullptr) {
            r.fault(1, std::string("the campaign needs \"") + key + "\"");
            return std::nullopt;
        }
        const auto* i = n->as_integer();
        if (i == nullptr || i->get() < low || i->get() > high) {
            r.fault(Reader::line_of(*n), std::string("\"") + key + "\" must be a whole number from " + std::to_string(low) +
                                             " to " + std::to_string(high));
            return std::nullopt;
        }
        return static_cast<long>(i->get());
    };
    c.runs = integer("runs", 1, kMaxRuns).value_or(0);
    c.seed = static_cast<uint64_t>(integer("seed", 0, std::numeric_limits<int64_t>::max()).value_or(0));
}

// Every placeholder has a parameter, and every template parameter fills a placeholder.
void check_placeholders(Reader& r, const Campaign& c) {
    std::set<std::string> used;
    for (const std::optional<Template>* t : {&c.scenario, &c.script}) {
        if (!t->has_value()) continue;
        for (const Placeholder& p : (*t)->placeholders) {
            used.insert(p.name);
            const bool known = std::any_of(c.parameters.begin(), c.parameters.end(),
                                           [&](const Parameter& q) { return !q.host && q.name == p.name; });
            if (!known)
                r.faults.push_back((*t)->path + ":" + std::to_string(p.line) + ": placeholder {{" + p.name +
                                   "}} has no [parameters." + p.name + "] in " + c.path);
        }
    }
    for (const Parameter& p : c.parameters)
        if (!p.host && !used.count(p.name))
            r.fault(p.line, "[parameters." + p.name + "] fills no {{" + p.name + "}} in the scenario or the script" +
                                (c.scenario || c.script ? "" : " (the campaign has no templates)"));
}

}  // namespace

const std::vector<HostOption>& host_options() {
    static const std::vector<HostOption> options = {{"atmosphere_density", "--atmosphere-density"},
                                                    {"thrust_factor", "--thrust-factor"},
                                                    {"wind_east", "--wind-east"},
                                                    {"wind_north", "--wind-north"}};
    return options;
}

std::vector<Placeholder> find_placeholders(const std::string& text, const std::string& file,
                                           std::vector<std::string>& faults) {
    std::vector<Placeholder> found;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        for (size_t at = line.find("{{"); at != std::string::npos; at = line.find("{{", at)) {
            const size_t end = line.find("}}", at + 2);
            const std::string where = file + ":" + std::to_string(number) + ": ";
            if (end == std::string::npos) {
                faults.push_back(where + "\"{{\" without its \"}}\" on the same line");
                break;
            }
            std::string name = line.substr(at + 2, end - at - 2);
            name.erase(0, name.find_first_not_of(" \t"));
            name.erase(name.find_last_not_of(" \t") + 1);
            if (!is_word(name)) faults.push_back(where + "placeholder {{" + name + "}}: a name is a word (letters, digits, _)");
            else found.push_back({name, number});
            at = end + 2;
        }
    }
    return found;
}

std::string render(const Template& t, const std::vector<std::string>& names, const std::vector<std::string>& values) {
    std::string out;
    size_t from = 0;
    for (size_t at = t.text.find("{{"); at != std::string::npos; at = t.text.find("{{", from)) {
        const size_t end = t.text.find("}}", at + 2);
        if (end == std::string::npos) break;
        std::string name = t.text.substr(at + 2, end - at - 2);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        const auto i = std::find(names.begin(), names.end(), name);
        out += t.text.substr(from, at - from);
        out += i != names.end() ? values[static_cast<size_t>(i - names.begin())] : t.text.substr(at, end + 2 - at);
        from = end + 2;
    }
    return out + t.text.substr(from);
}

Campaign read_campaign(const std::string& path) {
    Campaign c;
    std::error_code ec;
    c.path = fs::absolute(path, ec).lexically_normal().string();
    std::string problem;
    c.text = read_text(c.path, problem);
    if (!problem.empty()) throw CampaignError(path + ": " + problem);
    toml::table root;
    try {
        root = toml::parse(c.text, c.path);
    } catch (const toml::parse_error& e) {
        throw CampaignError(c.path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description()));
    }
    Reader r(c.path);
    for (auto&& [key, value] : root)
        if (!kTopKeys.count(std::string(key.str())))
            r.fault(Reader::line_of(value), "unknown key \"" + std::string(key.str()) + "\" (known: " +
                                                join(std::vector<std::string>(kTopKeys.begin(), kTopKeys.end())) + ")");
    read_runs_and_seed(r, root, c);
    const fs::path folder = fs::path(c.path).parent_path();
    if (const toml::node* n = root.get("scenario")) c.scenario = read_template(r, *n, "scenario", folder);
    if (const toml::node* n = root.get("script")) c.script = read_template(r, *n, "script", folder);
    read_run_options(r, root, c);
    read_parameter_tables(r, root, "parameters", false, c);
    read_parameter_tables(r, root, "host", true, c);
    check_placeholders(r, c);
    if (!r.faults.empty()) {
        std::string all;
        for (const std::string& f : r.faults) all += (all.empty() ? "" : "\n") + f;
        throw CampaignError(all);
    }
    return c;
}

}  // namespace campaign
