// Cheap bounds on flight values that are costly to compute, so that a script condition
// checked every frame is decided without the exact value whenever the bound settles it.
#pragma once

#include <optional>

#include "orbiter_api.h"
#include "script.h"

namespace sim {

// A closed interval that holds a flight value as read_flight_data() computes it.
struct ValueRange {
    double lo = 0.0;
    double hi = 0.0;
};

// Where the time to apoapsis lies, from the state alone (no trigonometry), for a clearly
// bound orbit; nullopt where the bound cannot be made safely (near-circular, near the
// apsides, unbound or nearly so, a state that is not finite).
std::optional<ValueRange> time_to_apoapsis_range(double mu, const VECTOR3& pos, const VECTOR3& vel);

// The condition's result for every value in the range, or nullopt when the range does not
// settle it.
std::optional<bool> condition_over_range(const Condition& c, const ValueRange& range);

}  // namespace sim
