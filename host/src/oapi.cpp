// The host's global functions and resources, answered from the current World.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "host_internal.h"

namespace runtime {

std::string World::find_resource(const std::string& folder, const std::string& name, const std::string& ext) const {
    std::string file = name;
    std::replace(file.begin(), file.end(), '\\', '/');
    const bool has_ext = file.size() >= ext.size() && file.compare(file.size() - ext.size(), ext.size(), ext) == 0;
    if (!has_ext) file += ext;
    const std::string path = root_ + "/" + folder + "/" + file;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) ? path : std::string();
}

MESHHANDLE World::load_mesh(const std::string& name, bool global) {
    for (MeshResource& m : meshes_)
        if (m.name == name) return m.path.empty() ? nullptr : &m;
    MeshResource& m = meshes_.emplace_back();
    m.name = name;
    m.global = global;
    m.path = find_resource("Meshes", name, ".msh");
    if (m.path.empty()) {
        std::string shown = name;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        note("missing mesh Meshes/" + shown + ".msh");
        return nullptr;
    }
    return &m;
}

SURFHANDLE World::load_texture(const std::string& name, bool particle) {
    for (TextureResource& t : textures_)
        if (t.name == name) return t.path.empty() ? nullptr : &t;
    TextureResource& t = textures_.emplace_back();
    t.name = name;
    t.particle = particle;
    t.path = find_resource("Textures", name, ".dds");
    if (t.path.empty()) {
        std::string shown = name;
        std::replace(shown.begin(), shown.end(), '\\', '/');
        note("missing texture Textures/" + shown + ".dds");
        return nullptr;
    }
    return &t;
}

}  // namespace runtime

namespace {

using runtime::VesselRecord;
using runtime::World;

constexpr double gravitational_constant = 6.67430e-11;  // m^3/(kg s^2)

bool is_body(World& w, OBJHANDLE h) {
    return h != nullptr && h == w.body_handle();
}

}  // namespace

char* oapiDebugString() {
    return runtime::detail::current().debug_line.data();
}

void oapiWriteLog(const char* line) {
    runtime::detail::current().log.emplace_back(line != nullptr ? line : "");
}

bool oapiOpenInputBox(const char* title, InputBoxHandler handler, const char* buf, int vislen, void* usrdata) {
    runtime::InputBox& box = runtime::detail::current().input_box;
    box.open = true;
    box.title = title != nullptr ? title : "";
    box.handler = handler;
    box.initial_text = buf != nullptr ? buf : "";
    box.vislen = vislen;
    box.usrdata = usrdata;
    return true;
}

bool oapiAcceptDelayedKey(char key, double repdelay) {
    (void)key, (void)repdelay;
    return runtime::detail::current().accept_delayed_keys;
}

SURFHANDLE oapiRegisterExhaustTexture(const char* name) {
    return name != nullptr ? runtime::detail::current().load_texture(name, false) : nullptr;
}

SURFHANDLE oapiRegisterParticleTexture(const char* name) {
    return name != nullptr ? runtime::detail::current().load_texture(name, true) : nullptr;
}

MESHHANDLE oapiLoadMeshGlobal(const char* name) {
    return name != nullptr ? runtime::detail::current().load_mesh(name, true) : nullptr;
}

MESHHANDLE oapiLoadMesh(const char* name) {
    return name != nullptr ? runtime::detail::current().load_mesh(name, false) : nullptr;
}

double oapiGetSimTime() {
    return runtime::detail::current().sim_time;
}
double oapiGetSimStep() {
    return runtime::detail::current().sim_step;
}
double oapiGetSimMJD() {
    return runtime::detail::current().mjd;
}
double oapiGetTimeAcceleration() {
    return runtime::detail::current().time_acceleration;
}
OBJHANDLE oapiGetFocusObject() {
    return runtime::detail::current().focus;
}

DWORD oapiGetVesselCount() {
    return static_cast<DWORD>(runtime::detail::current().vessel_count());
}

OBJHANDLE oapiGetVesselByIndex(int index) {
    World& w = runtime::detail::current();
    if (index < 0 || static_cast<size_t>(index) >= w.vessel_count()) return nullptr;
    return w.vessel(static_cast<size_t>(index));
}

