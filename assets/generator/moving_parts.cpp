// The rotations the vessel applies to the hull's groups: for each animation its initial
// state, for each moving group the animation, state range, reference point, axis and angle.
#include <algorithm>
#include <cmath>

#include "hull_model.h"

namespace korvan_assets {

const double kInitialState[kAnimationCount] = {1.0, 0.0, 0.0, 0.5, 0.5, 0.5, 0.5, 0.5, 0.0};
const char* const kAnimationNames[kAnimationCount] = {
    "anim_gear_outer", "anim_gear_legs",     "anim_doors",  "anim_elevator", "anim_elevator_trim",
    "anim_aileron_right", "anim_aileron_left", "anim_rudder", "anim_brakes"};

const char* variant_name(Variant v) {
    switch (v) {
        case Variant::standard: return "standard";
        case Variant::b: return "B";
        case Variant::both: break;
    }
    return "both";
}

double Rotation::fraction(double state) const { return std::clamp((state - state0) / (state1 - state0), 0.0, 1.0); }

double Rotation::angle_at(double state) const {
    return angle_deg * M_PI / 180.0 * (fraction(state) - fraction(kInitialState[animation]));
}

const std::vector<MovingPart>& moving_parts() {
    constexpr Vec3 x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    constexpr Vec3 nose_door_axis{0, 0.19611, 0.98058};
    // Doors 0.1-0.9, gear doors 0.05-0.4 then legs 0.45-0.95, control surfaces 0-1.
    static const std::vector<MovingPart> parts = {
        {12, {{kAnimDoors, 0.1, 0.9, -145, {1.2, 1.353, 19.5}, z, Variant::standard}}},
        {13, {{kAnimDoors, 0.1, 0.9, 145, {-1.2, 1.353, 19.5}, z, Variant::standard}}},
        {17, {{kAnimDoors, 0.1, 0.9, -145, {2.05, 1.583, 0}, z, Variant::b}}},
        {18, {{kAnimDoors, 0.1, 0.9, 145, {-2.05, 1.583, 0}, z, Variant::b}}},
        {4, {{kAnimGearLegs, 0.05, 0.4, -80, {-8.8, -10, -9}, z, Variant::both}}},
        {6, {{kAnimGearOuter, 0.45, 0.95, 8, {0, -2.5, -35.5}, x, Variant::both}}},
        {8, {{kAnimGearLegs, 0.05, 0.4, 80, {8.8, -10, -9}, z, Variant::both}}},
        {1, {{kAnimGearOuter, 0.45, 0.95, -77, {0, -5, 25}, x, Variant::both}}},
        {2, {{kAnimGearLegs, 0.05, 0.4, -110, {-0.752, -6, 20}, nose_door_axis, Variant::both}}},
        {3,
         {{kAnimElevator, 0, 1, 25, {-17.5, 0.05, -43.15}, x, Variant::both},
          {kAnimElevatorTrim, 0, 1, 25, {-17.5, 0.05, -43.15}, x, Variant::both},
          {kAnimAileronLeft, 0, 1, -25, {-17.5, 0.05, -43.15}, x, Variant::both}}},
        {7,
         {{kAnimElevator, 0, 1, 25, {17.5, 0.05, -43.15}, x, Variant::both},
          {kAnimElevatorTrim, 0, 1, 25, {17.5, 0.05, -43.15}, x, Variant::both},
          {kAnimAileronRight, 0, 1, 25, {17.5, 0.05, -43.15}, x, Variant::both}}},
        {5, {{kAnimRudder, 0, 1, -16, {-10.25, 4, -42.8}, y, Variant::both}}},
        {9, {{kAnimRudder, 0, 1, -16, {10.25, 4, -42.8}, y, Variant::both}}},
    };
    return parts;
}

std::vector<Shell> posed_shells(const HullModel& model, const double states[kAnimationCount], Variant variant) {
    std::vector<Shell> shells;
    for (const Group& g : model.groups) {
        Shell s = g.shell;
        for (const Rotation& r : g.rotations)
            if (r.variant == Variant::both || r.variant == variant) s.transform(r.ref, r.axis, r.angle_at(states[r.animation]));
        shells.push_back(std::move(s));
    }
    return shells;
}

}  // namespace korvan_assets
