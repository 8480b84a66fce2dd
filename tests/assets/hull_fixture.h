// The written hull mesh, posed by the vessel's own animation components, and what the
// hull's tests ask of it: vertical rays through the fixed parts, distances to the skin.
#pragma once

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "mesh_files.h"
#include "tests/vessel/korvan_world.h"

namespace korvan_test {

using korvan_assets::MeshFile;
using korvan_assets::Vec3;

inline Vec3 vec(const VECTOR3& v) { return {v.x, v.y, v.z}; }

// One rotation the vessel defined, read from the World.
struct ModuleRotation {
    int animation;
    double state0, state1, initial;
    int group;
    Vec3 ref, axis;
    double angle_deg;
};

// Every component of every animation of a freshly built vessel of `class_name`.
std::vector<ModuleRotation> module_rotations(KorvanWorld& env, Korvan* k);

// The vertices of each group with the vessel's rotations applied at `states` (one per
// animation): right-handed about the axis in the vessel's coordinates.
std::vector<std::vector<Vec3>> posed(const MeshFile& mesh, const std::vector<ModuleRotation>& rotations,
                                     const std::vector<double>& states);

// Triangles of the given groups (posed), binned by x and z for vertical rays.
class VerticalRays {
public:
    VerticalRays(const MeshFile& mesh, const std::vector<std::vector<Vec3>>& points, const std::vector<int>& groups);
    // Heights where the vertical line through (x, z) crosses the surfaces, by closed shell.
    std::map<int, std::vector<double>> crossings(double x, double z) const;
    // Inside some closed shell (an odd number of crossings above the point).
    bool inside(const Vec3& p) const;
    // Surfaces both above and below the point.
    bool enclosed(const Vec3& p) const;

private:
    struct Tri {
        std::array<Vec3, 3> p;
        int shell;
    };
    std::vector<Tri> tris_;
    std::map<std::pair<int, int>, std::vector<int>> cells_;
};

// Closest distance from p to any triangle of the given groups.
double distance_to_surface(const MeshFile& mesh, const std::vector<std::vector<Vec3>>& points,
                           const std::vector<int>& groups, const Vec3& p);

}  // namespace korvan_test
