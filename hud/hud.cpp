// The vessel's own head-up display items, drawn over the host's: gear, bay and brake
// indicators, equivalent airspeed, pressure and radar altitude, load factor and the
// flight-director marker. Only reads state.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "guidance/equivalent_airspeed.h"
#include "vessel/korvan.h"

namespace {

constexpr double kGearBlinkPeriod = 1.0;        // s
constexpr double kBrakeBlinkPeriod = 0.5;       // s
constexpr double kPressureAltitudeExponent = 0.190263;
constexpr double kPressureAltitudeFeet = 145440.68806089176;
constexpr double kGeometricAltitudeFrom = 18292.0;  // m
constexpr double kFeetPerMetreRough = 3.28;
constexpr double kAltitudeReadoutCeiling = 100000.0;  // m
constexpr int kAltitudeStepFeet = 50;
constexpr double kRadarAltitudeCeiling = 762.0;  // m
constexpr double kGearHeight = 1.35;             // m of the vessel's origin above its wheels
constexpr double kMetresPerFoot = 0.3048;
constexpr double kStandardGravity = 9.81;        // m/s^2
constexpr int kKeasTextLength = 11;
constexpr int kAltitudeTextLength = 7;
constexpr size_t kTextSize = 512;                // holds any formatted double
constexpr double kPixelLimit = 1e6;              // keeps every coordinate a safe int

// Truncates toward zero; a value that is not a number or far off the screen is held to
// a range in which every later sum stays an int.
int pixel(double v) {
    if (std::isnan(v)) return 0;
    if (v > kPixelLimit) v = kPixelLimit;
    if (v < -kPixelLimit) v = -kPixelLimit;
    return static_cast<int>(v);
}

// The host's layout figures, held to the same safe range.
int layout(int v) {
    constexpr int limit = static_cast<int>(kPixelLimit);
    return v > limit ? limit : (v < -limit ? -limit : v);
}

int truncated_int(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

bool mechanism_shown(int state, double simt) {
    if (state == MECH_OPEN) return true;
    return state >= MECH_CLOSING && std::fmod(simt, kGearBlinkPeriod) < kGearBlinkPeriod / 2.0;
}

bool brakes_shown(bool wheel_brakes, double position, double simt) {
    if (wheel_brakes && position == 1.0) return true;
    const bool moving = (wheel_brakes && position < 1.0) || (!wheel_brakes && position > 0.0);
    return moving && std::fmod(simt, kBrakeBlinkPeriod) < kBrakeBlinkPeriod / 2.0;
}

void draw_gear(oapi::Sketchpad* skp, int cx, int cy, int m) {
    skp->Rectangle(cx - m / 2, cy - 5 * m, cx + m / 2, cy - 4 * m);
    skp->Rectangle(cx - 3 * m, cy - 2 * m, cx - 2 * m, cy - m);
    skp->Rectangle(cx + 2 * m, cy - 2 * m, cx + 3 * m, cy - m);
}

// The bay doors' arc: x steps of m, heights in units of m above the centre.
constexpr double BAY_ARC_HEIGHTS[] = {8.5, 7.5, 7.0, 6.65, 6.5, 6.65, 7.0, 7.5, 8.5};

void draw_bay(oapi::Sketchpad* skp, int cx, int cy, int m) {
    auto y_at = [&](int i) { return pixel(cy - BAY_ARC_HEIGHTS[i] * m); };
    skp->Line(cx - 4 * m, y_at(0), cx - 3 * m, y_at(1));
    for (int i = 2; i < 9; ++i) skp->LineTo(cx + (i - 4) * m, y_at(i));
    skp->Text(cx - m, cy - 8 * m, "BAY", 3);
}

void draw_marker(oapi::Sketchpad* skp, int px, int py, int m, double size, double phi, bool engaged) {
    if (!engaged) skp->Ellipse(px - m, py - m, px + m, py + m);
    const double c = std::cos(phi), s = std::sin(phi);
    // Wings, then the fin.
    skp->MoveTo(px + pixel(size * c), py + pixel(size * s));
    skp->LineTo(px + pixel(0.5 * size * c), py + pixel(0.5 * size * s));
    skp->MoveTo(px - pixel(size * c), py - pixel(size * s));
    skp->LineTo(px - pixel(0.5 * size * c), py - pixel(0.5 * size * s));
    skp->MoveTo(px + pixel(0.8 * size * s), py - pixel(0.8 * size * c));
    skp->LineTo(px + pixel(0.5 * size * s), py - pixel(0.5 * size * c));
    if (!engaged) return;
    skp->MoveTo(px + pixel(0.5 * size * s), py - pixel(0.5 * size * c));
    skp->LineTo(px + pixel(0.5 * size * c), py + pixel(0.5 * size * s));
    skp->LineTo(px - pixel(0.5 * size * s), py + pixel(0.5 * size * c));
    skp->LineTo(px - pixel(0.5 * size * c), py - pixel(0.5 * size * s));
    skp->LineTo(px + pixel(0.5 * size * s), py - pixel(0.5 * size * c));
}

}  // namespace

bool Korvan::clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, oapi::Sketchpad* skp) {
    VESSEL3::clbkDrawHUD(mode, hps, skp);
    if (hps == nullptr || skp == nullptr) return true;

    const int W = layout(hps->W), H = layout(hps->H), CX = layout(hps->CX), CY = layout(hps->CY);
    const int marker_size = layout(hps->Markersize);
    const int m = marker_size / 2;
    const double M = marker_size;
    const double simt = oapiGetSimTime();
    char text[kTextSize];

    if (-3 * m <= CX && CX < W + 3 * m && m <= CY && CY < H + 5 * m) {
        if (mechanism_shown(gear_state, simt)) draw_gear(skp, CX, CY, m);
        if (mechanism_shown(door_state, simt)) draw_bay(skp, CX, CY, m);
        if (brakes_shown(wheel_brakes_on, brake_position, simt)) {
            skp->Text(CX - 9 * m, pixel(CY + 1.2 * m), "BRAKES", 6);
        }
    }

    const double altitude = GetAltitude();
    const double p = GetAtmPressure();
    if (p > 0.0) {
        const double keas = korvan::equivalent_airspeed_knots(GetDynPressure(), p);
        std::snprintf(text, sizeof text, "%6.1f KEAS", keas);
        skp->Text(pixel(0.5 * CX), CY / 2 - m, text, kKeasTextLength);

        double feet = (1.0 - std::pow(p / korvan::kSeaLevelPressure, kPressureAltitudeExponent)) * kPressureAltitudeFeet;
        if (altitude > kGeometricAltitudeFrom) feet = altitude * kFeetPerMetreRough;
        int shown = truncated_int(feet);
        shown -= shown % kAltitudeStepFeet;
        if (altitude < kAltitudeReadoutCeiling) {
            std::snprintf(text, sizeof text, "%6d'", shown);
            skp->Text(pixel((W + CX) * 0.5 - 8 * m), CY / 2 - m, text, kAltitudeTextLength);
        }
    }

    if (altitude < kRadarAltitudeCeiling) {
        std::snprintf(text, sizeof text, "%6dR", truncated_int((altitude - kGearHeight) / kMetresPerFoot));
        skp->Text(pixel((CX + W) * 0.5 - 8 * m), CY / 2 + m, text, kAltitudeTextLength);
    }

    VECTOR3 force{}, weight{};
    GetForceVector(force);
    GetWeightVector(weight);
    const double mass = GetMass();
    // A vessel without mass has no load factor to show: it reads 0.00.
    const double load_factor = mass > 0.0 ? length(force - weight) / (mass * kStandardGravity) : 0.0;
    std::snprintf(text, sizeof text, "  %.2f G", load_factor);
    skp->Text(pixel(0.5 * CX), CY / 2 + m, text, static_cast<int>(std::strlen(text)));

    if (cutoff_done) return true;
    const int px = CX + pixel(bank_demand * PI / 180.0 * hps->Scale);
    const int py = CY - pixel(pitch_error * hps->Scale);
    draw_marker(skp, px, py, m, M, marker_bank_angle, engaged);
    return true;
}
