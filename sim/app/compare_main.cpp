// korvan-compare: tells whether two runs flew the same flight, from their summaries.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "flight_comparison.h"
#include "input_error.h"
#include "number_option.h"

namespace {
constexpr int kExitSame = 0;
constexpr int kExitDifferent = 1;
}  // namespace

int main(int argc, char** argv) {
    std::string run_a, run_b;
    sim::FlightTolerance tolerance;
    CLI::App app{"korvan-compare: compares two runs of korvan-sim (for instance the Linux and the Windows build "
                 "flying the same scenario): the same outcome, the same events in the same order, the same end "
                 "time and focus vessel, and the same final orbit within the limits. Exit status 0: the same "
                 "flight; 1: the flights differ; 2: a summary cannot be read."};
    app.add_option("run_a", run_a, "First run: its summary.json or its output folder")->required();
    app.add_option("run_b", run_b, "Second run: its summary.json or its output folder")->required();
    sim::add_number_option(app, "--orbit-km", tolerance.orbit_km, "Largest difference of apoapsis and periapsis, km");
    sim::add_number_option(app, "--inclination-deg", tolerance.inclination_deg,
                           "Largest difference of inclination, degrees");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? kExitSame : sim::kExitInput;
    }
    try {
        std::string file_a, file_b;
        const nlohmann::json a = sim::read_summary(run_a, &file_a);
        const nlohmann::json b = sim::read_summary(run_b, &file_b);
        const sim::FlightComparison result = sim::compare_flights(a, b, file_a, file_b, tolerance);
        std::printf("%s\n%s\n", file_a.c_str(), file_b.c_str());
        for (const std::string& line : result.findings) std::printf("  %s\n", line.c_str());
        if (result.same()) {
            std::printf("the same flight\n");
            return kExitSame;
        }
        std::printf("the flights differ:\n");
        for (const std::string& line : result.differences) std::printf("  %s\n", line.c_str());
        return kExitDifferent;
    } catch (const sim::InputError& e) {
        std::fprintf(stderr, "korvan-compare: %s\n", e.what());
        return sim::kExitInput;
    }
}
