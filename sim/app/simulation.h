// A run of the headless host: a World with the vessels of a scenario, a script, the frame
// loop (physics step, then every vessel's clbkPostStep), events, telemetry and outputs.
//
// A test flies a scenario in a few lines:
//
//   sim::RunOptions opt;
//   opt.scenario_path = "Scenarios/Korvan/Runway.scn";   // relative to the run tree
//   opt.script_text = "t=0 key O\n";
//   opt.until = 60.0;
//   sim::Simulation s(opt);
//   s.load();
//   const sim::RunResult r = s.run();
//   EXPECT_TRUE(s.event_time("liftoff"));
#pragma once

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "event_watch.h"
#include "flight_data.h"
#include "host_keys.h"
#include "run_outputs.h"
#include "runtime/world.h"
#include "scenario_file.h"
#include "script.h"
#include "script_runner.h"
#include "telemetry_log.h"

namespace physics {
class Physics;
}
namespace pilot {
class Pilot;
}

namespace sim {

class WatchRecorder;

struct RunOptions {
    std::string root;            // run tree; empty: the build's (KORVAN_RUN_TREE)
    std::string scenario_path;   // tried as given, then relative to the run tree
    std::string scenario_text;   // used instead of a file when not empty
    std::string scenario_name;   // names scenario_text in messages; empty: scenario_path or "<scenario>"
    std::string script_path;
    std::string script_text;     // used instead of a file when not empty
    std::string script_name;     // names script_text in messages; empty: script_path or "<script>"
    double dt = 0.01;            // s, fixed frame step
    std::optional<double> until; // s of simulation time
    std::vector<std::string> stop_on;  // event names
    double telemetry_interval = 1.0;   // s
    std::string out_dir;         // empty: outputs stay in memory
    bool sound = false;          // load Modules/OrbiterSound before any vessel
    bool progress = false;       // one updating line on stderr
    bool change_directory = true;  // chdir into the run tree, as the simulator runs there
    bool measure_costs = false;    // time the parts of each frame (FrameCosts)
    // Set from outside (a signal) to end the run at the next frame, writing what it has.
    const std::atomic<bool>* interrupt = nullptr;
    // Departures from the nominal world (docs/physics.md, "Dispersions").
    double atmosphere_density = 1.0;  // factor on the air's density
    double thrust_factor = 1.0;       // factor on every thruster's thrust and propellant flow
    double wind_east = 0.0;           // m/s, aloft
    double wind_north = 0.0;          // m/s, aloft
    // Watching the run afterwards: the track's sampling interval (s) and which of
    // flight.acmi, flight.czml and the replay page (replay.html and its data) are written.
    double track_interval = 0.2;
    bool write_acmi = true;
    bool write_czml = true;
    bool write_replay = true;
};

// Wall time spent in each part of the frames, with RunOptions::measure_costs.
struct FrameCosts {
    long frames = 0;
    long physics_steps = 0;
    double pilot_s = 0.0;      // the pilot's inputs and autopilots around each step
    double physics_s = 0.0;    // the physics steps
    double post_steps_s = 0.0; // the vessels' clbkPostStep
    double host_s = 0.0;       // script, events, telemetry and the rest of the frame loop
};

// The highest dynamic pressure and sensed acceleration (all forces but weight, over the mass)
// of the focus vessel among the telemetry rows, with their times.
struct FlightExtremes {
    double max_dyn_pressure_Pa = 0.0;
    double max_dyn_pressure_time_s = 0.0;
    double max_acceleration_g = 0.0;
    double max_acceleration_time_s = 0.0;
};

// The names of the standard events (event_watch.h), in their order.
const std::vector<std::string>& standard_events();

struct EventRecord {
    std::string name;
    double time = 0.0;
    std::string vessel;
    std::optional<FlightData> focus;  // the focus vessel when it happened
};

enum class Outcome { NotRun, Until, StopEvent, ScriptStop, NonFinite, Interrupted, BeyondScenario };
const char* outcome_name(Outcome o);

struct RunResult {
    Outcome outcome = Outcome::NotRun;
    std::string stop_event;  // the --stop-on event that ended the run
    std::string message;     // for NonFinite and BeyondScenario: the vessel, what, and the time
    int exit_status = 0;
};

class ScriptPass;

class Simulation {
public:
    explicit Simulation(RunOptions options);
    ~Simulation();
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    // Reads the scenario and script and creates the vessels. Throws InputError.
    void load();
    // Flies until --until, a --stop-on event, a script "stop" or a non-finite state.
    RunResult run();
    // Writes telemetry.csv, final.scn and summary.json into the output folder (if any). An
    // output that cannot be written is reported and the others are still written; the
    // result's exit status becomes kExitOutput when the run had ended well.
    void write_outputs();
    // A few lines for the terminal: the outcome, each event with the focus vessel's state
    // then, and the final state.
    std::string report() const;

    // The present scenario as it would be saved.
    std::string scenario_text() const;
    // One vessel's block lines as saved (host keys first).
    std::vector<std::string> saved_block(const runtime::VesselRecord& v) const;

