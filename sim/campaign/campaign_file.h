// The campaign file (TOML): the flight's scenario and script templates, how many runs, the
// seed, korvan-sim's run options, the dispersed parameters and the success criterion.
//
//   scenario = "runway.scn"     # a template; absent: the built-in default flight
//   script = "ascent.txt"       # a template
//   runs = 24
//   seed = 11
//   until = 700
//   [parameters.azimuth]        # fills {{azimuth}} in the templates
//   distribution = "uniform"
//   low = 60
//   high = 80
//   [host.atmosphere_density]   # korvan-sim's --atmosphere-density
//   distribution = "normal"
//   mean = 1.0
//   sd = 0.05
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "distributions.h"

namespace campaign {

// Input that cannot be used. Its message holds one "file:line: what is wrong" line for each
// fault found.
class CampaignError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Placeholder {
    std::string name;
    int line = 0;
};

// A scenario or script with {{name}} placeholders.
struct Template {
    std::string path;  // absolute
    std::string text;
    std::vector<Placeholder> placeholders;
};

struct Parameter {
    std::string name;
    bool host = false;  // a korvan-sim option rather than template text
    Distribution distribution;
    int line = 0;
    std::string column() const { return host ? "host." + name : name; }
};

// korvan-sim's options for the dispersions of its world, by the campaign's [host.NAME].
struct HostOption {
    const char* name;
    const char* option;
};
const std::vector<HostOption>& host_options();

struct Campaign {
    std::string path;  // absolute
    std::string text;  // the file as read
    std::optional<Template> scenario, script;
    long runs = 0;
    uint64_t seed = 0;
    std::optional<double> until, dt, telemetry_interval;
    std::vector<std::string> stop_on;
    std::optional<double> timeout_s;      // wall seconds a case may take
    std::string success;                  // "" : an orbit reached
    std::vector<Parameter> parameters;    // in the file's order, template ones first
};

// Reads and checks the whole file and its templates; throws CampaignError listing every fault.
Campaign read_campaign(const std::string& path);

// The template's text with each placeholder replaced by its value; values are looked up by
// name in `names` (parallel to `values`).
std::string render(const Template& t, const std::vector<std::string>& names, const std::vector<std::string>& values);

// The placeholders of a template text ("{{ name }}"); a "{{" without its "}}" on the same line,
// or a name that is not a word, is a fault "file:line: ..." added to `faults`.
std::vector<Placeholder> find_placeholders(const std::string& text, const std::string& file,
                                           std::vector<std::string>& faults);

}  // namespace campaign
