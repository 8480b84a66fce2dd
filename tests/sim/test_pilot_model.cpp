// The pilot model driven alone, without physics or module: over generated own levels,
// inputs, RCS modes and focus, the step sees every attitude thruster at its own level plus
// the input of each of its groups that the RCS mode selects (clamped), every control surface
// at its own level plus the input, the throttle untouched; and afterwards the vessel's own
// levels come back exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "physics/korvan_like_vessel.h"
#include "pilot/pilot.h"

namespace {

constexpr int kCases = 300;
constexpr AIRCTRL_TYPE kSurfaces[] = {AIRCTRL_ELEVATOR, AIRCTRL_AILERON, AIRCTRL_RUDDER};

struct Rig {
    runtime::World world;
    runtime::VesselRecord* v = nullptr;
    std::vector<THRUSTER_HANDLE> thrusters;       // one per group type 0..14, then a shared one
    std::vector<std::vector<int>> groups_of;      // the group types each thruster belongs to

    Rig() { make_vessel(_V(0, 1, 0)); }

    // The rig's vessel, every thruster pointing along `dir`.
    void make_vessel(VECTOR3 dir) {
        thrusters.clear();
        groups_of.clear();
        v = korvan_like::create_plain_vessel(world, "Rig");
        const VESSEL& s = *v->iface;
        PROPELLANT_HANDLE tank = s.CreatePropellantResource(1000.0);
        for (int type = 0; type <= THGROUP_TYPE_COUNT; ++type) {
            thrusters.push_back(s.CreateThruster(_V(0, 0, 1), dir, 100.0, tank, 3000.0));
            groups_of.push_back({});
        }
        // The last thruster serves both the pitch-up and the up group.
        const THRUSTER_HANDLE shared = thrusters.back();
        for (int type = 0; type < THGROUP_TYPE_COUNT; ++type) {
            std::vector<THRUSTER_HANDLE> members{thrusters[size_t(type)]};
            groups_of[size_t(type)].push_back(type);
            if (type == THGROUP_ATT_PITCHUP || type == THGROUP_ATT_UP) {
                members.push_back(shared);
                groups_of.back().push_back(type);
            }
            s.CreateThrusterGroup(members.data(), int(members.size()), static_cast<THGROUP_TYPE>(type));
        }
        for (AIRCTRL_TYPE type : kSurfaces) s.CreateControlSurface(type, 1.0, 1.0, _V(0, 0, -10));
    }
};

// The levels of the rig's thrusters during one step of the pilot, all own levels zero.
std::vector<double> applied_levels(Rig& rig, pilot::Pilot& pilot) {
    const VESSEL& s = *rig.v->iface;
    for (THRUSTER_HANDLE th : rig.thrusters) s.SetThrusterLevel(th, 0.0);
    pilot.before_step();
    std::vector<double> levels;
    for (THRUSTER_HANDLE th : rig.thrusters) levels.push_back(s.GetThrusterLevel(th));
    pilot.after_step();
    return levels;
}

bool selected(int type, int rcs_mode) {
    if (type >= THGROUP_ATT_PITCHUP && type <= THGROUP_ATT_BANKRIGHT) return rcs_mode == RCS_ROT;
    if (type >= THGROUP_ATT_RIGHT && type <= THGROUP_ATT_BACK) return rcs_mode == RCS_LIN;
    return false;  // throttles act when set, not each step
}

TEST(PilotModel, InputsRideOnTheVesselsOwnLevelsForOneStep) {
    Rig rig;
    runtime::World& w = rig.world;
    runtime::VesselRecord& v = *rig.v;
    const VESSEL& s = *v.iface;
    pilot::Pilot pilot(w);
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> level(0.0, 1.0), signed_level(-1.0, 1.0);
    for (int n = 0; n < kCases; ++n) {
        SCOPED_TRACE(n);
        std::vector<double> own;
        for (THRUSTER_HANDLE th : rig.thrusters) {
            s.SetThrusterLevel(th, level(random) < 0.3 ? 0.0 : level(random));
            own.push_back(s.GetThrusterLevel(th));
        }
        for (AIRCTRL_TYPE type : kSurfaces) s.SetControlSurfaceLevel(type, signed_level(random));
        const auto own_surfaces = v.controls.control_surface_levels;
        for (double& input : v.controls.manual_levels) input = level(random) < 0.5 ? 0.0 : level(random);
        for (AIRCTRL_TYPE type : kSurfaces) v.controls.manual_surface_levels[type] = signed_level(random);
        const int rcs_mode = int(random() % 3);
        s.SetAttitudeMode(rcs_mode);
        const bool focus = random() % 4 != 0;
        w.focus = focus ? v.iface->GetHandle() : nullptr;

        pilot.before_step();
        for (size_t i = 0; i < rig.thrusters.size(); ++i) {
            double expected = own[i];
            for (int type : rig.groups_of[i])
                if (focus && selected(type, rcs_mode)) expected = std::min(1.0, expected + v.controls.manual_levels[type]);
            EXPECT_DOUBLE_EQ(s.GetThrusterLevel(rig.thrusters[i]), expected) << "thruster " << i;
        }
        for (AIRCTRL_TYPE type : kSurfaces) {
            const double expected =
                focus ? std::clamp(own_surfaces[type] + v.controls.manual_surface_levels[type], -1.0, 1.0)
                      : own_surfaces[type];
            EXPECT_DOUBLE_EQ(v.controls.control_surface_levels[type], expected) << "surface " << type;
        }
        pilot.after_step();
        for (size_t i = 0; i < rig.thrusters.size(); ++i)
            ASSERT_EQ(s.GetThrusterLevel(rig.thrusters[i]), own[i]) << "thruster " << i;
        ASSERT_EQ(v.controls.control_surface_levels, own_surfaces);
    }
}

// The throttle is a lever: it sets the group once and stays; the pilot's steps leave it.
TEST(PilotModel, TheThrottleSetsItsGroupOnce) {
    Rig rig;
    runtime::VesselRecord& v = *rig.v;
    const VESSEL& s = *v.iface;
    rig.world.focus = v.iface->GetHandle();
    pilot::Pilot pilot(rig.world);
    pilot::set_thruster_input(rig.world, v, THGROUP_MAIN, 0.7);
    EXPECT_EQ(s.GetThrusterGroupLevel(THGROUP_MAIN), 0.7);
    EXPECT_EQ(s.GetManualControlLevel(THGROUP_MAIN, MANCTRL_ANYMODE, MANCTRL_ANYDEVICE), 0.7);
    s.SetThrusterGroupLevel(THGROUP_MAIN, 0.2);  // the vessel's own command wins until the next
    pilot.before_step();
    EXPECT_EQ(s.GetThrusterGroupLevel(THGROUP_MAIN), 0.2);
    pilot.after_step();
    EXPECT_EQ(s.GetThrusterGroupLevel(THGROUP_MAIN), 0.2);
}

// The pilot keeps the rotation groups' torques between steps. Over generated changes of the
// thrusters (a rating, a direction, a direction set again unchanged, a group made anew with
// another thruster), the kill-rotation autopilot sets exactly the levels that a pilot seeing
// the vessel for the first time sets.
TEST(PilotModel, KeptAuthorityFollowsEveryThrusterChange) {
    Rig rig;
    runtime::World& w = rig.world;
    runtime::VesselRecord& v = *rig.v;
    const VESSEL& s = *v.iface;
    pilot::Pilot kept(w);
    std::mt19937 random(20261209);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), rating(0.0, 200.0);
    for (int n = 0; n < kCases; ++n) {
        SCOPED_TRACE(n);
        const int type = THGROUP_ATT_PITCHUP + int(random() % 6);
        const THRUSTER_HANDLE th = rig.thrusters[size_t(type)];
        VECTOR3 dir{};
        switch (random() % 4) {
            case 0: s.SetThrusterMax0(th, rating(random)); break;
            case 1: s.SetThrusterDir(th, _V(unit(random), unit(random), unit(random))); break;
            case 2: s.GetThrusterDir(th, dir), s.SetThrusterDir(th, dir); break;
            default: {
                THRUSTER_HANDLE other = rig.thrusters[random() % rig.thrusters.size()];
                s.CreateThrusterGroup(&other, 1, static_cast<THGROUP_TYPE>(type));
            }
        }
        v.controls.navmode = NAVMODE_KILLROT;
        runtime::World::current().move(v).omega = _V(unit(random), unit(random), unit(random)) * 0.01;  // rad/s: levels below 1
        const std::vector<double> with_kept = applied_levels(rig, kept);
        pilot::Pilot fresh(w);
        ASSERT_EQ(with_kept, applied_levels(rig, fresh));
    }
}

// A vessel made where a destroyed one stood (the allocator readily gives the same address),
// built with as many definition calls but its thrusters reversed: the pilot does not take the
// old vessel's kept torques for the new one's.
TEST(PilotModel, KeptAuthorityIsNeverHandedToANewVessel) {
    Rig rig;
    pilot::Pilot kept(rig.world);
    const auto tumble = [&rig] {
        rig.v->controls.navmode = NAVMODE_KILLROT;
        runtime::World::current().move(*rig.v).omega = _V(0.004, -0.007, 0.002);  // rad/s
    };
    tumble();
    applied_levels(rig, kept);
    rig.world.destroy_vessel(rig.v);
    rig.make_vessel(_V(0, -1, 0));
    tumble();
    const std::vector<double> with_kept = applied_levels(rig, kept);
    pilot::Pilot fresh(rig.world);
    EXPECT_EQ(with_kept, applied_levels(rig, fresh));
}

}  // namespace
