// korvan-assets: writes the Korvan's own data into a run tree laid out as the simulator's
// folder (Meshes/, Textures/, Sound/Korvan/), and optionally draws its pictures.
#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "mesh_files.h"
#include "pictures.h"
#include "sounds.h"
#include "textures.h"

namespace fs = std::filesystem;
using namespace korvan_assets;

namespace {

// Area of the mesh's shadow on the plane normal to `drop` (axis 0, 1 or 2), counted on a
// grid of `cell` metres.
double projected_area(const MeshFile& mesh, int drop, double cell) {
    const int a = drop == 0 ? 2 : 0, b = drop == 1 ? 2 : 1;
    auto coord = [](const Vec3& p, int k) { return k == 0 ? p.x : (k == 1 ? p.y : p.z); };
    constexpr double kHalfSpan = 60.0;
    const int n = static_cast<int>(2 * kHalfSpan / cell);
    std::vector<bool> covered(static_cast<std::size_t>(n) * n, false);
    for (const MeshGroup& g : mesh.groups)
        for (const Triangle& t : g.triangles) {
            double u[3], v[3];
            for (int k = 0; k < 3; ++k) {
                u[k] = (coord(g.vertices[t[k]].position, a) + kHalfSpan) / cell;
                v[k] = (coord(g.vertices[t[k]].position, b) + kHalfSpan) / cell;
            }
            const double area = (u[1] - u[0]) * (v[2] - v[0]) - (u[2] - u[0]) * (v[1] - v[0]);
            if (std::fabs(area) < 1e-12) continue;
            const int i0 = std::max(0, static_cast<int>(std::min({u[0], u[1], u[2]})));
            const int i1 = std::min(n - 1, static_cast<int>(std::max({u[0], u[1], u[2]})));
            const int j0 = std::max(0, static_cast<int>(std::min({v[0], v[1], v[2]})));
            const int j1 = std::min(n - 1, static_cast<int>(std::max({v[0], v[1], v[2]})));
            for (int j = j0; j <= j1; ++j)
                for (int i = i0; i <= i1; ++i) {
                    const double pu = i + 0.5, pv = j + 0.5;
                    const double w0 = ((u[1] - pu) * (v[2] - pv) - (u[2] - pu) * (v[1] - pv)) / area;
                    const double w1 = ((u[2] - pu) * (v[0] - pv) - (u[0] - pu) * (v[2] - pv)) / area;
                    if (w0 >= 0 && w1 >= 0 && w0 + w1 <= 1) covered[static_cast<std::size_t>(j) * n + i] = true;
                }
        }
    return static_cast<double>(std::count(covered.begin(), covered.end(), true)) * cell * cell;
}

void report(const MeshFile& mesh) {
    std::size_t vertices = 0, triangles = 0;
    for (const MeshGroup& g : mesh.groups) {
        vertices += g.vertices.size();
        triangles += g.triangles.size();
        std::printf("  group %2zu %-22s %6zu triangles\n", static_cast<std::size_t>(&g - mesh.groups.data()), g.label.c_str(),
                    g.triangles.size());
    }
    std::printf("Korvan.msh: %zu groups, %zu vertices, %zu triangles\n", mesh.groups.size(), vertices, triangles);
    std::printf("projected areas (gear down, doors closed): side %.1f, top %.1f, front %.1f m^2\n",
                projected_area(mesh, 0, 0.05), projected_area(mesh, 1, 0.05), projected_area(mesh, 2, 0.05));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Writes the Korvan's mesh, textures and sounds into a run tree, and draws its pictures."};
    std::string run_tree, pictures;
    bool show_report = false;
    app.add_option("--run-tree", run_tree, "the folder that receives Meshes/, Textures/ and Sound/Korvan/")->required();
    app.add_option("--pictures", pictures, "a folder for the PNG pictures (drawn from the written mesh)");
    app.add_flag("--report", show_report, "print the mesh's groups, triangles and projected areas");
    CLI11_PARSE(app, argc, argv);

    try {
        const auto start = std::chrono::steady_clock::now();
        const fs::path root(run_tree);
        for (const char* folder : {"Meshes", "Textures", "Sound/Korvan"}) fs::create_directories(root / folder);

        const HullModel model = build_korvan();
        const MeshFile mesh = mesh_file_of(model);
        const Image hull_skin = hull_skin_image();
        write_msh((root / "Meshes/Korvan.msh").string(), mesh);
        write_msh((root / "Meshes/dummy.msh").string(), dummy_mesh());
        write_glb((root / "Meshes/Korvan.glb").string(), mesh, model, png_bytes(hull_skin));
        write_obj((root / "Meshes/Korvan.obj").string(), mesh);

        write_dds_bgra((root / "Textures/Exhaust_atsme.dds").string(), main_flame_image());
        write_dds_bgra((root / "Textures/exhaust_atrcs.dds").string(), rcs_jet_image());
        write_dds_bgra((root / "Textures/Contrail2.dds").string(), smoke_puff_image());
        write_dds_dxt1((root / "Textures/Korvan_hull.dds").string(), hull_skin);

        for (const Sound& s : {gear_sound(), stage_separation_sound(), fairing_separation_sound(), jet_sound()})
            write_wav((root / "Sound/Korvan" / s.name).string(), s);

        // What follows works from the file just written, as any other reader of it would.
        const MeshFile written = read_msh((root / "Meshes/Korvan.msh").string());
        if (show_report) report(written);
        if (!pictures.empty()) {
            fs::create_directories(pictures);
            const std::vector<std::string> names = draw_pictures(written, pictures);
            std::printf("%zu pictures in %s\n", names.size(), pictures.c_str());
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("Korvan data written to %s in %.1f s\n", run_tree.c_str(), seconds);
    } catch (const std::exception& e) {
        std::cerr << "korvan-assets: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
