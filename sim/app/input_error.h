// Errors of the headless host's input and of the flight, each with the exit status the
// executable reports.
#pragma once

#include <stdexcept>
#include <string>

namespace sim {

// Input that cannot be used: a scenario or script line, a class or a module. The message
// reads "file:line: what is wrong" where a line is to blame.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "file:line: what" for a message about one line of a file.
inline std::string at_line(const std::string& file, int line, const std::string& what) {
    return file + ":" + std::to_string(line) + ": " + what;
}

constexpr int kExitOk = 0;
constexpr int kExitInput = 2;      // bad input: nothing was flown
constexpr int kExitNonFinite = 3;  // a vessel's state became NaN or infinite
constexpr int kExitOutput = 4;     // an output could not be written
constexpr int kExitInterrupted = 5;  // SIGINT or SIGTERM ended the run; what it had is written
constexpr int kExitBeyondScenario = 6;  // a vessel's state went beyond what a scenario holds

}  // namespace sim
