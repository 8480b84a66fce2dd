// Vectors, closed triangle shells and the few ways the hull's parts are built from them:
// lofts through rings of points, and planar caps.
#pragma once

#include <array>
#include <cmath>
#include <vector>

namespace korvan_assets {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline Vec3 normalized(Vec3 a) {
    const double l = length(a);
    return l > 0.0 ? a * (1.0 / l) : a;
}
inline Vec3 lerp(Vec3 a, Vec3 b, double t) { return a + (b - a) * t; }

// Turns v about the unit axis by angle radians, right-handed in the coordinates as written:
// v cos + (axis x v) sin + axis (axis . v)(1 - cos). In the vessel frame (x right, y up,
// z forward) a positive angle about +z turns +x toward +y.
Vec3 rotate(Vec3 v, Vec3 axis, double angle);
// The same about an axis through the point ref.
inline Vec3 rotate_about(Vec3 p, Vec3 ref, Vec3 axis, double angle) { return ref + rotate(p - ref, axis, angle); }

using Triangle = std::array<int, 3>;

// A closed surface: every edge shared by two triangles that use it in opposite directions.
// Triangles are wound so that (b - a) x (c - a) points out of the solid.
struct Shell {
    std::vector<Vec3> points;
    std::vector<Triangle> triangles;

    double signed_volume() const;
    // Reverses every triangle when the surface encloses a negative volume.
    void orient_outward();
    void append(const Shell& other);
    void transform(Vec3 ref, Vec3 axis, double angle);
    void translate(Vec3 offset);
    void mirror_x();  // the part on the other side; keeps the winding outward
};

using Ring = std::vector<Vec3>;

// A surface through rings of equal size, closed at both ends: by a planar cap, or by an apex
// where a ring has shrunk to one point repeated. Triangles of zero area are left out (where
// neighbouring rings share points).
Shell loft(const std::vector<Ring>& rings);

// Triangulates a simple planar polygon (ear clipping); indices into `polygon`.
std::vector<Triangle> triangulate_polygon(const std::vector<Vec3>& polygon);

// A ring of n points on a circle of radius r about `centre` in the plane normal to `axis`,
// the first at `start` (a unit vector in that plane).
Ring circle(Vec3 centre, Vec3 start, Vec3 axis, double r, int n);

// A closed box spanned by a corner and three edge vectors.
Shell box(Vec3 corner, Vec3 a, Vec3 b, Vec3 c);
// A closed cylinder from a to b of radius r, n sides.
Shell cylinder(Vec3 a, Vec3 b, double r, int n);

}  // namespace korvan_assets
