// The host's own events in the focus vessel's flight. The watch owns what it has seen of the
// flight so far (the ground, the lift-off, subsonic flight, the last engine count, main level
// and climb) and which events are recorded, so that each is reported once; the run records
// what it reports.
#pragma once

#include <array>
#include <cstddef>

namespace sim {

// The events the host recognises by itself (script "event NAME" lines add their own), named
// by standard_events() in this order.
enum class StandardEvent : size_t {
    liftoff,
    gear_up,
    mach1,
    engine_switch,
    cutoff,
    apoapsis,
    landed,
    vessel_created,
    crash
};
constexpr size_t kStandardEventCount = 9;

class EventWatch {
public:
    static constexpr double kOnWheels = 0.05;         // m: gear height on the ground (springs sink ~3 cm)
    static constexpr double kLiftoffClearance = 1.0;  // m: gear height of a vessel that has left the ground

    // What a frame's check reads of the focus vessel.
    struct Frame {
        double gear_height = 0.0;  // m: the lowest touchdown point above the ground
        bool ground_contact = false;
        double mach = 0.0;
        int num_engines = 0;
        double main_level = 0.0;
        double climb = 0.0;  // r.v: > 0 while the distance from the body's centre grows
        bool crashed = false;  // a wreck does not land
    };

    // Calls report(event) for each standard event the frame shows that is not yet recorded,
    // in a fixed order, and marks it recorded.
    template <class Report>
    void check(const Frame& f, Report report);
    // True the first time an event is taken (and marks it recorded); false after.
    bool take(StandardEvent e);
    bool recorded(StandardEvent e) const { return recorded_[static_cast<size_t>(e)]; }
    bool lifted_off() const { return lifted_off_; }
    // Whether the events that need the Mach number and the main engines are still to come.
    bool watching_engines() const {
        return !recorded(StandardEvent::mach1) || !recorded(StandardEvent::engine_switch) ||
               !recorded(StandardEvent::cutoff);
    }

private:
    std::array<bool, kStandardEventCount> recorded_{};
    bool seen_ground_ = false;
    bool lifted_off_ = false;
    bool seen_subsonic_ = false;
    int last_engines_ = -1;
    double last_main_level_ = 0.0;
    double last_climb_ = 0.0;
};

inline bool EventWatch::take(StandardEvent e) {
    bool& r = recorded_[static_cast<size_t>(e)];
    if (r) return false;
    r = true;
    return true;
}

template <class Report>
void EventWatch::check(const Frame& f, Report report) {
    const auto happen = [&](StandardEvent e) {
        if (take(e)) report(e);
    };
    // On the ground, rolling or at rest, the lowest touchdown point touches the surface; a
    // vessel rotating for take-off still rolls on its main wheels.
    if (!lifted_off_ && f.gear_height <= kOnWheels) {
        seen_ground_ = true;
    } else if (seen_ground_ && !lifted_off_ && f.gear_height > kLiftoffClearance) {
        lifted_off_ = true;
        happen(StandardEvent::liftoff);
    } else if (lifted_off_ && (f.ground_contact || f.gear_height <= 0.0) && !f.crashed) {
        happen(StandardEvent::landed);
    }
    if (f.mach < 1.0) seen_subsonic_ = true;
    else if (seen_subsonic_) happen(StandardEvent::mach1);
    if (last_engines_ > 0 && f.num_engines != last_engines_) happen(StandardEvent::engine_switch);
    if (lifted_off_ && !f.ground_contact && last_main_level_ > 0.0 && f.main_level == 0.0)
        happen(StandardEvent::cutoff);
    // Apoapsis: in flight, the distance from the body's centre stops growing.
    const bool flying = !f.ground_contact && f.gear_height > kLiftoffClearance;
    if (flying && last_climb_ > 0.0 && f.climb <= 0.0) happen(StandardEvent::apoapsis);
    last_climb_ = flying ? f.climb : 0.0;
    last_engines_ = f.num_engines;
    last_main_level_ = f.main_level;
}

}  // namespace sim
