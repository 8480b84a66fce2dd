// The hull mesh as written into the run tree, checked against the vessel's own definition:
// its animations, touchdown points, cross sections, size, exhausts and attachment points.
#include <gtest/gtest.h>

#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_IMPLEMENTATION
#include <tiny_gltf.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>

#include "hull_fixture.h"

namespace korvan_test {
namespace {

using korvan_assets::cross;
using korvan_assets::dot;
using korvan_assets::length;

const std::string kMeshes = std::string(KORVAN_RUN_TREE) + "/Meshes/";
// The fixed parts the moving ones are hinged to: every group no animation turns.
const std::vector<int> kFixedGroups = {0, 10, 11, 14, 15, 16};
constexpr int kNoseLeg = 1, kMainGear = 6;
constexpr double kHingeReach = 0.15;  // m: a part's nearest point to its hinge line

class HullMesh : public ::testing::Test {
protected:
    void SetUp() override {
        mesh = korvan_assets::read_msh(kMeshes + "Korvan.msh");
        standard = env.make("K1", "Korvan");
        variant_b = env.make("K2", "KorvanB");
    }
    std::vector<double> states(double gear, double doors, double surfaces = 0.5) {
        return {gear, gear, doors, surfaces, surfaces, surfaces, surfaces, surfaces, 0.0};
    }
    KorvanWorld env;
    Korvan* standard = nullptr;
    Korvan* variant_b = nullptr;
    korvan_assets::MeshFile mesh;
};

double distance_to_line(const Vec3& p, const Vec3& ref, const Vec3& axis) {
    const Vec3 a = korvan_assets::normalized(axis);
    return length(cross(p - ref, a));
}

TEST_F(HullMesh, the_group_table_every_hinge_and_the_gltf_copy_agree_with_the_vessels_animations) {
    tinygltf::Model gltf;
    tinygltf::TinyGLTF loader;
    loader.SetImageLoader([](tinygltf::Image*, int, std::string*, std::string*, int, int, const unsigned char*, int,
                             void*) { return true; },
                          nullptr);
    std::string error, warning;
    ASSERT_TRUE(loader.LoadBinaryFromFile(&gltf, &error, &warning, kMeshes + "Korvan.glb")) << error;
    ASSERT_EQ(gltf.nodes.size(), mesh.groups.size());

    std::set<int> moving;
    for (Korvan* k : {standard, variant_b}) {
        const std::string variant = k == standard ? "standard" : "B";
        for (const ModuleRotation& r : module_rotations(env, k)) {
            ASSERT_LT(r.group, static_cast<int>(mesh.groups.size()));
            moving.insert(r.group);
            // The hinge line touches the part; a door or a control surface hangs on it along
            // most of its length.
            const auto& g = mesh.groups[r.group];
            double nearest = 1e9, lo = 1e9, hi = -1e9, hinge_lo = 1e9, hinge_hi = -1e9;
            const Vec3 a = korvan_assets::normalized(r.axis);
            for (const auto& v : g.vertices) {
                const double d = distance_to_line(v.position, r.ref, r.axis), s = dot(v.position - r.ref, a);
                nearest = std::min(nearest, d);
                lo = std::min(lo, s), hi = std::max(hi, s);
                if (d <= kHingeReach) hinge_lo = std::min(hinge_lo, s), hinge_hi = std::max(hinge_hi, s);
            }
            EXPECT_LE(nearest, kHingeReach) << g.label;
            if (r.group != kNoseLeg && r.group != kMainGear) {
                EXPECT_GT(hinge_hi - hinge_lo, 0.6 * (hi - lo)) << g.label;
            }

            // The glTF node carries the same rotation, its axis in glTF's frame (X = -x).
            const tinygltf::Node& node = gltf.nodes[r.group];
            EXPECT_EQ(node.name, g.label);
            EXPECT_EQ(node.extras.Get("group").GetNumberAsInt(), r.group);
            ASSERT_EQ(node.translation.size(), 3u) << g.label;
            EXPECT_NEAR(node.translation[0], -r.ref.x, 1e-9);
            EXPECT_NEAR(node.translation[1], r.ref.y, 1e-9);
            EXPECT_NEAR(node.translation[2], r.ref.z, 1e-9);
            const tinygltf::Value& components = node.extras.Get("components");
            bool found = false;
            for (std::size_t i = 0; i < components.ArrayLen(); ++i) {
                const tinygltf::Value& c = components.Get(static_cast<int>(i));
                const tinygltf::Value& axis = c.Get("axis");
                const std::string v = c.Get("variant").Get<std::string>();
                found |= c.Get("animation").GetNumberAsInt() == r.animation &&
                         c.Get("state0").GetNumberAsDouble() == r.state0 && c.Get("state1").GetNumberAsDouble() == r.state1 &&
                         c.Get("initial_state").GetNumberAsDouble() == r.initial &&
                         std::fabs(c.Get("angle_deg").GetNumberAsDouble() - r.angle_deg) < 1e-4 &&
                         std::fabs(axis.Get(0).GetNumberAsDouble() - a.x) < 1e-6 &&
                         std::fabs(axis.Get(1).GetNumberAsDouble() + a.y) < 1e-6 &&
                         std::fabs(axis.Get(2).GetNumberAsDouble() + a.z) < 1e-6 && (v == "both" || v == variant);
            }
            EXPECT_TRUE(found) << g.label << " in animation " << r.animation;
        }
    }
    EXPECT_EQ(moving, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 17, 18}));

