// VESSEL: every operation reads or writes the vessel's record in the current World. A
// handle the vessel does not hold (unknown, null or cleared) makes an operation do nothing.
#include <bit>
#include <cmath>
#include <cstdint>

#include "host_internal.h"

using runtime::VesselRecord;
using runtime::World;
using runtime::detail::clamp;
using runtime::find_in;

namespace {

// Every operation begins with these two: kept inline, so that a call costs no more than the
// comparison that finds the vessel asked about last.
[[gnu::always_inline]] inline World& world() {
    return runtime::detail::current();
}

[[gnu::always_inline]] inline VesselRecord* rec(OBJHANDLE h) {
    return world().record(h);
}

[[gnu::always_inline]] inline runtime::ThrusterRecord* thruster(VesselRecord* v, THRUSTER_HANDLE th) {
    return v != nullptr ? find_in(v->def.thrusters, v->def.thruster_cursor, th) : nullptr;
}

runtime::PropellantRecord* propellant(VesselRecord* v, PROPELLANT_HANDLE ph) {
    return v != nullptr ? find_in(v->def.propellants, v->def.propellant_cursor, ph) : nullptr;
}

runtime::AttachmentRecord* attachment(VesselRecord* v, ATTACHMENTHANDLE ah) {
    return v != nullptr ? find_in(v->def.attachments, v->def.attachment_cursor, ah) : nullptr;
}

runtime::AnimationRecord* animation(VesselRecord* v, UINT anim) {
    return (v != nullptr && anim < v->def.animations.size()) ? v->def.animations[anim].get() : nullptr;
}

bool valid_group_type(THGROUP_TYPE type) {
    return type >= 0 && type < THGROUP_TYPE_COUNT;
}

}  // namespace

VESSEL::VESSEL(OBJHANDLE hVessel, int fmodel) : vessel_handle(hVessel), flight_model(fmodel) {}
VESSEL::~VESSEL() = default;

// --- Identity -------------------------------------------------------------------------
OBJHANDLE VESSEL::GetHandle() const {
    return vessel_handle;
}

const char* VESSEL::GetName() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->name.c_str() : "";
}

const char* VESSEL::GetClassNameA() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->class_name.c_str() : "";
}

int VESSEL::GetFlightModel() const {
    return flight_model;
}

// --- Scenario -------------------------------------------------------------------------
bool VESSEL::ParseScenarioLineEx(char* line, void* status) {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v == nullptr || line == nullptr) return false;
    if (w.parse_default_line) return w.parse_default_line(*v, line, status);
    v->unparsed_lines.emplace_back(line);
    return false;
}

void VESSEL::SaveDefaultState(FILEHANDLE scn) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v != nullptr && w.write_default_state) w.write_default_state(*v, scn);
}

