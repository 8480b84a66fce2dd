// Events: those the host recognises in the focus vessel's flight, and those the script
// raises; each is recorded once, at its first occurrence.
#include <algorithm>

#include "input_error.h"
#include "physics/physics.h"
#include "simulation.h"
#include "text_util.h"

namespace sim {

namespace {

// Above the lift-off clearance by this much, the gear height's lower bound decides every comparison
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
double Simulation::events_gear_height(const FlightData& d, unsigned groups, const runtime::VesselRecord& focus) const {
    if ((groups & kFlightGear) != 0) return d.gear_height_m;
    const double floor = gear_height_floor(*world_, focus);
    return floor > EventWatch::kLiftoffClearance + kGearFloorMargin ? floor : gear_height(*world_, focus);
}

// The Mach number, main engines' level and count matter only until the events that watch
// them are recorded.
unsigned Simulation::event_groups() const {
    return event_watch_.watching_engines() ? kFlightEvents : kFlightBasic;
}

void Simulation::check_events(const FlightData& d, unsigned groups, const runtime::VesselRecord& focus) {
    EventWatch::Frame f;
    f.gear_height = events_gear_height(d, groups, focus);
    f.ground_contact = d.ground_contact;
    if ((groups & kFlightEvents) != 0) {  // else no longer watched: 0
        f.mach = d.mach;
        f.num_engines = d.num_engines;
        f.main_level = d.main_level;
    }
    f.climb = dotp(focus.state.pos, focus.state.vel);
    f.crashed = crashed(focus.name);
    event_watch_.check(f, [&](StandardEvent e) { record_event(standard_events()[static_cast<size_t>(e)], focus.name); });
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
    for (const physics::CrashReport& c : physics_->crashes())
        if (c.vessel == vessel) return true;
    return false;
}

bool Simulation::known_event(const std::string& name) const {
    bool known = std::find(standard_events().begin(), standard_events().end(), name) != standard_events().end();
    for (const ScriptEntry& e : script_runner_.script().entries)
        known = known || (e.command.kind == CommandKind::Event && e.command.text == name);
    return known;
}

std::string Simulation::unknown_event_message(const std::string& name) const {
    std::string list;
    for (const auto& n : standard_events()) list += (list.empty() ? "" : ", ") + n;
    return "unknown event \"" + name + "\" (known: " + list + ", and names of the script's \"event\" commands)";
}

// The host's own events are checked every frame: once recorded, they cost a flag's look.
void Simulation::record_event(StandardEvent event, const std::string& vessel) {
    if (event_watch_.take(event)) record_event(standard_events()[static_cast<size_t>(event)], vessel);
}

void Simulation::record_event(const std::string& name, const std::string& vessel) {
    if (event_time(name)) return;  // each event is recorded once, at its first occurrence
    std::optional<FlightData> focus;
    if (const runtime::VesselRecord* f = focus_vessel()) focus = read_flight_data(*world_, *f);
    events_.push_back({name, world_->sim_time, vessel, focus});
    script_runner_.event_recorded(name, world_->sim_time);
    if (result_.outcome == Outcome::NotRun &&
        std::find(options_.stop_on.begin(), options_.stop_on.end(), name) != options_.stop_on.end()) {
        result_.outcome = Outcome::StopEvent;
        result_.stop_event = name;
    }
}

}  // namespace sim