    // The glTF geometry is the mesh's: each node's points, placed at its translation.
    for (std::size_t gi = 0; gi < mesh.groups.size(); ++gi) {
        const tinygltf::Node& node = gltf.nodes[gi];
        const tinygltf::Primitive& prim = gltf.meshes[node.mesh].primitives.at(0);
        const tinygltf::Accessor& acc = gltf.accessors[prim.attributes.at("POSITION")];
        const tinygltf::BufferView& view = gltf.bufferViews[acc.bufferView];
        const auto* xyz = reinterpret_cast<const float*>(gltf.buffers[view.buffer].data.data() + view.byteOffset + acc.byteOffset);
        ASSERT_EQ(acc.count, mesh.groups[gi].vertices.size());
        EXPECT_EQ(gltf.accessors[prim.indices].count, 3 * mesh.groups[gi].triangles.size());
        const Vec3 t = node.translation.empty() ? Vec3{} : Vec3{node.translation[0], node.translation[1], node.translation[2]};
        for (std::size_t i = 0; i < acc.count; ++i) {
            const Vec3& p = mesh.groups[gi].vertices[i].position;
            ASSERT_NEAR(xyz[3 * i] + t.x, -p.x, 1e-3);
            ASSERT_NEAR(xyz[3 * i + 1] + t.y, p.y, 1e-3);
            ASSERT_NEAR(xyz[3 * i + 2] + t.z, p.z, 1e-3);
        }
    }
}

