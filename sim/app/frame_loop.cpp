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
    forget_focus_data();
    if (runtime::VesselRecord* f = focus_vessel()) check_events(focus_data(kFlightEvents), *f);
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
    forget_focus_data();
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
// telemetry and the progress line. The focus vessel's values are read once for all of them.
void Simulation::finish_frame() {
    runtime::World& w = *world_;
    w.destroy_pending_vessels();
    if (key_held_) {  // a key pressed by the script is held for the rest of its frame
        w.keystate.fill(0);
        key_held_ = false;
    }
    if (!states_can_be_saved()) return;
    note_crashes();
    if (runtime::VesselRecord* f = focus_vessel())
        check_events(focus_data(telemetry_due(false) ? kFlightAll : event_groups()), *f);
    sample_telemetry(false);
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
    forget_focus_data();
    finish_frame();
    run_due_commands();
}

// Each group is read at most once a frame, when something first asks for it; the fields of
// groups not read keep older values, which nothing reads.
const FlightData& Simulation::focus_data(unsigned groups) {
    if (!focus_data_valid_) {
        read_flight_groups(*world_, *focus_vessel(), groups, focus_data_);
        focus_data_groups_ = groups;
        focus_data_valid_ = true;
    } else if (const unsigned missing = groups & ~focus_data_groups_; missing != 0) {
        read_flight_groups(*world_, *focus_vessel(), missing, focus_data_);
        focus_data_groups_ |= missing;
    }
    return focus_data_;
}

bool Simulation::focus_has(unsigned groups) const {
    return focus_data_valid_ && (focus_data_groups_ & groups) == groups;
}

void Simulation::forget_focus_data() {
    focus_data_valid_ = false;
    apoapsis_range_valid_ = false;
    kept_altitude_valid_ = false;
}

bool Simulation::telemetry_due(bool force) const {
    const double t = world_->sim_time;
    if (t == last_sample_time_) return false;
    return force || t + kTimeEpsilon >= next_sample_ * options_.telemetry_interval;
}

void Simulation::sample_telemetry(bool force) {
    if (focus_vessel() == nullptr || !telemetry_due(force)) return;
    const double t = world_->sim_time;
    const FlightData& d = focus_data(kFlightAll);
    telemetry_.push_back(telemetry_row(d));
    note_extremes(d, *focus_vessel());
    if (watch_) watch_->on_telemetry_row(*world_, *focus_vessel());
    last_sample_time_ = t;
    next_sample_ = std::floor((t + kTimeEpsilon) / options_.telemetry_interval) + 1.0;
}

}  // namespace sim
