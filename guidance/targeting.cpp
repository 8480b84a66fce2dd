// Launch targeting: the pilot's azimuth entry, the target-inclination readout on the debug
// line, and engaging and disengaging the autopilot.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vessel/korvan.h"

namespace {

constexpr const char* kAzimuthTitle = "Enter launch azimuth, 0 to 90 (east) to 360";
constexpr int kAzimuthFieldLength = 20;     // characters shown in the input box
constexpr int kAzimuthDigits = 5;           // characters of the entry that are read
constexpr double kAzimuthToHeading = 180.0; // target_heading is the azimuth plus 180
constexpr double kReadoutStart = 0.01;      // s
constexpr double kReadoutDuration = 5.0;    // s
constexpr int kReadoutLowestConfig = -2;
constexpr int kReadoutHighestConfig = 0;
constexpr size_t kDebugLineSize = 256;      // the host's debug buffer

// Reads a number from at most `width` characters after any leading blanks, as a scanf
// field width would. Not a number, infinity or nothing readable: false.
bool read_limited_number(const char* text, int width, double& value) {
    if (text == nullptr) return false;
    while (*text != '\0' && std::isspace(static_cast<unsigned char>(*text))) ++text;
    char field[kAzimuthDigits + 1] = {};
    const int n = width < kAzimuthDigits ? width : kAzimuthDigits;
    std::strncpy(field, text, static_cast<size_t>(n));
    char* end = nullptr;
    const double v = std::strtod(field, &end);
    if (end == field || !std::isfinite(v)) return false;
    value = v;
    return true;
}

void write_debug_line(const char* text) {
    char* line = oapiDebugString();
    if (line != nullptr) std::snprintf(line, kDebugLineSize, "%s", text);
}

}  // namespace

void Korvan::open_azimuth_entry() {
    oapiOpenInputBox(kAzimuthTitle, azimuth_entered, nullptr, kAzimuthFieldLength, static_cast<void*>(this));
}

bool Korvan::azimuth_entered(void* id, char* str, void* usrdata) {
    (void)id;
    if (usrdata != nullptr) static_cast<Korvan*>(usrdata)->apply_azimuth_entry(str);
    return true;
}

void Korvan::apply_azimuth_entry(const char* text) {
    double azimuth = 0.0;
    // An entry that is not a number leaves the azimuth as it was (no half turn).
    if (read_limited_number(text, kAzimuthDigits, azimuth)) target_heading = azimuth + kAzimuthToHeading;
    readout_timer = kReadoutStart;
}

void Korvan::update_inclination_readout() {
    const bool focused = has_focus();
    if (readout_timer > 0.0 && focused) readout_timer += step_dt;
    const bool config_shows = config_index >= kReadoutLowestConfig && config_index <= kReadoutHighestConfig;
    if (engaged || !(readout_timer < kReadoutDuration) || !config_shows || !focused) return;
    double longitude = 0.0, latitude = 0.0, radius = 0.0;
    GetEquPos(longitude, latitude, radius);
    // The inclination of the orbit reached by flying the azimuth from this latitude. The
    // heading is taken modulo a turn first (exactly): any finite heading may be stored, and
    // one near the largest double would overflow on its way to radians.
    const double heading = std::fmod(target_heading, 360.0);
    const double inclination = 180.0 - std::acos(std::cos(latitude) * std::sin(heading * PI / 180.0)) * 180.0 / PI;
    char text[kDebugLineSize];
    std::snprintf(text, sizeof text, "Target inclination (Equatorial): %.3f", inclination);
    write_debug_line(text);
}

void Korvan::toggle_guidance() {
    if (!engaged) {
        engaged = true;
        write_debug_line("Guidance ON");
        pitch_output = yaw_output = roll_output = 0.0;
        return;
    }
    engaged = false;
    SetAttitudeRotLevel(_V(0.0, 0.0, 0.0));
    pitch_output = yaw_output = roll_output = 0.0;
    SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.0);
    SetControlSurfaceLevel(AIRCTRL_AILERON, 0.0);
    SetControlSurfaceLevel(AIRCTRL_RUDDER, 0.0);
    write_debug_line("Guidance OFF");
}
