// The track of a run for watching it: every vessel's position, attitude and animation states
// sampled often enough for smooth motion, then thinned to the samples that interpolation
// between neighbours needs. The replay page, flight.acmi and flight.czml are drawn from it.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "runtime/world.h"
#include "watch_values.h"

namespace sim {

// Animations kept per sample: the Korvan's nine (gear outer, gear legs, doors, elevator,
// elevator trim, right and left aileron, rudder, brakes, in the order it creates them).
constexpr size_t kTrackAnimations = 9;

struct TrackSample {
    double t = 0.0;              // s
    double longitude_deg = 0.0;  // rotating Earth, -180..180
    double latitude_deg = 0.0;
    double altitude_m = 0.0;
    Quaternion attitude;  // vessel frame to local horizon frame
    double pitch_deg = 0.0, bank_deg = 0.0, heading_deg = 0.0;
    double mach = 0.0, aoa_deg = 0.0, fuel_kg = 0.0, main_level = 0.0;
    std::array<double, kTrackAnimations> animations{};
};

struct VesselTrack {
    std::string name;
    std::string class_name;
    bool focus = false;  // the focus vessel at the end of the run (or the last one seen)
    std::vector<TrackSample> samples;
    double end_time = -1.0;  // s when it left the run; below 0 while it stays to the end
};

// How far linear interpolation between kept samples may stray from a dropped one.
struct TrackTolerance {
    double position_m = 2.0;
    double attitude = 1e-3;  // quaternion component, about 0.1 degree
    double animation = 0.005;
    double level = 0.01;
    double max_gap_s = 5.0;  // longest time between kept samples
};

class FlightTrack {
public:
    explicit FlightTrack(double interval_s) : interval_(interval_s) {}

    // Samples every vessel when the interval has passed since the last sample (or when forced).
    void sample(const runtime::World& world, bool force);
    // The tracks thinned to what interpolation needs, vessels in the order they appeared.
    std::vector<VesselTrack> thinned(const TrackTolerance& tolerance = {}) const;
    const std::vector<VesselTrack>& raw() const { return vessels_; }
    double start_mjd() const { return start_mjd_; }

private:
    double interval_;
    double next_ = 0.0;
    double last_time_ = -1.0;
    double start_mjd_ = 0.0;
    bool started_ = false;
    std::vector<VesselTrack> vessels_;
};

TrackSample track_sample(const runtime::World& world, const runtime::VesselRecord& v);
// The sample at time t between a and b, interpolated as the replay page does: linearly, the
// attitude normalised after, longitude across the date line the short way.
TrackSample interpolate(const TrackSample& a, const TrackSample& b, double t);

}  // namespace sim
