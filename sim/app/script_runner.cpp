// The script runner: the commands whose time or conditions have come, run in the order of
// the script.
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

// The entries not yet run are kept in script order, so that a frame looks at nothing else;
// an entry with a time_since condition on an event not yet recorded cannot be due, and joins
// the list when that event is recorded.
void Simulation::index_pending_entries() {
    pending_entries_.clear();
    for (size_t i = 0; i < script_.entries.size(); ++i)
        if (!entry_done_[i] && !waits_on_unrecorded_event(script_.entries[i])) pending_entries_.push_back(i);
    pending_stale_ = false;
}

bool Simulation::waits_on_unrecorded_event(const ScriptEntry& e) const {
    for (const Condition& c : e.conditions)
        if (c.event_slot >= 0 && !timed_event_times_[static_cast<size_t>(c.event_slot)]) return true;
    return false;
}

bool Simulation::entry_due(const ScriptEntry& e, const runtime::VesselRecord* focus) {
    if (e.time) return world_->sim_time >= *e.time - kTimeEpsilon;
    if (focus == nullptr) return false;
    for (const Condition& c : e.conditions) {
        if (c.event_slot >= 0) {
            const std::optional<double>& at = timed_event_times_[static_cast<size_t>(c.event_slot)];
            if (!at || !condition_holds(c, world_->sim_time - *at)) return false;
        } else if (!flight_condition_holds(c, *focus)) {
            return false;
        }
    }
    return true;
}

// A condition reads only its own value's group. The time to apoapsis needs the orbit's
// shape (an atan2, a sin, an acos): a bound from the state alone decides most frames. The
// bound and the altitude are computed at most once a frame, for every condition on them.
bool Simulation::flight_condition_holds(const Condition& c, const runtime::VesselRecord& focus) {
    static const int time_to_apoapsis = flight_value_index("time_to_apoapsis");
    static const int altitude = flight_value_index("altitude");
    if (c.index == time_to_apoapsis && !focus_has(kFlightOrbit)) {
        if (!apoapsis_range_valid_) {
            apoapsis_range_ = time_to_apoapsis_range(world_->earth.mu, focus.state.pos, focus.state.vel);
            apoapsis_range_valid_ = true;
        }
        if (apoapsis_range_)
            if (const auto decided = condition_over_range(c, *apoapsis_range_)) return *decided;
    } else if (c.index == altitude && !focus.pins.altitude) {
        if (!kept_altitude_valid_) {
            kept_altitude_ = world_->altitude(focus);
            kept_altitude_valid_ = true;
        }
        return condition_holds(c, kept_altitude_);
    }
    return condition_holds(c, flight_value_at(focus_data(flight_value_group(c.index)), c.index));
}

// One pass over the pending entries in script order, as a rescan of the whole script would
// make: a command that records an event lets the entries after it that wait on the event be
// checked in the same pass.
void Simulation::run_due_commands() {
    if (pending_stale_) index_pending_entries();
    if (pending_entries_.empty()) return;
    const runtime::VesselRecord* focus = focus_vessel();
    size_t k = 0;
    while (k < pending_entries_.size() && !stop_requested_) {
        const size_t i = pending_entries_[k];
        const ScriptEntry& e = script_.entries[i];
        if (!entry_due(e, focus)) {
            ++k;
            continue;
        }
        entry_done_[i] = true;
        run_command(e);
        forget_focus_data();  // the command may have changed the state or the focus
        focus = focus_vessel();
        index_pending_entries();
        k = static_cast<size_t>(std::upper_bound(pending_entries_.begin(), pending_entries_.end(), i) -
                                pending_entries_.begin());
    }
}

void Simulation::run_command(const ScriptEntry& entry) {
    const ScriptCommand& c = entry.command;
    runtime::World& w = *world_;
    runtime::VesselRecord* focus = focus_vessel();
    const std::string where = at_line(script_.source, entry.line, "");
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
            const std::string svg = draw_hud();
            hud_frames_[c.text] = svg;
            write_output(c.text + output_extension(c.kind), svg);
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
        warn(at_line(script_.source, entry.line, "no focus vessel for the key"));
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
    if (consumed != 0 && c.scan_code == OAPI_KEY_G && !c.shift && !c.ctrl && lifted_off_)
        record_event(StandardEvent::gear_up, focus->name);
}

void Simulation::save_named(const std::string& name) {
    const std::string text = scenario_text();
    saved_scenarios_[name] = text;
    write_output(name + output_extension(CommandKind::Save), text);
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

bool Simulation::script_can_stop() const {
    for (const ScriptEntry& e : script_.entries)
        if (e.command.kind == CommandKind::Stop) return true;
    return false;
}

}  // namespace sim
