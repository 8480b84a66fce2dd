#include "hull_fixture.h"

#include <algorithm>
#include <numeric>

namespace korvan_test {

namespace {

constexpr double kCell = 0.5;  // m, the bins of the vertical rays

Vec3 turn_about_axis(const Vec3& v, const Vec3& axis, double angle) {
    const Vec3 a = korvan_assets::normalized(axis);
    return v * std::cos(angle) + korvan_assets::cross(a, v) * std::sin(angle) + a * (korvan_assets::dot(a, v) * (1 - std::cos(angle)));
}

double fraction(double state, double s0, double s1) { return std::clamp((state - s0) / (s1 - s0), 0.0, 1.0); }

// Connected pieces of a group, by vertices at the same place.
std::vector<int> shell_of_triangles(const korvan_assets::MeshGroup& g) {
    std::map<std::array<long, 3>, int> place;
    std::vector<int> parent;
    auto find = [&parent](int i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    std::vector<int> vertex_place(g.vertices.size());
    for (std::size_t i = 0; i < g.vertices.size(); ++i) {
        const Vec3& p = g.vertices[i].position;
        auto [it, inserted] = place.try_emplace({std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4)},
                                                static_cast<int>(parent.size()));
        if (inserted) parent.push_back(it->second);
        vertex_place[i] = it->second;
    }
    for (const auto& t : g.triangles)
        for (int k = 1; k < 3; ++k) parent[find(vertex_place[t[k]])] = find(vertex_place[t[0]]);
    std::vector<int> out;
    for (const auto& t : g.triangles) out.push_back(find(vertex_place[t[0]]));
    return out;
}

}  // namespace

std::vector<ModuleRotation> module_rotations(KorvanWorld& env, Korvan* k) {
    std::vector<ModuleRotation> out;
    const auto& animations = env.world.record(k->GetHandle())->def.animations;
    for (std::size_t a = 0; a < animations.size(); ++a)
        for (const auto& c : animations[a]->components) {
            const auto* r = static_cast<const MGROUP_ROTATE*>(c->transform);
            for (UINT i = 0; i < r->ngrp; ++i)
                out.push_back({static_cast<int>(a), c->state0, c->state1, animations[a]->default_state,
                               static_cast<int>(r->grp[i]), vec(r->ref), vec(r->axis), r->angle * 180.0 / M_PI});
        }
    return out;
}

std::vector<std::vector<Vec3>> posed(const MeshFile& mesh, const std::vector<ModuleRotation>& rotations,
                                     const std::vector<double>& states) {
    std::vector<std::vector<Vec3>> points;
    for (const auto& g : mesh.groups) {
        points.emplace_back();
        for (const auto& v : g.vertices) points.back().push_back(v.position);
    }
    for (const ModuleRotation& r : rotations) {
        const double turn = r.angle_deg * M_PI / 180.0 *
                            (fraction(states[r.animation], r.state0, r.state1) - fraction(r.initial, r.state0, r.state1));
        for (Vec3& p : points.at(r.group)) p = r.ref + turn_about_axis(p - r.ref, r.axis, turn);
    }
    return points;
}

VerticalRays::VerticalRays(const MeshFile& mesh, const std::vector<std::vector<Vec3>>& points,
                           const std::vector<int>& groups) {
    for (int g : groups) {
        const std::vector<int> shells = shell_of_triangles(mesh.groups[g]);
        for (std::size_t t = 0; t < mesh.groups[g].triangles.size(); ++t) {
            const auto& tri = mesh.groups[g].triangles[t];
            Tri r{{points[g][tri[0]], points[g][tri[1]], points[g][tri[2]]}, g * 100000 + shells[t]};
            const int i = static_cast<int>(tris_.size());
            tris_.push_back(r);
            const auto [x0, x1] = std::minmax({r.p[0].x, r.p[1].x, r.p[2].x});
            const auto [z0, z1] = std::minmax({r.p[0].z, r.p[1].z, r.p[2].z});
            for (int cx = static_cast<int>(std::floor(x0 / kCell)); cx <= static_cast<int>(std::floor(x1 / kCell)); ++cx)
                for (int cz = static_cast<int>(std::floor(z0 / kCell)); cz <= static_cast<int>(std::floor(z1 / kCell)); ++cz)
                    cells_[{cx, cz}].push_back(i);
        }
    }
}

std::map<int, std::vector<double>> VerticalRays::crossings(double x, double z) const {
    std::map<int, std::vector<double>> out;
    // Off any edge or vertex by a hair, so that no crossing counts twice.
    x += 1.234567e-6;
    z += 2.345678e-6;
    auto it = cells_.find({static_cast<int>(std::floor(x / kCell)), static_cast<int>(std::floor(z / kCell))});
    if (it == cells_.end()) return out;
    for (int i : it->second) {
        const auto& p = tris_[i].p;
        const double d = (p[1].x - p[0].x) * (p[2].z - p[0].z) - (p[2].x - p[0].x) * (p[1].z - p[0].z);
        if (std::fabs(d) < 1e-14) continue;
        const double b1 = ((x - p[0].x) * (p[2].z - p[0].z) - (p[2].x - p[0].x) * (z - p[0].z)) / d;
        const double b2 = ((p[1].x - p[0].x) * (z - p[0].z) - (x - p[0].x) * (p[1].z - p[0].z)) / d;
        if (b1 < 0 || b2 < 0 || b1 + b2 > 1) continue;
        out[tris_[i].shell].push_back(p[0].y + b1 * (p[1].y - p[0].y) + b2 * (p[2].y - p[0].y));
    }
    return out;
}

bool VerticalRays::inside(const Vec3& q) const {
    for (const auto& [shell, ys] : crossings(q.x, q.z))
        if (std::count_if(ys.begin(), ys.end(), [&q](double y) { return y > q.y; }) % 2 == 1) return true;
    return false;
}

bool VerticalRays::enclosed(const Vec3& q) const {
    bool above = false, below = false;
    for (const auto& [shell, ys] : crossings(q.x, q.z))
        for (double y : ys) (y > q.y ? above : below) = true;
    return above && below;
}

double distance_to_surface(const MeshFile& mesh, const std::vector<std::vector<Vec3>>& points,
                           const std::vector<int>& groups, const Vec3& q) {
    using korvan_assets::dot;
    double best = 1e30;
    for (int g : groups)
        for (const auto& t : mesh.groups[g].triangles) {
            const Vec3 a = points[g][t[0]], b = points[g][t[1]], c = points[g][t[2]];
            // The closest point: inside the triangle, or on one of its edges.
            const Vec3 n = korvan_assets::normalized(korvan_assets::cross(b - a, c - a));
            const Vec3 on_plane = q - n * dot(q - a, n);
            auto same_side = [&](Vec3 u, Vec3 v) { return dot(korvan_assets::cross(v - u, on_plane - u), n) >= 0; };
            double d = 1e30;
            if (same_side(a, b) && same_side(b, c) && same_side(c, a)) d = std::fabs(dot(q - a, n));
            for (auto [u, v] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}}) {
                const double s = std::clamp(dot(q - u, v - u) / std::max(1e-18, dot(v - u, v - u)), 0.0, 1.0);
                d = std::min(d, korvan_assets::length(q - (u + (v - u) * s)));
            }
            best = std::min(best, d);
        }
    return best;
}

}  // namespace korvan_test
