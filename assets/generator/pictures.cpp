#include "pictures.h"

#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace korvan_assets {

namespace {

constexpr int kWidth = 1200, kHeight = 720;
constexpr int kSuper = 2;  // samples per pixel along each side

struct Pose {
    double gear = 1.0;          // gear_position: drives both gear animations
    double doors = 0.0;
    Variant variant = Variant::standard;
    double elevator = 0.5, aileron = 0.5, rudder = 0.5;

    std::vector<double> states() const {
        std::vector<double> s(kInitialState, kInitialState + kAnimationCount);
        s[kAnimGearOuter] = s[kAnimGearLegs] = gear;
        s[kAnimDoors] = doors;
        s[kAnimElevator] = elevator;
        s[kAnimAileronLeft] = s[kAnimAileronRight] = aileron;
        s[kAnimRudder] = rudder;
        return s;
    }
};

struct Picture {
    const char* file;
    Vec3 toward_camera;  // from the vessel to the camera
    Pose pose;
};

struct Camera {
    Vec3 right, up, forward;  // forward: from the camera into the picture
};

Camera camera_for(Vec3 toward_camera) {
    Camera c;
    c.forward = normalized(toward_camera * -1.0);
    const Vec3 world_up = std::fabs(c.forward.y) > 0.99 ? Vec3{0, 0, 1} : Vec3{0, 1, 0};
    // In the vessel's left-handed frame, up x forward points to the picture's right.
    c.right = normalized(cross(world_up, c.forward));
    c.up = cross(c.forward, c.right);
    return c;
}

// The mesh's groups posed, as triangles with the material's colour per group.
struct PosedTriangle {
    Vec3 p[3], n[3];
    const double* colour;
};

std::vector<PosedTriangle> posed_triangles(const MeshFile& mesh, const Pose& pose) {
    const std::vector<double> states = pose.states();
    std::vector<std::vector<Rotation>> rotations(mesh.groups.size());
    for (const MovingPart& part : moving_parts())
        if (static_cast<std::size_t>(part.group) < mesh.groups.size()) rotations[static_cast<std::size_t>(part.group)] = part.rotations;
    std::vector<PosedTriangle> out;
    for (std::size_t g = 0; g < mesh.groups.size(); ++g) {
        const MeshGroup& group = mesh.groups[g];
        std::vector<MeshVertex> v = group.vertices;
        for (const Rotation& r : rotations[g]) {
            if (r.variant != Variant::both && r.variant != pose.variant) continue;
            const double a = r.angle_at(states[r.animation]);
            for (MeshVertex& x : v) {
                x.position = rotate_about(x.position, r.ref, r.axis, a);
                x.normal = rotate(x.normal, r.axis, a);
            }
        }
        const double* colour = mesh.materials[static_cast<std::size_t>(std::max(0, group.material - 1))].diffuse;
        for (const Triangle& t : group.triangles)
            out.push_back({{v[t[0]].position, v[t[1]].position, v[t[2]].position}, {v[t[0]].normal, v[t[1]].normal, v[t[2]].normal}, colour});
    }
    return out;
}

void render(const std::vector<PosedTriangle>& tris, const Camera& cam, const std::string& path) {
    const int w = kWidth * kSuper, h = kHeight * kSuper;
    // Fit the vessel into the frame.
    double lo_x = 1e9, hi_x = -1e9, lo_y = 1e9, hi_y = -1e9;
    for (const PosedTriangle& t : tris)
        for (const Vec3& p : t.p) {
            lo_x = std::min(lo_x, dot(p, cam.right));
            hi_x = std::max(hi_x, dot(p, cam.right));
            lo_y = std::min(lo_y, dot(p, cam.up));
            hi_y = std::max(hi_y, dot(p, cam.up));
        }
    const double scale = 0.9 * std::min(w / (hi_x - lo_x), h / (hi_y - lo_y));
    const double cx = 0.5 * (lo_x + hi_x), cy = 0.5 * (lo_y + hi_y);
    std::vector<float> depth(static_cast<std::size_t>(w) * h, 1e30f);
    std::vector<float> colour(3 * static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const float sky = 0.93f - 0.25f * y / h;
            float* c = &colour[3 * (static_cast<std::size_t>(y) * w + x)];
            c[0] = sky * 0.86f;
            c[1] = sky * 0.9f;
            c[2] = sky;
        }
    const Vec3 light = normalized(cam.right * -0.4 + cam.up * 0.7 + cam.forward * -0.6);
    for (const PosedTriangle& t : tris) {
        double sx[3], sy[3], sz[3];
        for (int k = 0; k < 3; ++k) {
            sx[k] = (dot(t.p[k], cam.right) - cx) * scale + 0.5 * w;
            sy[k] = 0.5 * h - (dot(t.p[k], cam.up) - cy) * scale;
            sz[k] = dot(t.p[k], cam.forward);
        }
        const double area = (sx[1] - sx[0]) * (sy[2] - sy[0]) - (sx[2] - sx[0]) * (sy[1] - sy[0]);
        if (std::fabs(area) < 1e-12) continue;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({sx[0], sx[1], sx[2]}))));
        const int x1 = std::min(w - 1, static_cast<int>(std::ceil(std::max({sx[0], sx[1], sx[2]}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({sy[0], sy[1], sy[2]}))));
        const int y1 = std::min(h - 1, static_cast<int>(std::ceil(std::max({sy[0], sy[1], sy[2]}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double b0 = ((sx[1] - px) * (sy[2] - py) - (sx[2] - px) * (sy[1] - py)) / area;
                const double b1 = ((sx[2] - px) * (sy[0] - py) - (sx[0] - px) * (sy[2] - py)) / area;
                const double b2 = 1.0 - b0 - b1;
                if (b0 < 0 || b1 < 0 || b2 < 0) continue;
                const float z = static_cast<float>(b0 * sz[0] + b1 * sz[1] + b2 * sz[2]);
                const std::size_t i = static_cast<std::size_t>(y) * w + x;
                if (z >= depth[i]) continue;
                depth[i] = z;
                Vec3 n = normalized(t.n[0] * b0 + t.n[1] * b1 + t.n[2] * b2);
                if (dot(n, cam.forward) > 0) n = n * -1.0;  // a face seen from behind (inside a bay)
                const double diffuse = std::max(0.0, dot(n, light));
                const Vec3 half_vector = normalized(light - cam.forward);
                const double shine = std::pow(std::max(0.0, dot(n, half_vector)), 30.0) * 0.25;
                const double shade = 0.32 + 0.68 * diffuse;
                float* c = &colour[3 * i];
                for (int k = 0; k < 3; ++k) c[k] = static_cast<float>(std::min(1.0, t.colour[k] * shade + shine));
            }
    }
    std::vector<unsigned char> pixels(3 * static_cast<std::size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            for (int k = 0; k < 3; ++k) {
                float sum = 0.0f;
                for (int dy = 0; dy < kSuper; ++dy)
                    for (int dx = 0; dx < kSuper; ++dx)
                        sum += colour[3 * (static_cast<std::size_t>(y * kSuper + dy) * w + (x * kSuper + dx)) + k];
                pixels[3 * (static_cast<std::size_t>(y) * kWidth + x) + k] =
                    static_cast<unsigned char>(std::lround(255.0f * sum / (kSuper * kSuper)));
            }
    if (stbi_write_png(path.c_str(), kWidth, kHeight, 3, pixels.data(), kWidth * 3) == 0)
        throw std::runtime_error(path + ": cannot write");
}

}  // namespace

std::vector<std::string> draw_pictures(const MeshFile& mesh, const std::string& folder) {
    const Vec3 three_quarter{1.0, 0.55, 1.15}, from_below{-1.0, -0.7, 1.1}, from_behind{0.9, 0.8, -1.2};
    Pose down, up, open, open_b, low, high;
    up.gear = 0.0;
    open.doors = 1.0;
    open_b.doors = 1.0;
    open_b.variant = Variant::b;
    low.elevator = low.rudder = 0.0;
    high.elevator = high.rudder = 1.0;
    const Picture pictures[] = {
        {"korvan.png", three_quarter, down},
        {"korvan-side.png", {1, 0, 0}, down},
        {"korvan-top.png", {0, 1, 0}, up},
        {"korvan-front.png", {0, 0, 1}, down},
        {"korvan-gear-down.png", from_below, down},
        {"korvan-gear-up.png", from_below, up},
        {"korvan-doors-open.png", {0.8, 1.0, 0.9}, open},
        {"korvan-b-doors-open.png", {0.8, 1.0, 0.9}, open_b},
        {"korvan-surfaces-low.png", from_behind, low},
        {"korvan-surfaces-high.png", from_behind, high},
    };
    std::vector<std::string> names;
    for (const Picture& p : pictures) {
        render(posed_triangles(mesh, p.pose), camera_for(p.toward_camera), folder + "/" + p.file);
        names.push_back(p.file);
    }
    return names;
}

}  // namespace korvan_assets