TEST_F(HullMesh, the_gear_stands_on_the_touchdown_points_folds_behind_closed_doors_and_every_part_swings_clear) {
    const auto rotations = module_rotations(env, standard);
    const auto& touchdown = env.world.record(standard->GetHandle())->def.touchdown;

    // Gear down, doors open: each wheel's lowest points are a touchdown point, and nothing of
    // the vessel lies below the ground through the three.
    const auto down = posed(mesh, rotations, states(1.0, 0.0));
    const Vec3 t0 = vec(touchdown[0]), t1 = vec(touchdown[1]), t2 = vec(touchdown[2]);
    Vec3 up = korvan_assets::normalized(cross(t1 - t0, t2 - t0));
    if (up.y < 0) up = up * -1.0;
    for (const Vec3& t : {t0, t1, t2}) {
        const int g = t.x == 0.0 ? kNoseLeg : kMainGear;
        double lowest = 1e9;
        for (const Vec3& p : down[g])
            if (std::hypot(p.x - t.x, p.z - t.z) < 1.5) lowest = std::min(lowest, p.y);
        Vec3 sum;
        int n = 0;
        for (const Vec3& p : down[g])
            if (std::hypot(p.x - t.x, p.z - t.z) < 1.5 && p.y < lowest + 1e-3) sum = sum + p, ++n;
        const double miss = length(sum * (1.0 / n) - t);
        EXPECT_LT(miss, 0.03) << "touchdown point " << t.x << " " << t.y << " " << t.z;
        std::printf("wheel on the touchdown point (%g, %g, %g): %.4f m off\n", t.x, t.y, t.z, miss);
    }
    for (std::size_t g = 0; g < down.size(); ++g)
        for (const Vec3& p : down[g]) ASSERT_GT(dot(p - t0, up), -0.01) << mesh.groups[g].label;

    // Gear up: every point of the gear has the hull or a closed door above and below it.
    const auto up_pose = posed(mesh, rotations, states(0.0, 0.0));
    std::vector<int> closed = kFixedGroups;
    closed.insert(closed.end(), {2, 4, 8});
    const VerticalRays shut(mesh, up_pose, closed);
    for (int g : {kNoseLeg, kMainGear})
        for (const Vec3& p : up_pose[g]) ASSERT_TRUE(shut.enclosed(p)) << mesh.groups[g].label << " at " << p.x << " " << p.y << " " << p.z;

    // Through the gear's travel, both animations together as the vessel drives them, the
    // legs and the doors never pass through one another.
    const std::vector<int> gear_doors = {2, 4, 8}, legs = {kNoseLeg, kMainGear};
    for (double gear = 0.0; gear <= 1.0001; gear += 0.02) {
        const auto pose = posed(mesh, rotations, states(gear, 0.0));
        const VerticalRays doors(mesh, pose, gear_doors), gear_parts(mesh, pose, legs);
        for (int g : legs)
            for (const Vec3& p : pose[g]) ASSERT_FALSE(doors.inside(p)) << mesh.groups[g].label << " at gear " << gear;
        for (int g : gear_doors)
            for (const Vec3& p : pose[g]) ASSERT_FALSE(gear_parts.inside(p)) << mesh.groups[g].label << " at gear " << gear;
    }

    // Through each rotation's travel no point inside a moving part crosses the fixed hull's
    // skin: a point outside stays outside, one inside the structure (the main gear's torque
    // tube) stays inside. Points are taken just inside each triangle, away from the hinge.
    const VerticalRays hull(mesh, posed(mesh, {}, states(1.0, 0.0)), kFixedGroups);
    for (Korvan* k : {standard, variant_b}) {
        for (const ModuleRotation& r : module_rotations(env, k)) {
            const auto& g = mesh.groups[r.group];
            const Vec3 a = korvan_assets::normalized(r.axis);
            const double f0 = std::clamp((r.initial - r.state0) / (r.state1 - r.state0), 0.0, 1.0);
            for (const auto& t : g.triangles) {
                const Vec3 p0 = g.vertices[t[0]].position, p1 = g.vertices[t[1]].position, p2 = g.vertices[t[2]].position;
                const Vec3 p = (p0 + p1 + p2) * (1.0 / 3.0) + korvan_assets::normalized(cross(p1 - p0, p2 - p0)) * -0.005;
                if (distance_to_line(p, r.ref, r.axis) < 0.05) continue;
                const bool was_inside = hull.inside(p);
                for (double f = 0.0; f <= 1.0001; f += 0.05) {
                    const double turn = r.angle_deg * M_PI / 180.0 * (f - f0);
                    const Vec3 d = p - r.ref;
                    const Vec3 q = r.ref + d * std::cos(turn) + cross(a, d) * std::sin(turn) + a * (dot(a, d) * (1 - std::cos(turn)));
                    ASSERT_EQ(hull.inside(q), was_inside) << g.label << " at " << f << " of its travel, point " << q.x << " "
                                                          << q.y << " " << q.z;
                }
            }
        }
    }
}

