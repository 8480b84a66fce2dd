#include "mesh_files.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>
#include <tuple>

namespace korvan_assets {

namespace {

constexpr double kCreaseCosine = 0.82;  // faces meeting at more than about 35 degrees keep their own normals
// The hull texture spans 50 m across and 100 m along the vessel, centred on the origin.
constexpr double kTextureSpanX = 50.0, kTextureSpanZ = 100.0;

Vec3 face_normal(const Shell& s, const Triangle& t) {
    return cross(s.points[t[1]] - s.points[t[0]], s.points[t[2]] - s.points[t[0]]);
}

MeshGroup mesh_group_of(const Group& g) {
    MeshGroup out;
    out.label = g.name;
    out.material = g.material + 1;
    out.texture = g.texture + 1;
    const Shell& s = g.shell;
    std::vector<std::vector<int>> faces_at(s.points.size());
    std::vector<Vec3> weighted(s.triangles.size()), unit(s.triangles.size());
    for (std::size_t f = 0; f < s.triangles.size(); ++f) {
        weighted[f] = face_normal(s, s.triangles[f]);
        unit[f] = normalized(weighted[f]);
        for (int i : s.triangles[f]) faces_at[static_cast<std::size_t>(i)].push_back(static_cast<int>(f));
    }
    std::map<std::tuple<int, long, long, long>, int> index_of;
    for (std::size_t f = 0; f < s.triangles.size(); ++f) {
        Triangle t{};
        for (int c = 0; c < 3; ++c) {
            const int p = s.triangles[f][c];
            Vec3 n;
            for (int other : faces_at[static_cast<std::size_t>(p)])
                if (dot(unit[static_cast<std::size_t>(other)], unit[f]) >= kCreaseCosine) n = n + weighted[static_cast<std::size_t>(other)];
            n = normalized(n);
            const auto key = std::make_tuple(p, std::lround(n.x * 1e4), std::lround(n.y * 1e4), std::lround(n.z * 1e4));
            auto [it, inserted] = index_of.try_emplace(key, static_cast<int>(out.vertices.size()));
            if (inserted) {
                const Vec3& q = s.points[static_cast<std::size_t>(p)];
                out.vertices.push_back({q, n, 0.5 + q.x / kTextureSpanX, 0.5 - q.z / kTextureSpanZ});
            }
            t[c] = it->second;
        }
        out.triangles.push_back(t);
    }
    return out;
}

[[noreturn]] void fail(const std::string& path, int line, const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(line) + ": " + what);
}

}  // namespace

MeshFile mesh_file_of(const HullModel& model) {
    MeshFile mesh;
    for (const Group& g : model.groups) mesh.groups.push_back(mesh_group_of(g));
    mesh.materials = model.materials;
    mesh.textures = model.textures;
    return mesh;
}

void write_msh(const std::string& path, const MeshFile& mesh) {
    std::ofstream out(path);
    if (!out) throw std::runtime_error(path + ": cannot write");
    char buf[256];
    out << "MSHX1\nGROUPS " << mesh.groups.size() << "\n";
    for (const MeshGroup& g : mesh.groups) {
        out << "LABEL " << g.label << "\nMATERIAL " << g.material << "\nTEXTURE " << g.texture << "\nGEOM "
            << g.vertices.size() << " " << g.triangles.size() << "\n";
        for (const MeshVertex& v : g.vertices) {
            std::snprintf(buf, sizeof buf, "%.4f %.4f %.4f %.4f %.4f %.4f %.4f %.4f\n", v.position.x, v.position.y,
                          v.position.z, v.normal.x, v.normal.y, v.normal.z, v.u, v.v);
            out << buf;
        }
        for (const Triangle& t : g.triangles) out << t[0] << " " << t[1] << " " << t[2] << "\n";
    }
    out << "MATERIALS " << mesh.materials.size() << "\n";
    for (const Material& m : mesh.materials) out << m.name << "\n";
    for (const Material& m : mesh.materials) {
        auto rgba = [&out, &buf](const double* c) {
            std::snprintf(buf, sizeof buf, "%.3f %.3f %.3f %.3f", c[0], c[1], c[2], c[3]);
            out << buf;
        };
        out << "MATERIAL " << m.name << "\n";
        rgba(m.diffuse);
        out << "\n";
        rgba(m.ambient);
        out << "\n";
        rgba(m.specular);
        std::snprintf(buf, sizeof buf, " %.1f\n", m.specular_power);
        out << buf;
        rgba(m.emissive);
        out << "\n";
    }
    out << "TEXTURES " << mesh.textures.size() << "\n";
    for (const std::string& t : mesh.textures) out << t << "\n";
    out.close();  // a failed final flush shows only here
    if (!out) throw std::runtime_error(path + ": write failed");
}

