// The frame loop: the vessels step (pilot, physics, post-steps), then the host's own work
// of the frame (events, telemetry, progress); script commands run between frames.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "input_error.h"
#include "physics/physics.h"
#include "pilot/pilot.h"
#include "simulation.h"
#include "simulation_internal.h"
#include "text_util.h"
#include "watch_recorder.h"
#include "watch_values.h"

namespace sim {

RunResult Simulation::run() {
    load();
    physics_ = std::make_unique<physics::Physics>(*world_);
    physics_->set_thrust_factor(options_.thrust_factor);
    pilot_ = std::make_unique<pilot::Pilot>(*world_);
    physics_->update_observables();
    // The track and the HUD records serve only the files for watching the run.
    if (!out_dir_.empty() && (options_.write_acmi || options_.write_czml || options_.write_replay))
        watch_ = std::make_unique<WatchRecorder>(options_.track_interval);
    if (runtime::VesselRecord* f = focus_vessel())
        check_events(read_flight_data(*world_, *f, kFlightEvents), kFlightEvents, *f);
    sample_telemetry(true);
    if (watch_) watch_->on_frame(*world_, true);
    result_ = RunResult{};
    costs_ = FrameCosts{};
    const double run_start = options_.measure_costs ? wall_seconds() : 0.0;
    while (result_.outcome == Outcome::NotRun) {
        if (options_.until && world_->sim_time >= *options_.until - kTimeEpsilon) {
            result_.outcome = Outcome::Until;
            break;
        }
        if (options_.interrupt != nullptr && options_.interrupt->load(std::memory_order_relaxed)) {
            result_.outcome = Outcome::Interrupted;
            break;
        }
        run_due_commands();
        if (stop_requested_) {
            result_.outcome = Outcome::ScriptStop;
            break;
        }
        frame();
    }
    if (options_.measure_costs)
        costs_.host_s = wall_seconds() - run_start - costs_.pilot_s - costs_.physics_s - costs_.post_steps_s;
    sample_telemetry(true);
    // A state that is no longer finite has nothing to show.
    if (watch_ && result_.outcome != Outcome::NonFinite) watch_->on_frame(*world_, true);
    show_progress(true);
    result_.exit_status = result_.outcome == Outcome::NonFinite        ? kExitNonFinite
                          : result_.outcome == Outcome::Interrupted    ? kExitInterrupted
                          : result_.outcome == Outcome::BeyondScenario ? kExitBeyondScenario
                                                                       : kExitOk;
    note_output_errors();
    return result_;
}

void Simulation::frame() {
    runtime::World& w = *world_;
    double frame_dt = options_.dt * w.time_acceleration;
    if (options_.until) frame_dt = std::min(frame_dt, std::max(*options_.until - w.sim_time, options_.dt * 1e-6));
    step_vessels(frame_dt);
    finish_frame();
}

// The pilot's inputs and autopilots around each physics step, then every vessel's post-step.
void Simulation::step_vessels(double frame_dt) {
    runtime::World& w = *world_;
    // Time acceleration advances the same fixed steps, several per frame.
    const int substeps = std::max(1, static_cast<int>(std::ceil(frame_dt / options_.dt - kTimeEpsilon)));
    const bool timed = options_.measure_costs;
    for (int i = 0; i < substeps; ++i) {
        const double piloting = timed ? wall_seconds() : 0.0;
        pilot_->before_step();
        const double stepping = timed ? wall_seconds() : 0.0;
        physics_->step(frame_dt / substeps);
        animate_control_surfaces(w);
        const double releasing = timed ? wall_seconds() : 0.0;
        pilot_->after_step();
        if (timed) {
            costs_.pilot_s += (stepping - piloting) + (wall_seconds() - releasing);
            costs_.physics_s += releasing - stepping;
        }
    }
    const double stepped = timed ? wall_seconds() : 0.0;

    // Vessels created during the frame are appended and get their first post-step next frame.
    const size_t count = w.vessel_count();
    for (size_t i = 0; i < count && i < w.vessel_count(); ++i) {
        runtime::VesselRecord* v = w.vessel(i);
        if (!v->pending_delete && v->iface != nullptr) v->iface->clbkPostStep(w.sim_time, frame_dt, w.mjd);
    }
    if (timed) {
        ++costs_.frames;
        costs_.physics_steps += substeps;
        costs_.post_steps_s += wall_seconds() - stepped;
    }
}

// The host's own work once the vessels have stepped: deletions, the state check, events,
// telemetry and the progress line. The focus vessel's values are read once for the events
// and a row of telemetry.
void Simulation::finish_frame() {
    runtime::World& w = *world_;
    w.destroy_pending_vessels();
    if (key_held_) {  // a key pressed by the script is held for the rest of its frame
        w.keystate.fill(0);
        key_held_ = false;
    }
    if (!states_can_be_saved()) return;
    note_crashes();
    if (runtime::VesselRecord* f = focus_vessel()) {
        const bool row = telemetry_.due(w.sim_time, false);
        const unsigned groups = row ? kFlightAll : event_groups();
        const FlightData d = read_flight_data(w, *f, groups);
        check_events(d, groups, *f);
        if (row) {
            telemetry_.add(w.sim_time, d);
            note_extremes(d, *f);
            if (watch_) watch_->on_telemetry_row(w, *f);
        }
    }
    if (watch_) watch_->on_frame(w, false);
    show_progress(false);
}

// A state that is not finite, or that a scenario cannot hold, ends the run: a run that goes
// well writes only scenarios that load again.
bool Simulation::states_can_be_saved() {
    const runtime::World& w = *world_;
    auto stop = [&](Outcome outcome, const std::string& what) {
        char at[64];
        std::snprintf(at, sizeof at, "%.3f", w.sim_time);
        result_.outcome = outcome;
        result_.message = what + " at t=" + at + " s";
        return false;
    };
    if (!(std::fabs(w.mjd) <= kMaxMjd))
        return stop(Outcome::BeyondScenario, "the date MJD " + number_text(w.mjd) + " is beyond what a scenario holds");
    for (size_t i = 0; i < w.vessel_count(); ++i) {
        const runtime::VesselRecord* v = w.vessel(i);
        if (v->pending_delete) continue;
        if (!physics::state_is_finite(*v))
            return stop(Outcome::NonFinite, "vessel \"" + v->name + "\": position, velocity or attitude is not finite");
        if (const std::string beyond = beyond_scenario(w, *v); !beyond.empty())
            return stop(Outcome::BeyondScenario,
                        "vessel \"" + v->name + "\": " + beyond + " is beyond what a scenario holds");
    }
    return true;
}

void Simulation::host_frame() {
    finish_frame();
    run_due_commands();
}

void Simulation::sample_telemetry(bool force) {
    runtime::VesselRecord* f = focus_vessel();
    if (f == nullptr || !telemetry_.due(world_->sim_time, force)) return;
    const FlightData d = read_flight_data(*world_, *f);
    telemetry_.add(world_->sim_time, d);
    note_extremes(d, *f);
    if (watch_) watch_->on_telemetry_row(*world_, *f);
}

}  // namespace sim
