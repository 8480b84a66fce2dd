// Scripts through the script reader; a script it accepts is then flown for a few frames
// with the Korvan on the runway (keys, input texts, pilot inputs, warps, saves and HUD frames
// kept in memory).
//
// Oracles: a script the reader accepts loads and runs; the run ends (no command freezes the
// clock); no command makes a state non-finite.
#include <string>

#include "fuzz_support.h"
#include "input_error.h"
#include "script.h"
#include "simulation.h"

namespace {

constexpr double kFlight = 0.3;     // s
constexpr double kFrameStep = 0.05; // s

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::keep_flight_modules_loaded();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text = fuzz::text_of(data, size);
    try {
        sim::parse_script(text, "fuzz.txt");
    } catch (const sim::InputError& e) {
        fuzz::check(std::string(e.what()).rfind("fuzz.txt:", 0) == 0, std::string("no file named: ") + e.what());
        return 0;
    }
    if (text.empty()) return 0;  // no script text stands for the script file's path
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    opt.scenario_path = std::string(KORVAN_RUN_TREE) + "/Scenarios/Korvan/Runway.scn";
    opt.script_text = text;
    opt.script_name = "fuzz.txt";
    opt.dt = kFrameStep;
    opt.until = kFlight;
    opt.change_directory = false;
    sim::Simulation s(opt);
    try {
        s.load();
    } catch (const sim::InputError& e) {
        fuzz::fail(std::string("a script the reader accepts does not load: ") + e.what());
    }
    const sim::RunResult r = s.run();
    fuzz::check(r.outcome != sim::Outcome::NonFinite, "a script flew the vessel into a non-finite state: " + r.message);
    return 0;
}
