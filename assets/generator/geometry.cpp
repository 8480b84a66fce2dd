#include "geometry.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>

namespace korvan_assets {

namespace {

constexpr double kAreaEpsilon = 1e-12;  // m^2: a triangle with less area is no triangle

bool has_area(const Vec3& a, const Vec3& b, const Vec3& c) { return length(cross(b - a, c - a)) > kAreaEpsilon; }

bool ring_is_point(const Ring& ring) {
    for (const Vec3& p : ring)
        if (length(p - ring.front()) > 1e-9) return false;
    return true;
}

// Newell's normal of a closed polygon: its direction follows the polygon's turning sense.
Vec3 polygon_normal(const std::vector<Vec3>& polygon) {
    Vec3 n;
    for (std::size_t i = 0; i < polygon.size(); ++i) {
        const Vec3& a = polygon[i];
        const Vec3& b = polygon[(i + 1) % polygon.size()];
        n.x += (a.y - b.y) * (a.z + b.z);
        n.y += (a.z - b.z) * (a.x + b.x);
        n.z += (a.x - b.x) * (a.y + b.y);
    }
    return n;
}

struct Point2 {
    double u, v;
};

double turn(Point2 a, Point2 b, Point2 c) { return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u); }

bool in_triangle_or_on_edge(Point2 p, Point2 a, Point2 b, Point2 c) {
    const double eps = 1e-12;
    return turn(a, b, p) >= -eps && turn(b, c, p) >= -eps && turn(c, a, p) >= -eps;
}

}  // namespace

Vec3 rotate(Vec3 v, Vec3 axis, double angle) {
    const Vec3 a = normalized(axis);
    const double c = std::cos(angle), s = std::sin(angle);
    return v * c + cross(a, v) * s + a * (dot(a, v) * (1.0 - c));
}

double Shell::signed_volume() const {
    double six_v = 0.0;
    for (const Triangle& t : triangles) six_v += dot(points[t[0]], cross(points[t[1]], points[t[2]]));
    return six_v / 6.0;
}

void Shell::orient_outward() {
    if (signed_volume() >= 0.0) return;
    for (Triangle& t : triangles) std::swap(t[1], t[2]);
}

void Shell::append(const Shell& other) {
    const int base = static_cast<int>(points.size());
    points.insert(points.end(), other.points.begin(), other.points.end());
    for (const Triangle& t : other.triangles) triangles.push_back({t[0] + base, t[1] + base, t[2] + base});
}

void Shell::transform(Vec3 ref, Vec3 axis, double angle) {
    for (Vec3& p : points) p = rotate_about(p, ref, axis, angle);
}

void Shell::translate(Vec3 offset) {
    for (Vec3& p : points) p = p + offset;
}

void Shell::mirror_x() {
    for (Vec3& p : points) p.x = -p.x;
    for (Triangle& t : triangles) std::swap(t[1], t[2]);
}

std::vector<Triangle> triangulate_polygon(const std::vector<Vec3>& polygon) {
    const std::size_t n = polygon.size();
    std::vector<Triangle> result;
    if (n < 3) return result;
    // Work in the polygon's plane, turned so that the polygon runs counter-clockwise.
    const Vec3 normal = normalized(polygon_normal(polygon));
    const Vec3 helper = std::fabs(normal.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
    const Vec3 u_axis = normalized(cross(helper, normal));
    const Vec3 v_axis = cross(normal, u_axis);
    std::vector<Point2> flat(n);
    for (std::size_t i = 0; i < n; ++i) flat[i] = {dot(polygon[i], u_axis), dot(polygon[i], v_axis)};

    std::vector<int> remaining(n);
    for (std::size_t i = 0; i < n; ++i) remaining[i] = static_cast<int>(i);
    // Of all ears, clip the best shaped one (the largest smallest angle), so that nearly
    // straight runs of points end up in broad triangles rather than slivers.
    auto smallest_angle = [](Point2 a, Point2 b, Point2 c) {
        auto angle = [](Point2 p, Point2 q, Point2 r) {
            const double ux = q.u - p.u, uy = q.v - p.v, vx = r.u - p.u, vy = r.v - p.v;
            return std::atan2(std::fabs(ux * vy - uy * vx), ux * vx + uy * vy);
        };
        return std::min({angle(a, b, c), angle(b, c, a), angle(c, a, b)});
    };
    while (remaining.size() > 3) {
        const std::size_t m = remaining.size();
        std::size_t best = m;
        double best_angle = -1.0;
        for (std::size_t i = 0; i < m; ++i) {
            const int ia = remaining[(i + m - 1) % m], ib = remaining[i], ic = remaining[(i + 1) % m];
            const Point2 a = flat[ia], b = flat[ib], c = flat[ic];
            if (turn(a, b, c) <= 1e-12) continue;  // reflex or straight: no ear
            const double quality = smallest_angle(a, b, c);
            if (quality <= best_angle) continue;
            bool empty = true;
            for (int k : remaining) {
                if (k == ia || k == ib || k == ic) continue;
                const Point2 p = flat[k];
                const bool at_corner = (p.u == a.u && p.v == a.v) || (p.u == b.u && p.v == b.v) ||
                                       (p.u == c.u && p.v == c.v);
                if (!at_corner && in_triangle_or_on_edge(p, a, b, c)) {
                    empty = false;
                    break;
                }
            }
            if (!empty) continue;
            best = i;
            best_angle = quality;
        }
        if (best == m) {
            std::string where;
            for (int k : remaining) {
                const Vec3& p = polygon[static_cast<std::size_t>(k)];
                where += " (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z) + ")";
            }
            throw std::runtime_error("a cap polygon is not simple: no ear left to clip among" + where);
        }
        result.push_back({remaining[(best + m - 1) % m], remaining[best], remaining[(best + 1) % m]});
        remaining.erase(remaining.begin() + static_cast<std::ptrdiff_t>(best));
    }
    result.push_back({remaining[0], remaining[1], remaining[2]});
    return result;
}