MeshFile read_msh(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot read");
    int line_no = 0;
    std::string line;
    auto next = [&](const char* expected) {
        if (!std::getline(in, line)) fail(path, line_no, std::string("ends where ") + expected + " should follow");
        ++line_no;
        return std::istringstream(line);
    };
    auto keyword_value = [&](const char* key) {
        std::istringstream s = next(key);
        std::string word;
        long value = -1;
        if (!(s >> word >> value) || word != key || value < 0) fail(path, line_no, std::string("expected ") + key + " N");
        return value;
    };
    MeshFile mesh;
    if (next("MSHX1").str().rfind("MSHX1", 0) != 0) fail(path, line_no, "not a mesh file: no MSHX1 header");
    const long n_groups = keyword_value("GROUPS");
    for (long gi = 0; gi < n_groups; ++gi) {
        MeshGroup g;
        long nv = -1, nt = -1;
        while (nv < 0) {
            std::istringstream s = next("GEOM");
            std::string word;
            s >> word;
            if (word == "LABEL")
                s >> g.label;
            else if (word == "MATERIAL")
                s >> g.material;
            else if (word == "TEXTURE")
                s >> g.texture;
            else if (word == "GEOM") {
                if (!(s >> nv >> nt) || nv < 0 || nt < 0) fail(path, line_no, "GEOM needs two counts");
            } else if (word != "FLAG" && word != "NONORMAL" && !word.empty())
                fail(path, line_no, "unknown group line '" + word + "'");
        }
        for (long i = 0; i < nv; ++i) {
            std::istringstream s = next("a vertex");
            MeshVertex v;
            if (!(s >> v.position.x >> v.position.y >> v.position.z >> v.normal.x >> v.normal.y >> v.normal.z >> v.u >> v.v))
                fail(path, line_no, "a vertex needs x y z nx ny nz u v");
            g.vertices.push_back(v);
        }
        for (long i = 0; i < nt; ++i) {
            std::istringstream s = next("a triangle");
            Triangle t{};
            if (!(s >> t[0] >> t[1] >> t[2])) fail(path, line_no, "a triangle needs three indices");
            for (int k : t)
                if (k < 0 || k >= nv) fail(path, line_no, "vertex index " + std::to_string(k) + " out of range");
            g.triangles.push_back(t);
        }
        mesh.groups.push_back(std::move(g));
    }
    const long n_materials = keyword_value("MATERIALS");
    for (long i = 0; i < n_materials; ++i) {
        Material m{};
        next("a material name") >> m.name;
        mesh.materials.push_back(m);
    }
    for (Material& m : mesh.materials) {
        std::string word, name;
        next("MATERIAL") >> word >> name;
        if (word != "MATERIAL") fail(path, line_no, "expected MATERIAL " + m.name);
        auto rgba = [&](double* c, double* power) {
            std::istringstream s = next("a colour");
            if (!(s >> c[0] >> c[1] >> c[2] >> c[3])) fail(path, line_no, "a colour needs r g b a");
            if (power != nullptr) s >> *power;
        };
        rgba(m.diffuse, nullptr);
        rgba(m.ambient, nullptr);
        rgba(m.specular, &m.specular_power);
        rgba(m.emissive, nullptr);
    }
    const long n_textures = keyword_value("TEXTURES");
    for (long i = 0; i < n_textures; ++i) {
        std::string name;
        next("a texture name") >> name;
        mesh.textures.push_back(name);
    }
    return mesh;
}

