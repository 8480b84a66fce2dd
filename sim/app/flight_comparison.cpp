#include "flight_comparison.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "input_error.h"
#include "runtime/text_file.h"

namespace sim {

namespace {

using nlohmann::json;

struct Summary {
    const json& j;
    const std::string& name;

    const json& at(const std::vector<std::string>& keys) const {
        const json* node = &j;
        std::string where;
        for (const std::string& key : keys) {
            where += (where.empty() ? "" : ".") + key;
            if (!node->is_object() || !node->contains(key))
                throw InputError(name + ": not a run summary (no \"" + where + "\")");
            node = &(*node)[key];
        }
        return *node;
    }
};

std::string text_of(const json& value) {
    return value.is_string() ? value.get<std::string>() : value.dump();
}

std::string number_text(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6g", value);
    return buffer;
}

// "liftoff (Korvan1), gear_up (Korvan1)": the events as the comparison sees them.
std::vector<std::string> event_keys(const Summary& s) {
    const json& events = s.at({"events"});
    if (!events.is_array()) throw InputError(s.name + ": \"events\" is not a list");
    std::vector<std::string> keys;
    for (const json& e : events)
        keys.push_back(text_of(e.value("name", json())) + " (" + text_of(e.value("vessel", json())) + ")");
    return keys;
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out.empty() ? "none" : out;
}

// The largest difference of the events' times, for events that match one to one.
double largest_time_difference(const Summary& a, const Summary& b) {
    double largest = 0.0;
    const json& ea = a.at({"events"});
    const json& eb = b.at({"events"});
    for (size_t i = 0; i < ea.size() && i < eb.size(); ++i) {
        const json ta = ea[i].value("time_s", json());
        const json tb = eb[i].value("time_s", json());
        if (ta.is_number() && tb.is_number())
            largest = std::max(largest, std::fabs(ta.get<double>() - tb.get<double>()));
    }
    return largest;
}

void compare_text(FlightComparison& out, const char* what, const json& va, const json& vb) {
    const std::string ta = text_of(va), tb = text_of(vb);
    if (ta == tb) {
        out.findings.push_back(std::string(what) + ": " + ta + " in both");
    } else {
        const std::string line = std::string(what) + ": " + ta + " and " + tb;
        out.findings.push_back(line);
        out.differences.push_back(line);
    }
}

// A final orbit value within its limit. A value that is not finite (no apoapsis on an
// escape) is written as null: it matches only another null.
void compare_value(FlightComparison& out, const char* what, const json& va, const json& vb, double limit,
                   const char* unit) {
    const std::string u = std::string(" ") + unit;
    if (!va.is_number() || !vb.is_number()) {
        const bool both_missing = va.is_null() && vb.is_null();
        const std::string line = std::string(what) + ": " + text_of(va) + " and " + text_of(vb);
        out.findings.push_back(line);
        if (!both_missing) out.differences.push_back(line);
        return;
    }
    const double a = va.get<double>(), b = vb.get<double>();
    const double difference = std::fabs(a - b);
    const std::string line = std::string(what) + ": " + number_text(a) + u + " and " + number_text(b) + u +
                             ", difference " + number_text(difference) + u + " (limit " + number_text(limit) + u + ")";
    out.findings.push_back(line);
    if (!(difference <= limit)) out.differences.push_back(line);
}

}  // namespace

FlightComparison compare_flights(const json& a, const json& b, const std::string& name_a, const std::string& name_b,
                                 const FlightTolerance& tolerance) {
    const Summary sa{a, name_a}, sb{b, name_b};
    FlightComparison out;
    compare_text(out, "outcome", sa.at({"outcome"}), sb.at({"outcome"}));

    const std::vector<std::string> events_a = event_keys(sa), events_b = event_keys(sb);
    if (events_a == events_b) {
        out.findings.push_back("events: " + joined(events_a) + " in both, in this order; their times differ by at most " +
                               number_text(largest_time_difference(sa, sb)) + " s");
    } else {
        const std::string line = "events: " + joined(events_a) + " in " + name_a + "; " + joined(events_b) + " in " + name_b;
        out.findings.push_back(line);
        out.differences.push_back(line);
    }

    // The runs end in the same frame: their clocks, summed step by step, agree within half a step.
    const json& dt = sa.at({"run", "dt_s"});
    compare_value(out, "end time", sa.at({"final", "time_s"}), sb.at({"final", "time_s"}),
                  dt.is_number() ? dt.get<double>() / 2.0 : 0.0, "s");
    compare_text(out, "focus vessel", sa.at({"final", "focus", "name"}), sb.at({"final", "focus", "name"}));
    compare_value(out, "final apoapsis", sa.at({"final", "focus", "apoapsis"}), sb.at({"final", "focus", "apoapsis"}),
                  tolerance.orbit_km, "km");
    compare_value(out, "final periapsis", sa.at({"final", "focus", "periapsis"}),
                  sb.at({"final", "focus", "periapsis"}), tolerance.orbit_km, "km");
    compare_value(out, "final inclination", sa.at({"final", "focus", "inclination"}),
                  sb.at({"final", "focus", "inclination"}), tolerance.inclination_deg, "deg");
    return out;
}

json read_summary(const std::string& path, std::string* file_read) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string file = fs::is_directory(path, ec) ? (fs::path(path) / "summary.json").string() : path;
    if (file_read != nullptr) *file_read = file;
    std::string text;
    if (const auto read = runtime::read_text_file(file, text); read != runtime::TextFileRead::ok)
        throw InputError(runtime::text_file_error(file, "the run summary", read));
    try {
        return json::parse(text);
    } catch (const json::parse_error& e) {
        throw InputError(file + ": not JSON (" + e.what() + ")");
    }
}

}  // namespace sim
