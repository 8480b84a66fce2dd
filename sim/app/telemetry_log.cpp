#include "telemetry_log.h"

#include <cmath>

#include "simulation_internal.h"

namespace sim {

bool TelemetryLog::due(double time, bool force) const {
    if (time == last_sample_time_) return false;
    return force || time + kTimeEpsilon >= next_sample_ * interval_;
}

void TelemetryLog::add(double time, const FlightData& d) {
    rows_.push_back(telemetry_row(d));
    last_sample_time_ = time;
    next_sample_ = std::floor((time + kTimeEpsilon) / interval_) + 1.0;
}

std::string TelemetryLog::csv() const {
    std::string out = telemetry_header() + "\n";
    size_t size = out.size();
    for (const std::string& row : rows_) size += row.size() + 1;
    out.reserve(size);
    for (const std::string& row : rows_) out.append(row).push_back('\n');
    return out;
}

}  // namespace sim
