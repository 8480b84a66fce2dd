// What the parts of a run share: the time tolerance of scheduled instants and the wall clock.
#pragma once

namespace sim {

constexpr double kTimeEpsilon = 1e-9;  // s: a time reached "at" a scheduled instant

// Seconds of a steady wall clock (progress line, frame costs).
double wall_seconds();

}  // namespace sim
