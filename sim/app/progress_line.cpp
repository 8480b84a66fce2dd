// The progress line: one line on stderr, refreshed a few times a second of wall time.
#include <cstdio>

#include "simulation.h"
#include "simulation_internal.h"

namespace sim {

namespace {

constexpr double kProgressPeriod = 0.25;  // s of wall time between progress refreshes

}  // namespace

void Simulation::show_progress(bool last) {
    if (!options_.progress) return;
    const double now = wall_seconds();
    if (!last && last_progress_wall_ >= 0.0 && now - last_progress_wall_ < kProgressPeriod) return;
    last_progress_wall_ = now;
    if (const runtime::VesselRecord* f = focus_vessel()) {
        const FlightData d = read_flight_data(*world_, *f);
        std::fprintf(stderr, "\r\033[Kt=%9.2f s  alt=%10.1f m  speed=%8.1f m/s  Mach %5.2f", d.time_s, d.altitude_m,
                     d.airspeed_m_s, d.mach);
    }
    if (last) std::fputc('\n', stderr);
    std::fflush(stderr);
}

}  // namespace sim