    runtime::World& world() { return *world_; }
    const RunOptions& options() const { return options_; }
    const std::vector<EventRecord>& events() const { return events_; }
    std::optional<double> event_time(const std::string& name) const;
    const std::vector<std::string>& telemetry_rows() const { return telemetry_.rows(); }
    std::string telemetry_csv() const;
    std::string summary_json() const;
    const std::vector<std::string>& warnings() const { return warnings_; }
    const std::map<std::string, std::string>& saved_scenarios() const { return outputs_.saved_scenarios(); }
    const std::map<std::string, std::string>& hud_frames() const { return outputs_.hud_frames(); }
    const RunResult& result() const { return result_; }
    // "file: what went wrong" for each output that could not be written, in order.
    const std::vector<std::string>& output_errors() const { return outputs_.errors(); }
    const RunOutputs& outputs() const { return outputs_; }
    const FrameCosts& costs() const { return costs_; }
    // Whether the loaded script has a "stop" line (a run may then need no --until).
    bool script_can_stop() const;
    runtime::VesselRecord* focus_vessel() const;
    // Draws the focus vessel's HUD into an SVG picture.
    std::string draw_hud() const;
    // One frame's host work without the vessels' steps: events, telemetry, progress and the
    // script's due commands, as a frame does them. Benchmarks time it alone.
    void host_frame();

private:
    struct LoadContext;
    struct Memo;
    // The focus vessel's values read once after a frame for its events and telemetry, and
    // handed to the script pass that follows it, which reads only the groups still missing:
    // nothing changes the state between the end of a frame and that pass.
    struct FocusValues {
        runtime::VesselRecord* vessel = nullptr;  // the focus vessel read; none: nothing read
        unsigned groups = kFlightBasic;                 // the groups of data that were read
        FlightData data;
    };

    void install_hooks();
    void create_vessels();
    void apply_host_keys(runtime::VesselRecord& v, const ShipBlock& block, HostKeys& keys);
    void attach_children(const std::vector<std::pair<runtime::VesselRecord*, HostKeys>>& loaded);
    void remember_loaded_state(runtime::VesselRecord& v, const HostKeys& keys);
    HostKeys keys_for_saving(const runtime::VesselRecord& v) const;

    // The script's due entries, one pass a frame (ScriptPass: what they read and do).
    friend class ScriptPass;
    void run_due_commands(FocusValues& after_frame);
    void run_command(const ScriptEntry& entry);
    void press_key(const ScriptCommand& c, const ScriptEntry& entry);
    void frame(FocusValues& after_frame);
    void step_vessels(double frame_dt);
    void step_vessels_timed(double frame_dt, int substeps);
    void post_step_vessels(double frame_dt);
    void finish_frame(FocusValues& after_frame);
    void read_focus_values(unsigned groups, FocusValues& values) const;
    bool states_can_be_saved();
    bool stop_unsaveable(Outcome outcome, const std::string& what);
    double half_frame() const;  // s: how near a clock condition's "=" must come
    unsigned event_groups() const;  // the groups the host's events still watch
    // The events of the frame, from the focus vessel's values (d holds the groups given).
    void check_events(const FlightData& d, unsigned groups, const runtime::VesselRecord& focus);
    double events_gear_height(const FlightData& d, unsigned groups, const runtime::VesselRecord& focus) const;
    void record_event(StandardEvent event, const std::string& vessel);
    void note_crashes();
    bool crashed(const std::string& vessel) const;
    void record_event(const std::string& name, const std::string& vessel);
    bool known_event(const std::string& name) const;
    std::string unknown_event_message(const std::string& name) const;
    void sample_telemetry(bool force);
    void note_extremes(const FlightData& d, const runtime::VesselRecord& focus);
    void show_progress(bool last);
    void save_named(const std::string& name);
    void warn(const std::string& text);
    void write_output(const std::string& file, const std::string& content);
    void note_output_errors();
    void write_watch_outputs();  // flight.acmi, flight.czml, replay.html and its data

    RunOptions options_;
    std::string root_;
    RunOutputs outputs_;  // the output folder, the script's saved scenarios and HUD frames
    std::unique_ptr<runtime::World> world_;
    std::unique_ptr<physics::Physics> physics_;
    std::unique_ptr<pilot::Pilot> pilot_;
    HMODULE sound_module_ = nullptr;
    ScenarioFile scenario_;
    ScriptRunner script_runner_;
    LoadContext* loading_ = nullptr;
    std::vector<std::unique_ptr<Memo>> memos_;
    std::unique_ptr<WatchRecorder> watch_;

    std::vector<EventRecord> events_;
    TelemetryLog telemetry_;
    std::vector<std::string> warnings_;
    std::vector<std::string> created_vessels_;
    RunResult result_;
    FrameCosts costs_;
    FlightExtremes extremes_;
    bool stop_requested_ = false;
    bool key_held_ = false;  // the key-state buffer holds a key pressed this frame
    bool loaded_ = false;

    EventWatch event_watch_;
    size_t crashes_noted_ = 0;  // of the physics' crash reports
    double last_progress_wall_ = -1.0;
};

}  // namespace sim
