// The Korvan's mesh as the generator builds it: groups (each a set of closed shells, one
// material, one texture), the materials, and for each moving group the rotations the vessel
// applies to it.
#pragma once

#include <string>
#include <vector>

#include "geometry.h"

namespace korvan_assets {

// The vessel's animations in the order it creates them (the host numbers them so).
enum Animation {
    kAnimGearOuter,
    kAnimGearLegs,
    kAnimDoors,
    kAnimElevator,
    kAnimElevatorTrim,
    kAnimAileronRight,
    kAnimAileronLeft,
    kAnimRudder,
    kAnimBrakes,
    kAnimationCount
};

// Each animation's initial state: the mesh is stored in the pose of these states.
extern const double kInitialState[kAnimationCount];
extern const char* const kAnimationNames[kAnimationCount];

enum class Variant { both, standard, b };
const char* variant_name(Variant v);

// One rotation of a group: by angle_deg times how far the animation's state has moved
// across [state0, state1] from its initial state, about axis through ref (vessel frame),
// right-handed in the vessel's coordinates (see rotate()).
struct Rotation {
    Animation animation;
    double state0, state1;
    double angle_deg;
    Vec3 ref, axis;
    Variant variant;

    double fraction(double state) const;
    // The turn (radians) at `state` relative to the stored pose.
    double angle_at(double state) const;
};

struct Material {
    std::string name;
    double diffuse[4], ambient[4], specular[4], specular_power, emissive[4];
};

struct Group {
    std::string name;
    int material = 0;  // index into materials
    int texture = -1;  // index into textures, -1 for none
    Shell shell;
    std::vector<Rotation> rotations;  // empty for the fixed parts
    bool moves() const { return !rotations.empty(); }
    Vec3 pivot() const { return rotations.empty() ? Vec3{} : rotations.front().ref; }
};

struct HullModel {
    std::vector<Group> groups;  // index = mesh group number
    std::vector<Material> materials;
    std::vector<std::string> textures;  // file names under Textures/
};

// Which group each of the vessel's rotations turns, in the order the vessel adds them.
struct MovingPart {
    int group;
    std::vector<Rotation> rotations;
};
const std::vector<MovingPart>& moving_parts();

// The whole vessel, from the parametric description in korvan_hull.cpp.
HullModel build_korvan();

// The model's groups posed at the given animation states, for the given variant's doors.
std::vector<Shell> posed_shells(const HullModel& model, const double states[kAnimationCount], Variant variant);

}  // namespace korvan_assets