// --- Shape, mass and drag -------------------------------------------------------------
void VESSEL::SetSize(double size) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.size = size;
}
double VESSEL::GetSize() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->def.size : 0.0;
}
void VESSEL::SetEmptyMass(double m) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.empty_mass = m;
}
double VESSEL::GetEmptyMass() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->def.empty_mass : 0.0;
}
double VESSEL::GetMass() const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    return v != nullptr ? w.mass(*v) : 0.0;
}
void VESSEL::SetPMI(const VECTOR3& pmi) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.pmi = pmi;
}
void VESSEL::GetPMI(VECTOR3& pmi) const {
    if (VesselRecord* v = rec(vessel_handle)) pmi = v->def.pmi;
}
void VESSEL::SetCrossSections(const VECTOR3& cs) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.cross_sections = cs;
}
void VESSEL::GetCrossSections(VECTOR3& cs) const {
    if (VesselRecord* v = rec(vessel_handle)) cs = v->def.cross_sections;
}
void VESSEL::SetCW(double cw_z_pos, double cw_z_neg, double cw_x, double cw_y) const {
    if (VesselRecord* v = rec(vessel_handle)) {
        v->def.cw_z_pos = cw_z_pos, v->def.cw_z_neg = cw_z_neg, v->def.cw_x = cw_x, v->def.cw_y = cw_y;
    }
}
void VESSEL::SetRotDrag(const VECTOR3& rd) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.rot_drag = rd;
}
void VESSEL::SetPitchMomentScale(double scale) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.pitch_moment_scale = scale;
}
void VESSEL::SetBankMomentScale(double scale) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.bank_moment_scale = scale;
}
void VESSEL::SetTrimScale(double scale) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.trim_scale = scale;
}
void VESSEL::SetCameraOffset(const VECTOR3& co) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.camera_offset = co;
}
void VESSEL::SetTouchdownPoints(const VECTOR3& pt1, const VECTOR3& pt2, const VECTOR3& pt3) const {
    if (VesselRecord* v = rec(vessel_handle)) {
        v->def.touchdown = {pt1, pt2, pt3};
        v->def.touchdown_set = true;
    }
}
void VESSEL::GetTouchdownPoints(VECTOR3& pt1, VECTOR3& pt2, VECTOR3& pt3) const {
    if (VesselRecord* v = rec(vessel_handle)) {
        pt1 = v->def.touchdown[0], pt2 = v->def.touchdown[1], pt3 = v->def.touchdown[2];
    }
}
void VESSEL::SetSurfaceFrictionCoeff(double mu_lng, double mu_lat) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.friction_lng = mu_lng, v->def.friction_lat = mu_lat;
}
void VESSEL::EnableTransponder(bool enable) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.transponder = enable;
}

// --- Meshes ---------------------------------------------------------------------------
UINT VESSEL::AddMesh(MESHHANDLE hMesh, const VECTOR3* ofs) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return 0;
    runtime::MeshEntry e;
    e.handle = hMesh;
    e.offset = ofs != nullptr ? *ofs : _V(0.0, 0.0, 0.0);
    v->def.meshes.push_back(e);
    return static_cast<UINT>(v->def.meshes.size() - 1);
}
void VESSEL::ClearMeshes() const {
    if (VesselRecord* v = rec(vessel_handle)) {
        v->def.meshes.clear();
        ++v->def.mesh_clears;
    }
}
void VESSEL::SetMeshVisibilityMode(UINT idx, WORD mode) const {
    VesselRecord* v = rec(vessel_handle);
    if (v != nullptr && idx < v->def.meshes.size()) v->def.meshes[idx].visibility = mode;
}

// --- Propellant -----------------------------------------------------------------------
PROPELLANT_HANDLE VESSEL::CreatePropellantResource(double maxmass, double mass, double efficiency) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto p = std::make_unique<runtime::PropellantRecord>();
    p->max_mass = maxmass > 0.0 ? maxmass : 0.0;
    p->mass = mass < 0.0 ? p->max_mass : clamp(mass, 0.0, p->max_mass);
    p->efficiency = efficiency;
    runtime::PropellantRecord* raw = p.get();
    v->def.propellants.push_back(std::move(p));
    if (v->def.default_propellant == nullptr) v->def.default_propellant = raw;
    return raw;
}
void VESSEL::SetDefaultPropellantResource(PROPELLANT_HANDLE ph) const {
    VesselRecord* v = rec(vessel_handle);
    if (runtime::PropellantRecord* p = propellant(v, ph)) v->def.default_propellant = p;
}
double VESSEL::GetMaxFuelMass() const {
    VesselRecord* v = rec(vessel_handle);
    return (v != nullptr && v->def.default_propellant != nullptr) ? v->def.default_propellant->max_mass : 0.0;
}
double VESSEL::GetFuelMass() const {
    VesselRecord* v = rec(vessel_handle);
    return (v != nullptr && v->def.default_propellant != nullptr) ? v->def.default_propellant->mass : 0.0;
}
void VESSEL::SetFuelMass(double m) const {
    VesselRecord* v = rec(vessel_handle);
    if (v != nullptr && v->def.default_propellant != nullptr && std::isfinite(m))
        v->def.default_propellant->mass = clamp(m, 0.0, v->def.default_propellant->max_mass);
}
double VESSEL::GetPropellantMass(PROPELLANT_HANDLE ph) const {
    const runtime::PropellantRecord* p = propellant(rec(vessel_handle), ph);
    return p != nullptr ? p->mass : 0.0;
}
double VESSEL::GetPropellantMaxMass(PROPELLANT_HANDLE ph) const {
    const runtime::PropellantRecord* p = propellant(rec(vessel_handle), ph);
    return p != nullptr ? p->max_mass : 0.0;
}
void VESSEL::SetPropellantMass(PROPELLANT_HANDLE ph, double mass) const {
    if (runtime::PropellantRecord* p = propellant(rec(vessel_handle), ph); p != nullptr && std::isfinite(mass))
        p->mass = clamp(mass, 0.0, p->max_mass);
}
double VESSEL::GetTotalPropellantMass() const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return 0.0;
    double m = 0.0;
    for (const auto& p : v->def.propellants) m += p->mass;
    return m;
}

