#include "flight_data.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>

#include "physics/physics.h"
#include "pilot/mode_names.h"
#include "scenario_file.h"
#include "watch_values.h"

namespace sim {

namespace {

struct Column {
    const char* header;     // telemetry column, unit in the name
    const char* condition;  // name in script conditions
    double (*get)(const FlightData&);
    unsigned group = kFlightBasic;
};

constexpr Column COLUMNS[] = {
    {"time_s", "time", [](const FlightData& d) { return d.time_s; }},
    {"altitude_m", "altitude", [](const FlightData& d) { return d.altitude_m; }, kFlightAltitude},
    {"airspeed_m_s", "airspeed", [](const FlightData& d) { return d.airspeed_m_s; }, kFlightAir},
    {"mach", "mach", [](const FlightData& d) { return d.mach; }, kFlightEvents},
    {"vertical_speed_m_s", "vertical_speed", [](const FlightData& d) { return d.vertical_speed_m_s; }, kFlightAttitude},
    {"pitch_deg", "pitch", [](const FlightData& d) { return d.pitch_deg; }, kFlightAttitude},
    {"bank_deg", "bank", [](const FlightData& d) { return d.bank_deg; }, kFlightAttitude},
    {"heading_deg", "heading", [](const FlightData& d) { return d.heading_deg; }, kFlightAttitude},
    {"aoa_deg", "aoa", [](const FlightData& d) { return d.aoa_deg; }, kFlightAttitude},
    {"slip_deg", "slip", [](const FlightData& d) { return d.slip_deg; }, kFlightAttitude},
    {"dyn_pressure_Pa", "dyn_pressure", [](const FlightData& d) { return d.dyn_pressure_Pa; }, kFlightAir},
    {"static_pressure_Pa", "static_pressure", [](const FlightData& d) { return d.static_pressure_Pa; }, kFlightAir},
    {"apoapsis_km", "apoapsis", [](const FlightData& d) { return d.apoapsis_km; }, kFlightOrbit},
    {"periapsis_km", "periapsis", [](const FlightData& d) { return d.periapsis_km; }, kFlightOrbit},
    {"inclination_deg", "inclination", [](const FlightData& d) { return d.inclination_deg; }, kFlightOrbit},
    {"period_s", "period", [](const FlightData& d) { return d.period_s; }, kFlightOrbit},
    {"time_to_apoapsis_s", "time_to_apoapsis", [](const FlightData& d) { return d.time_to_apoapsis_s; }, kFlightOrbit},
    {"mass_kg", "mass", [](const FlightData& d) { return d.mass_kg; }, kFlightMass},
    {"fuel_kg", "fuel", [](const FlightData& d) { return d.fuel_kg; }, kFlightMass},
    {"main_level", "main_level", [](const FlightData& d) { return d.main_level; }, kFlightEvents},
    {"num_engines", "num_engines", [](const FlightData& d) { return static_cast<double>(d.num_engines); }, kFlightEvents},
    {"ground_contact", "ground_contact", [](const FlightData& d) { return d.ground_contact ? 1.0 : 0.0; }},
    {"gear_height_m", "gear_height", [](const FlightData& d) { return d.gear_height_m; }, kFlightGear},
    {"longitude_deg", "longitude", [](const FlightData& d) { return d.longitude_deg; }, kFlightPosition},
    {"latitude_deg", "latitude", [](const FlightData& d) { return d.latitude_deg; }, kFlightPosition},
    {"navmode", "navmode", [](const FlightData& d) { return static_cast<double>(d.navmode); }},
    {"rcs_mode", "rcs_mode", [](const FlightData& d) { return static_cast<double>(d.rcs_mode); }},
    {"qw", "qw", [](const FlightData& d) { return d.qw; }, kFlightWatch},
    {"qx", "qx", [](const FlightData& d) { return d.qx; }, kFlightWatch},
    {"qy", "qy", [](const FlightData& d) { return d.qy; }, kFlightWatch},
    {"qz", "qz", [](const FlightData& d) { return d.qz; }, kFlightWatch},
    {"gear_position", "gear_position", [](const FlightData& d) { return d.gear_position; }, kFlightMechanisms},
    {"door_position", "door_position", [](const FlightData& d) { return d.door_position; }, kFlightMechanisms},
    {"brake_position", "brake_position", [](const FlightData& d) { return d.brake_position; }, kFlightMechanisms},
    {"nozzle_position", "nozzle_position", [](const FlightData& d) { return d.nozzle_position; }, kFlightMechanisms},
    {"elevator_anim", "elevator_anim", [](const FlightData& d) { return d.elevator_anim; }, kFlightWatch},
    {"aileron_anim", "aileron_anim", [](const FlightData& d) { return d.aileron_anim; }, kFlightWatch},
    {"rudder_anim", "rudder_anim", [](const FlightData& d) { return d.rudder_anim; }, kFlightWatch},
    {"retro_level", "retro_level", [](const FlightData& d) { return d.retro_level; }, kFlightWatch},
    {"hover_level", "hover_level", [](const FlightData& d) { return d.hover_level; }, kFlightWatch},
};

static_assert(std::string_view(COLUMNS[kTimeValueIndex].condition) == "time");
static_assert(std::string_view(COLUMNS[kTimeToApoapsisValueIndex].condition) == "time_to_apoapsis");

// Apoapsis, period and time to apoapsis of an unbound orbit: shown as a large finite figure
// (km or s) so that every row parses.
constexpr double kUnbound = 1.0e9;

double finite_or_unbound(double x) { return std::isfinite(x) ? x : kUnbound; }

}  // namespace

// Below 0 while a point presses into the ground, whether the vessel rests or rolls.
double gear_height(const runtime::World& world, const runtime::VesselRecord& v) {
    if (!v.def.touchdown_set) return world.altitude(v);
    double lowest = 0.0;
    for (size_t i = 0; i < v.def.touchdown.size(); ++i) {
        const double h = length(v.state.pos + mul(v.state.R, v.def.touchdown[i])) - world.earth.radius;
        lowest = i == 0 ? h : std::min(lowest, h);
    }
    return lowest;
}

double gear_height_floor(const runtime::World& world, const runtime::VesselRecord& v) {
    if (!v.def.touchdown_set) return world.altitude(v);
    double farthest2 = 0.0;  // m^2
    for (const VECTOR3& p : v.def.touchdown) farthest2 = std::max(farthest2, dotp(p, p));
    return length(v.state.pos) - world.earth.radius - std::sqrt(farthest2);
}

FlightData read_flight_data(const runtime::World& world, const runtime::VesselRecord& v, unsigned groups) {
    FlightData d;
    read_flight_groups(world, v, groups, d);
    return d;
}

void read_flight_groups(const runtime::World& world, const runtime::VesselRecord& v, unsigned groups, FlightData& d) {
    d.time_s = world.sim_time;
    d.ground_contact = v.state.landed;
    d.navmode = v.controls.navmode;
    d.rcs_mode = v.controls.rcs_mode;
    if (groups & kFlightEvents) {
        d.mach = world.mach(v);
        d.main_level = world.group_level(v, THGROUP_MAIN);
        const runtime::ThrusterGroupRecord* main = world.group(const_cast<runtime::VesselRecord&>(v), THGROUP_MAIN);
        d.num_engines = main != nullptr ? static_cast<int>(main->thrusters.size()) : 0;
    }
    if (groups & kFlightGear) d.gear_height_m = gear_height(world, v);
    if (groups & kFlightAltitude) d.altitude_m = world.altitude(v);
    if (groups & kFlightAir) {
        d.airspeed_m_s = world.airspeed(v);
        d.dyn_pressure_Pa = world.dyn_pressure(v);
        d.static_pressure_Pa = world.atm_pressure(v);
    }
    if (groups & kFlightMass) {
        d.mass_kg = world.mass(v);
        double fuel = 0.0;
        for (const auto& p : v.def.propellants) fuel += p->mass;
        d.fuel_kg = fuel;
    }
    if (groups & kFlightAttitude) {
        d.vertical_speed_m_s = world.horizon_airspeed(v).y;
        d.pitch_deg = world.pitch(v) * DEG;
        d.bank_deg = world.bank(v) * DEG;
        d.heading_deg = world.heading(v) * DEG;
        d.aoa_deg = world.aoa(v) * DEG;
        d.slip_deg = world.slip(v) * DEG;
    }
    if (groups & kFlightOrbit) {
        const physics::OrbitShape orbit = physics::orbit_shape(world.earth.mu, v.state.pos, v.state.vel);
        d.apoapsis_km = std::isfinite(orbit.apoapsis_radius) && orbit.apoapsis_radius > 0.0
                            ? (orbit.apoapsis_radius - world.earth.radius) / 1000.0
                            : kUnbound;
        d.periapsis_km = (orbit.periapsis_radius - world.earth.radius) / 1000.0;
        d.inclination_deg = orbit.inclination * DEG;
        d.period_s = finite_or_unbound(orbit.period);
        d.time_to_apoapsis_s = finite_or_unbound(orbit.time_to_apoapsis);
    }
    if (groups & kFlightPosition) {
        double lng = 0.0, lat = 0.0, rad = 0.0;
        world.equ_pos(v, lng, lat, rad);
        d.longitude_deg = lng * DEG;
        d.latitude_deg = lat * DEG;
    }
    if (groups & kFlightWatch) {
        const Quaternion q = horizon_attitude(world, v);
        d.qw = q.w, d.qx = q.x, d.qy = q.y, d.qz = q.z;
        d.elevator_anim = control_surface_animation(v, AIRCTRL_ELEVATOR);
        d.aileron_anim = control_surface_animation(v, AIRCTRL_AILERON);
        d.rudder_anim = control_surface_animation(v, AIRCTRL_RUDDER);
        d.retro_level = world.group_level(v, THGROUP_RETRO);
        d.hover_level = world.group_level(v, THGROUP_HOVER);
    }
    if (groups & kFlightMechanisms) {
        // Saving writes only to a stream of its own, opened and dropped here.
        const MechanismTravel m = saved_mechanism_travel(const_cast<runtime::World&>(world), v);
        d.gear_position = m.gear, d.door_position = m.doors, d.brake_position = m.brakes, d.nozzle_position = m.nozzles;
    }
}

int flight_value_index(const std::string& name) {
    for (size_t i = 0; i < std::size(COLUMNS); ++i)
        if (name == COLUMNS[i].condition) return static_cast<int>(i);
    return -1;
}

double flight_value_at(const FlightData& d, int index) {
    return index >= 0 && index < static_cast<int>(std::size(COLUMNS)) ? COLUMNS[index].get(d) : 0.0;
}

unsigned flight_value_group(int index) {
    return index >= 0 && index < static_cast<int>(std::size(COLUMNS)) ? COLUMNS[index].group : kFlightBasic;
}

const std::vector<std::string>& flight_value_names() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const Column& c : COLUMNS) n.emplace_back(c.condition);
        return n;
    }();
    return names;
}

bool flight_value_from_word(int index, const std::string& word, double& value) {
    int mode = -1;
    if (index == flight_value_index("navmode")) mode = pilot::mode_of(pilot::NAVMODE_NAMES, word);
    else if (index == flight_value_index("rcs_mode")) mode = pilot::mode_of(pilot::RCS_MODE_NAMES, word);
    if (mode < 0) return false;
    value = mode;
    return true;
}

std::string telemetry_header() {
    std::string line;
    for (const Column& c : COLUMNS) {
        if (!line.empty()) line += ",";
        line += c.header;
    }
    return line;
}

std::string telemetry_row(const FlightData& d) {
    char line[std::size(COLUMNS) * (kDoubleTextSize + 1)];
    char* end = line;
    for (const Column& c : COLUMNS) {
        if (end != line) *end++ = ',';
        end = write_double(end, c.get(d));
    }
    return std::string(line, end);
}

}  // namespace sim
