#include "watch_values.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace sim {

namespace {

constexpr double kSurfaceRestState = 0.5;  // animation state of a control surface at level 0

// "<KEY> <state> <position>": the position, or nothing when the line is another key's.
bool read_travel(const std::string& line, const char* key, double& travel) {
    const size_t n = std::strlen(key);
    if (line.compare(0, n, key) != 0 || line.size() <= n || line[n] != ' ') return false;
    const char* text = line.c_str() + n;
    char* end = nullptr;
    std::strtol(text, &end, 10);
    const double position = std::strtod(end, &end);
    if (std::isfinite(position)) travel = position;
    return true;
}

}  // namespace

Quaternion quaternion_from_matrix(const MATRIX3& m) {
    // The largest of the four squared components gives the best-conditioned division.
    Quaternion q;
    const double trace = m.m11 + m.m22 + m.m33;
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(1.0 + trace);
        q = {0.25 * s, (m.m32 - m.m23) / s, (m.m13 - m.m31) / s, (m.m21 - m.m12) / s};
    } else if (m.m11 > m.m22 && m.m11 > m.m33) {
        const double s = 2.0 * std::sqrt(1.0 + m.m11 - m.m22 - m.m33);
        q = {(m.m32 - m.m23) / s, 0.25 * s, (m.m12 + m.m21) / s, (m.m13 + m.m31) / s};
    } else if (m.m22 > m.m33) {
        const double s = 2.0 * std::sqrt(1.0 + m.m22 - m.m11 - m.m33);
        q = {(m.m13 - m.m31) / s, (m.m12 + m.m21) / s, 0.25 * s, (m.m23 + m.m32) / s};
    } else {
        const double s = 2.0 * std::sqrt(1.0 + m.m33 - m.m11 - m.m22);
        q = {(m.m21 - m.m12) / s, (m.m13 + m.m31) / s, (m.m23 + m.m32) / s, 0.25 * s};
    }
    const double norm = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    const double sign = q.w < 0.0 ? -1.0 : 1.0;
    return {sign * q.w / norm, sign * q.x / norm, sign * q.y / norm, sign * q.z / norm};
}

Quaternion horizon_attitude(const runtime::World& world, const runtime::VesselRecord& v) {
    struct {
        VECTOR3 east, up, north;
    } h;
    world.horizon_axes(v.state.pos, h.east, h.up, h.north);
    const MATRIX3& r = v.state.R;
    const VECTOR3 right = _V(r.m11, r.m21, r.m31), up = _V(r.m12, r.m22, r.m32), forward = _V(r.m13, r.m23, r.m33);
    MATRIX3 m;
    m.m11 = dotp(h.east, right), m.m12 = dotp(h.east, up), m.m13 = dotp(h.east, forward);
    m.m21 = dotp(h.up, right), m.m22 = dotp(h.up, up), m.m23 = dotp(h.up, forward);
    m.m31 = dotp(h.north, right), m.m32 = dotp(h.north, up), m.m33 = dotp(h.north, forward);
    return quaternion_from_matrix(m);
}

MechanismTravel saved_mechanism_travel(runtime::World& world, const runtime::VesselRecord& v) {
    MechanismTravel travel;
    if (v.iface == nullptr) return travel;
    // The host's own keys (status, position, velocity...) are not needed here: without its
    // hook the save writes only the vessel's keys, a fifth of the work.
    auto host_keys = std::exchange(world.write_default_state, nullptr);
    FILEHANDLE scn = world.open_writer();
    v.iface->clbkSaveState(scn);
    world.write_default_state = std::move(host_keys);
    for (const std::string& line : world.writer(scn)->lines)
        read_travel(line, "GEAR", travel.gear) || read_travel(line, "DOORS", travel.doors) ||
            read_travel(line, "BRAKES", travel.brakes) || read_travel(line, "NOZZLES", travel.nozzles);
    world.close_stream(scn);
    return travel;
}

double control_surface_animation(const runtime::VesselRecord& v, AIRCTRL_TYPE type) {
    for (const auto& c : v.def.control_surfaces)
        if (c->type == type) return animation_state(v, c->anim);
    return 0.0;
}

double animation_state(const runtime::VesselRecord& v, size_t index) {
    return index < v.def.animations.size() ? v.def.animations[index]->state : 0.0;
}

void animate_control_surfaces(runtime::World& world) {
    const size_t count = world.vessel_count();
    for (size_t i = 0; i < count; ++i) {
        runtime::VesselRecord& v = *world.vessel(i);
        const auto& animations = v.def.animations;
        const size_t animation_count = animations.size();
        const std::array<double, AIRCTRL_TYPE_COUNT>& levels = v.controls.control_surface_levels;
        for (const auto& c : v.def.control_surfaces) {
            const runtime::ControlSurfaceRecord& surface = *c;
            if (surface.anim >= animation_count || static_cast<unsigned>(surface.type) >= levels.size()) continue;
            const double level = std::clamp(levels[static_cast<size_t>(surface.type)], -1.0, 1.0);
            animations[surface.anim]->state = kSurfaceRestState * (1.0 + level);
        }
    }
}

}  // namespace sim
