// What the headless host reads of a vessel so that a flight can be watched: its attitude as a
// quaternion, the travel of its mechanisms and the states of its animations.
#pragma once

#include "runtime/world.h"

namespace sim {

// A unit quaternion (w, x, y, z) whose rotation matrix, by the usual formula, takes a
// vector's components in the vessel frame (x right, y up, z forward) to its components in the
// local horizon frame (x east, y up, z north). Both frames have the same handedness, so the
// matrix is a proper rotation. The sign is chosen with w >= 0.
struct Quaternion {
    double w = 1.0, x = 0.0, y = 0.0, z = 0.0;
};
Quaternion quaternion_from_matrix(const MATRIX3& m);
Quaternion horizon_attitude(const runtime::World& world, const runtime::VesselRecord& v);

// The travel 0..1 of the mechanisms a vessel saves under the keys "GEAR", "DOORS", "BRAKES"
// and "NOZZLES" ("<state> <position>"); 0 for a key it does not write. Read from a save of the
// vessel's state into a scenario stream that is then dropped: saving changes nothing.
struct MechanismTravel {
    double gear = 0.0, doors = 0.0, brakes = 0.0, nozzles = 0.0;
};
MechanismTravel saved_mechanism_travel(runtime::World& world, const runtime::VesselRecord& v);

// The state of the animation that the vessel's first control surface of this type drives
// (0 with no such surface or no animation).
double control_surface_animation(const runtime::VesselRecord& v, AIRCTRL_TYPE type);

// The state (0..1) of an animation by its index, 0 for an index the vessel has not created.
double animation_state(const runtime::VesselRecord& v, size_t index);

// The simulator turns a control surface's animation with the surface: state 0.5 at rest, 0 and
// 1 at full deflection either way. Run after each physics step, while the vessels' levels
// still hold the pilot's inputs of that step.
void animate_control_surfaces(runtime::World& world);

}  // namespace sim
