#include "flight_track.h"

#include <algorithm>
#include <cmath>

#include "flight_data.h"

namespace sim {

namespace {

constexpr double kMetresPerDegree = 6371.0e3 * PI / 180.0;  // along a meridian of the mean sphere
constexpr double kTimeTolerance = 1e-9;                     // s

double lerp(double a, double b, double f) { return a + (b - a) * f; }

// The longitude of b moved by whole turns to lie within half a turn of a.
double unwrapped_longitude(double a, double b) {
    while (b - a > 180.0) b -= 360.0;
    while (b - a < -180.0) b += 360.0;
    return b;
}

bool close_enough(const TrackSample& s, const TrackSample& guess, const TrackTolerance& tol) {
    const double dlon = unwrapped_longitude(s.longitude_deg, guess.longitude_deg) - s.longitude_deg;
    const double east_m = dlon * kMetresPerDegree * std::cos(s.latitude_deg * RAD);
    const double north_m = (guess.latitude_deg - s.latitude_deg) * kMetresPerDegree;
    if (std::hypot(east_m, north_m) > tol.position_m || std::abs(guess.altitude_m - s.altitude_m) > tol.position_m)
        return false;
    const Quaternion& p = s.attitude;
    const Quaternion& q = guess.attitude;
    if (std::max({std::abs(p.w - q.w), std::abs(p.x - q.x), std::abs(p.y - q.y), std::abs(p.z - q.z)}) > tol.attitude)
        return false;
    for (size_t k = 0; k < kTrackAnimations; ++k)
        if (std::abs(s.animations[k] - guess.animations[k]) > tol.animation) return false;
    return std::abs(s.main_level - guess.main_level) <= tol.level;
}

// Keeps the first and last samples and, between them, each sample without which
// interpolation from the last kept one would miss a dropped sample.
std::vector<TrackSample> thin(const std::vector<TrackSample>& in, const TrackTolerance& tol) {
    if (in.size() <= 2) return in;
    std::vector<TrackSample> out{in.front()};
    size_t kept = 0;
    for (size_t next = 2; next < in.size(); ++next) {
        const TrackSample& a = in[kept];
        const TrackSample& b = in[next];
        bool fits = b.t - a.t <= tol.max_gap_s;
        for (size_t i = kept + 1; fits && i < next; ++i) fits = close_enough(in[i], interpolate(a, b, in[i].t), tol);
        if (!fits) {
            kept = next - 1;
            out.push_back(in[kept]);
        }
    }
    out.push_back(in.back());
    return out;
}

// A vessel sets its animations from its state during its own steps: its first sample, taken
// before it has stepped, shows the states of its second rather than those it created them
// with (gear up on the runway, surfaces at full deflection) for a moment.
void add_sample(std::vector<TrackSample>& samples, const TrackSample& s) {
    if (samples.size() == 1) samples.front().animations = s.animations;
    samples.push_back(s);
}

}  // namespace

TrackSample track_sample(const runtime::World& world, const runtime::VesselRecord& v) {
    const FlightData d = read_flight_data(world, v, kFlightEvents | kFlightAttitude | kFlightPosition |
                                                        kFlightAltitude | kFlightMass | kFlightWatch);
    TrackSample s;
    s.t = world.sim_time;
    s.longitude_deg = d.longitude_deg;
    s.latitude_deg = d.latitude_deg;
    s.altitude_m = d.altitude_m;
    s.attitude = {d.qw, d.qx, d.qy, d.qz};
    s.pitch_deg = d.pitch_deg;
    s.bank_deg = d.bank_deg;
    s.heading_deg = d.heading_deg;
    s.mach = d.mach;
    s.aoa_deg = d.aoa_deg;
    s.fuel_kg = d.fuel_kg;
    s.main_level = d.main_level;
    for (size_t k = 0; k < kTrackAnimations; ++k) s.animations[k] = animation_state(v, k);
    return s;
}

TrackSample interpolate(const TrackSample& a, const TrackSample& b, double t) {
    const double span = b.t - a.t;
    const double f = span > 0.0 ? std::clamp((t - a.t) / span, 0.0, 1.0) : 0.0;
    TrackSample s = a;
    s.t = t;
    double lon = lerp(a.longitude_deg, unwrapped_longitude(a.longitude_deg, b.longitude_deg), f);
    if (lon > 180.0) lon -= 360.0;
    if (lon < -180.0) lon += 360.0;
    s.longitude_deg = lon;
    s.latitude_deg = lerp(a.latitude_deg, b.latitude_deg, f);
    s.altitude_m = lerp(a.altitude_m, b.altitude_m, f);
    // The shorter way round: q and -q are the same attitude.
    const Quaternion& p = a.attitude;
    Quaternion q = b.attitude;
    if (p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z < 0.0) q = {-q.w, -q.x, -q.y, -q.z};
    Quaternion r{lerp(p.w, q.w, f), lerp(p.x, q.x, f), lerp(p.y, q.y, f), lerp(p.z, q.z, f)};
    const double n = std::sqrt(r.w * r.w + r.x * r.x + r.y * r.y + r.z * r.z);
    s.attitude = {r.w / n, r.x / n, r.y / n, r.z / n};
    s.pitch_deg = lerp(a.pitch_deg, b.pitch_deg, f);
    s.bank_deg = lerp(a.bank_deg, b.bank_deg, f);
    s.heading_deg = lerp(a.heading_deg, b.heading_deg, f);
    s.mach = lerp(a.mach, b.mach, f);
    s.aoa_deg = lerp(a.aoa_deg, b.aoa_deg, f);
    s.fuel_kg = lerp(a.fuel_kg, b.fuel_kg, f);
    s.main_level = lerp(a.main_level, b.main_level, f);
    for (size_t k = 0; k < kTrackAnimations; ++k) s.animations[k] = lerp(a.animations[k], b.animations[k], f);
    return s;
}

void FlightTrack::sample(const runtime::World& world, bool force) {
    const double t = world.sim_time;
    if (t == last_time_ || (!force && t + kTimeTolerance < next_ * interval_)) return;
    if (!started_) {
        started_ = true;
        start_mjd_ = world.mjd - t / 86400.0;
    }
    last_time_ = t;
    next_ = std::floor((t + kTimeTolerance) / interval_) + 1.0;
    const runtime::VesselRecord* focus = world.record(world.focus);
    std::vector<bool> seen(vessels_.size(), false);
    for (size_t i = 0; i < world.vessel_count(); ++i) {
        const runtime::VesselRecord* v = world.vessel(i);
        if (v->pending_delete) continue;
        auto it = std::find_if(vessels_.begin(), vessels_.end(),
                               [&](const VesselTrack& track) { return track.name == v->name && track.end_time < 0.0; });
        if (it == vessels_.end()) {
            vessels_.push_back({v->name, v->class_name, false, {}, -1.0});
            seen.push_back(false);
            it = vessels_.end() - 1;
        }
        seen[static_cast<size_t>(it - vessels_.begin())] = true;
        add_sample(it->samples, track_sample(world, *v));
        if (v == focus) {
            for (VesselTrack& other : vessels_) other.focus = false;
            it->focus = true;
        }
    }
    for (size_t i = 0; i < vessels_.size(); ++i)
        if (!seen[i] && vessels_[i].end_time < 0.0) vessels_[i].end_time = t;
}

std::vector<VesselTrack> FlightTrack::thinned(const TrackTolerance& tolerance) const {
    std::vector<VesselTrack> out = vessels_;
    for (VesselTrack& v : out) v.samples = thin(v.samples, tolerance);
    return out;
}

}  // namespace sim
