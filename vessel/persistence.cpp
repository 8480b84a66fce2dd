// The vessel's scenario block: its own keys after the host's, then the stage and payload
// lines. Loading hands every line on to the host as well. Scenario files are edited by
// hand: a number that does not parse, is not finite or does not fit keeps the old value.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vessel/korvan.h"

namespace {

constexpr double kAzimuthToHeading = 180.0;  // target_heading is the azimuth plus 180
constexpr size_t kMechanismTextSize = 512;   // "%d %0.4f" of any state and position

enum class KeyCase { Ignore, Exact };

struct ScenarioKey {
    const char* key;
    KeyCase compare;
};

bool starts_with_key(const char* line, const ScenarioKey& key) {
    for (const char* k = key.key; *k != '\0'; ++k, ++line) {
        if (*line == '\0') return false;
        const bool same = key.compare == KeyCase::Exact
                              ? *line == *k
                              : std::toupper(static_cast<unsigned char>(*line)) ==
                                    std::toupper(static_cast<unsigned char>(*k));
        if (!same) return false;
    }
    return true;
}

// A whole number as "%d" would read it, refused when it does not fit an int.
bool read_int(const char*& text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    text = end;
    return true;
}

// A number as "%lf" would read it, refused when it is not finite.
bool read_double(const char*& text, double& value) {
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    value = v;
    text = end;
    return true;
}

// "%d%lf": the state, then the position; a state that cannot be read stops the line.
void read_mechanism(const char* text, int& state, double& position) {
    int s = 0;
    if (!read_int(text, s)) return;
    state = s;
    double p = 0.0;
    if (read_double(text, p)) position = std::clamp(p, 0.0, 1.0);
}

void write_mechanism(FILEHANDLE scn, const char* key, int state, double position) {
    char text[kMechanismTextSize];
    std::snprintf(text, sizeof text, "%d %0.4f", state, position);
    oapiWriteScenario_string(scn, key, text);
}

constexpr ScenarioKey KEY_CONFIGURATION{"CONFIGURATION", KeyCase::Ignore};
constexpr ScenarioKey KEY_NUMENGINES{"NUMENGINES", KeyCase::Ignore};
constexpr ScenarioKey KEY_HEADING{"HEADING", KeyCase::Ignore};
constexpr ScenarioKey KEY_GEAR{"GEAR", KeyCase::Ignore};
constexpr ScenarioKey KEY_DOORS{"DOORS", KeyCase::Ignore};
constexpr ScenarioKey KEY_BRAKES{"BRAKES", KeyCase::Ignore};
constexpr ScenarioKey KEY_NOZZLES{"NOZZLES", KeyCase::Ignore};
constexpr ScenarioKey KEY_TGT_HEADING{"TGT_HEADING", KeyCase::Exact};

const char* after(const char* line, const ScenarioKey& key) { return line + std::strlen(key.key); }

// Applies one line if it begins with one of the vessel's keys; false when it does not.
bool read_own_key(Korvan& v, const char* line) {
    if (starts_with_key(line, KEY_CONFIGURATION)) {
        const char* text = after(line, KEY_CONFIGURATION);
        int value = 0;
        if (read_int(text, value)) v.config_index = value;
    } else if (starts_with_key(line, KEY_NUMENGINES)) {
        const char* text = after(line, KEY_NUMENGINES);
        int value = 0;
        // Only an engine set that has thruster slots: anything else keeps the set in use.
        if (read_int(text, value) && value >= 1 && value <= KORVAN_MAX_ENGINES) v.num_engines = value;
    } else if (starts_with_key(line, KEY_HEADING)) {
        // The host's own key: read by the host, kept away from the item parser here.
    } else if (starts_with_key(line, KEY_GEAR)) {
        read_mechanism(after(line, KEY_GEAR), v.gear_state, v.gear_position);
    } else if (starts_with_key(line, KEY_DOORS)) {
        read_mechanism(after(line, KEY_DOORS), v.door_state, v.door_position);
    } else if (starts_with_key(line, KEY_BRAKES)) {
        read_mechanism(after(line, KEY_BRAKES), v.brake_state, v.brake_position);
    } else if (starts_with_key(line, KEY_NOZZLES)) {
        read_mechanism(after(line, KEY_NOZZLES), v.nozzle_state, v.nozzle_position);
    } else if (starts_with_key(line, KEY_TGT_HEADING)) {
        const char* text = after(line, KEY_TGT_HEADING);
        double azimuth = 0.0;
        // No readable azimuth: the heading stays as it was, with no half turn.
        if (read_double(text, azimuth)) v.target_heading = azimuth + kAzimuthToHeading;
    } else {
        return false;
    }
    return true;
}

}  // namespace

void Korvan::clbkSaveState(FILEHANDLE scn) {
    SaveDefaultState(scn);
    oapiWriteScenario_int(scn, KEY_CONFIGURATION.key, config_index);
    oapiWriteScenario_int(scn, KEY_NUMENGINES.key, num_engines);
    write_mechanism(scn, KEY_GEAR.key, gear_state, gear_position);
    write_mechanism(scn, KEY_DOORS.key, door_state, door_position);
    write_mechanism(scn, KEY_BRAKES.key, brake_state, brake_position);
    write_mechanism(scn, KEY_NOZZLES.key, nozzle_state, nozzle_position);
    oapiWriteScenario_float(scn, KEY_TGT_HEADING.key, target_heading - kAzimuthToHeading);
    WriteItems(scn);
}

void Korvan::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) {
        if (line == nullptr) continue;
        if (!read_own_key(*this, line)) ReadScenarioLine(line);
        ParseScenarioLineEx(line, status);
    }
    rebuild_vessel();

    // A mechanism saved at rest resumes moving toward the end it rests at, so that the
    // next mechanism update sets its animation.
    toggle_gear();
    toggle_gear();
    toggle_brakes();
    toggle_brakes();
    toggle_doors();
    toggle_doors();
    toggle_nozzles();
    toggle_nozzles();

    if (brake_position == 1.0) wheel_brakes_on = true;
    load_default_profile();
}