// --- Thrusters ------------------------------------------------------------------------
THRUSTER_HANDLE VESSEL::CreateThruster(const VECTOR3& pos, const VECTOR3& dir, double maxth0, PROPELLANT_HANDLE hp,
                                       double isp0, double isp_ref, double p_ref) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto t = std::make_unique<runtime::ThrusterRecord>();
    t->set_geometry(pos, dir, maxth0);
    t->propellant = propellant(v, hp);
    t->isp_vac = isp0;
    t->isp_ref = isp_ref;
    t->p_ref = p_ref;
    t->index = v->def.thrusters.size();
    runtime::ThrusterRecord* raw = t.get();
    v->def.thrusters.push_back(std::move(t));
    v->def.firing.reserve(v->def.thrusters.size());  // levels change every step: no allocation then
    return raw;
}
void VESSEL::ClearThrusterDefinitions() const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return;
    v->def.groups.clear();
    v->def.group_of_type.fill(nullptr);
    v->def.exhausts.clear();
    v->def.streams.clear();
    v->def.firing.clear();
    v->def.thrusters.clear();
}
DWORD VESSEL::GetThrusterCount() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? static_cast<DWORD>(v->def.thrusters.size()) : 0;
}
void VESSEL::SetThrusterLevel(THRUSTER_HANDLE th, double level) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (runtime::ThrusterRecord* t = thruster(v, th); t != nullptr && !std::isnan(level))
        w.set_thruster_level(*v, *t, level);
}
double VESSEL::GetThrusterLevel(THRUSTER_HANDLE th) const {
    const runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th);
    return t != nullptr ? t->level : 0.0;
}
// One figure for vacuum and reference pressure alike: the thruster's Isp no longer
// depends on pressure.
void VESSEL::SetThrusterIsp(THRUSTER_HANDLE th, double isp) const {
    if (runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th)) {
        t->isp_vac = isp;
        t->isp_ref = 0.0;
    }
}
double VESSEL::GetThrusterIsp0(THRUSTER_HANDLE th) const {
    const runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th);
    return t != nullptr ? t->isp_vac : 0.0;
}
void VESSEL::SetThrusterMax0(THRUSTER_HANDLE th, double maxth0) const {
    if (runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th)) t->set_max0(maxth0);
}
double VESSEL::GetThrusterMax0(THRUSTER_HANDLE th) const {
    const runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th);
    return t != nullptr ? t->max0 : 0.0;
}
void VESSEL::SetThrusterDir(THRUSTER_HANDLE th, const VECTOR3& dir) const {
    if (runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th)) t->set_dir(dir);
}
void VESSEL::GetThrusterDir(THRUSTER_HANDLE th, VECTOR3& dir) const {
    if (const runtime::ThrusterRecord* t = thruster(rec(vessel_handle), th)) dir = t->dir;
}

