// Names of the attitude autopilots and of the RCS modes, as scripts, conditions, telemetry
// notes and scenario keys write them.
#pragma once

#include <string_view>

#include "orbiter_api.h"

namespace pilot {

struct ModeName {
    const char* name;
    int mode;
};

// "off" stands for no autopilot (0).
constexpr ModeName NAVMODE_NAMES[] = {
    {"off", 0},
    {"killrot", NAVMODE_KILLROT},
    {"hlevel", NAVMODE_HLEVEL},
    {"prograde", NAVMODE_PROGRADE},
    {"retrograde", NAVMODE_RETROGRADE},
    {"normal", NAVMODE_NORMAL},
    {"antinormal", NAVMODE_ANTINORMAL},
};

constexpr ModeName RCS_MODE_NAMES[] = {
    {"off", RCS_NONE},
    {"rot", RCS_ROT},
    {"lin", RCS_LIN},
};

// The mode of a name (compared without regard to case), or -1.
template <size_t N>
int mode_of(const ModeName (&names)[N], std::string_view name) {
    for (const ModeName& m : names) {
        const std::string_view candidate = m.name;
        if (candidate.size() != name.size()) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i) {
            const char c = name[i] >= 'A' && name[i] <= 'Z' ? static_cast<char>(name[i] - 'A' + 'a') : name[i];
            same = c == candidate[i];
        }
        if (same) return m.mode;
    }
    return -1;
}

// The name of a mode, or "" for an unknown one.
template <size_t N>
const char* name_of(const ModeName (&names)[N], int mode) {
    for (const ModeName& m : names)
        if (m.mode == mode) return m.name;
    return "";
}

}  // namespace pilot
