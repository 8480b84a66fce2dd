// The hull's files: the simulator's mesh text format (MSHX1), glTF 2.0 binary and OBJ, and a
// reader of the mesh text format for the tools that work from the written file.
#pragma once

#include <string>
#include <vector>

#include "hull_model.h"

namespace korvan_assets {

// A group as the files hold it: vertices with normals and texture coordinates.
struct MeshVertex {
    Vec3 position, normal;
    double u = 0.0, v = 0.0;
};
struct MeshGroup {
    std::string label;
    int material = 0;  // 1-based as in the file, 0: none
    int texture = 0;   // 1-based as in the file, 0: none
    std::vector<MeshVertex> vertices;
    std::vector<Triangle> triangles;
};
struct MeshFile {
    std::vector<MeshGroup> groups;
    std::vector<Material> materials;
    std::vector<std::string> textures;
};

// The model's groups as vertices: normals averaged across smooth edges and split at sharp
// ones, texture coordinates projected from above (the hull texture's layout).
MeshFile mesh_file_of(const HullModel& model);

void write_msh(const std::string& path, const MeshFile& mesh);
// Throws std::runtime_error naming the file and line of anything it cannot read.
MeshFile read_msh(const std::string& path);

// glTF frame: X = -x, Y = y, Z = z (the vessel's forward is glTF's +Z, its right glTF's -X),
// right-handed; triangles counter-clockwise seen from outside. One node per group, placed at
// its hinge; `extras` carry the group number and its rotations. `texture_png` (may be empty)
// is embedded as the hull texture.
void write_glb(const std::string& path, const MeshFile& mesh, const HullModel& model, const std::string& texture_png);
// OBJ and its material library beside it, in the glTF frame.
void write_obj(const std::string& path, const MeshFile& mesh);

// A small closed mesh for the name "dummy": a 10 cm tetrahedron.
MeshFile dummy_mesh();

// Vessel frame to glTF frame, for points and for rotation axes (so that the angle keeps its
// sign under glTF's right-hand rule).
inline Vec3 to_gltf_point(Vec3 p) { return {-p.x, p.y, p.z}; }
inline Vec3 to_gltf_axis(Vec3 a) { return {a.x, -a.y, -a.z}; }

}  // namespace korvan_assets