// A second group of a predefined type replaces the first; user groups accumulate.
THGROUP_HANDLE VESSEL::CreateThrusterGroup(THRUSTER_HANDLE* th, int nth, THGROUP_TYPE type) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto g = std::make_unique<runtime::ThrusterGroupRecord>();
    g->type = valid_group_type(type) ? type : THGROUP_USER;
    for (int i = 0; th != nullptr && i < nth; ++i)
        if (runtime::ThrusterRecord* t = thruster(v, th[i])) g->thrusters.push_back(t);
    auto& groups = v->def.groups;
    if (g->type != THGROUP_USER) {
        for (auto it = groups.begin(); it != groups.end(); ++it) {
            if ((*it)->type == g->type) {
                groups.erase(it);
                break;
            }
        }
    }
    runtime::ThrusterGroupRecord* raw = g.get();
    groups.push_back(std::move(g));
    if (raw->type != THGROUP_USER) v->def.group_of_type[raw->type] = raw;
    return raw;
}
THGROUP_HANDLE VESSEL::GetThrusterGroupHandle(THGROUP_TYPE type) const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? world().group(*v, type) : nullptr;
}
DWORD VESSEL::GetGroupThrusterCount(THGROUP_TYPE type) const {
    VesselRecord* v = rec(vessel_handle);
    const runtime::ThrusterGroupRecord* g = v != nullptr ? world().group(*v, type) : nullptr;
    return g != nullptr ? static_cast<DWORD>(g->thrusters.size()) : 0;
}
void VESSEL::SetThrusterGroupLevel(THGROUP_TYPE type, double level) const {
    VesselRecord* v = rec(vessel_handle);
    if (v != nullptr && !std::isnan(level)) world().set_group_level(*v, type, level);
}
double VESSEL::GetThrusterGroupLevel(THGROUP_TYPE type) const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? world().group_level(*v, type) : 0.0;
}
// The pilot's input for a group, when the mode asked for covers the group's kind: the
// rotation groups answer in ROTMODE, the translation groups in LINMODE, both in ANYMODE, and
// in ATTMODE only the kind the attitude thrusters' manual mode selects. The throttles of
// main, retro and hover answer in every mode. The device is not distinguished.
double VESSEL::GetManualControlLevel(THGROUP_TYPE type, DWORD mode, DWORD device) const {
    (void)device;
    World& w = world();
    if (w.focus != vessel_handle || !valid_group_type(type)) return 0.0;
    VesselRecord* v = w.record(vessel_handle);
    if (v == nullptr) return 0.0;
    // No input (the usual case, asked about six times a step) answers 0 in every mode.
    const double level = v->controls.manual_levels[type];
    if (std::bit_cast<std::uint64_t>(level) == 0) return 0.0;
    const bool rotation = type >= THGROUP_ATT_PITCHUP && type <= THGROUP_ATT_BANKRIGHT;
    const bool translation = type >= THGROUP_ATT_RIGHT && type <= THGROUP_ATT_BACK;
    bool answered = true;
    if (mode == MANCTRL_ROTMODE) answered = !translation;
    else if (mode == MANCTRL_LINMODE) answered = !rotation;
    else if (mode == MANCTRL_ATTMODE)
        answered = (!rotation || v->controls.rcs_mode == RCS_ROT) && (!translation || v->controls.rcs_mode == RCS_LIN);
    return answered ? level : 0.0;
}
void VESSEL::SetAttitudeRotLevel(const VECTOR3& th) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v == nullptr) return;
    v->controls.attitude_rot_level = th;
    auto pair = [&](double level, THGROUP_TYPE positive, THGROUP_TYPE negative) {
        w.set_group_level(*v, positive, level > 0.0 ? level : 0.0);
        w.set_group_level(*v, negative, level < 0.0 ? -level : 0.0);
    };
    pair(th.x, THGROUP_ATT_PITCHUP, THGROUP_ATT_PITCHDOWN);
    pair(th.y, THGROUP_ATT_YAWLEFT, THGROUP_ATT_YAWRIGHT);
    pair(th.z, THGROUP_ATT_BANKRIGHT, THGROUP_ATT_BANKLEFT);
}
int VESSEL::GetAttitudeMode() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->controls.rcs_mode : RCS_NONE;
}
bool VESSEL::SetAttitudeMode(int mode) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr || mode < RCS_NONE || mode > RCS_LIN) return false;
    v->controls.rcs_mode = mode;
    return true;
}
int VESSEL::ToggleAttitudeMode() const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return RCS_NONE;
    if (v->controls.rcs_mode != RCS_NONE) v->controls.rcs_mode = v->controls.rcs_mode == RCS_ROT ? RCS_LIN : RCS_ROT;
    return v->controls.rcs_mode;
}
UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, const VECTOR3& pos, const VECTOR3& dir,
                        SURFHANDLE tex) const {
    VesselRecord* v = rec(vessel_handle);
    runtime::ThrusterRecord* t = thruster(v, th);
    if (t == nullptr) return 0;
    v->def.exhausts.push_back({t, lscale, wscale, true, pos, dir, tex});
    return static_cast<UINT>(v->def.exhausts.size() - 1);
}
UINT VESSEL::AddExhaust(THRUSTER_HANDLE th, double lscale, double wscale, SURFHANDLE tex) const {
    VesselRecord* v = rec(vessel_handle);
    runtime::ThrusterRecord* t = thruster(v, th);
    if (t == nullptr) return 0;
    v->def.exhausts.push_back({t, lscale, wscale, false, t->pos, t->dir * -1.0, tex});
    return static_cast<UINT>(v->def.exhausts.size() - 1);
}
// The handle of a stream is its number plus one: streams live in a growing list.
void* VESSEL::AddExhaustStream(THRUSTER_HANDLE th, const VECTOR3& pos, PARTICLESTREAMSPEC* pss) const {
    VesselRecord* v = rec(vessel_handle);
    runtime::ThrusterRecord* t = thruster(v, th);
    if (t == nullptr) return nullptr;
    runtime::ExhaustStreamRecord s;
    s.thruster = t;
    s.pos = pos;
    s.has_spec = pss != nullptr;
    if (pss != nullptr) s.spec = *pss;
    v->def.streams.push_back(s);
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(v->def.streams.size()));
}

