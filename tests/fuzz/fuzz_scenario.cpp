// A whole scenario file through the headless host's reader (structure, environment, focus,
// host keys, vessel blocks, the vessels' own keys and items), then a few frames of flight in
// which the focus vessel opens its doors and presses the payload key three times.
//
// Oracles: a scenario the reader accepts never flies into a non-finite state (values that
// would are refused with file and line); the scenario the run saves loads again, and
// load-save is a fixed point from the second save on.
#include <string>

#include "fuzz_support.h"
#include "input_error.h"
#include "simulation.h"

namespace {

constexpr double kFlight = 0.1;     // s of flight
constexpr double kFrameStep = 0.01; // s
constexpr const char* kKeys = "t=0 key K\nt=0.02 key J\nt=0.04 key J\nt=0.06 key J\n";

sim::RunOptions options_for(const std::string& scenario, const std::string& script) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    opt.scenario_text = scenario;
    opt.scenario_name = "fuzz.scn";
    opt.script_text = script;
    opt.script_name = "keys.txt";
    opt.dt = kFrameStep;
    opt.until = kFlight;
    opt.change_directory = false;
    return opt;
}

// The scenario as saved right after loading it; the text must load.
std::string saved_after_loading(const std::string& text) {
    sim::Simulation s(options_for(text, ""));
    try {
        s.load();
    } catch (const sim::InputError& e) {
        fuzz::fail(std::string("a saved scenario does not load: ") + e.what() + "\n" + text);
    }
    return s.scenario_text();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::keep_flight_modules_loaded();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::text_of(data, size);
    if (text.empty()) return 0;  // no scenario text stands for the scenario file's path
    std::string saved;
    {
        sim::Simulation flown(options_for(text, kKeys));
        try {
            flown.load();
        } catch (const sim::InputError& e) {
            fuzz::check(std::string(e.what()).rfind("fuzz.scn:", 0) == 0, std::string("no file named: ") + e.what());
            return 0;
        }
        const sim::RunResult r = flown.run();
        fuzz::check(r.outcome != sim::Outcome::NonFinite, "an accepted scenario flew into a non-finite state: " +
                                                              r.message + "\n" + text);
        saved = flown.scenario_text();
    }
    // Loading restarts the Korvan's mechanisms (a state at rest resumes moving toward its
    // end), so the block settles after one load: from the second save on, saves agree.
    const std::string saved_once = saved_after_loading(saved);
    const std::string saved_twice = saved_after_loading(saved_once);
    fuzz::check(saved_twice == saved_once,
                "a saved scenario saves differently when loaded again:\n" + saved_once + "---\n" + saved_twice);
    return 0;
}
