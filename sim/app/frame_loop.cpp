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
    if (outputs_.writes_files() && (options_.write_acmi || options_.write_czml || options_.write_replay))
        watch_ = std::make_unique<WatchRecorder>(options_.track_interval);
    FocusValues values;
    read_focus_values(kFlightEvents, values);
    if (values.vessel != nullptr) check_events(values.data, values.groups, *values.vessel);
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
        run_due_commands(values);
        if (stop_requested_) {
            result_.outcome = Outcome::ScriptStop;
            break;
        }
        frame(values);
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

void Simulation::frame(FocusValues& after_frame) {
    runtime::World& w = *world_;
    double frame_dt = options_.dt * w.time_acceleration;
    if (options_.until) frame_dt = std::min(frame_dt, std::max(*options_.until - w.sim_time, options_.dt * 1e-6));
    step_vessels(frame_dt);
    finish_frame(after_frame);
}

// The pilot's inputs and autopilots around each physics step, then every vessel's post-step.
void Simulation::step_vessels(double frame_dt) {
    runtime::World& w = *world_;
    // Time acceleration advances the same fixed steps, several per frame; a frame of one step
    // or less (most frames) is one.
    const int substeps =
        frame_dt <= options_.dt ? 1 : std::max(1, static_cast<int>(std::ceil(frame_dt / options_.dt - kTimeEpsilon)));
    if (options_.measure_costs) {
        step_vessels_timed(frame_dt, substeps);
        return;
    }
    for (int i = 0; i < substeps; ++i) {
        pilot_->before_step();
        physics_->step(frame_dt / substeps);
        animate_control_surfaces(w);
        pilot_->after_step();
    }
    post_step_vessels(frame_dt);
}

// As step_vessels, with the wall time of each part added to the frame costs.
void Simulation::step_vessels_timed(double frame_dt, int substeps) {
    for (int i = 0; i < substeps; ++i) {
        const double piloting = wall_seconds();
        pilot_->before_step();
        const double stepping = wall_seconds();
        physics_->step(frame_dt / substeps);
        animate_control_surfaces(*world_);
        const double releasing = wall_seconds();
        pilot_->after_step();
        costs_.pilot_s += (stepping - piloting) + (wall_seconds() - releasing);
        costs_.physics_s += releasing - stepping;
    }
    const double stepped = wall_seconds();
    post_step_vessels(frame_dt);
    ++costs_.frames;
    costs_.physics_steps += substeps;
    costs_.post_steps_s += wall_seconds() - stepped;
}

// Vessels created during the frame are appended and get their first post-step next frame.
void Simulation::post_step_vessels(double frame_dt) {
    runtime::World& w = *world_;
    const size_t count = w.vessel_count();
    for (size_t i = 0; i < count && i < w.vessel_count(); ++i) {
        runtime::VesselRecord* v = w.vessel(i);
        if (!v->pending_delete && v->iface != nullptr) v->iface->clbkPostStep(w.sim_time, frame_dt, w.mjd);
    }
}

// The host's own work once the vessels have stepped: deletions, the state check, events,
// telemetry and the progress line. The focus vessel's values are read once for the events,
// a row of telemetry and the script pass that follows.
void Simulation::finish_frame(FocusValues& after_frame) {
    runtime::World& w = *world_;
    after_frame.vessel = nullptr;
    w.destroy_pending_vessels();
    if (key_held_) {  // a key pressed by the script is held for the rest of its frame
        w.keystate.fill(0);
        key_held_ = false;
    }
    if (!states_can_be_saved()) return;
    note_crashes();
    const bool row = telemetry_.due(w.sim_time, false);
    read_focus_values(row ? kFlightAll : event_groups(), after_frame);
    if (runtime::VesselRecord* f = after_frame.vessel) {
        const FlightData& d = after_frame.data;
        check_events(d, after_frame.groups, *f);
        if (row) {
            telemetry_.add(w.sim_time, d);
            note_extremes(d, *f);
            if (watch_) watch_->on_telemetry_row(w, *f);
        }
    }
    if (watch_) watch_->on_frame(w, false);
    show_progress(false);
}

// The groups given of the focus vessel (none without one); the other fields keep what they
// held and mean nothing.
void Simulation::read_focus_values(unsigned groups, FocusValues& values) const {
    values.vessel = focus_vessel();
    if (values.vessel == nullptr) return;
    values.groups = groups;
    read_flight_groups(*world_, *values.vessel, groups, values.data);
}

namespace {

// Whether a flying vessel's state is finite and every key of it would load, from comparisons
// alone: a position, velocity and rotation within a scenario's limits are finite, and a sum
// of the attitude's entries is finite only if each is. False says only that the full check
// must decide.
bool flies_within_scenario(const runtime::World& w, const runtime::VesselRecord& v) {
    const MATRIX3& R = v.state.R;
    const double sum = R.m11 + R.m12 + R.m13 + R.m21 + R.m22 + R.m23 + R.m31 + R.m32 + R.m33;
    return !v.state.landed && std::isfinite(sum) && flight_keys_within_scenario(w, v.state);
}

}  // namespace

// A state that is not finite, or that a scenario cannot hold, ends the run: a run that goes
// well writes only scenarios that load again. The check is a few comparisons a vessel; the
// message is written only when it fails.
bool Simulation::states_can_be_saved() {
    const runtime::World& w = *world_;
    if (!(std::fabs(w.mjd) <= kMaxMjd))
        return stop_unsaveable(Outcome::BeyondScenario,
                               "the date MJD " + number_text(w.mjd) + " is beyond what a scenario holds");
    for (size_t i = 0; i < w.vessel_count(); ++i) {
        const runtime::VesselRecord* v = w.vessel(i);
        if (v->pending_delete || flies_within_scenario(w, *v)) continue;
        if (!physics::state_is_finite(*v))
            return stop_unsaveable(Outcome::NonFinite,
                                   "vessel \"" + v->name + "\": position, velocity or attitude is not finite");
        if (!within_scenario(w, *v))
            return stop_unsaveable(Outcome::BeyondScenario, "vessel \"" + v->name + "\": " + beyond_scenario(w, *v) +
                                                                 " is beyond what a scenario holds");
    }
    return true;
}

bool Simulation::stop_unsaveable(Outcome outcome, const std::string& what) {
    char at[64];
    std::snprintf(at, sizeof at, "%.3f", world_->sim_time);
    result_.outcome = outcome;
    result_.message = what + " at t=" + at + " s";
    return false;
}

void Simulation::host_frame() {
    FocusValues values;
    finish_frame(values);
    run_due_commands(values);
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
