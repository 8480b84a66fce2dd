// The two parts of the standard atmosphere, joined at 86 km by us_standard_atmosphere.
#pragma once

#include "physics/physics.h"

namespace physics {

constexpr double kLowerAtmosphereTop = 86000.0;  // m, geometric

// Below 86 km: the seven layers by geopotential altitude (atmosphere.cpp).
Atmosphere lower_atmosphere(double geometric_altitude_m);

// From 86 km up: the kinetic temperature by geometric altitude and the densities of the
// standard's six gases (upper_atmosphere.cpp).
Atmosphere upper_atmosphere(double geometric_altitude_m);

}  // namespace physics