TEST_F(HullMesh, the_hull_agrees_with_the_vessels_size_cross_sections_engines_flames_and_attachment_points) {
    const auto& def = env.world.record(standard->GetHandle())->def;
    const auto flight = posed(mesh, module_rotations(env, standard), states(0.0, 0.0));

    // Cross sections: the shadow of the whole vessel along x, y and z, counted on a 5 cm grid.
    constexpr double kGrid = 0.05, kHalf = 60.0;
    const int n = static_cast<int>(2 * kHalf / kGrid);
    const double expected[3] = {def.cross_sections.x, def.cross_sections.y, def.cross_sections.z};
    for (int drop = 0; drop < 3; ++drop) {
        std::vector<bool> shadow(static_cast<std::size_t>(n) * n);
        auto uv = [drop](const Vec3& p) {
            return drop == 0 ? std::pair{p.z, p.y} : drop == 1 ? std::pair{p.x, p.z} : std::pair{p.x, p.y};
        };
        for (std::size_t g = 0; g < flight.size(); ++g)
            for (const auto& t : mesh.groups[g].triangles) {
                std::pair<double, double> q[3];
                for (int k = 0; k < 3; ++k) {
                    const auto [u, v] = uv(flight[g][t[k]]);
                    q[k] = {(u + kHalf) / kGrid, (v + kHalf) / kGrid};
                }
                const double d = (q[1].first - q[0].first) * (q[2].second - q[0].second) -
                                 (q[2].first - q[0].first) * (q[1].second - q[0].second);
                if (std::fabs(d) < 1e-12) continue;
                const int i0 = static_cast<int>(std::min({q[0].first, q[1].first, q[2].first}));
                const int i1 = static_cast<int>(std::max({q[0].first, q[1].first, q[2].first}));
                const int j0 = static_cast<int>(std::min({q[0].second, q[1].second, q[2].second}));
                const int j1 = static_cast<int>(std::max({q[0].second, q[1].second, q[2].second}));
                for (int j = std::max(0, j0); j <= std::min(n - 1, j1); ++j)
                    for (int i = std::max(0, i0); i <= std::min(n - 1, i1); ++i) {
                        const double u = i + 0.5 - q[0].first, v = j + 0.5 - q[0].second;
                        const double b1 = (u * (q[2].second - q[0].second) - (q[2].first - q[0].first) * v) / d;
                        const double b2 = ((q[1].first - q[0].first) * v - u * (q[1].second - q[0].second)) / d;
                        if (b1 >= 0 && b2 >= 0 && b1 + b2 <= 1) shadow[static_cast<std::size_t>(j) * n + i] = true;
                    }
            }
        const double area = static_cast<double>(std::count(shadow.begin(), shadow.end(), true)) * kGrid * kGrid;
        EXPECT_NEAR(area / expected[drop], 1.0, 0.10) << "along axis " << drop << ": " << area << " m^2";
        std::printf("projected area along %c: %.1f m^2, cross section %.1f m^2\n", "xyz"[drop], area, expected[drop]);
    }

    // Size, the vessel's radius: its half-length, the largest of its half-extents.
    Vec3 extent;
    for (const auto& group : flight)
        for (const Vec3& p : group) extent = {std::max(extent.x, std::fabs(p.x)), std::max(extent.y, std::fabs(p.y)), std::max(extent.z, std::fabs(p.z))};
    EXPECT_NEAR(std::max({extent.x, extent.y, extent.z}) / def.size, 1.0, 0.10);

    // Every main-engine flame starts at the centre of a nozzle's exit, every attitude flame at
    // the nose or the tail sits on the skin.
    int nozzles = 0, skin_flames = 0;
    for (const auto& e : def.exhausts) {
        const Vec3 p = vec(e.has_position ? e.pos : e.thruster->pos);
        if (e.lscale > 10.0) {
            Vec3 sum;
            int count = 0;
            for (const auto& group : flight)
                for (const Vec3& q : group)
                    if (std::fabs(q.z - p.z) < 1e-3 && length(q - p) > 0.5 && length(q - p) < 1.2) sum = sum + q, ++count;
            ASSERT_GE(count, 8) << "no nozzle exit at " << p.x << " " << p.y << " " << p.z;
            EXPECT_LT(length(sum * (1.0 / count) - p), 0.05);
            ++nozzles;
        } else if (std::fabs(p.z) > 40.0) {
            EXPECT_LT(distance_to_surface(mesh, flight, kFixedGroups, p), 0.03) << p.x << " " << p.y << " " << p.z;
            ++skin_flames;
        }
    }
    EXPECT_EQ(nozzles, 4);
    EXPECT_GE(skin_flames, 20);

    // The attachment points and the B's docking port lie in a bay: within the hull's outline
    // (skin above and below) yet outside its structure, where an item's mesh has room.
    std::vector<int> closed = kFixedGroups;
    closed.insert(closed.end(), {2, 4, 8, 12, 13, 17, 18});
    const VerticalRays shut(mesh, flight, closed), structure(mesh, flight, kFixedGroups);
    for (Korvan* k : {standard, variant_b}) {
        const auto& d = env.world.record(k->GetHandle())->def;
        std::vector<Vec3> points;
        for (const auto& a : d.attachments) points.push_back(vec(a->pos));
        for (const auto& dock : d.docks) points.push_back(vec(dock->pos));
        for (const Vec3& p : points) {
            EXPECT_TRUE(shut.enclosed(p)) << p.x << " " << p.y << " " << p.z;
            EXPECT_FALSE(structure.inside(p)) << p.x << " " << p.y << " " << p.z;
        }
    }
}

