// The script runner: which entries of a run's script are due, run in script order, each once.
// It owns the script, which entries have run, the entries still pending and the times of the
// events that time_since conditions wait on; what a command does and what a flight condition
// reads are its host's (the run's).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "script.h"
#include "simulation_internal.h"

namespace sim {

// What the runner asks of the run it belongs to.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    virtual bool has_focus() const = 0;  // conditions are checked on the focus vessel
    virtual bool flight_condition_holds(const Condition& c) = 0;
    virtual void run_command(const ScriptEntry& entry) = 0;  // may record events, stop the run
    virtual bool stop_requested() const = 0;
    virtual double half_frame() const = 0;  // s: how near a clock condition's "=" must come
};

class ScriptRunner {
public:
    void load(Script script);
    const Script& script() const { return script_; }
    bool done(size_t entry) const { return done_[entry]; }
    bool can_stop() const;  // the script has a "stop" line

    // The events time_since conditions name, each given a slot so that a frame compares no
    // names; `unknown` is the message for an event `known` does not know (thrown as
    // InputError with the entry's line).
    template <class Known, class Unknown>
    void resolve_events(const Known& known, const Unknown& unknown);
    // An event happened at `time`: the entries waiting on it join the pending ones.
    void event_recorded(const std::string& name, double time);

    // One pass over the pending entries in script order at simulation time `time`, as a rescan
    // of the whole script would make: a command that records an event lets the entries after
    // it that wait on the event be checked in the same pass. Host: a ScriptHost, whose calls
    // are direct where its class is final.
    template <class Host>
    void run_due(double time, Host& host);

private:
    void index_pending_entries();
    // After the entry at `index` ran: the position in the new pending list to go on from.
    size_t pending_after(size_t index);
    bool waits_on_unrecorded_event(const ScriptEntry& e) const;
    template <class Host>
    bool entry_due(const ScriptEntry& e, double time, double half_frame, Host& host) const;
    void throw_unknown_event(const ScriptEntry& e, const std::string& message) const;

    Script script_;
    std::vector<bool> done_;
    std::vector<size_t> pending_;  // entries not yet run nor waiting on an event, in script order
    bool pending_stale_ = true;    // an event they may wait on was recorded since
    std::vector<std::string> timed_events_;
    std::vector<std::optional<double>> timed_event_times_;
};

template <class Known, class Unknown>
void ScriptRunner::resolve_events(const Known& known, const Unknown& unknown) {
    for (ScriptEntry& e : script_.entries) {
        for (Condition& c : e.conditions) {
            if (c.event.empty()) continue;
            if (!known(c.event)) throw_unknown_event(e, unknown(c.event));
            size_t slot = 0;
            while (slot < timed_events_.size() && timed_events_[slot] != c.event) ++slot;
            if (slot == timed_events_.size()) timed_events_.push_back(c.event);
            c.event_slot = static_cast<int>(slot);
        }
    }
    timed_event_times_.assign(timed_events_.size(), std::nullopt);
    pending_stale_ = true;
}

template <class Host>
bool ScriptRunner::entry_due(const ScriptEntry& e, double time, double half_frame, Host& host) const {
    if (e.time) return time >= *e.time - kTimeEpsilon;
    if (!host.has_focus()) return false;
    for (const Condition& c : e.conditions) {
        if (c.event_slot >= 0) {
            const std::optional<double>& at = timed_event_times_[static_cast<size_t>(c.event_slot)];
            if (!at || !clock_condition_holds(c, time - *at, half_frame)) return false;
        } else if (!host.flight_condition_holds(c)) {
            return false;
        }
    }
    return true;
}

template <class Host>
void ScriptRunner::run_due(double time, Host& host) {
    if (pending_stale_) index_pending_entries();
    double half_frame = host.half_frame();  // a command may change it (warp)
    size_t k = 0;
    while (k < pending_.size() && !host.stop_requested()) {
        const size_t i = pending_[k];
        const ScriptEntry& e = script_.entries[i];
        if (!entry_due(e, time, half_frame, host)) {
            ++k;
            continue;
        }
        done_[i] = true;
        host.run_command(e);
        half_frame = host.half_frame();
        k = pending_after(i);
    }
}

}  // namespace sim
