// The wind of a flight's air: constant east and north components aloft, calm at the surface.
// The profile is in docs/physics.md ("Dispersions").
#include <cmath>

#include "runtime/world.h"

namespace runtime {

namespace {

// Below the top of the surface layer the wind grows with the seventh root of the height, as
// over open ground; it blows in full through the troposphere and dies out above, where the
// air is too thin for it to matter.
constexpr double kSurfaceLayerTop = 1000.0;  // m
constexpr double kSurfaceLayerExponent = 1.0 / 7.0;
constexpr double kFullWindTop = 20000.0;     // m
constexpr double kCalmAbove = 30000.0;       // m

double wind_profile(double altitude) {
    if (altitude <= 0.0 || altitude >= kCalmAbove) return 0.0;
    if (altitude < kSurfaceLayerTop) return std::pow(altitude / kSurfaceLayerTop, kSurfaceLayerExponent);
    if (altitude <= kFullWindTop) return 1.0;
    return (kCalmAbove - altitude) / (kCalmAbove - kFullWindTop);
}

}  // namespace

VECTOR3 wind_velocity(const BodyRecord& body, const VECTOR3& pos) {
    if (body.wind_east == 0.0 && body.wind_north == 0.0) return _V(0.0, 0.0, 0.0);
    const double r = std::sqrt(pos.x * pos.x + pos.y * pos.y + pos.z * pos.z);
    const double scale = wind_profile(r - body.radius);
    const double horizontal = std::hypot(pos.x, pos.z);
    if (scale == 0.0 || horizontal == 0.0) return _V(0.0, 0.0, 0.0);  // calm, or over a pole
    // The horizon's east and north axes at the position (the body turns about +y).
    const double cos_lng = pos.x / horizontal, sin_lng = pos.z / horizontal;
    const double sin_lat = pos.y / r, cos_lat = horizontal / r;
    const VECTOR3 east = _V(-sin_lng, 0.0, cos_lng);
    const VECTOR3 north = _V(-sin_lat * cos_lng, cos_lat, -sin_lat * sin_lng);
    const double e = body.wind_east * scale, n = body.wind_north * scale;
    return _V(e * east.x + n * north.x, e * east.y + n * north.y, e * east.z + n * north.z);
}

}  // namespace runtime
