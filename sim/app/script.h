// Scripts of timed and conditional commands for a run (format: docs/script-format.md).
//
//   # comment
//   t=12.5 key G            at a simulation time (also "12.5 key G")
//   when airspeed>120 pilot pitchup 0.5     once, the first time the condition holds
//   when altitude>50 and time>=20 key G
//   when time_since cutoff>30 and navmode=prograde key O
#pragma once

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "orbiter_api.h"

namespace sim {

enum class CommandKind { Key, Pilot, Rcs, Navmode, Input, Warp, Focus, Save, Hud, Event, Stop };

enum class Switch { On, Off, Toggle };

struct ScriptCommand {
    CommandKind kind = CommandKind::Stop;
    DWORD scan_code = 0;  // Key
    bool shift = false, ctrl = false;
    THGROUP_TYPE group = THGROUP_MAIN;  // Pilot: a thruster group's input ...
    int surface = -1;                   // ... or, when >= 0, a control surface's (AIRCTRL_TYPE)
    int mode = 0;                       // Rcs: RCS_*; Navmode: NAVMODE_*
    Switch action = Switch::On;         // Navmode
    double value = 0.0;                 // Pilot level, Warp factor
    std::string text;                   // Input text, Focus vessel, Save/Hud/Event name
};

enum class Comparison { Greater, GreaterEqual, Less, LessEqual, Equal, NotEqual };

struct Condition {
    std::string quantity;  // a flight value name (flight_data.h), or "time_since"
    Comparison op = Comparison::Greater;
    double value = 0.0;
    int index = -1;        // the quantity's flight_value_index; -1 for time_since
    std::string event;     // time_since: the event whose time counts (never holds before it)
    int event_slot = -1;   // time_since: the event's slot, resolved by the run
};

struct ScriptEntry {
    int line = 0;
    std::optional<double> time;         // timed entry
    std::vector<Condition> conditions;  // conditional entry (all must hold)
    ScriptCommand command;
    std::string text;  // the line as written, for the summary
};

struct Script {
    std::string source;
    std::vector<ScriptEntry> entries;  // timed entries sorted by time (stable), then conditions
};

// Throws InputError ("file:line: what is wrong").
// The files every run writes into its output folder at its end, beside those of the script's
// commands (the files for watching the flight end in .acmi, .czml, .html and .js, which no
// save or hud name meets).
inline constexpr std::array<const char*, 3> kRunOutputFiles = {"telemetry.csv", "final.scn", "summary.json"};

// Reads a script; refuses, with the line, any command whose file another output of the run
// would overwrite (names compared without regard to case, as Windows sees them).
Script parse_script(const std::string& text, const std::string& source);
Script read_script_file(const std::string& path);

// The longest file name (in bytes) the common file systems hold; the run checks the output
// folder's own limit before it starts.
constexpr size_t kMaxFileNameBytes = 255;

// The extension of the file a command writes into the output folder ("" for none).
const char* output_extension(CommandKind kind);

// Scan code of a key name: a letter, a digit, or a hexadecimal code "0x22"; 0 if unknown.
DWORD scan_code_of(const std::string& name);

// Inline: the frame loop checks the pending conditions every frame.
inline bool condition_holds(const Condition& c, double value) {
    switch (c.op) {
        case Comparison::Greater: return value > c.value;
        case Comparison::GreaterEqual: return value >= c.value;
        case Comparison::Less: return value < c.value;
        case Comparison::LessEqual: return value <= c.value;
        case Comparison::Equal: return value == c.value;
        case Comparison::NotEqual: return value != c.value;
    }
    return false;
}

// A condition on a clock (time, time_since): the frames' times step past a value rather than
// meet it exactly, so "=" holds, and "!=" fails, within half a frame step of it.
inline bool clock_condition_holds(const Condition& c, double value, double half_step) {
    if (c.op == Comparison::Equal) return std::fabs(value - c.value) <= half_step;
    if (c.op == Comparison::NotEqual) return std::fabs(value - c.value) > half_step;
    return condition_holds(c, value);
}

}  // namespace sim
