// The host's own vessel keys in a scenario block, read from the lines a vessel hands to
// ParseScenarioLineEx and written by SaveDefaultState before the vessel's own keys:
//
//   STATUS Landed <body>     POS <lng> <lat> (deg)  HEADING <deg>  ALT <m above ground>
//   STATUS Orbiting <body>   RPOS <x y z> (m)  RVEL <x y z> (m/s)  AROT <a b g> (deg)
//                            VROT <x y z> (deg/s, vessel frame)
//   PRPLEVEL <idx>:<level> ...   propellant resources' fill levels, 0..1
//   ATTACHED <parent point>:<child point>,<parent name>   a child held by its parent
//   RCSMODE <0|1|2>          the attitude thrusters' manual mode: off, rotation, translation
//   NAVMODE <name>           the active attitude autopilot (KILLROT, HLEVEL, PROGRADE, ...)
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "orbiter_api.h"
#include "runtime/world.h"

namespace sim {

enum class FlightStatus { Unset, Landed, Orbiting };

using runtime::kMaxDepthBelowSurface;

// What a scenario holds. The readers refuse states beyond these, which belong to no vessel
// near the Earth and would overflow the flight physics (the air at tens of km/s, an angular
// momentum beyond the largest double); so a run never writes one (beyond_scenario).
constexpr double kMaxDistance = 1e12;  // m from the Earth's centre, beyond Saturn's orbit
constexpr double kMaxSpeed = 3e4;      // m/s, the Earth's own orbital speed
constexpr double kMaxRate = 1e6;       // deg/s, beyond any vessel's spin

struct AttachedKey {
    int parent_point = 0;  // index among the parent's child-side points
    int child_point = 0;   // index among the child's to-parent points
    std::string parent;
    int line = 0;
};

struct HostKeys {
    FlightStatus status = FlightStatus::Unset;
    std::string body = "Earth";
    std::optional<std::array<double, 2>> pos_deg;  // longitude, latitude
    std::optional<double> heading_deg;
    std::optional<double> alt_m;
    std::optional<VECTOR3> rpos, rvel;
    std::optional<VECTOR3> arot_deg, vrot_deg_s;
    std::vector<std::pair<int, double>> prplevels;
    int prplevel_line = 0;
    std::optional<AttachedKey> attached;
    std::optional<int> rcs_mode;  // written when not off
    std::optional<int> navmode;   // written when one is active
};

// Reads one line into keys. Returns false for a line that is not a host key. For a host key
// that cannot be used, returns true and sets error to what is wrong.
bool parse_host_key(const std::string& line, HostKeys& keys, std::string& error);

// The host key lines, in the order they are written.
std::vector<std::string> format_host_keys(const HostKeys& keys);

// The keys that describe a vessel's present state.
HostKeys host_keys_from_state(const runtime::World& world, const runtime::VesselRecord& v);
// Sets the RCS mode and autopilot keys from a vessel's present state (none when off).
void set_pilot_keys(HostKeys& keys, const runtime::VesselControls& s);

// Which key of a vessel's present state a scenario could not load again, with its value and
// limit ("RVEL 31000 m/s (at most 30000)"), or "" when every key would load.
std::string beyond_scenario(const runtime::World& world, const runtime::VesselRecord& v);
// Whether every key of a vessel's present state would load (beyond_scenario would be "").
bool within_scenario(const runtime::World& world, const runtime::VesselRecord& v);
// Whether the keys RPOS, RVEL and VROT of a flying vessel's state would load (each of them
// is then finite).
bool flight_keys_within_scenario(const runtime::World& world, const runtime::VesselState& s);

// Orientation angles (rad) of a vessel-to-global matrix and back (docs/physics.md).
MATRIX3 matrix_from_arot(const VECTOR3& arot);
VECTOR3 arot_from_matrix(const MATRIX3& R);

}  // namespace sim
