// The run's outputs at its end: telemetry.csv, final.scn and summary.json (the files the
// script's commands write and the output folder are RunOutputs'), and the flight's extremes.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "input_error.h"
#include "physics/physics.h"
#include "simulation.h"
#include "text_util.h"

namespace sim {

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
    j["output_errors"] = outputs_.errors();
    j["debug_line"] = std::string(world_->debug_line.data(), strnlen(world_->debug_line.data(), world_->debug_line.size()));
    j["log"] = world_->log;
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

void Simulation::write_output(const std::string& file, const std::string& content) {
    if (const std::optional<std::string> error = outputs_.write(file, content)) warn(*error);
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
    if (!outputs_.errors().empty() && result_.exit_status == kExitOk) result_.exit_status = kExitOutput;
}

}  // namespace sim
