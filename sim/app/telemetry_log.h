// The run's telemetry: a row of the focus vessel's flight values at the start, every interval
// of simulation time, and at the end. It owns its rows and when the next one is due.
#pragma once

#include <string>
#include <vector>

#include "flight_data.h"

namespace sim {

class TelemetryLog {
public:
    void set_interval(double seconds) { interval_ = seconds; }
    // Whether a row is due at simulation time `time` (always, when forced, unless one was
    // taken at that very time).
    bool due(double time, bool force) const;
    void add(double time, const FlightData& d);
    const std::vector<std::string>& rows() const { return rows_; }
    std::string csv() const;  // the header line and every row

private:
    double interval_ = 1.0;        // s
    std::vector<std::string> rows_;
    double next_sample_ = 0.0;     // index of the next row's time
    double last_sample_time_ = -1.0;
};

}  // namespace sim