// --- Aerodynamics ---------------------------------------------------------------------
AIRFOILHANDLE VESSEL::CreateAirfoil(AIRFOIL_ORIENTATION align, const VECTOR3& ref, AirfoilCoeffFunc cf, double c,
                                    double S, double A) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto a = std::make_unique<runtime::AirfoilRecord>();
    a->orientation = align;
    a->ref = ref;
    a->coeff = cf;
    a->chord = c, a->area = S, a->aspect = A;
    runtime::AirfoilRecord* raw = a.get();
    v->def.airfoils.push_back(std::move(a));
    return raw;
}
void VESSEL::ClearAirfoilDefinitions() const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.airfoils.clear();
}
void VESSEL::CreateVariableDragElement(const double* drag, double factor, const VECTOR3& ref) const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.drag_elements.push_back({drag, factor, ref});
}
void VESSEL::ClearVariableDragElements() const {
    if (VesselRecord* v = rec(vessel_handle)) v->def.drag_elements.clear();
}
CTRLSURFHANDLE VESSEL::CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3& ref, int axis,
                                            UINT anim) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto c = std::make_unique<runtime::ControlSurfaceRecord>();
    c->type = type;
    c->area = area;
    c->dCl = dCl;
    c->ref = ref;
    c->axis = axis;
    c->anim = anim;
    runtime::ControlSurfaceRecord* raw = c.get();
    v->def.control_surfaces.push_back(std::move(c));
    return raw;
}
void VESSEL::SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr || type < 0 || type >= AIRCTRL_TYPE_COUNT || std::isnan(level)) return;
    v->controls.control_surface_requests[type] = level;
    v->controls.control_surface_levels[type] = clamp(level, -1.0, 1.0);
}
double VESSEL::GetControlSurfaceLevel(AIRCTRL_TYPE type) const {
    VesselRecord* v = rec(vessel_handle);
    return (v != nullptr && type >= 0 && type < AIRCTRL_TYPE_COUNT) ? v->controls.control_surface_levels[type] : 0.0;
}