OBJHANDLE oapiGetVesselByName(const char* name) {
    return name != nullptr ? runtime::detail::current().find_vessel(name) : nullptr;
}

VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel) {
    VesselRecord* v = runtime::detail::current().record(hVessel);
    return v != nullptr ? v->iface : nullptr;
}

OBJHANDLE oapiCreateVessel(const char* name, const char* classname, const VESSELSTATUS& status) {
    if (name == nullptr || classname == nullptr) return nullptr;
    return runtime::detail::current().create_vessel(name, classname, &status);
}

bool oapiDeleteVessel(OBJHANDLE hVessel) {
    VesselRecord* v = runtime::detail::current().record(hVessel);
    if (v == nullptr) return false;
    v->pending_delete = true;
    return true;
}

// The body is asked for first: it is never a vessel, and a vessel look-up may cost more.
void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3* pos) {
    if (pos == nullptr) return;
    World& w = runtime::detail::current();
    if (is_body(w, hObj))
        *pos = _V(0.0, 0.0, 0.0);
    else if (VesselRecord* v = w.record(hObj))
        *pos = w.global_pos(*v);
}

void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3* vel) {
    if (vel == nullptr) return;
    World& w = runtime::detail::current();
    if (is_body(w, hObj))
        *vel = _V(0.0, 0.0, 0.0);
    else if (VesselRecord* v = w.record(hObj))
        *vel = w.relative_vel(*v);
}

double oapiGetSize(OBJHANDLE hObj) {
    World& w = runtime::detail::current();
    if (VesselRecord* v = w.record(hObj)) return v->def.size;
    return is_body(w, hObj) ? w.earth.radius : 0.0;
}

double oapiGetMass(OBJHANDLE hObj) {
    World& w = runtime::detail::current();
    if (VesselRecord* v = w.record(hObj)) return w.mass(*v);
    return is_body(w, hObj) ? w.earth.mu / gravitational_constant : 0.0;
}

void oapiGetRelativeVel(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3* vel) {
    if (vel == nullptr) return;
    VECTOR3 a = _V(0, 0, 0), b = _V(0, 0, 0);
    oapiGetGlobalVel(hObj, &a);
    oapiGetGlobalVel(hRef, &b);
    *vel = a - b;
}

void oapiGetRelativePos(OBJHANDLE hObj, OBJHANDLE hRef, VECTOR3* pos) {
    if (pos == nullptr) return;
    VECTOR3 a = _V(0, 0, 0), b = _V(0, 0, 0);
    oapiGetGlobalPos(hObj, &a);
    oapiGetGlobalPos(hRef, &b);
    *pos = a - b;
}

bool oapiGetHeading(OBJHANDLE hVessel, double* heading) {
    World& w = runtime::detail::current();
    VesselRecord* v = w.record(hVessel);
    if (v == nullptr || heading == nullptr) return false;
    *heading = w.heading(*v);
    return true;
}

void oapiSetEngineLevel(OBJHANDLE hVessel, ENGINETYPE engine, double level) {
    World& w = runtime::detail::current();
    VesselRecord* v = w.record(hVessel);
    if (v == nullptr) return;
    switch (engine) {
        case ENGINE_MAIN:
            w.set_group_level(*v, THGROUP_MAIN, level);
            break;
        case ENGINE_RETRO:
            w.set_group_level(*v, THGROUP_RETRO, level);
            break;
        case ENGINE_HOVER:
            w.set_group_level(*v, THGROUP_HOVER, level);
            break;
        default:
            break;  // attitude thrusters have no single level
    }
}

OBJHANDLE oapiGetGbodyByName(const char* name) {
    World& w = runtime::detail::current();
    return (name != nullptr && w.earth.name == name) ? w.body_handle() : nullptr;
}

double oapiGetInducedDrag(double cl, double A, double e) {
    const double denom = PI * A * e;
    return denom != 0.0 ? cl * cl / denom : 0.0;
}

double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax) {
    if (M < M1) return 0.0;
    if (M < M2) return M2 > M1 ? cmax * (M - M1) / (M2 - M1) : cmax;
    if (M <= M3) return cmax;
    const double m3sq = M3 * M3 - 1.0, msq = M * M - 1.0;
    return (m3sq > 0.0 && msq > 0.0) ? cmax * std::sqrt(m3sq / msq) : cmax;
}
