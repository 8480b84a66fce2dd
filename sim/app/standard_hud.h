// The simulator's standard head-up display, which the headless host draws under the vessel's
// own items: the surface mode in the air (pitch ladder, bank scale, heading tape, airspeed and
// altitude readouts, flight-path marker) and the orbit mode above it (prograde and retrograde
// markers, apoapsis and periapsis readouts). The replay page draws the same layout
// (web/src/hud.js) from the same values.
#pragma once

#include "orbiter_api.h"
#include "runtime/world.h"
#include "sketchpad.h"

namespace sim {

// The simulator's HUD modes, as clbkDrawHUD receives them.
constexpr int kHudModeOrbit = 1;
constexpr int kHudModeSurface = 2;
// Above this altitude the host shows the orbit mode: the air no longer flies the vessel.
constexpr double kHudOrbitModeAltitude = 100.0e3;  // m

// Where a direction given in the vessel frame shows on the HUD, as angles (degrees) right of
// and above the nose; in_front is false when it lies behind the pilot.
struct HudDirection {
    double right_deg = 0.0, up_deg = 0.0;
    bool in_front = false;
};
HudDirection hud_direction(const VECTOR3& vessel_frame);

struct StandardHudInput {
    int mode = kHudModeSurface;
    double pitch_deg = 0.0, bank_deg = 0.0, heading_deg = 0.0;
    double airspeed_m_s = 0.0, altitude_m = 0.0, mach = 0.0;
    double orbital_speed_m_s = 0.0;
    double apoapsis_km = 0.0, periapsis_km = 0.0;
    HudDirection flight_path;  // the airspeed vector
    HudDirection prograde;     // the inertial velocity, and against it
    HudDirection retrograde;
};
StandardHudInput standard_hud_input(const runtime::World& world, const runtime::VesselRecord& v);

void draw_standard_hud(oapi::Sketchpad& skp, const HUDPAINTSPEC& hps, const StandardHudInput& in);

}  // namespace sim
