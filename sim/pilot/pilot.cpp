// The pilot model: inputs and attitude autopilots on top of the vessels' own levels.
#include "pilot/pilot.h"

#include <algorithm>
#include <cmath>

#include "pilot/attitude_autopilot.h"

namespace pilot {

namespace {

constexpr int kFirstRotationGroup = THGROUP_ATT_PITCHUP;     // .. THGROUP_ATT_BANKRIGHT
constexpr int kFirstTranslationGroup = THGROUP_ATT_RIGHT;    // .. THGROUP_ATT_BACK
constexpr int kGroupsPerMode = 6;
constexpr size_t kAttitudeGroupTypes = THGROUP_TYPE_COUNT - kFirstRotationGroup;  // rotation and translation

bool is_throttle(THGROUP_TYPE type) {
    return type == THGROUP_MAIN || type == THGROUP_RETRO || type == THGROUP_HOVER;
}

// The autopilot's signed rotation levels (meaning of SetAttitudeRotLevel) for this step.
VECTOR3 autopilot_demand(const runtime::World& world, const runtime::VesselRecord& v) {
    const VECTOR3& omega = v.state.omega;
    const AttitudeAuthority authority = attitude_authority(world, v);
    TargetAttitude target;
    if (v.controls.navmode != NAVMODE_KILLROT && target_attitude(v.controls.navmode, world, v, target))
        return pointing_demand(attitude_error(v.state.R, target), target.turn_rate, omega, authority);
    return kill_rotation_demand(omega, authority);
}

// Splits signed rotation levels onto the six rotation groups.
void add_rotation(std::array<double, THGROUP_TYPE_COUNT>& add, const VECTOR3& d) {
    auto pair = [&](double level, THGROUP_TYPE positive, THGROUP_TYPE negative) {
        if (level > 0.0) add[positive] += level;
        if (level < 0.0) add[negative] -= level;
    };
    pair(d.x, THGROUP_ATT_PITCHUP, THGROUP_ATT_PITCHDOWN);
    pair(d.y, THGROUP_ATT_YAWLEFT, THGROUP_ATT_YAWRIGHT);
    pair(d.z, THGROUP_ATT_BANKRIGHT, THGROUP_ATT_BANKLEFT);
}

// Whether the vessel's controls ask the step for anything on top of its own levels: an
// autopilot, or (the focus vessel only) attitude inputs in an RCS mode or a surface input.
bool has_inputs(const runtime::VesselControls& s, bool focus) {
    if (s.navmode != 0) return true;
    if (!focus) return false;
    if (s.rcs_mode != RCS_NONE) return true;
    for (double level : s.manual_surface_levels)
        if (level != 0.0) return true;
    return false;
}

}  // namespace

Pilot::Pilot(runtime::World& world) : world_(world) {}

void Pilot::before_step() {
    const size_t count = world_.vessel_count();
    if (saved_.size() < count) saved_.resize(count);
    applied_ = false;
    const runtime::VesselRecord* focus = world_.record(world_.focus);
    for (size_t i = 0; i < count; ++i) {
        Saved& saved = saved_[i];
        saved.active = false;
        runtime::VesselRecord& v = *world_.vessel(i);
        // Room for the vessel's own levels from its first step on, so that an autopilot or
        // input that starts later allocates nothing.
        saved.vessel = &v;
        saved.thruster_levels.reserve(v.def.thrusters.size() * kAttitudeGroupTypes);
        const bool is_focus = &v == focus;
        // Most steps have no input and no autopilot: nothing to add, nothing to look up.
        // An attached child rides with its parent: nothing to steer.
        if (v.pending_delete || !has_inputs(v.controls, is_focus) || world_.parent_of(&v) != nullptr) continue;
        apply(v, is_focus, saved);
    }
}

void Pilot::apply(runtime::VesselRecord& v, bool focus, Saved& saved) {
    std::array<double, THGROUP_TYPE_COUNT> add{};
    const runtime::VesselControls& s = v.controls;
    // The pilot's attitude inputs reach the focus vessel only, in its RCS mode.
    if (focus && s.rcs_mode != RCS_NONE) {
        const int first = s.rcs_mode == RCS_ROT ? kFirstRotationGroup : kFirstTranslationGroup;
        for (int type = first; type < first + kGroupsPerMode; ++type) add[type] += s.manual_levels[type];
    }
    if (s.navmode == NAVMODE_KILLROT && rotation_killed(v.state.omega)) v.controls.navmode = 0;
    if (s.navmode != 0) add_rotation(add, autopilot_demand(world_, v));
    const bool thrusters = std::any_of(add.begin(), add.end(), [](double a) { return a > 0.0; });
    const bool surfaces =
        focus && std::any_of(s.manual_surface_levels.begin(), s.manual_surface_levels.end(),
                             [](double a) { return a != 0.0; });
    if (!thrusters && !surfaces) return;

    // The vessel's own levels of what the step changes, put back after the step. A thruster of
    // several groups is kept once per group; put back in reverse, its first level wins.
    saved.thruster_levels.clear();
    saved.surface_levels = s.control_surface_levels;
    saved.active = true;
    applied_ = true;

    for (int type = kFirstRotationGroup; type < THGROUP_TYPE_COUNT && thrusters; ++type) {
        if (add[type] <= 0.0) continue;
        if (runtime::ThrusterGroupRecord* g = world_.group(v, static_cast<THGROUP_TYPE>(type))) {
            for (runtime::ThrusterRecord* t : g->thrusters) {
                saved.thruster_levels.push_back({t, t->level});
                world_.set_thruster_level(v, *t, t->level + add[type]);
            }
        }
    }
    if (surfaces)
        for (int type = 0; type < AIRCTRL_TYPE_COUNT; ++type)
            v.controls.control_surface_levels[type] =
                std::clamp(s.control_surface_levels[type] + s.manual_surface_levels[type], -1.0, 1.0);
}

void Pilot::after_step() {
    if (!applied_) return;
    applied_ = false;
    const size_t count = std::min(saved_.size(), world_.vessel_count());
    for (size_t i = 0; i < count; ++i) {
        Saved& saved = saved_[i];
        runtime::VesselRecord* v = world_.vessel(i);
        if (!saved.active || saved.vessel != v) continue;
        saved.active = false;
        // The physics step changes no thruster definition, so the records kept are still the vessel's.
        for (auto kept = saved.thruster_levels.rbegin(); kept != saved.thruster_levels.rend(); ++kept)
            world_.set_thruster_level(*v, *kept->thruster, kept->level);
        v->controls.control_surface_levels = saved.surface_levels;
    }
}

void set_thruster_input(runtime::World& world, runtime::VesselRecord& v, THGROUP_TYPE type, double level) {
    if (type < 0 || type >= THGROUP_TYPE_COUNT || std::isnan(level)) return;
    v.controls.manual_levels[type] = std::clamp(level, 0.0, 1.0);
    if (is_throttle(type)) world.set_group_level(v, type, level);
}

void set_surface_input(runtime::VesselRecord& v, AIRCTRL_TYPE type, double level) {
    if (type < 0 || type >= AIRCTRL_TYPE_COUNT || std::isnan(level)) return;
    v.controls.manual_surface_levels[type] = std::clamp(level, -1.0, 1.0);
}

}  // namespace pilot
