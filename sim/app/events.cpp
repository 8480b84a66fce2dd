// Events: those the host recognises in the focus vessel's flight, and those the script
// raises; each is recorded once, at its first occurrence.
#include <algorithm>

#include "input_error.h"
#include "physics/physics.h"
#include "simulation.h"
#include "text_util.h"

namespace sim {

namespace {

constexpr double kOnWheels = 0.05;         // m: gear height of a vessel on the ground (springs sink ~3 cm)
constexpr double kLiftoffClearance = 1.0;  // m: gear height of a vessel that has left the ground
// Above kLiftoffClearance by this much, the gear height's lower bound decides every comparison
// here as the height itself would: far more than the rounding of either figure.
constexpr double kGearFloorMargin = 1.0;  // m

}  // namespace

const std::vector<std::string>& standard_events() {
    static const std::vector<std::string> names = {"liftoff", "gear_up", "mach1",         "engine_switch",
                                                   "cutoff",  "apoapsis", "landed", "vessel_created",
                                                   "crash"};
    return names;
}

std::optional<double> Simulation::event_time(const std::string& name) const {
    for (const EventRecord& e : events_)
        if (e.name == name) return e.time;
    return std::nullopt;
}

// The events compare the gear height with a metre or less: high above that its lower bound,
// which costs less than the touchdown points' heights, decides the same.
double Simulation::events_gear_height(const FlightData& d, const runtime::VesselRecord& focus) const {
    if (focus_data_valid_ && (focus_data_groups_ & kFlightGear) != 0) return d.gear_height_m;
    const double floor = gear_height_floor(*world_, focus);
    return floor > kLiftoffClearance + kGearFloorMargin ? floor : gear_height(*world_, focus);
}

// The Mach number, main engines' level and count matter only until the events that watch
// them are recorded.
unsigned Simulation::event_groups() const {
    const auto recorded = [this](StandardEvent e) { return standard_recorded_[static_cast<size_t>(e)]; };
    const bool watching = !recorded(StandardEvent::mach1) || !recorded(StandardEvent::engine_switch) ||
                          !recorded(StandardEvent::cutoff);
    return watching ? kFlightEvents : kFlightBasic;
}

void Simulation::check_events(const FlightData& d, const runtime::VesselRecord& focus) {
    const double gear = events_gear_height(d, focus);
    // On the ground, rolling or at rest, the lowest touchdown point touches the surface; a
    // vessel rotating for take-off still rolls on its main wheels.
    if (!lifted_off_ && gear <= kOnWheels) {
        seen_ground_ = true;
    } else if (seen_ground_ && !lifted_off_ && gear > kLiftoffClearance) {
        lifted_off_ = true;
        record_event(StandardEvent::liftoff, focus.name);
    } else if (lifted_off_ && (d.ground_contact || gear <= 0.0) && !crashed(focus.name)) {
        record_event(StandardEvent::landed, focus.name);
    }
    if (d.mach < 1.0) seen_subsonic_ = true;
    else if (seen_subsonic_) record_event(StandardEvent::mach1, focus.name);
    if (last_engines_ > 0 && d.num_engines != last_engines_) record_event(StandardEvent::engine_switch, focus.name);
    if (lifted_off_ && !d.ground_contact && last_main_level_ > 0.0 && d.main_level == 0.0)
        record_event(StandardEvent::cutoff, focus.name);
    // Apoapsis: in flight, the distance from the body's centre stops growing.
    const double climb = dotp(focus.state.pos, focus.state.vel);  // r.v: > 0 while the distance grows
    const bool flying = !d.ground_contact && gear > kLiftoffClearance;
    if (flying && last_climb_ > 0.0 && climb <= 0.0) record_event(StandardEvent::apoapsis, focus.name);
    last_climb_ = flying ? climb : 0.0;
    last_engines_ = d.num_engines;
    last_main_level_ = d.main_level;
}

// A crash of any vessel is an event, named for the first vessel that crashed.
void Simulation::note_crashes() {
    const std::vector<physics::CrashReport>& crashes = physics_->crashes();
    for (; crashes_noted_ < crashes.size(); ++crashes_noted_)
        record_event(StandardEvent::crash, crashes[crashes_noted_].vessel);
}

// A wreck on the ground has not landed.
bool Simulation::crashed(const std::string& vessel) const {
    if (physics_ == nullptr) return false;
    const std::vector<physics::CrashReport>& crashes = physics_->crashes();
    return std::any_of(crashes.begin(), crashes.end(), [&](const physics::CrashReport& c) { return c.vessel == vessel; });
}

bool Simulation::known_event(const std::string& name) const {
    bool known = std::find(standard_events().begin(), standard_events().end(), name) != standard_events().end();
    for (const ScriptEntry& e : script_.entries)
        known = known || (e.command.kind == CommandKind::Event && e.command.text == name);
    return known;
}

std::string Simulation::unknown_event_message(const std::string& name) const {
    std::string list;
    for (const auto& n : standard_events()) list += (list.empty() ? "" : ", ") + n;
    return "unknown event \"" + name + "\" (known: " + list + ", and names of the script's \"event\" commands)";
}

// Each time_since condition gets the slot of its event, so that a frame compares no names.
void Simulation::resolve_event_conditions() {
    for (ScriptEntry& e : script_.entries) {
        for (Condition& c : e.conditions) {
            if (c.event.empty()) continue;
            if (!known_event(c.event)) throw InputError(at_line(script_.source, e.line, unknown_event_message(c.event)));
            const auto slot = std::find(timed_events_.begin(), timed_events_.end(), c.event);
            c.event_slot = static_cast<int>(slot - timed_events_.begin());
            if (slot == timed_events_.end()) timed_events_.push_back(c.event);
        }
    }
    timed_event_times_.assign(timed_events_.size(), std::nullopt);
}

// The host's own events are checked every frame: once recorded, they cost a flag's look.
void Simulation::record_event(StandardEvent event, const std::string& vessel) {
    const auto index = static_cast<size_t>(event);
    if (standard_recorded_[index]) return;
    standard_recorded_[index] = true;
    record_event(standard_events()[index], vessel);
}

void Simulation::record_event(const std::string& name, const std::string& vessel) {
    if (event_time(name)) return;  // each event is recorded once, at its first occurrence
    std::optional<FlightData> focus;
    if (const runtime::VesselRecord* f = focus_vessel()) focus = read_flight_data(*world_, *f);
    events_.push_back({name, world_->sim_time, vessel, focus});
    for (size_t i = 0; i < timed_events_.size(); ++i)
        if (timed_events_[i] == name) {
            timed_event_times_[i] = world_->sim_time;
            pending_stale_ = true;  // entries waiting on it join the pending ones
        }
    if (result_.outcome == Outcome::NotRun &&
        std::find(options_.stop_on.begin(), options_.stop_on.end(), name) != options_.stop_on.end()) {
        result_.outcome = Outcome::StopEvent;
        result_.stop_event = name;
    }
}

}  // namespace sim
