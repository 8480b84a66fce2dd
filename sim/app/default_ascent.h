// The built-in default ascent: the runway scenario and its script, compiled into korvan-sim
// from the same files the run tree ships in Scenarios/Korvan/ (Runway.scn, ascent.txt), so a
// run with no scenario and a run of the shipped files fly the same flight.
#pragma once

#include "simulation.h"

namespace sim {

// Names under which the built-in texts appear in messages and in summary.json.
inline constexpr const char* kDefaultScenarioName = "built-in Scenarios/Korvan/Runway.scn";
inline constexpr const char* kDefaultScriptName = "built-in Scenarios/Korvan/ascent.txt";

const char* default_scenario_text();
const char* default_script_text();

// Makes a run fly the built-in scenario, and the built-in script unless one is given.
inline void use_default_ascent(RunOptions& opt) {
    opt.scenario_path.clear();
    opt.scenario_text = default_scenario_text();
    opt.scenario_name = kDefaultScenarioName;
    if (opt.script_path.empty() && opt.script_text.empty()) {
        opt.script_text = default_script_text();
        opt.script_name = kDefaultScriptName;
    }
}

}  // namespace sim