Shell loft(const std::vector<Ring>& rings) {
    if (rings.size() < 2) throw std::runtime_error("a loft needs two rings or more");
    const std::size_t m = rings.front().size();
    Shell shell;
    for (const Ring& r : rings) {
        if (r.size() != m) throw std::runtime_error("the rings of a loft differ in size");
        shell.points.insert(shell.points.end(), r.begin(), r.end());
    }
    auto index = [m](std::size_t ring, std::size_t j) { return static_cast<int>(ring * m + j % m); };
    auto add = [&shell](int a, int b, int c) {
        if (has_area(shell.points[a], shell.points[b], shell.points[c])) shell.triangles.push_back({a, b, c});
    };
    for (std::size_t k = 0; k + 1 < rings.size(); ++k) {
        for (std::size_t j = 0; j < m; ++j) {
            const int a = index(k, j), b = index(k, j + 1), c = index(k + 1, j + 1), d = index(k + 1, j);
            // Split each quad along its shorter diagonal.
            if (length(shell.points[a] - shell.points[c]) <= length(shell.points[b] - shell.points[d])) {
                add(a, b, c);
                add(a, c, d);
            } else {
                add(a, b, d);
                add(b, c, d);
            }
        }
    }
    // The side walls use the last ring in its own order and the first one reversed.
    auto cap = [&](std::size_t ring, bool reverse) {
        if (ring_is_point(rings[ring])) return;
        for (const Triangle& t : triangulate_polygon(rings[ring])) {
            const int a = index(ring, t[0]), b = index(ring, t[1]), c = index(ring, t[2]);
            if (reverse)
                add(a, c, b);
            else
                add(a, b, c);
        }
    };
    cap(0, true);
    cap(rings.size() - 1, false);

    // One point where several coincide (an apex), so that the surface is one piece.
    std::map<std::tuple<double, double, double>, int> unique;
    std::vector<int> remap(shell.points.size());
    std::vector<Vec3> points;
    for (std::size_t i = 0; i < shell.points.size(); ++i) {
        const Vec3& p = shell.points[i];
        auto [it, inserted] = unique.try_emplace({p.x, p.y, p.z}, static_cast<int>(points.size()));
        if (inserted) points.push_back(p);
        remap[i] = it->second;
    }
    shell.points = std::move(points);
    for (Triangle& t : shell.triangles)
        for (int& i : t) i = remap[static_cast<std::size_t>(i)];
    shell.orient_outward();
    return shell;
}

Ring circle(Vec3 centre, Vec3 start, Vec3 axis, double r, int n) {
    Ring ring;
    const double step = 2.0 * M_PI / n;
    for (int i = 0; i < n; ++i) ring.push_back(centre + rotate(start, axis, step * i) * r);
    return ring;
}

Shell box(Vec3 corner, Vec3 a, Vec3 b, Vec3 c) {
    const Ring base = {corner, corner + a, corner + a + b, corner + b};
    Ring top;
    for (const Vec3& p : base) top.push_back(p + c);
    return loft({base, top});
}

Shell cylinder(Vec3 a, Vec3 b, double r, int n) {
    const Vec3 axis = normalized(b - a);
    const Vec3 helper = std::fabs(axis.y) < 0.9 ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
    const Vec3 start = normalized(cross(axis, helper));
    return loft({circle(a, start, axis, r, n), circle(b, start, axis, r, n)});
}

}  // namespace korvan_assets