MeshFile dummy_mesh() {
    constexpr double s = 0.1;
    HullModel model;
    model.materials = {{"dummy", {0.5, 0.5, 0.5, 1}, {0.5, 0.5, 0.5, 1}, {0, 0, 0, 1}, 0.0, {0, 0, 0, 1}}};
    Group g;
    g.name = "dummy";
    g.shell.points = {{0, 0, s}, {s, 0, 0}, {-s, 0, 0}, {0, s, 0}};
    g.shell.triangles = {{0, 2, 1}, {0, 1, 3}, {1, 2, 3}, {2, 0, 3}};
    g.shell.orient_outward();
    model.groups.push_back(g);
    return mesh_file_of(model);
}

// --- glTF ---------------------------------------------------------------------------------
namespace {

class GlbBuffer {
public:
    // Appends data aligned to 4 bytes; returns its buffer view index.
    int add(const void* data, std::size_t size, int target, nlohmann::json& views) {
        while (bytes_.size() % 4 != 0) bytes_.push_back(0);
        const std::size_t offset = bytes_.size();
        const auto* p = static_cast<const std::uint8_t*>(data);
        bytes_.insert(bytes_.end(), p, p + size);
        nlohmann::json view = {{"buffer", 0}, {"byteOffset", offset}, {"byteLength", size}};
        if (target != 0) view["target"] = target;
        views.push_back(view);
        return static_cast<int>(views.size()) - 1;
    }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

constexpr int kArrayBuffer = 34962, kElementArrayBuffer = 34963;
constexpr int kFloat = 5126, kUnsignedInt = 5125;

void put_u32(std::ofstream& out, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    out.write(reinterpret_cast<const char*>(b), 4);
}

}  // namespace

void write_glb(const std::string& path, const MeshFile& mesh, const HullModel& model, const std::string& texture_png) {
    using nlohmann::json;
    json doc;
    doc["asset"] = {{"version", "2.0"}, {"generator", "korvan-assets"}};
    doc["scene"] = 0;
    json views = json::array(), accessors = json::array(), meshes = json::array(), nodes = json::array();
    json materials = json::array();
    GlbBuffer buffer;

    const bool textured = !texture_png.empty();
    for (const Material& m : mesh.materials) {
        json pbr = {{"baseColorFactor", {m.diffuse[0], m.diffuse[1], m.diffuse[2], m.diffuse[3]}},
                    {"metallicFactor", 0.2},
                    {"roughnessFactor", 1.0 - std::min(0.9, m.specular[0])}};
        json mat = {{"name", m.name}, {"pbrMetallicRoughness", pbr}, {"doubleSided", false}};
        if (m.diffuse[3] < 1.0) mat["alphaMode"] = "BLEND";
        materials.push_back(mat);
    }
    // A textured copy of each material that a textured group uses.
    std::map<int, int> textured_material;

    for (std::size_t gi = 0; gi < mesh.groups.size(); ++gi) {
        const MeshGroup& g = mesh.groups[gi];
        const Group& model_group = model.groups[gi];
        const Vec3 pivot = model_group.pivot();
        std::vector<float> pos, nrm, uv;
        float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
        for (const MeshVertex& v : g.vertices) {
            const Vec3 p = to_gltf_point(v.position - pivot);
            const Vec3 n = to_gltf_point(v.normal);
            const float fp[3] = {static_cast<float>(p.x), static_cast<float>(p.y), static_cast<float>(p.z)};
            for (int k = 0; k < 3; ++k) {
                lo[k] = std::min(lo[k], fp[k]);
                hi[k] = std::max(hi[k], fp[k]);
                pos.push_back(fp[k]);
            }
            nrm.insert(nrm.end(), {static_cast<float>(n.x), static_cast<float>(n.y), static_cast<float>(n.z)});
            uv.insert(uv.end(), {static_cast<float>(v.u), static_cast<float>(v.v)});
        }
        std::vector<std::uint32_t> idx;
        for (const Triangle& t : g.triangles)  // the mirror turns the winding round
            idx.insert(idx.end(), {static_cast<std::uint32_t>(t[0]), static_cast<std::uint32_t>(t[2]),
                                   static_cast<std::uint32_t>(t[1])});
        const std::size_t count = g.vertices.size();
        auto accessor = [&](const void* data, std::size_t bytes, int target, int component, std::size_t n,
                            const char* type) {
            const int view = buffer.add(data, bytes, target, views);
            accessors.push_back({{"bufferView", view}, {"componentType", component}, {"count", n}, {"type", type}});
            return static_cast<int>(accessors.size()) - 1;
        };
        const int a_pos = accessor(pos.data(), pos.size() * 4, kArrayBuffer, kFloat, count, "VEC3");
        accessors[static_cast<std::size_t>(a_pos)]["min"] = {lo[0], lo[1], lo[2]};
        accessors[static_cast<std::size_t>(a_pos)]["max"] = {hi[0], hi[1], hi[2]};
        const int a_nrm = accessor(nrm.data(), nrm.size() * 4, kArrayBuffer, kFloat, count, "VEC3");
        const int a_uv = accessor(uv.data(), uv.size() * 4, kArrayBuffer, kFloat, count, "VEC2");
        const int a_idx = accessor(idx.data(), idx.size() * 4, kElementArrayBuffer, kUnsignedInt, idx.size(), "SCALAR");

        int material = g.material - 1;
        if (textured && g.texture > 0 && material >= 0) {
            auto [it, inserted] = textured_material.try_emplace(material, static_cast<int>(materials.size()));
            if (inserted) {
                json copy = materials[static_cast<std::size_t>(material)];
                copy["name"] = copy["name"].get<std::string>() + "_textured";
                copy["pbrMetallicRoughness"]["baseColorTexture"] = {{"index", 0}};
                materials.push_back(copy);
            }
            material = it->second;
        }
        json primitive = {{"attributes", {{"POSITION", a_pos}, {"NORMAL", a_nrm}, {"TEXCOORD_0", a_uv}}},
                          {"indices", a_idx},
                          {"mode", 4}};
        if (material >= 0) primitive["material"] = material;
        meshes.push_back({{"name", g.label}, {"primitives", json::array({primitive})}});

        json components = json::array();
        for (const Rotation& r : model_group.rotations) {
            const Vec3 axis = to_gltf_axis(normalized(r.axis));
            components.push_back({{"animation", static_cast<int>(r.animation)},
                                  {"state0", r.state0},
                                  {"state1", r.state1},
                                  {"initial_state", kInitialState[r.animation]},
                                  {"angle_deg", r.angle_deg},
                                  {"axis", {axis.x, axis.y, axis.z}},
                                  {"variant", variant_name(r.variant)}});
        }
        const Vec3 t = to_gltf_point(pivot);
        json node = {{"name", g.label},
                     {"mesh", static_cast<int>(gi)},
                     {"extras", {{"group", static_cast<int>(gi)}, {"components", components}}}};
        if (model_group.moves()) node["translation"] = {t.x, t.y, t.z};
        nodes.push_back(node);
    }
    json scene_nodes = json::array();
    for (std::size_t i = 0; i < nodes.size(); ++i) scene_nodes.push_back(i);
    doc["scenes"] = json::array({{{"name", "Korvan"}, {"nodes", scene_nodes}}});
    doc["nodes"] = nodes;
    doc["meshes"] = meshes;
    doc["materials"] = materials;
    if (textured) {
        const int view = buffer.add(texture_png.data(), texture_png.size(), 0, views);
        doc["images"] = json::array({{{"bufferView", view}, {"mimeType", "image/png"}, {"name", mesh.textures.front()}}});
        doc["samplers"] = json::array({{{"magFilter", 9729}, {"minFilter", 9987}, {"wrapS", 33071}, {"wrapT", 33071}}});
        doc["textures"] = json::array({{{"source", 0}, {"sampler", 0}}});
    }
    doc["accessors"] = accessors;
    doc["bufferViews"] = views;
    std::vector<std::uint8_t>& bin = buffer.bytes();
    while (bin.size() % 4 != 0) bin.push_back(0);
    doc["buffers"] = json::array({{{"byteLength", bin.size()}}});

    std::string text = doc.dump();
    while (text.size() % 4 != 0) text.push_back(' ');
    std::ofstream out(path, std::ios::binary);
    if (!out) throw std::runtime_error(path + ": cannot write");
    constexpr std::uint32_t kMagic = 0x46546C67, kJson = 0x4E4F534A, kBin = 0x004E4942;
    put_u32(out, kMagic);
    put_u32(out, 2);
    put_u32(out, static_cast<std::uint32_t>(12 + 8 + text.size() + 8 + bin.size()));
    put_u32(out, static_cast<std::uint32_t>(text.size()));
    put_u32(out, kJson);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    put_u32(out, static_cast<std::uint32_t>(bin.size()));
    put_u32(out, kBin);
    out.write(reinterpret_cast<const char*>(bin.data()), static_cast<std::streamsize>(bin.size()));
    out.close();
    if (!out) throw std::runtime_error(path + ": write failed");
}

void write_obj(const std::string& path, const MeshFile& mesh) {
    std::string mtl_path = path.substr(0, path.rfind('.')) + ".mtl";
    const std::string mtl_name = mtl_path.substr(mtl_path.find_last_of("/\\") + 1);
    std::ofstream mtl(mtl_path);
    for (const Material& m : mesh.materials)
        mtl << "newmtl " << m.name << "\nKd " << m.diffuse[0] << " " << m.diffuse[1] << " " << m.diffuse[2] << "\nKs "
            << m.specular[0] << " " << m.specular[1] << " " << m.specular[2] << "\nNs " << m.specular_power << "\nd "
            << m.diffuse[3] << "\n\n";
    std::ofstream out(path);
    if (!out || !mtl) throw std::runtime_error(path + ": cannot write");
    out << "# Korvan hull. Frame: X = -right, Y = up, Z = forward (metres); faces counter-clockwise.\n";
    out << "mtllib " << mtl_name << "\n";
    char buf[160];
    std::size_t base = 1;
    for (const MeshGroup& g : mesh.groups) {
        out << "o " << g.label << "\n";
        if (g.material > 0) out << "usemtl " << mesh.materials[static_cast<std::size_t>(g.material - 1)].name << "\n";
        for (const MeshVertex& v : g.vertices) {
            const Vec3 p = to_gltf_point(v.position), n = to_gltf_point(v.normal);
            std::snprintf(buf, sizeof buf, "v %.4f %.4f %.4f\nvn %.4f %.4f %.4f\nvt %.4f %.4f\n", p.x, p.y, p.z, n.x, n.y,
                          n.z, v.u, 1.0 - v.v);
            out << buf;
        }
        for (const Triangle& t : g.triangles) {
            const std::size_t a = base + static_cast<std::size_t>(t[0]), b = base + static_cast<std::size_t>(t[2]),
                              c = base + static_cast<std::size_t>(t[1]);
            out << "f " << a << "/" << a << "/" << a << " " << b << "/" << b << "/" << b << " " << c << "/" << c << "/"
                << c << "\n";
        }
        base += g.vertices.size();
    }
    out.close();
    mtl.close();
    if (!out) throw std::runtime_error(path + ": write failed");
    if (!mtl) throw std::runtime_error(mtl_path + ": write failed");
}

}  // namespace korvan_assets
