// Shared by the headless host's tests: running a scenario text in the build's run tree.
#pragma once

#include <string>

#include "input_error.h"
#include "simulation.h"

namespace sim_test {

inline sim::RunOptions options_for(const std::string& scenario, const std::string& script = "") {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    opt.scenario_text = scenario;
    opt.scenario_path = "test.scn";
    opt.script_text = script;
    if (!script.empty()) opt.script_path = "test.txt";
    return opt;
}

// The message of the InputError that loading raises, or "" when it loads.
inline std::string load_error(const sim::RunOptions& opt) {
    try {
        sim::Simulation s(opt);
        s.load();
    } catch (const sim::InputError& e) {
        return e.what();
    }
    return "";
}

inline std::string ships(const std::string& blocks) {
    return "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 60000.5\nEND_ENVIRONMENT\nBEGIN_SHIPS\n" + blocks +
           "END_SHIPS\n";
}

}  // namespace sim_test
