// Scenario files in the simulator's text format:
//
//   BEGIN_DESC ... END_DESC
//   BEGIN_ENVIRONMENT  System <name>  Date MJD <value>  END_ENVIRONMENT
//   BEGIN_FOCUS  Ship <name>  END_FOCUS
//   BEGIN_SHIPS  <name>:<class>  <key lines>  END  ...  END_SHIPS
//
// Reading checks the file's structure and the environment and focus blocks; the lines of a
// vessel block are kept as they are (with their line numbers) for the vessel and the host's
// keys to read.
#pragma once

#include <cstddef>

#include <optional>
#include <string>
#include <vector>

namespace sim {

struct ScenarioLine {
    std::string text;
    int line = 0;  // 1-based line number in the file
};

struct ShipBlock {
    std::string name;
    std::string class_name;
    int line = 0;  // of the "name:class" line
    std::vector<ScenarioLine> lines;
};

struct ScenarioFile {
    std::string source;  // the file name used in messages
    std::vector<std::string> description;
    std::string system = "Sol";
    std::optional<double> mjd;
    std::optional<std::string> focus;
    int focus_line = 0;
    std::vector<ShipBlock> ships;
};

// Dates the body's rotation angle is computed for without loss: within about 2700 years of
// the MJD epoch (1858). Far beyond, the angle would lose its precision and then turn NaN.
constexpr double kMaxMjd = 1e6;  // days

// Throws InputError ("file:line: what is wrong") on lines the host cannot use.
ScenarioFile parse_scenario(const std::string& text, const std::string& source);
ScenarioFile read_scenario_file(const std::string& path);

// The text of a scenario: description, environment, focus and ships with their key lines.
std::string format_scenario(const ScenarioFile& scenario);

// The shortest text that reads back as the same double; "0" for zero (either sign) and for
// a value that is not finite.
std::string format_double(double d);
// The same text written at `out`, which has room for kDoubleTextSize characters; answers the
// end of what it wrote. For rows of many numbers, without a string per number.
inline constexpr std::size_t kDoubleTextSize = 32;
char* write_double(char* out, double d);

}  // namespace sim
