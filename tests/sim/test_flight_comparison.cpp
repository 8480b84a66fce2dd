// Two runs of one flight compared from their summaries: the comparison that holds the
// Windows build's default ascent to the Linux build's. It must pass what floating-point
// libraries may change and catch every difference that makes another flight.
#include <gtest/gtest.h>

#include <functional>

#include "default_ascent.h"
#include "flight_comparison.h"
#include "input_error.h"
#include "sim_test_util.h"

namespace {

using nlohmann::json;

// The summary of the default ascent's first seconds: lift-off and gear up.
json flown_summary() {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    opt.out_dir.clear();
    sim::use_default_ascent(opt);
    opt.until = 12.0;
    sim::Simulation s(opt);
    s.run();
    return json::parse(s.summary_json());
}

struct Change {
    const char* what;
    std::function<void(json&)> apply;
    bool same_flight;
    const char* named;  // the finding that names the difference
};

TEST(FlightComparison, PassesWhatRoundingMayChangeAndCatchesAnotherFlight) {
    const json flown = flown_summary();
    ASSERT_EQ(flown["events"].size(), 2u);
    auto add = [](const char* key, double delta) {
        return [key, delta](json& s) { s["final"]["focus"][key] = s["final"]["focus"][key].get<double>() + delta; };
    };
    const Change changes[] = {
        {"nothing", [](json&) {}, true, ""},
        {"apoapsis within 0.1 km", add("apoapsis", 0.09), true, ""},
        {"apoapsis beyond 0.1 km", add("apoapsis", 0.11), false, "final apoapsis"},
        {"periapsis beyond 0.1 km", add("periapsis", -0.11), false, "final periapsis"},
        {"inclination within 0.01 deg", add("inclination", 0.009), true, ""},
        {"inclination beyond 0.01 deg", add("inclination", -0.011), false, "final inclination"},
        {"an event a frame later", [](json& s) { s["events"][1]["time_s"] = s["events"][1]["time_s"].get<double>() + 0.01; },
         true, ""},
        {"events swapped", [](json& s) { std::swap(s["events"][0], s["events"][1]); }, false, "events"},
        {"an event missing", [](json& s) { s["events"].erase(1); }, false, "events"},
        {"an event of another vessel", [](json& s) { s["events"][0]["vessel"] = "Korvan2"; }, false, "events"},
        {"another outcome", [](json& s) { s["outcome"] = "nonfinite_state"; }, false, "outcome"},
        {"ended a frame later", [](json& s) { s["final"]["time_s"] = s["final"]["time_s"].get<double>() + 0.01; },
         false, "end time"},
        {"no apoapsis", [](json& s) { s["final"]["focus"]["apoapsis"] = nullptr; }, false, "final apoapsis"},
        {"another focus vessel", [](json& s) { s["final"]["focus"]["name"] = "Korvan2"; }, false, "focus vessel"},
    };
    for (const Change& c : changes) {
        json changed = flown;
        c.apply(changed);
        // Either run may be the first.
        for (const bool changed_first : {false, true}) {
            const sim::FlightComparison result = changed_first ? sim::compare_flights(changed, flown, "b", "a")
                                                               : sim::compare_flights(flown, changed, "a", "b");
            EXPECT_EQ(result.same(), c.same_flight) << c.what;
            if (!c.same_flight) {
                ASSERT_EQ(result.differences.size(), 1u) << c.what;
                EXPECT_EQ(result.differences[0].rfind(c.named, 0), 0u) << c.what << ": " << result.differences[0];
            }
        }
    }

    json both_escaping = flown;
    both_escaping["final"]["focus"]["apoapsis"] = nullptr;
    EXPECT_TRUE(sim::compare_flights(both_escaping, both_escaping, "a", "b").same());

    json no_final = flown;
    no_final.erase("final");
    try {
        sim::compare_flights(flown, no_final, "linux/summary.json", "windows/summary.json");
        ADD_FAILURE() << "a summary without its final state compared";
    } catch (const sim::InputError& e) {
        EXPECT_STREQ(e.what(), "windows/summary.json: not a run summary (no \"final\")");
    }
}

}  // namespace
