// What the script's commands do in a run, and what its flight conditions read.
#include <algorithm>

#include "condition_bounds.h"
#include "input_error.h"
#include "pilot/pilot.h"
#include "simulation.h"
#include "simulation_internal.h"
#include "svg_sketchpad.h"
#include "text_util.h"
#include "watch_recorder.h"

namespace sim {

namespace {

// The focus vessel's values that one pass of the script reads: it starts from those the frame
// before it read, adds each group a condition asks for once, and reads again after a command,
// which may change the state or the focus.
class PassValues {
public:
    PassValues(const runtime::World& world, const runtime::VesselRecord* focus, FlightData& data, unsigned groups,
               bool read)
        : world_(world), focus_(focus), data_(data), groups_(read ? groups : kFlightBasic), read_(read) {}
    const runtime::VesselRecord* focus() const { return focus_; }
    double value(int index) {
        const unsigned missing = flight_value_group(index) & ~groups_;
        if (!read_ || missing != 0) {
            read_flight_groups(world_, *focus_, missing, data_);
            groups_ |= missing;
            read_ = true;
        }
        return flight_value_at(data_, index);
    }
    // Where the time to apoapsis lies, bounded from the state alone, once a pass.
    const std::optional<ValueRange>& time_to_apoapsis_bounds() {
        if (!apoapsis_bounded_) {
            apoapsis_range_ = time_to_apoapsis_range(world_.earth.mu, focus_->state.pos, focus_->state.vel);
            apoapsis_bounded_ = true;
        }
        return apoapsis_range_;
    }
    void command_ran(const runtime::VesselRecord* focus) {
        focus_ = focus;
        groups_ = kFlightBasic;
        read_ = false;
        apoapsis_bounded_ = false;
    }

private:
    const runtime::World& world_;
    const runtime::VesselRecord* focus_;
    FlightData& data_;
    unsigned groups_;
    bool read_;
    std::optional<ValueRange> apoapsis_range_;
    bool apoapsis_bounded_ = false;
};

}  // namespace

// The run as the script's host for one pass: conditions read the focus vessel's values, which
// the World derives once per state; the time to apoapsis needs the orbit's shape (an atan2, a
// sin, an acos), so a bound from the state alone decides it first, which it does most frames.
class ScriptPass final : public ScriptHost {
public:
    ScriptPass(Simulation& run, runtime::VesselRecord* focus, Simulation::FocusValues& after_frame)
        : run_(run),
          values_(*run.world_, focus, after_frame.data, after_frame.groups,
                  focus != nullptr && after_frame.vessel == focus) {}
    bool has_focus() const override { return values_.focus() != nullptr; }
    bool flight_condition_holds(const Condition& c) override {
        if (c.index == kTimeValueIndex) return clock_condition_holds(c, run_.world_->sim_time, half_frame());
        if (c.index == kTimeToApoapsisValueIndex)
            if (const std::optional<ValueRange>& range = values_.time_to_apoapsis_bounds())
                if (const auto decided = condition_over_range(c, *range)) return *decided;
        return condition_holds(c, values_.value(c.index));
    }
    void run_command(const ScriptEntry& entry) override {
        run_.run_command(entry);
        values_.command_ran(run_.focus_vessel());
    }
    bool stop_requested() const override { return run_.stop_requested_; }
    double half_frame() const override { return run_.half_frame(); }

private:
    Simulation& run_;
    PassValues values_;
};

double Simulation::half_frame() const { return 0.5 * options_.dt * world_->time_acceleration; }

void Simulation::run_due_commands(FocusValues& after_frame) {
    ScriptPass pass(*this, focus_vessel(), after_frame);
    script_runner_.run_due(world_->sim_time, pass);
}

void Simulation::run_command(const ScriptEntry& entry) {
    const ScriptCommand& c = entry.command;
    runtime::World& w = *world_;
    runtime::VesselRecord* focus = focus_vessel();
    const std::string where = at_line(script_runner_.script().source, entry.line, "");
    switch (c.kind) {
        case CommandKind::Key:
            press_key(c, entry);
            break;
        case CommandKind::Pilot:
            if (focus == nullptr) break;
            if (c.surface >= 0) pilot::set_surface_input(*focus, static_cast<AIRCTRL_TYPE>(c.surface), c.value);
            else pilot::set_thruster_input(w, *focus, c.group, c.value);
            break;
        case CommandKind::Rcs:
            if (focus != nullptr && focus->iface != nullptr) focus->iface->SetAttitudeMode(c.mode);
            break;
        case CommandKind::Navmode:
            if (focus == nullptr || focus->iface == nullptr) break;
            if (c.action == Switch::On) focus->iface->ActivateNavmode(c.mode);
            else if (c.action == Switch::Off) focus->iface->DeactivateNavmode(c.mode);
            else focus->iface->ToggleNavmode(c.mode);
            break;
        case CommandKind::Input:
            if (!w.answer_input_box(c.text)) warn(where + "no input box is open for \"" + c.text + "\"");
            break;
        case CommandKind::Warp:
            w.time_acceleration = c.value;
            break;
        case CommandKind::Focus:
            if (runtime::VesselRecord* v = w.find_vessel(c.text); v != nullptr && !v->pending_delete)
                w.focus = v;
            else
                warn(where + "no vessel \"" + c.text + "\" to focus");
            break;
        case CommandKind::Save:
            save_named(c.text);
            break;
        case CommandKind::Hud: {
            if (const std::optional<std::string> error = outputs_.add_hud_frame(c.text, draw_hud())) warn(*error);
            break;
        }
        case CommandKind::Event:
            record_event(c.text, focus != nullptr ? focus->name : "");
            break;
        case CommandKind::Stop:
            stop_requested_ = true;
            break;
    }
}

void Simulation::press_key(const ScriptCommand& c, const ScriptEntry& entry) {
    runtime::VesselRecord* focus = focus_vessel();
    if (focus == nullptr || focus->iface == nullptr) {
        warn(at_line(script_runner_.script().source, entry.line, "no focus vessel for the key"));
        return;
    }
    // The key-state buffer holds this key (and its modifiers) for the rest of the frame.
    auto& ks = world_->keystate;
    ks.fill(0);
    key_held_ = true;
    ks[c.scan_code] = static_cast<char>(0x80);
    if (c.shift) ks[OAPI_KEY_LSHIFT] = static_cast<char>(0x80);
    if (c.ctrl) ks[OAPI_KEY_LCONTROL] = static_cast<char>(0x80);
    const int consumed = focus->iface->clbkConsumeBufferedKey(c.scan_code, true, ks.data());
    if (consumed != 0 && c.scan_code == OAPI_KEY_G && !c.shift && !c.ctrl && event_watch_.lifted_off())
        record_event(StandardEvent::gear_up, focus->name);
}

void Simulation::save_named(const std::string& name) {
    if (const std::optional<std::string> error = outputs_.save_scenario(name, scenario_text())) warn(*error);
}

void Simulation::warn(const std::string& text) {
    warnings_.push_back(text);
    if (options_.progress) std::fputc('\n', stderr);
    std::fprintf(stderr, "warning: %s\n", text.c_str());
}

std::string Simulation::draw_hud() const {
    const HUDPAINTSPEC hps = hud_paint_spec();
    SvgSketchpad skp(hps.W, hps.H);
    // The host's own items: a boresight cross at the centre and the clock in a corner.
    skp.Line(hps.CX - hps.Markersize, hps.CY, hps.CX - hps.Markersize / 3, hps.CY);
    skp.Line(hps.CX + hps.Markersize / 3, hps.CY, hps.CX + hps.Markersize, hps.CY);
    skp.Line(hps.CX, hps.CY + hps.Markersize / 3, hps.CX, hps.CY + hps.Markersize);
    char clock[48];
    const int n = std::snprintf(clock, sizeof clock, "T+%.2f s", world_->sim_time);
    skp.Text(8, 8, clock, n);
    if (runtime::VesselRecord* f = focus_vessel()) draw_focus_hud(*world_, *f, skp);
    return skp.svg();
}

bool Simulation::script_can_stop() const { return script_runner_.can_stop(); }

}  // namespace sim
