// The script runner: the commands whose time or conditions have come, run in the order of
// the script.
#include "script_runner.h"

#include <algorithm>

#include "input_error.h"
#include "simulation_internal.h"
#include "text_util.h"

namespace sim {

void ScriptRunner::load(Script script) {
    script_ = std::move(script);
    done_.assign(script_.entries.size(), false);
    timed_events_.clear();
    timed_event_times_.clear();
    pending_stale_ = true;
}

bool ScriptRunner::can_stop() const {
    for (const ScriptEntry& e : script_.entries)
        if (e.command.kind == CommandKind::Stop) return true;
    return false;
}

void ScriptRunner::throw_unknown_event(const ScriptEntry& e, const std::string& message) const {
    throw InputError(at_line(script_.source, e.line, message));
}

void ScriptRunner::event_recorded(const std::string& name, double time) {
    for (size_t i = 0; i < timed_events_.size(); ++i)
        if (timed_events_[i] == name && !timed_event_times_[i]) {
            timed_event_times_[i] = time;
            pending_stale_ = true;
        }
}

// The entries not yet run are kept in script order, so that a frame looks at nothing else;
// an entry with a time_since condition on an event not yet recorded cannot be due, and joins
// the list when that event is recorded.
void ScriptRunner::index_pending_entries() {
    pending_.clear();
    for (size_t i = 0; i < script_.entries.size(); ++i)
        if (!done_[i] && !waits_on_unrecorded_event(script_.entries[i])) pending_.push_back(i);
    pending_stale_ = false;
}

bool ScriptRunner::waits_on_unrecorded_event(const ScriptEntry& e) const {
    for (const Condition& c : e.conditions)
        if (c.event_slot >= 0 && !timed_event_times_[static_cast<size_t>(c.event_slot)]) return true;
    return false;
}

size_t ScriptRunner::pending_after(size_t index) {
    index_pending_entries();
    return static_cast<size_t>(std::upper_bound(pending_.begin(), pending_.end(), index) - pending_.begin());
}

}  // namespace sim
