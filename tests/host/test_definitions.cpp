// What a vessel declares reads back as declared; levels follow the host's rules; handles the
// vessel no longer holds do nothing.
#include <functional>

#include "host_fixture.h"

using host_test::HostWorld;

namespace {

struct PinCase {
    const char* observable;
    std::function<void(runtime::ObservablePins&)> pin;
    std::function<double(const VESSEL&)> read;
    double pinned;
};

TEST_F(HostWorld, pinned_observables_win_until_released) {
    runtime::VesselRecord* v = plain("Pinned");
    runtime::World::current().move(*v).pos = _V(host_test::earth_radius + 5000.0, 0.0, 0.0);
    runtime::AirData air = v->air;
    air.density = 0.7;
    runtime::World::current().set_air(*v, air);
    const PinCase cases[] = {
        {"altitude", [](auto& p) { p.altitude = 123.0; }, [](const VESSEL& s) { return s.GetAltitude(); }, 123.0},
        {"airspeed", [](auto& p) { p.airspeed = 250.0; }, [](const VESSEL& s) { return s.GetAirspeed(); }, 250.0},
        {"mach", [](auto& p) { p.mach = 2.5; }, [](const VESSEL& s) { return s.GetMachNumber(); }, 2.5},
        {"dyn pressure", [](auto& p) { p.dyn_pressure = 3e4; }, [](const VESSEL& s) { return s.GetDynPressure(); },
         3e4},
        {"atm pressure", [](auto& p) { p.atm_pressure = 9e4; }, [](const VESSEL& s) { return s.GetAtmPressure(); },
         9e4},
        {"pitch", [](auto& p) { p.pitch = 0.4; }, [](const VESSEL& s) { return s.GetPitch(); }, 0.4},
        {"bank", [](auto& p) { p.bank = -0.2; }, [](const VESSEL& s) { return s.GetBank(); }, -0.2},
        {"aoa", [](auto& p) { p.aoa = 0.1; }, [](const VESSEL& s) { return s.GetAOA(); }, 0.1},
        {"slip", [](auto& p) { p.slip = -0.05; }, [](const VESSEL& s) { return s.GetSlipAngle(); }, -0.05},
        {"heading", [](auto& p) { p.heading = 1.5; }, [](const VESSEL& s) { return s.GetYaw(); }, 1.5},
        {"mass", [](auto& p) { p.mass = 4321.0; }, [](const VESSEL& s) { return s.GetMass(); }, 4321.0},
    };
    for (const PinCase& c : cases) {
        const double derived = c.read(*v->iface);
        c.pin(v->pins);
        EXPECT_EQ(c.read(*v->iface), c.pinned) << c.observable;
        v->pins.release_all();
        EXPECT_EQ(c.read(*v->iface), derived) << c.observable;
    }
    EXPECT_DOUBLE_EQ(v->iface->GetAltitude(), 5000.0);

    v->pins.angular_vel = _V(0.1, 0.2, 0.3);
    VECTOR3 w{};
    v->iface->GetAngularVel(w);
    host_test::expect_near(w, _V(0.1, 0.2, 0.3), 0.0);
    v->pins.release_all();
    v->iface->GetAngularVel(w);
    host_test::expect_near(w, _V(0, 0, 0), 0.0);
}

TEST_F(HostWorld, thruster_levels_are_clamped_to_zero_and_one) {
    const VESSEL& s = *plain("Levels")->iface;
    THRUSTER_HANDLE th = s.CreateThruster(_V(0, 0, -5), _V(0, 0, 1), 2.0e5);
    const struct { double set, expected; } cases[] = {{-0.5, 0.0}, {0.0, 0.0}, {0.3, 0.3}, {1.0, 1.0}, {1.7, 1.0}};
    for (const auto& c : cases) {
        s.SetThrusterLevel(th, c.set);
        EXPECT_EQ(s.GetThrusterLevel(th), c.expected) << "level " << c.set;
    }
}

TEST_F(HostWorld, a_group_level_is_the_mean_of_its_thrusters) {
    const VESSEL& s = *plain("Group")->iface;
    THRUSTER_HANDLE th[2] = {s.CreateThruster(_V(-1, 0, 0), _V(0, 0, 1), 1e5),
                             s.CreateThruster(_V(1, 0, 0), _V(0, 0, 1), 1e5)};
    THGROUP_HANDLE g = s.CreateThrusterGroup(th, 2, THGROUP_MAIN);
    EXPECT_EQ(s.GetThrusterGroupHandle(THGROUP_MAIN), g);
    EXPECT_EQ(s.GetGroupThrusterCount(THGROUP_MAIN), 2u);
    s.SetThrusterLevel(th[0], 0.2);
    s.SetThrusterLevel(th[1], 0.6);
    EXPECT_DOUBLE_EQ(s.GetThrusterGroupLevel(THGROUP_MAIN), 0.4);
    EXPECT_EQ(s.GetThrusterGroupLevel(THGROUP_RETRO), 0.0);  // no such group
    s.SetThrusterGroupLevel(THGROUP_MAIN, 3.0);
    EXPECT_EQ(s.GetThrusterLevel(th[0]), 1.0);
    EXPECT_EQ(s.GetThrusterLevel(th[1]), 1.0);
    oapiSetEngineLevel(s.GetHandle(), ENGINE_MAIN, 0.25);
    EXPECT_EQ(s.GetThrusterGroupLevel(THGROUP_MAIN), 0.25);
}

TEST_F(HostWorld, control_surface_levels_are_clamped_to_plus_minus_one) {
    const VESSEL& s = *plain("Surfaces")->iface;
    const struct {
        AIRCTRL_TYPE type;
        double set, expected;
    } cases[] = {{AIRCTRL_ELEVATOR, 0.5, 0.5},
                 {AIRCTRL_ELEVATOR, 2.0, 1.0},
                 {AIRCTRL_AILERON, -3.0, -1.0},
                 {AIRCTRL_RUDDER, -0.25, -0.25},
                 {AIRCTRL_FLAP, 1.0, 1.0}};
    for (const auto& c : cases) {
        s.SetControlSurfaceLevel(c.type, c.set);
        EXPECT_EQ(s.GetControlSurfaceLevel(c.type), c.expected) << "type " << c.type << " level " << c.set;
    }
    s.SetControlSurfaceLevel(static_cast<AIRCTRL_TYPE>(17), 1.0);  // no such type: ignored
    EXPECT_EQ(s.GetControlSurfaceLevel(static_cast<AIRCTRL_TYPE>(17)), 0.0);
}

TEST_F(HostWorld, attitude_rotation_levels_drive_the_six_rotation_groups) {
    const VESSEL& s = *plain("Rcs")->iface;
    const THGROUP_TYPE types[6] = {THGROUP_ATT_PITCHUP,  THGROUP_ATT_PITCHDOWN, THGROUP_ATT_YAWLEFT,
                                   THGROUP_ATT_YAWRIGHT, THGROUP_ATT_BANKLEFT,  THGROUP_ATT_BANKRIGHT};
    for (THGROUP_TYPE t : types) {
        THRUSTER_HANDLE th = s.CreateThruster(_V(0, 0, 0), _V(0, 1, 0), 1e3);
        s.CreateThrusterGroup(&th, 1, t);
    }
    const struct {
        VECTOR3 rot;
        double up, down, left, right, bank_left, bank_right;
    } cases[] = {
        {_V(0.5, 0, 0), 0.5, 0, 0, 0, 0, 0}, {_V(-0.5, 0, 0), 0, 0.5, 0, 0, 0, 0},
        {_V(0, 0.3, 0), 0, 0, 0.3, 0, 0, 0}, {_V(0, -0.3, 0), 0, 0, 0, 0.3, 0, 0},
        {_V(0, 0, 0.7), 0, 0, 0, 0, 0, 0.7}, {_V(0, 0, -0.7), 0, 0, 0, 0, 0.7, 0},
        {_V(0, 0, 0), 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        s.SetAttitudeRotLevel(c.rot);
        const double expected[6] = {c.up, c.down, c.left, c.right, c.bank_left, c.bank_right};
        for (int i = 0; i < 6; ++i)
            EXPECT_DOUBLE_EQ(s.GetThrusterGroupLevel(types[i]), expected[i])
                << "rot (" << c.rot.x << ", " << c.rot.y << ", " << c.rot.z << ") group " << types[i];
    }
}

double half_open(double) {
    return 0.5;
}
void flat_airfoil(double, double, double, double* cl, double* cm, double* cd) {
    *cl = 0.1, *cm = 0.0, *cd = 0.02;
}

TEST_F(HostWorld, definitions_read_back_as_declared) {
    runtime::VesselRecord* v = plain("Defined");
    const VESSEL& s = *v->iface;
    s.SetSize(12.5);
    s.SetEmptyMass(2000.0);
    PROPELLANT_HANDLE tank = s.CreatePropellantResource(500.0);
    PROPELLANT_HANDLE spare = s.CreatePropellantResource(100.0, 40.0);
    THRUSTER_HANDLE th = s.CreateThruster(_V(0, 0, -4), _V(0, 0, 1), 3.0e5, tank, 3000.0, 2500.0);
    s.SetTouchdownPoints(_V(0, -2, 5), _V(-3, -2, -4), _V(3, -2, -4));
    static double brake = 0.0;
    s.CreateVariableDragElement(&brake, 2.5, _V(0, 0, -6));
    AIRFOILHANDLE wing = s.CreateAirfoil(LIFT_VERTICAL, _V(0, 0, -1), flat_airfoil, 5.0, 60.0, 2.2);
    CTRLSURFHANDLE elevator = s.CreateControlSurface(AIRCTRL_ELEVATOR, 1.5, 1.7, _V(0, 0, -8), AIRCTRL_AXIS_XPOS);
    UINT mesh = s.AddMesh(nullptr);
    s.SetMeshVisibilityMode(mesh, MESHVIS_ALWAYS);
    UINT anim = s.CreateAnimation(0.25);
    static UINT groups[1] = {3};
    static MGROUP_ROTATE door(0, groups, 1, _V(0, 0, 0), _V(1, 0, 0), 1.0f);
    ANIMATIONCOMPONENT_HANDLE comp = s.AddAnimationComponent(anim, 0.0, 1.0, &door);
    (void)half_open;

    EXPECT_EQ(s.GetSize(), 12.5);
    EXPECT_EQ(oapiGetSize(s.GetHandle()), 12.5);
    EXPECT_EQ(s.GetMaxFuelMass(), 500.0);  // the first tank is the default one
    EXPECT_EQ(s.GetPropellantMass(spare), 40.0);
    EXPECT_EQ(s.GetTotalPropellantMass(), 540.0);
    EXPECT_EQ(s.GetMass(), 2540.0);
    s.SetPropellantMass(spare, 1e9);
    EXPECT_EQ(s.GetPropellantMass(spare), 100.0);
    EXPECT_EQ(s.GetThrusterMax0(th), 3.0e5);
    EXPECT_EQ(s.GetThrusterIsp0(th), 3000.0);
    ASSERT_EQ(v->def.thrusters.size(), 1u);
    EXPECT_EQ(v->def.thrusters[0]->propellant, tank);
    EXPECT_EQ(v->def.thrusters[0]->isp_ref, 2500.0);
    s.SetThrusterIsp(th, 2800.0);
    EXPECT_EQ(v->def.thrusters[0]->isp_vac, 2800.0);
    EXPECT_EQ(v->def.thrusters[0]->isp_ref, 0.0);
    VECTOR3 a{}, b{}, c{};
    s.GetTouchdownPoints(a, b, c);
    host_test::expect_near(b, _V(-3, -2, -4), 0.0);
    ASSERT_EQ(v->def.drag_elements.size(), 1u);
    EXPECT_EQ(v->def.drag_elements[0].drag, &brake);
    EXPECT_EQ(v->def.drag_elements[0].factor, 2.5);
    ASSERT_EQ(v->def.airfoils.size(), 1u);
    EXPECT_EQ(v->def.airfoils[0].get(), wing);
    EXPECT_EQ(v->def.airfoils[0]->area, 60.0);
    EXPECT_EQ(v->def.airfoils[0]->coeff, &flat_airfoil);
    ASSERT_EQ(v->def.control_surfaces.size(), 1u);
    EXPECT_EQ(v->def.control_surfaces[0].get(), elevator);
    EXPECT_EQ(v->def.control_surfaces[0]->axis, AIRCTRL_AXIS_XPOS);
    EXPECT_EQ(v->def.meshes[mesh].visibility, MESHVIS_ALWAYS);
    EXPECT_EQ(s.GetAnimation(anim), 0.25);
    EXPECT_TRUE(s.SetAnimation(anim, 0.75));
    EXPECT_EQ(s.GetAnimation(anim), 0.75);
    EXPECT_FALSE(s.SetAnimation(anim + 1, 0.5));
    ASSERT_EQ(v->def.animations[anim]->components.size(), 1u);
    EXPECT_EQ(v->def.animations[anim]->components[0].get(), comp);
    EXPECT_EQ(v->def.animations[anim]->components[0]->transform, &door);
}

TEST_F(HostWorld, handles_after_a_clear_or_from_another_vessel_do_nothing) {
    const VESSEL& s = *plain("Cleared")->iface;
    const VESSEL& other = *plain("Other")->iface;
    PROPELLANT_HANDLE tank = s.CreatePropellantResource(800.0);
    THRUSTER_HANDLE th = s.CreateThruster(_V(0, 0, -4), _V(0, 0, 1), 1e5, tank, 3000.0);
    THRUSTER_HANDLE foreign = other.CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 1e3);
    s.CreateThrusterGroup(&th, 1, THGROUP_MAIN);
    s.AddExhaust(th, 10.0, 1.0);
    s.ClearThrusterDefinitions();

    EXPECT_EQ(s.GetThrusterCount(), 0u);
    EXPECT_EQ(s.GetThrusterGroupHandle(THGROUP_MAIN), nullptr);
    s.SetThrusterLevel(th, 1.0);
    EXPECT_EQ(s.GetThrusterLevel(th), 0.0);
    EXPECT_EQ(s.GetThrusterMax0(th), 0.0);
    EXPECT_EQ(s.AddExhaust(th, 1.0, 1.0), 0u);
    EXPECT_EQ(s.AddExhaustStream(th, _V(0, 0, 0)), nullptr);
    EXPECT_EQ(s.GetPropellantMaxMass(tank), 800.0);  // propellant outlives the thrusters

    s.SetThrusterLevel(foreign, 1.0);
    EXPECT_EQ(other.GetThrusterLevel(foreign), 0.0);
    s.SetThrusterLevel(nullptr, 1.0);
    EXPECT_EQ(s.GetPropellantMass(nullptr), 0.0);
    EXPECT_STREQ(s.GetAttachmentId(nullptr), "");
    EXPECT_EQ(s.GetAttachmentStatus(foreign), nullptr);
    EXPECT_FALSE(s.DetachChild(nullptr));

    AIRFOILHANDLE wing = s.CreateAirfoil(LIFT_HORIZONTAL, _V(0, 0, 0), nullptr, 1.0, 1.0, 1.0);
    EXPECT_NE(wing, nullptr);
    s.ClearAirfoilDefinitions();
    s.ClearVariableDragElements();
    s.ClearMeshes();
    s.SetMeshVisibilityMode(0, MESHVIS_NEVER);  // no mesh left: ignored

    VESSEL stranger(reinterpret_cast<OBJHANDLE>(0x1234), 1);  // a handle the World never made
    stranger.SetSize(3.0);
    EXPECT_EQ(stranger.GetSize(), 0.0);
    EXPECT_STREQ(stranger.GetName(), "");
}

TEST_F(HostWorld, manual_control_levels_reach_only_the_focus_vessel_in_the_mode_asked_for) {
    runtime::VesselRecord* v = plain("Pilot");
    v->controls.manual_levels[THGROUP_ATT_PITCHUP] = 0.8;
    v->controls.manual_levels[THGROUP_ATT_UP] = 0.6;
    v->controls.manual_levels[THGROUP_MAIN] = 0.4;
    EXPECT_EQ(v->iface->GetManualControlLevel(THGROUP_ATT_PITCHUP, MANCTRL_ANYMODE, MANCTRL_ANYDEVICE), 0.0);
    world.focus = v;
    EXPECT_EQ(oapiGetFocusObject(), v);
    struct Case {
        THGROUP_TYPE type;
        DWORD mode;
        int rcs_mode;
        double answer;
    };
    const Case cases[] = {
        {THGROUP_ATT_PITCHUP, MANCTRL_ANYMODE, RCS_NONE, 0.8}, {THGROUP_ATT_PITCHUP, MANCTRL_ROTMODE, RCS_LIN, 0.8},
        {THGROUP_ATT_PITCHUP, MANCTRL_LINMODE, RCS_ROT, 0.0},  {THGROUP_ATT_PITCHUP, MANCTRL_ATTMODE, RCS_ROT, 0.8},
        {THGROUP_ATT_PITCHUP, MANCTRL_ATTMODE, RCS_LIN, 0.0},  {THGROUP_ATT_PITCHUP, MANCTRL_ATTMODE, RCS_NONE, 0.0},
        {THGROUP_ATT_UP, MANCTRL_ANYMODE, RCS_NONE, 0.6},      {THGROUP_ATT_UP, MANCTRL_LINMODE, RCS_ROT, 0.6},
        {THGROUP_ATT_UP, MANCTRL_ROTMODE, RCS_LIN, 0.0},       {THGROUP_ATT_UP, MANCTRL_ATTMODE, RCS_LIN, 0.6},
        {THGROUP_ATT_UP, MANCTRL_ATTMODE, RCS_ROT, 0.0},       {THGROUP_MAIN, MANCTRL_ATTMODE, RCS_NONE, 0.4},
        {THGROUP_MAIN, MANCTRL_LINMODE, RCS_ROT, 0.4},
    };
    for (const Case& c : cases) {
        v->controls.rcs_mode = c.rcs_mode;
        EXPECT_EQ(v->iface->GetManualControlLevel(c.type, c.mode, MANCTRL_KEYBOARD), c.answer)
            << "group " << c.type << ", mode " << c.mode << ", RCS mode " << c.rcs_mode;
    }
}

// The World records one active attitude autopilot and the RCS mode; flying them is the
// headless host's business.
TEST_F(HostWorld, one_attitude_autopilot_is_active_at_a_time) {
    const VESSEL& s = *plain("Navigator")->iface;
    EXPECT_FALSE(s.GetNavmodeState(NAVMODE_PROGRADE));
    EXPECT_TRUE(s.ActivateNavmode(NAVMODE_PROGRADE));
    EXPECT_FALSE(s.ActivateNavmode(NAVMODE_PROGRADE)) << "already on";
    EXPECT_TRUE(s.ActivateNavmode(NAVMODE_RETROGRADE));
    EXPECT_FALSE(s.GetNavmodeState(NAVMODE_PROGRADE)) << "another mode took over";
    EXPECT_TRUE(s.GetNavmodeState(NAVMODE_RETROGRADE));
    EXPECT_FALSE(s.DeactivateNavmode(NAVMODE_PROGRADE)) << "not the active one";
    EXPECT_TRUE(s.GetNavmodeState(NAVMODE_RETROGRADE));
    EXPECT_TRUE(s.ToggleNavmode(NAVMODE_RETROGRADE));
    EXPECT_FALSE(s.GetNavmodeState(NAVMODE_RETROGRADE));
    EXPECT_TRUE(s.ToggleNavmode(NAVMODE_KILLROT));
    EXPECT_TRUE(s.GetNavmodeState(NAVMODE_KILLROT));
    EXPECT_TRUE(s.DeactivateNavmode(NAVMODE_KILLROT));
    for (int unknown : {0, -1, NAVMODE_COUNT, 99}) {
        EXPECT_FALSE(s.ActivateNavmode(unknown)) << unknown;
        EXPECT_FALSE(s.ToggleNavmode(unknown)) << unknown;
        EXPECT_FALSE(s.GetNavmodeState(unknown)) << unknown;
    }
    EXPECT_EQ(world.find_vessel("Navigator")->controls.navmode, 0);

    EXPECT_EQ(s.GetAttitudeMode(), RCS_NONE);
    EXPECT_EQ(s.ToggleAttitudeMode(), RCS_NONE) << "off stays off";
    EXPECT_TRUE(s.SetAttitudeMode(RCS_ROT));
    EXPECT_EQ(s.ToggleAttitudeMode(), RCS_LIN);
    EXPECT_EQ(s.ToggleAttitudeMode(), RCS_ROT);
    EXPECT_FALSE(s.SetAttitudeMode(3));
    EXPECT_EQ(s.GetAttitudeMode(), RCS_ROT);
}

TEST_F(HostWorld, a_second_group_of_a_type_replaces_the_first) {
    const VESSEL& s = *plain("Regroup")->iface;
    THRUSTER_HANDLE a = s.CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 1e3);
    THRUSTER_HANDLE b = s.CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 1e3);
    s.CreateThrusterGroup(&a, 1, THGROUP_MAIN);
    s.CreateThrusterGroup(&b, 1, THGROUP_MAIN);
    s.SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    EXPECT_EQ(s.GetThrusterLevel(a), 0.0);
    EXPECT_EQ(s.GetThrusterLevel(b), 1.0);
}

}  // namespace
