// The end-of-run report: a few lines for the terminal.
#include <cstdio>

#include "physics/physics.h"
#include "simulation.h"

namespace sim {

std::string Simulation::report() const {
    auto state_line = [](const FlightData& d) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "alt %8.1f km  airspeed %7.1f m/s  Mach %5.2f  apoapsis %8.1f km  periapsis %8.1f km  "
                      "incl %6.2f deg  fuel %7.0f kg",
                      d.altitude_m / 1000.0, d.airspeed_m_s, d.mach, d.apoapsis_km, d.periapsis_km, d.inclination_deg,
                      d.fuel_kg);
        return std::string(line);
    };
    char head[160];
    std::snprintf(head, sizeof head, "%s at t = %.2f s\n", outcome_name(result_.outcome), world_->sim_time);
    std::string out = head;
    for (const EventRecord& e : events_) {
        char line[96];
        std::snprintf(line, sizeof line, "  %-14s t = %7.2f s  ", e.name.c_str(), e.time);
        out += line + (e.focus ? state_line(*e.focus) : std::string()) + "\n";
    }
    if (physics_ != nullptr)
        for (const physics::CrashReport& c : physics_->crashes()) {
            char line[200];
            std::snprintf(line, sizeof line,
                          "  crash: %s struck the ground with its %s at %.1f m/s (%.1f m/s down) at t = %.2f s; "
                          "wreck at %.4f, %.4f deg\n",
                          c.vessel.c_str(), c.hull ? "hull" : "gear", c.speed, c.sink_speed, c.time,
                          c.longitude * DEG, c.latitude * DEG);
            out += line;
        }
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        out += "  final (" + f->name + ")  " + state_line(d) + "\n";
        char last[200];
        // A vessel on the ground (resting, or rolling with a point pressed into it) has no orbit
        // to speak of: the elements of its ground speed would read as a fall to the centre.
        if (d.ground_contact || d.gear_height_m <= 0.0)
            std::snprintf(last, sizeof last, "  on the ground, propellant left %.0f kg\n", d.fuel_kg);
        else
            std::snprintf(last, sizeof last,
                          "  orbit: apoapsis %.1f km, periapsis %.1f km, period %.1f min, inclination %.2f deg, "
                          "propellant left %.0f kg\n",
                          d.apoapsis_km, d.periapsis_km, d.period_s / 60.0, d.inclination_deg, d.fuel_kg);
        out += last;
    }
    for (const std::string& error : outputs_.errors()) out += "  not written: " + error + "\n";
    return out;
}

}  // namespace sim
