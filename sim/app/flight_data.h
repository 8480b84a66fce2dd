// What the headless host reads of a vessel for telemetry, script conditions and events:
// observables from the World, in the units the telemetry columns name.
#pragma once

#include <string>
#include <vector>

#include "runtime/world.h"

namespace sim {

struct FlightData {
    double time_s = 0.0;
    double altitude_m = 0.0;
    double airspeed_m_s = 0.0;
    double mach = 0.0;
    double vertical_speed_m_s = 0.0;
    double pitch_deg = 0.0;
    double bank_deg = 0.0;
    double heading_deg = 0.0;
    double aoa_deg = 0.0;
    double slip_deg = 0.0;
    double dyn_pressure_Pa = 0.0;
    double static_pressure_Pa = 0.0;
    double apoapsis_km = 0.0;   // altitude above the mean radius
    double periapsis_km = 0.0;
    double inclination_deg = 0.0;
    double period_s = 0.0;            // of the osculating orbit
    double time_to_apoapsis_s = 0.0;  // until the next apoapsis, 0..period
    double mass_kg = 0.0;
    double fuel_kg = 0.0;
    double main_level = 0.0;    // mean level of the main thruster group
    int num_engines = 0;        // thrusters in the main group
    bool ground_contact = false;  // held at rest by the ground
    double gear_height_m = 0.0;   // lowest touchdown point above the surface (the origin's altitude without any)
    double longitude_deg = 0.0;
    double latitude_deg = 0.0;
    int navmode = 0;   // the active attitude autopilot (NAVMODE_*), 0 for none
    int rcs_mode = 0;  // the attitude thrusters' manual mode (RCS_*)
    // Attitude, vessel frame to local horizon frame (watch_values.h).
    double qw = 1.0, qx = 0.0, qy = 0.0, qz = 0.0;
    // Travel 0..1 of the mechanisms, as the vessel saves them.
    double gear_position = 0.0, door_position = 0.0, brake_position = 0.0, nozzle_position = 0.0;
    // States 0..1 of the control surfaces' animations (0.5 at rest).
    double elevator_anim = 0.0, aileron_anim = 0.0, rudder_anim = 0.0;
    double retro_level = 0.0, hover_level = 0.0;  // mean levels of those thruster groups
};

// Groups of FlightData read together; time, ground contact and the modes are always read.
// Script conditions and the host's events read only the groups they need, since they are
// checked every frame.
enum FlightDataGroup : unsigned {
    kFlightBasic = 0,
    kFlightEvents = 1u << 0,    // mach, main level, engines: the host's events
    kFlightAir = 1u << 1,       // airspeed, dynamic and static pressure
    kFlightMass = 1u << 2,      // mass, fuel
    kFlightAttitude = 1u << 3,  // vertical speed, pitch, bank, heading, aoa, slip
    kFlightOrbit = 1u << 4,     // apoapsis, periapsis, inclination, period, time to apoapsis
    kFlightPosition = 1u << 5,  // longitude, latitude
    kFlightGear = 1u << 6,      // gear height
    kFlightAltitude = 1u << 7,  // altitude
    kFlightWatch = 1u << 8,       // attitude quaternion, control-surface animations, retro and hover levels
    kFlightMechanisms = 1u << 9,  // mechanism travel, from a save of the vessel's state
    kFlightAll = kFlightEvents | kFlightAir | kFlightMass | kFlightAttitude | kFlightOrbit | kFlightPosition |
                 kFlightGear | kFlightAltitude | kFlightWatch | kFlightMechanisms,
};

// Reads the always-read values and the groups asked for; the other fields stay 0.
FlightData read_flight_data(const runtime::World& world, const runtime::VesselRecord& v,
                            unsigned groups = kFlightAll);
// Reads the always-read values and the groups asked for into d, leaving its other fields as
// they are.
void read_flight_groups(const runtime::World& world, const runtime::VesselRecord& v, unsigned groups, FlightData& d);

// Height above the surface of the vessel's lowest touchdown point (the origin's altitude
// without touchdown points), and a lower bound of it that costs less: the origin's height less
// the distance of the farthest touchdown point from it.
double gear_height(const runtime::World& world, const runtime::VesselRecord& v);
double gear_height_floor(const runtime::World& world, const runtime::VesselRecord& v);

// Named quantities of FlightData (script conditions, summary) go by their index, resolved
// once from the name (-1 for an unknown one): a condition checked every frame compares no
// strings. Indices follow flight_value_names().
int flight_value_index(const std::string& name);
// The indices of "time" and "time_to_apoapsis", which script conditions decide without reading
// the flight's values (checked against the names where the quantities are listed).
constexpr int kTimeValueIndex = 0;
constexpr int kTimeToApoapsisValueIndex = 16;
double flight_value_at(const FlightData& d, int index);
// The group the indexed quantity belongs to (kFlightBasic for the always-read ones).
unsigned flight_value_group(int index);
// The quantities' names, in index order.
const std::vector<std::string>& flight_value_names();
// A condition's value given as a word: the modes of "navmode" and "rcs_mode" by name
// (navmode=prograde, rcs_mode=rot). False when the quantity has no such name.
bool flight_value_from_word(int index, const std::string& word, double& value);

// Telemetry: the header line and one row, comma-separated, numbers written so that they
// read back exactly.
std::string telemetry_header();
std::string telemetry_row(const FlightData& d);

}  // namespace sim
