// The script runner alone, against a host that only records: entries run once, in script
// order, when their time or conditions come; an entry waiting on an event runs in the same
// pass as the command that records the event, and never before it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script.h"
#include "script_runner.h"

namespace {

struct RecordingHost : sim::ScriptHost {
    sim::ScriptRunner* runner = nullptr;
    double time = 0.0, altitude = 0.0;
    std::vector<std::string> ran;
    bool has_focus() const override { return true; }
    bool flight_condition_holds(const sim::Condition& c) override { return sim::condition_holds(c, altitude); }
    void run_command(const sim::ScriptEntry& e) override {
        ran.push_back(std::to_string(e.line) + "@" + std::to_string(int(time)));
        if (e.command.kind == sim::CommandKind::Event) runner->event_recorded(e.command.text, time);
    }
    bool stop_requested() const override { return false; }
    double half_frame() const override { return 0.0; }
};

TEST(ScriptRunner, RunsEachEntryOnceInScriptOrderWhenItsTimeConditionOrEventComes) {
    sim::ScriptRunner runner;
    runner.load(sim::parse_script("when time_since up>2 event late\n"     // line 1
                                  "t=3 event clock\n"                      // line 2
                                  "when altitude>100 event up\n"           // line 3
                                  "when time_since up>=0 event with_up\n"  // line 4
                                  "when time_since clock>=0 event after\n",  // line 5
                                  "test.txt"));
    runner.resolve_events([](const std::string&) { return true; }, [](const std::string& n) { return n; });
    RecordingHost host;
    host.runner = &runner;
    for (int t = 0; t <= 8; ++t) {
        host.time = t;
        host.altitude = t >= 5 ? 150.0 : 0.0;
        runner.run_due(t, host);
    }
    // At 3 s the clock entry runs, and the entry after it that waits on it in the same pass;
    // at 5 s the climb records "up", and line 4 runs then, while line 1 waits its 2 s more.
    EXPECT_EQ(host.ran, (std::vector<std::string>{"2@3", "5@3", "3@5", "4@5", "1@8"}));
    for (size_t i = 0; i < runner.script().entries.size(); ++i) EXPECT_TRUE(runner.done(i));
}

}  // namespace
