// The run's outputs: telemetry.csv, final.scn and summary.json, and the files script
// commands write; the names checked against the output folder before the run.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <unistd.h>

#include "input_error.h"
#include "output_files.h"
#include "physics/physics.h"
#include "simulation.h"
#include "text_util.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr size_t kWindowsPathMax = 260;  // MAX_PATH: a whole path through the system's narrow calls
#else
constexpr size_t kCommonPathMax = 4096;  // bytes in a whole path, where the folder does not say
#endif

enum class FolderLimit { name, path };

// A limit of the output folder's file system in bytes: a file's name or a whole path.
size_t folder_limit([[maybe_unused]] const std::string& dir, FolderLimit which) {
#if defined(_WIN32)
    return which == FolderLimit::name ? kMaxFileNameBytes : kWindowsPathMax;
#else
    // pathconf answers for the folder's own file system; the common limits where it does not.
    const bool name = which == FolderLimit::name;
    const long n = ::pathconf(dir.c_str(), name ? _PC_NAME_MAX : _PC_PATH_MAX);
    return n > 0 ? static_cast<size_t>(n) : name ? kMaxFileNameBytes : kCommonPathMax;
#endif
}

}  // namespace

// Every file a script command writes must be the run's only output of that name, and fit the
// output folder; a name the file system refuses would otherwise only show when the command
// runs, late in the flight.
void Simulation::check_output_names() const {
    if (out_dir_.empty()) return;
    const size_t name_max = folder_limit(out_dir_, FolderLimit::name);
    const size_t path_max = folder_limit(out_dir_, FolderLimit::path);
    const Script& script = script_runner_.script();
    for (const ScriptEntry& e : script.entries) {
        const std::string extension = output_extension(e.command.kind);
        if (extension.empty()) continue;
        const std::string file = e.command.text + extension;
        const size_t path_length = (fs::path(out_dir_) / file).string().size();
        if (file.size() > name_max || path_length >= path_max)
            throw InputError(at_line(script.source, e.line,
                                     "name \"" + e.command.text.substr(0, 16) + "...\" is too long for a file in " +
                                         out_dir_ + " (at most " + std::to_string(name_max - extension.size()) +
                                         " characters before \"" + extension + "\", and " + std::to_string(path_max - 1) +
                                         " in the whole path)"));
    }
}

void Simulation::note_extremes(const FlightData& d, const runtime::VesselRecord& focus) {
    constexpr double kStandardGravity = 9.80665;  // m/s^2, one g
    if (d.dyn_pressure_Pa > extremes_.max_dyn_pressure_Pa) {
        extremes_.max_dyn_pressure_Pa = d.dyn_pressure_Pa;
        extremes_.max_dyn_pressure_time_s = d.time_s;
    }
    const VECTOR3 sensed = world_->force_vector(focus) - world_->weight_vector(focus);
    const double g = d.mass_kg > 0.0 ? length(sensed) / d.mass_kg / kStandardGravity : 0.0;
    if (g > extremes_.max_acceleration_g) {
        extremes_.max_acceleration_g = g;
        extremes_.max_acceleration_time_s = d.time_s;
    }
}

std::string Simulation::telemetry_csv() const { return telemetry_.csv(); }