// --- Attitude autopilots --------------------------------------------------------------
// The World only records which mode is active; the headless host's pilot model flies it.
namespace {
bool valid_navmode(int mode) {
    return mode > 0 && mode < NAVMODE_COUNT;
}
}  // namespace

bool VESSEL::ActivateNavmode(int mode) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr || !valid_navmode(mode) || v->controls.navmode == mode) return false;
    v->controls.navmode = mode;
    return true;
}
bool VESSEL::DeactivateNavmode(int mode) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr || !valid_navmode(mode) || v->controls.navmode != mode) return false;
    v->controls.navmode = 0;
    return true;
}
bool VESSEL::ToggleNavmode(int mode) const {
    if (!valid_navmode(mode) || rec(vessel_handle) == nullptr) return false;
    if (!DeactivateNavmode(mode)) ActivateNavmode(mode);
    return true;
}
bool VESSEL::GetNavmodeState(int mode) const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr && valid_navmode(mode) && v->controls.navmode == mode;
}

// --- Attachments and docking ----------------------------------------------------------
DOCKHANDLE VESSEL::CreateDock(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto d = std::make_unique<runtime::DockRecord>();
    d->pos = pos, d->dir = dir, d->rot = rot;
    runtime::DockRecord* raw = d.get();
    v->def.docks.push_back(std::move(d));
    return raw;
}
DWORD VESSEL::DockCount() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? static_cast<DWORD>(v->def.docks.size()) : 0;
}
ATTACHMENTHANDLE VESSEL::CreateAttachment(bool toparent, const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot,
                                          const char* id, bool loose) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    auto a = std::make_unique<runtime::AttachmentRecord>();
    a->owner = v;
    a->to_parent = toparent;
    a->pos = pos, a->dir = dir, a->rot = rot;
    a->id = id != nullptr ? id : "";
    a->loose = loose;
    runtime::AttachmentRecord* raw = a.get();
    v->def.attachments.push_back(std::move(a));
    return raw;
}
void VESSEL::SetAttachmentParams(ATTACHMENTHANDLE ah, const VECTOR3& pos, const VECTOR3& dir,
                                 const VECTOR3& rot) const {
    if (runtime::AttachmentRecord* a = attachment(rec(vessel_handle), ah)) a->pos = pos, a->dir = dir, a->rot = rot;
}
void VESSEL::GetAttachmentParams(ATTACHMENTHANDLE ah, VECTOR3& pos, VECTOR3& dir, VECTOR3& rot) const {
    if (const runtime::AttachmentRecord* a = attachment(rec(vessel_handle), ah))
        pos = a->pos, dir = a->dir, rot = a->rot;
}
const char* VESSEL::GetAttachmentId(ATTACHMENTHANDLE ah) const {
    const runtime::AttachmentRecord* a = attachment(rec(vessel_handle), ah);
    return a != nullptr ? a->id.c_str() : "";
}
OBJHANDLE VESSEL::GetAttachmentStatus(ATTACHMENTHANDLE ah) const {
    const runtime::AttachmentRecord* a = attachment(rec(vessel_handle), ah);
    return a != nullptr ? a->linked : nullptr;
}
DWORD VESSEL::AttachmentCount(bool toparent) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return 0;
    DWORD n = 0;
    for (const auto& a : v->def.attachments) n += a->to_parent == toparent ? 1 : 0;
    return n;
}
ATTACHMENTHANDLE VESSEL::GetAttachmentHandle(bool toparent, DWORD i) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return nullptr;
    for (const auto& a : v->def.attachments) {
        if (a->to_parent != toparent) continue;
        if (i == 0) return a.get();
        --i;
    }
    return nullptr;
}
bool VESSEL::AttachChild(OBJHANDLE child, ATTACHMENTHANDLE ah, ATTACHMENTHANDLE child_ah) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    VesselRecord* c = w.record(child);
    if (v == nullptr || c == nullptr) return false;
    runtime::AttachmentRecord* p = attachment(v, ah);
    runtime::AttachmentRecord* cp = attachment(c, child_ah);
    if (p == nullptr || cp == nullptr) return false;
    return w.attach(v, p, c, cp);
}
bool VESSEL::DetachChild(ATTACHMENTHANDLE ah, double vel) const {
    runtime::AttachmentRecord* a = attachment(rec(vessel_handle), ah);
    return a != nullptr && world().detach(a, vel);
}

