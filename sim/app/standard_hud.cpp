#include "standard_hud.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "flight_data.h"

namespace sim {

namespace {

// Layout in pixels of a 1024 x 768 HUD; the replay page uses the same figures.
constexpr int kLadderStepDeg = 10;
constexpr int kLadderSpanDeg = 30;     // rungs drawn within this many degrees of the nose
constexpr int kRungHalfWidth = 120;
constexpr int kRungGap = 40;           // half the gap in the middle of a rung
constexpr int kTapeY = 40;             // the heading tape's baseline
constexpr int kTapeHalfSpanDeg = 30;
constexpr int kTapeTickStepDeg = 5;
constexpr int kBankRadius = 220;       // the bank scale's arc, below the centre
constexpr int kBankTicksDeg[] = {-60, -45, -30, -20, -10, 0, 10, 20, 30, 45, 60};
constexpr int kReadoutOffsetX = 300;   // readout boxes left and right of the centre
constexpr int kMarkerRadius = 12;

struct Pen {
    oapi::Sketchpad& skp;
    void text(int x, int y, const char* s) { skp.Text(x, y, s, static_cast<int>(std::strlen(s))); }
};

void rotate(double bank_rad, double dx, double dy, double& x, double& y) {
    const double c = std::cos(bank_rad), s = std::sin(bank_rad);
    x = dx * c - dy * s;
    y = dx * s + dy * c;
}

void pitch_ladder(oapi::Sketchpad& skp, const HUDPAINTSPEC& hps, double pitch, double bank, double px_per_deg) {
    const double b = bank * RAD;
    const int lowest = static_cast<int>(std::ceil((pitch - kLadderSpanDeg) / kLadderStepDeg)) * kLadderStepDeg;
    for (int a = lowest; a <= pitch + kLadderSpanDeg; a += kLadderStepDeg) {
        if (a < -90 || a > 90) continue;
        const double dy = (pitch - a) * px_per_deg;
        const int outer = a == 0 ? 2 * kRungHalfWidth : kRungHalfWidth;
        for (int side : {-1, 1}) {
            double x0, y0, x1, y1;
            rotate(b, side * kRungGap, dy, x0, y0);
            rotate(b, side * outer, dy, x1, y1);
            skp.Line(hps.CX + static_cast<int>(x0), hps.CY + static_cast<int>(y0), hps.CX + static_cast<int>(x1),
                     hps.CY + static_cast<int>(y1));
        }
        if (a != 0) {
            char label[8];
            const int n = std::snprintf(label, sizeof label, "%d", a);
            double lx, ly;
            rotate(b, kRungHalfWidth + 8, dy, lx, ly);
            skp.Text(hps.CX + static_cast<int>(lx), hps.CY + static_cast<int>(ly) - 8, label, n);
        }
    }
}

void heading_tape(oapi::Sketchpad& skp, const HUDPAINTSPEC& hps, double heading, double px_per_deg) {
    const int first = static_cast<int>(std::ceil((heading - kTapeHalfSpanDeg) / kTapeTickStepDeg)) * kTapeTickStepDeg;
    for (int h = first; h <= heading + kTapeHalfSpanDeg; h += kTapeTickStepDeg) {
        const int x = hps.CX + static_cast<int>((h - heading) * px_per_deg);
        const bool major = h % (2 * kTapeTickStepDeg) == 0;
        skp.Line(x, kTapeY, x, kTapeY + (major ? 12 : 6));
        if (major) {
            char label[8];
            const int n = std::snprintf(label, sizeof label, "%03d", ((h % 360) + 360) % 360);
            skp.Text(x - 12, kTapeY + 14, label, n);
        }
    }
    skp.Line(hps.CX, kTapeY - 10, hps.CX, kTapeY);  // the pointer
}

void bank_scale(oapi::Sketchpad& skp, const HUDPAINTSPEC& hps, double bank) {
    for (int t : kBankTicksDeg) {
        double x0, y0, x1, y1;
        const int length = t % 30 == 0 ? 14 : 8;
        rotate(t * RAD, 0, kBankRadius, x0, y0);
        rotate(t * RAD, 0, kBankRadius + length, x1, y1);
        skp.Line(hps.CX + static_cast<int>(x0), hps.CY + static_cast<int>(y0), hps.CX + static_cast<int>(x1),
                 hps.CY + static_cast<int>(y1));
    }
    // The pointer turns with the horizon.
    double px, py, lx, ly, rx, ry;
    rotate(bank * RAD, 0, kBankRadius - 2, px, py);
    rotate(bank * RAD, -6, kBankRadius - 12, lx, ly);
    rotate(bank * RAD, 6, kBankRadius - 12, rx, ry);
    skp.MoveTo(hps.CX + static_cast<int>(lx), hps.CY + static_cast<int>(ly));
    skp.LineTo(hps.CX + static_cast<int>(px), hps.CY + static_cast<int>(py));
    skp.LineTo(hps.CX + static_cast<int>(rx), hps.CY + static_cast<int>(ry));
}

bool marker_centre(const HUDPAINTSPEC& hps, const HudDirection& d, double px_per_deg, int& x, int& y) {
    if (!d.in_front) return false;
    x = hps.CX + static_cast<int>(d.right_deg * px_per_deg);
    y = hps.CY - static_cast<int>(d.up_deg * px_per_deg);
    return x >= 0 && x < hps.W && y >= 0 && y < hps.H;
}

void flight_path_marker(oapi::Sketchpad& skp, int x, int y) {
    skp.Ellipse(x - kMarkerRadius / 2, y - kMarkerRadius / 2, x + kMarkerRadius / 2, y + kMarkerRadius / 2);
    skp.Line(x - kMarkerRadius * 3 / 2, y, x - kMarkerRadius / 2, y);
    skp.Line(x + kMarkerRadius / 2, y, x + kMarkerRadius * 3 / 2, y);
    skp.Line(x, y - kMarkerRadius / 2, x, y - kMarkerRadius);
}

void prograde_marker(oapi::Sketchpad& skp, int x, int y) {
    const int r = kMarkerRadius;
    skp.Ellipse(x - r, y - r, x + r, y + r);
    skp.Line(x - 2 * r, y, x - r, y);
    skp.Line(x + r, y, x + 2 * r, y);
    skp.Line(x, y - 2 * r, x, y - r);
}

void retrograde_marker(oapi::Sketchpad& skp, int x, int y) {
    const int r = kMarkerRadius;
    skp.Ellipse(x - r, y - r, x + r, y + r);
    skp.Line(x - r, y - r, x + r, y + r);
    skp.Line(x - r, y + r, x + r, y - r);
}

void readout(oapi::Sketchpad& skp, int x, int y, const char* text) {
    const int n = static_cast<int>(std::strlen(text));
    skp.Rectangle(x - 4, y - 2, x + n * 10 + 4, y + 18);
    skp.Text(x, y, text, n);
}

}  // namespace

HudDirection hud_direction(const VECTOR3& d) {
    HudDirection h;
    h.in_front = d.z > 0.0;
    h.right_deg = std::atan2(d.x, d.z) * DEG;
    h.up_deg = std::atan2(d.y, d.z) * DEG;
    return h;
}

StandardHudInput standard_hud_input(const runtime::World& world, const runtime::VesselRecord& v) {
    const FlightData d = read_flight_data(world, v, kFlightAttitude | kFlightAir | kFlightAltitude | kFlightOrbit |
                                                        kFlightEvents);
    StandardHudInput in;
    in.mode = d.altitude_m < kHudOrbitModeAltitude ? kHudModeSurface : kHudModeOrbit;
    in.pitch_deg = d.pitch_deg;
    in.bank_deg = d.bank_deg;
    in.heading_deg = d.heading_deg;
    in.airspeed_m_s = d.airspeed_m_s;
    in.altitude_m = d.altitude_m;
    in.mach = d.mach;
    in.apoapsis_km = d.apoapsis_km;
    in.periapsis_km = d.periapsis_km;
    const VECTOR3 velocity = world.relative_vel(v);
    in.orbital_speed_m_s = length(velocity);
    in.flight_path = hud_direction(world.airspeed_vector_local(v));
    const VECTOR3 local = tmul(v.state.R, velocity);
    in.prograde = hud_direction(local);
    in.retrograde = hud_direction(-local);
    return in;
}

void draw_standard_hud(oapi::Sketchpad& skp, const HUDPAINTSPEC& hps, const StandardHudInput& in) {
    const double px_per_deg = hps.Scale * RAD;
    char text[48];
    int x = 0, y = 0;
    if (in.mode == kHudModeSurface) {
        pitch_ladder(skp, hps, in.pitch_deg, in.bank_deg, px_per_deg);
        heading_tape(skp, hps, in.heading_deg, px_per_deg);
        bank_scale(skp, hps, in.bank_deg);
        std::snprintf(text, sizeof text, "SPD %5.0f m/s  M %4.2f", in.airspeed_m_s, in.mach);
        readout(skp, hps.CX - kReadoutOffsetX - 160, hps.CY - 9, text);
        std::snprintf(text, sizeof text, "ALT %7.2f km", in.altitude_m / 1000.0);
        readout(skp, hps.CX + kReadoutOffsetX, hps.CY - 9, text);
        if (in.airspeed_m_s > 1.0 && marker_centre(hps, in.flight_path, px_per_deg, x, y))
            flight_path_marker(skp, x, y);
    } else {
        std::snprintf(text, sizeof text, "ApA %8.1f km", in.apoapsis_km);
        readout(skp, hps.CX + kReadoutOffsetX, hps.CY - 30, text);
        std::snprintf(text, sizeof text, "PeA %8.1f km", in.periapsis_km);
        readout(skp, hps.CX + kReadoutOffsetX, hps.CY + 10, text);
        std::snprintf(text, sizeof text, "VEL %6.0f m/s", in.orbital_speed_m_s);
        readout(skp, hps.CX - kReadoutOffsetX - 140, hps.CY - 9, text);
        if (marker_centre(hps, in.prograde, px_per_deg, x, y)) prograde_marker(skp, x, y);
        if (marker_centre(hps, in.retrograde, px_per_deg, x, y)) retrograde_marker(skp, x, y);
    }
}

}  // namespace sim
