// Two runs of one flight compared from their summaries. A build for another platform (its
// own compiler and floating-point library) must fly the same events in the same order into
// the same orbit, though not to the last bit.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace sim {

struct FlightTolerance {
    double orbit_km = 0.1;          // apoapsis and periapsis
    double inclination_deg = 0.01;
};

struct FlightComparison {
    std::vector<std::string> findings;     // one line per check: what was compared, and how
    std::vector<std::string> differences;  // what makes the flights differ; none: the same flight
    bool same() const { return differences.empty(); }
};

// Compares outcome, events (names and vessels, in order), end time, focus vessel and its
// final orbit. Throws InputError naming `name_a` or `name_b` when a summary lacks a part.
FlightComparison compare_flights(const nlohmann::json& a, const nlohmann::json& b, const std::string& name_a,
                                 const std::string& name_b, const FlightTolerance& tolerance = {});

// A run's summary.json, given as the file or as the run's output folder. Throws InputError
// naming the file when it cannot be read or is no JSON.
nlohmann::json read_summary(const std::string& path, std::string* file_read = nullptr);

}  // namespace sim