// --- Animations -----------------------------------------------------------------------
UINT VESSEL::CreateAnimation(double initial_state) const {
    VesselRecord* v = rec(vessel_handle);
    if (v == nullptr) return 0;
    auto a = std::make_unique<runtime::AnimationRecord>();
    a->default_state = a->state = initial_state;
    v->def.animations.push_back(std::move(a));
    return static_cast<UINT>(v->def.animations.size() - 1);
}
ANIMATIONCOMPONENT_HANDLE VESSEL::AddAnimationComponent(UINT anim, double state0, double state1,
                                                        MGROUP_TRANSFORM* trans,
                                                        ANIMATIONCOMPONENT_HANDLE parent) const {
    runtime::AnimationRecord* a = animation(rec(vessel_handle), anim);
    if (a == nullptr) return nullptr;
    auto c = std::make_unique<runtime::AnimationComponentRecord>();
    c->state0 = state0, c->state1 = state1, c->transform = trans, c->parent = parent;
    runtime::AnimationComponentRecord* raw = c.get();
    a->components.push_back(std::move(c));
    return raw;
}
bool VESSEL::SetAnimation(UINT anim, double state) const {
    runtime::AnimationRecord* a = animation(rec(vessel_handle), anim);
    if (a == nullptr || std::isnan(state)) return false;
    a->state = state;
    return true;
}
double VESSEL::GetAnimation(UINT anim) const {
    const runtime::AnimationRecord* a = animation(rec(vessel_handle), anim);
    return a != nullptr ? a->state : 0.0;
}

// --- State and observables ------------------------------------------------------------
void VESSEL::GetStatus(VESSELSTATUS& status) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) w.status(*v, status);
}
void VESSEL::DefSetState(const VESSELSTATUS* status) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v != nullptr && status != nullptr) w.set_status(*v, *status);
}
OBJHANDLE VESSEL::GetSurfaceRef() const {
    return world().body_handle();
}
OBJHANDLE VESSEL::GetGravityRef() const {
    return world().body_handle();
}

#define KORVAN_OBSERVABLE(Method, derive)          \
    double VESSEL::Method() const {                \
        World& w = world();               \
        VesselRecord* v = w.record(vessel_handle); \
        return v != nullptr ? w.derive(*v) : 0.0;  \
    }
KORVAN_OBSERVABLE(GetAltitude, altitude)
KORVAN_OBSERVABLE(GetAirspeed, airspeed)
KORVAN_OBSERVABLE(GetMachNumber, mach)
KORVAN_OBSERVABLE(GetDynPressure, dyn_pressure)
KORVAN_OBSERVABLE(GetAtmPressure, atm_pressure)
KORVAN_OBSERVABLE(GetPitch, pitch)
KORVAN_OBSERVABLE(GetBank, bank)
KORVAN_OBSERVABLE(GetYaw, heading)
KORVAN_OBSERVABLE(GetAOA, aoa)
KORVAN_OBSERVABLE(GetSlipAngle, slip)
#undef KORVAN_OBSERVABLE