TEST(HullFiles, every_group_is_closed_wound_outward_with_its_normals_and_without_degenerate_triangles) {
    for (const char* name : {"Korvan.msh", "dummy.msh"}) {
        const auto mesh = korvan_assets::read_msh(kMeshes + name);
        for (const auto& g : mesh.groups) {
            std::map<std::array<long, 3>, int> place;
            auto id = [&place](const Vec3& p) {
                return place.try_emplace({std::lround(p.x * 1e4), std::lround(p.y * 1e4), std::lround(p.z * 1e4)},
                                         static_cast<int>(place.size()))
                    .first->second;
            };
            std::map<std::pair<int, int>, int> directed;
            double volume = 0.0;
            for (const auto& t : g.triangles) {
                const Vec3 a = g.vertices[t[0]].position, b = g.vertices[t[1]].position, c = g.vertices[t[2]].position;
                const Vec3 n = cross(b - a, c - a);
                ASSERT_GT(length(n), 1e-8) << name << " " << g.label;
                for (int k = 0; k < 3; ++k) ASSERT_GT(dot(g.vertices[t[k]].normal, n), 0.0) << name << " " << g.label;
                volume += dot(a, cross(b, c)) / 6.0;
                const int ids[3] = {id(a), id(b), id(c)};
                for (int k = 0; k < 3; ++k) ++directed[{ids[k], ids[(k + 1) % 3]}];
            }
            EXPECT_GT(volume, 0.0) << name << " " << g.label;
            for (const auto& [edge, count] : directed) {
                ASSERT_EQ(count, 1) << name << " " << g.label << ": an edge used twice the same way";
                ASSERT_EQ(directed.count({edge.second, edge.first}), 1u) << name << " " << g.label << ": an open edge";
            }
        }
    }
    // The OBJ copy holds the same triangles.
    std::ifstream obj(kMeshes + "Korvan.obj");
    std::size_t faces = 0, triangles = 0;
    for (std::string line; std::getline(obj, line);) faces += line.rfind("f ", 0) == 0;
    for (const auto& g : korvan_assets::read_msh(kMeshes + "Korvan.msh").groups) triangles += g.triangles.size();
    EXPECT_EQ(faces, triangles);
}

}  // namespace
}  // namespace korvan_test
