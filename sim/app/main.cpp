// korvan-sim: flies a scenario in the headless host and writes what happened.
#include <CLI/CLI.hpp>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "default_ascent.h"
#include "input_error.h"
#include "number_option.h"
#include "orbiter_api.h"  // on Windows, the system's header
#include "simulation.h"

namespace {

// The folder of this program's own file, or "" when the system does not tell.
std::filesystem::path program_folder() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return {};
    return std::filesystem::path(path).parent_path();
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self.parent_path();
#endif
}

// A korvan-sim installed in a simulator's folder (beside Config/Vessels, as the Windows
// package puts it) flies that folder; otherwise the build's run tree is the default.
std::string default_root() {
    const std::filesystem::path folder = program_folder();
    std::error_code ec;
    if (!folder.empty() && std::filesystem::is_directory(folder / "Config" / "Vessels", ec)) return folder.string();
    return {};
}

// SIGINT or SIGTERM ends the run at the next frame, with its outputs written; a second one
// ends the process at once.
std::atomic<bool> interrupted{false};

extern "C" void on_interrupt(int signal) {
    interrupted.store(true);
    std::signal(signal, SIG_DFL);
}

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0  the run ended (--until reached, a --stop-on event, a script \"stop\")\n"
    "  2  bad input: nothing was flown (the message names file:line)\n"
    "  3  a vessel's state became NaN or infinite (outputs up to then are written)\n"
    "  4  an output could not be written\n"
    "  5  interrupted by SIGINT or SIGTERM (telemetry so far, summary.json and final.scn are written)\n";

}  // namespace

int main(int argc, char** argv) {
    // From the start: a signal while the run is set up ends it at its first frame, outputs written.
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    sim::RunOptions opt;
    double until = 0.0;
    opt.out_dir = "out/ascent";
    CLI::App app{"korvan-sim: the Korvan headless host. Flies a scenario with an optional script and writes "
                 "telemetry.csv, summary.json, final.scn, HUD frames, flight.acmi, flight.czml and the replay page replay.html into the output folder. With no "
                 "scenario it flies the built-in default ascent (Scenarios/Korvan/Runway.scn with "
                 "Scenarios/Korvan/ascent.txt) from the runway to orbit and once around it."};
    app.add_option("scenario", opt.scenario_path,
                   "Scenario file (as given, or relative to the run tree); none: the built-in default ascent");
    app.add_option("--root", opt.root,
                   "Run tree (default: the folder of korvan-sim itself when it holds Config/Vessels, else the "
                   "build's run tree)");
    app.add_option("--script", opt.script_path, "Script of timed and conditional commands");
    sim::add_number_option(app, "--dt", opt.dt, "Fixed frame step in seconds");
    const CLI::Option* until_option =
        sim::add_number_option(app, "--until", until, "Stop at this simulation time in seconds")->default_str("");
    app.add_option("--stop-on", opt.stop_on,
                   "Stop when this event happens (liftoff, gear_up, mach1, engine_switch, cutoff, apoapsis, "
                   "landed, vessel_created, crash, or a script event); may be repeated");
    sim::add_number_option(app, "--telemetry-interval", opt.telemetry_interval, "Seconds between telemetry rows");
    app.add_option("--out", opt.out_dir, "Output folder (created)")->capture_default_str();
    app.add_flag("--sound", opt.sound, "Load the sound service Modules/OrbiterSound before any vessel");
    sim::add_number_option(app, "--atmosphere-density", opt.atmosphere_density, "Factor on the air's density (dispersion)");
    sim::add_number_option(app, "--thrust-factor", opt.thrust_factor,
                           "Factor on every thruster's thrust and propellant flow (dispersion)");
    sim::add_number_option(app, "--wind-east", opt.wind_east, "Wind aloft towards the east, m/s (dispersion)");
    sim::add_number_option(app, "--wind-north", opt.wind_north, "Wind aloft towards the north, m/s (dispersion)");
    sim::add_number_option(app, "--track-interval", opt.track_interval,
                           "Seconds between samples of the track that flight.acmi, flight.czml and the replay page "
                           "show (thinned to what interpolation needs)");
    bool no_acmi = false, no_czml = false, no_replay = false;
    app.add_flag("--no-acmi", no_acmi, "Do not write flight.acmi");
    app.add_flag("--no-czml", no_czml, "Do not write flight.czml");
    app.add_flag("--no-replay", no_replay, "Do not write replay.html, replay-data.js and replay-model.js");
    app.footer(kExitCodes);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help is a success; any argument that cannot be used is bad input.
        return app.exit(e) == 0 ? sim::kExitOk : sim::kExitInput;
    }
    // Outputs that go nowhere would be lost without a word.
    if (app.count("--out") > 0 && opt.out_dir.empty()) {
        std::fprintf(stderr, "--out: the output folder must not be empty\n");
        return sim::kExitInput;
    }
    if (until_option->count() > 0) opt.until = until;
    opt.write_acmi = !no_acmi;
    opt.write_czml = !no_czml;
    opt.write_replay = !no_replay;
    if (opt.root.empty()) opt.root = default_root();
    if (opt.scenario_path.empty()) sim::use_default_ascent(opt);
    opt.progress = ::isatty(STDERR_FILENO) != 0;
    opt.interrupt = &interrupted;

    try {
        sim::Simulation simulation(opt);
        simulation.load();
        if (!opt.until && opt.stop_on.empty() && !simulation.script_can_stop())
            std::fprintf(stderr, "note: no --until, no --stop-on and no script \"stop\": the run goes on until "
                                 "interrupted\n");
        const sim::RunResult result = simulation.run();
        simulation.write_outputs();
        std::fputs(simulation.report().c_str(), stdout);
        if (!opt.out_dir.empty()) std::printf("outputs in %s\n", opt.out_dir.c_str());
        if (!result.message.empty()) std::fprintf(stderr, "%s\n", result.message.c_str());
        if (result.outcome == sim::Outcome::Interrupted)
            std::fprintf(stderr, "korvan-sim: interrupted; the outputs hold the run up to then\n");
        if (!simulation.output_errors().empty())
            std::fprintf(stderr, "korvan-sim: %zu output(s) could not be written (listed above)\n",
                         simulation.output_errors().size());
        return simulation.result().exit_status;
    } catch (const sim::InputError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return sim::kExitInput;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "korvan-sim: %s\n", e.what());
        return sim::kExitOutput;
    }
}