double VESSEL::GetAtmDensity() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr ? v->air.density : 0.0;
}
void VESSEL::GetAngularVel(VECTOR3& avel) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) avel = w.angular_vel(*v);
}
void VESSEL::SetAngularVel(const VECTOR3& avel) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) w.move(*v).omega = avel;
}
void VESSEL::GetHorizonAirspeedVector(VECTOR3& hv) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) hv = w.horizon_airspeed(*v);
}
void VESSEL::GetAirspeedVector(VECTOR3& av) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) av = w.airspeed_vector_local(*v);
}
void VESSEL::GetRelativeVel(OBJHANDLE hRef, VECTOR3& vel) const {
    oapiGetRelativeVel(vessel_handle, hRef, &vel);
}
void VESSEL::GetRelativePos(OBJHANDLE hRef, VECTOR3& pos) const {
    oapiGetRelativePos(vessel_handle, hRef, &pos);
}
void VESSEL::GetGlobalPos(VECTOR3& pos) const {
    oapiGetGlobalPos(vessel_handle, &pos);
}
void VESSEL::GetGlobalVel(VECTOR3& vel) const {
    oapiGetGlobalVel(vessel_handle, &vel);
}
OBJHANDLE VESSEL::GetElements(OBJHANDLE hRef, ELEMENTS& el, ORBITPARAM* prm, double mjd_ref, int frame) const {
    (void)hRef, (void)prm, (void)mjd_ref, (void)frame;
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v == nullptr) return nullptr;
    el = w.elements(*v);
    return w.body_handle();
}
OBJHANDLE VESSEL::GetEquPos(double& longitude, double& latitude, double& radius) const {
    World& w = world();
    VesselRecord* v = w.record(vessel_handle);
    if (v == nullptr) return nullptr;
    w.equ_pos(*v, longitude, latitude, radius);
    return w.body_handle();
}
void VESSEL::GetForceVector(VECTOR3& F) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) F = w.force_vector(*v);
}
void VESSEL::GetWeightVector(VECTOR3& G) const {
    World& w = world();
    if (VesselRecord* v = w.record(vessel_handle)) G = w.weight_vector(*v);
}
void VESSEL::GetThrustVector(VECTOR3& T) const {
    if (VesselRecord* v = rec(vessel_handle)) T = v->forces.thrust;
}
void VESSEL::AddForce(const VECTOR3& F, const VECTOR3& r) const {
    if (VesselRecord* v = rec(vessel_handle)) v->controls.added_forces.push_back({F, r});
}
bool VESSEL::GroundContact() const {
    VesselRecord* v = rec(vessel_handle);
    return v != nullptr && v->state.landed;
}

// --- Frames ---------------------------------------------------------------------------
void VESSEL::Local2Global(const VECTOR3& local, VECTOR3& global) const {
    if (VesselRecord* v = rec(vessel_handle)) global = mul(v->state.R, local) + v->state.pos;
}
void VESSEL::Global2Local(const VECTOR3& global, VECTOR3& local) const {
    if (VesselRecord* v = rec(vessel_handle)) local = tmul(v->state.R, global - v->state.pos);
}
// The body sits at the global origin, so body-relative and global positions coincide.
void VESSEL::Local2Rel(const VECTOR3& local, VECTOR3& rel) const {
    if (VesselRecord* v = rec(vessel_handle)) rel = mul(v->state.R, local) + v->state.pos;
}
void VESSEL::GlobalRot(const VECTOR3& rloc, VECTOR3& rglob) const {
    if (VesselRecord* v = rec(vessel_handle)) rglob = mul(v->state.R, rloc);
}
void VESSEL::GetRotationMatrix(MATRIX3& R) const {
    if (VesselRecord* v = rec(vessel_handle)) R = v->state.R;
}

// --- Default callbacks ----------------------------------------------------------------
void VESSEL::clbkSetClassCaps(FILEHANDLE cfg) {
    (void)cfg;
}
void VESSEL::clbkSaveState(FILEHANDLE scn) {
    SaveDefaultState(scn);
}
void VESSEL::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) ParseScenarioLineEx(line, status);
}
void VESSEL::clbkPostStep(double simt, double simdt, double mjd) {
    (void)simt, (void)simdt, (void)mjd;
}
void VESSEL::clbkVisualCreated(VISHANDLE vis, int refcount) {
    (void)vis, (void)refcount;
}
void VESSEL::clbkVisualDestroyed(VISHANDLE vis, int refcount) {
    (void)vis, (void)refcount;
}
int VESSEL::clbkConsumeBufferedKey(DWORD key, bool down, char* kstate) {
    (void)key, (void)down, (void)kstate;
    return 0;
}
bool VESSEL::clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, oapi::Sketchpad* skp) {
    (void)mode, (void)hps, (void)skp;
    return false;
}