std::string Simulation::summary_json() const {
    using nlohmann::json;
    json j;
    const Script& script = script_runner_.script();
    j["run"] = {{"scenario", options_.scenario_path.empty() ? scenario_.source : options_.scenario_path},
                {"script", options_.script_path.empty() ? (script.source.empty() ? json() : json(script.source))
                                                        : json(options_.script_path)},
                {"root", root_},
                {"dt_s", options_.dt},
                {"until_s", options_.until ? json(*options_.until) : json()},
                {"stop_on", options_.stop_on},
                {"telemetry_interval_s", options_.telemetry_interval},
                {"sound", options_.sound},
                {"track_interval_s", options_.track_interval}};
    j["outcome"] = outcome_name(result_.outcome);
    if (!result_.stop_event.empty()) j["stop_event"] = result_.stop_event;
    if (!result_.message.empty()) j["message"] = result_.message;
    j["exit_status"] = result_.exit_status;
    auto flight_json = [](json&& out, const FlightData& d) {
        const std::vector<std::string>& names = flight_value_names();
        for (size_t i = 0; i < names.size(); ++i) {
            const double value = flight_value_at(d, static_cast<int>(i));
            out[names[i]] = std::isfinite(value) ? json(value) : json();
        }
        return std::move(out);
    };
    json events = json::array();
    for (const EventRecord& e : events_) {
        json event = {{"name", e.name}, {"time_s", e.time}, {"vessel", e.vessel}};
        if (e.focus) event["focus"] = flight_json(json::object(), *e.focus);
        events.push_back(event);
    }
    j["events"] = events;
    json final_state = {{"time_s", world_->sim_time}, {"mjd", world_->mjd}};
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        final_state["focus"] = flight_json({{"name", f->name}, {"class", f->class_name}}, d);
        final_state["orbit"] = {{"apoapsis_km", d.apoapsis_km},   {"periapsis_km", d.periapsis_km},
                                {"period_s", d.period_s},         {"inclination_deg", d.inclination_deg},
                                {"propellant_kg", d.fuel_kg}};
    }
    json vessels = json::array();
    for (size_t i = 0; i < world_->vessel_count(); ++i) {
        const runtime::VesselRecord* v = world_->vessel(i);
        vessels.push_back({{"name", v->name},
                           {"class", v->class_name},
                           {"landed", v->state.landed},
                           {"crashed", crashed(v->name)},
                           {"altitude_m", world_->altitude(*v)},
                           {"mass_kg", world_->mass(*v)}});
    }
    final_state["vessels"] = vessels;
    j["final"] = final_state;
    j["extremes"] = {{"max_dyn_pressure_Pa", extremes_.max_dyn_pressure_Pa},
                     {"max_dyn_pressure_time_s", extremes_.max_dyn_pressure_time_s},
                     {"max_acceleration_g", extremes_.max_acceleration_g},
                     {"max_acceleration_time_s", extremes_.max_acceleration_time_s}};
    j["created_vessels"] = created_vessels_;
    json crashes = json::array();
    if (physics_ != nullptr)
        for (const physics::CrashReport& c : physics_->crashes())
            crashes.push_back({{"vessel", c.vessel},
                               {"time_s", c.time},
                               {"speed_m_s", c.speed},
                               {"sink_speed_m_s", c.sink_speed},
                               {"struck", c.hull ? "hull" : "gear"},
                               {"longitude_deg", c.longitude * DEG},
                               {"latitude_deg", c.latitude * DEG}});
    j["crashes"] = crashes;
    json commands = json::array();
    for (size_t i = 0; i < script.entries.size(); ++i)
        commands.push_back({{"line", script.entries[i].line}, {"text", script.entries[i].text},
                            {"done", script_runner_.done(i)}});
    j["script_commands"] = commands;
    j["warnings"] = warnings_;
    j["output_errors"] = output_errors_;
    j["debug_line"] = std::string(world_->debug_line.data(), strnlen(world_->debug_line.data(), world_->debug_line.size()));
    j["log"] = world_->log;
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

// One output that cannot be written takes no other with it: the failure is reported, the run
// and the other outputs go on, and the run ends with kExitOutput.
void Simulation::write_output(const std::string& file, const std::string& content) {
    if (out_dir_.empty()) return;
    try {
        write_file_atomically((fs::path(out_dir_) / file).string(), content);
    } catch (const std::exception& e) {
        output_errors_.emplace_back(e.what());
        warn(e.what());
    }
}

void Simulation::write_outputs() {
    const auto [telemetry, final_scenario, summary] = kRunOutputFiles;
    write_output(telemetry, telemetry_csv());
    // A state the scenario readers would refuse is not written as one.
    if (result_.outcome == Outcome::NonFinite || result_.outcome == Outcome::BeyondScenario)
        warn(std::string(final_scenario) + " not written: " + result_.message);
    else
        write_output(final_scenario, scenario_text());
    write_watch_outputs();
    // Written last, so that it lists every output that failed before it.
    note_output_errors();
    write_output(summary, summary_json());
    note_output_errors();
}

// A flight that went well ends with kExitOutput when an output is missing; a vessel's
// non-finite state keeps its own status.
void Simulation::note_output_errors() {
    if (!output_errors_.empty() && result_.exit_status == kExitOk) result_.exit_status = kExitOutput;
}

}  // namespace sim
