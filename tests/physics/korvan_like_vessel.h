// A vessel built by hand in the World with the Korvan's figures: masses, inertia, touchdown
// points, six main engines, twenty attitude thrusters, a wing and a fin with tabulated
// coefficients, five control surfaces and two drag elements. Used by the physics tests and
// the benchmark.
#pragma once

#include <array>
#include <cmath>
#include <memory>
#include <string>

#include "orbiter_api.h"
#include "runtime/world.h"

namespace korvan_like {

constexpr double kEmptyMass = 59874.0;       // kg
constexpr double kPropellantMass = 76204.0;  // kg
constexpr double kMainThrust = 331872.3;     // N, slots 1 to 4
constexpr double kMainIspVacuum = 4492.98;   // m/s
constexpr double kMainIspSeaLevel = 4169.25; // m/s
constexpr double kAirThrust = 809325.0;      // N, slots 5 and 6
constexpr double kAirIsp = 39240.0;          // m/s
constexpr double kReferencePressure = 101400.0;  // Pa
constexpr double kRcsThrust = 16284.6;       // N
constexpr double kRollThrust = 8142.3;       // N
constexpr double kRcsIsp = 4169.25;          // m/s
constexpr double kRollingFriction = 0.025;
constexpr double kBrakingFriction = 0.3;
constexpr double kLateralFriction = 0.4;

// Wing lift and moment every 15 degrees from -180 to 180.
constexpr std::array<double, 25> WING_CL{0.1,   0.17, 0.2,  0.2,  0.17,   0.1,  0,     -0.11, -0.24,
                                         -0.38, -0.5, -0.5, -0.02, 0.6355, 0.63, 0.46, 0.28, 0.13,
                                         0,     -0.16, -0.26, -0.29, -0.24, -0.1, 0.1};
constexpr std::array<double, 25> WING_CM{0, 0, 0, 0, 0, 0, 0, 0, 0, 0.002, 0.004, 0.0025, 0.0012,
                                         0, -0.0012, -0.0007, 0, 0, 0, 0, 0, 0, 0, 0, 0};

inline void wing_coefficients(double aoa, double M, double, double* cl, double* cm, double* cd) {
    constexpr double kStep = 15.0 * PI / 180.0;
    const double x = (aoa + PI) / kStep;
    int i = int(x);
    i = i < 0 ? 0 : (i > 23 ? 23 : i);
    const double f = x - i;
    *cl = WING_CL[size_t(i)] + f * (WING_CL[size_t(i) + 1] - WING_CL[size_t(i)]);
    *cm = WING_CM[size_t(i)] + f * (WING_CM[size_t(i) + 1] - WING_CM[size_t(i)]);
    *cd = (M < 1.25 ? 0.025 : 0.06) + *cl * *cl / (PI * 2.266 * 0.75);
}

inline void fin_coefficients(double beta, double M, double, double* cl, double* cm, double* cd) {
    *cl = 0.3 * std::sin(2.0 * beta);
    *cm = 0.0;
    *cd = (0.015 + *cl * *cl / (PI * 1.5 * 0.6)) * (M > 1.0 ? 2.2 : 0.6);
}

struct Mechanisms {
    double brake_position = 0.0;
    double gear_position = 1.0;
};

// Indices into def.thrusters.
constexpr size_t kFirstMain = 0, kMainCount = 4, kFirstAir = 4, kAirCount = 2, kFirstRcs = 6;

inline runtime::ThrusterRecord* add_thruster(runtime::VesselDefinition& def, VECTOR3 pos, VECTOR3 dir, double max0,
                                             double isp_vac, double isp_ref) {
    auto th = std::make_unique<runtime::ThrusterRecord>();
    th->set_geometry(pos, dir, max0);
    th->propellant = def.default_propellant;
    th->isp_vac = isp_vac;
    th->isp_ref = isp_ref;
    th->p_ref = kReferencePressure;
    th->index = def.thrusters.size();
    def.thrusters.push_back(std::move(th));
    return def.thrusters.back().get();
}

inline void define(runtime::VesselRecord& v, Mechanisms& mech) {
    runtime::VesselDefinition& def = v.def;
    def.size = 45.0;
    def.empty_mass = kEmptyMass;
    def.pmi = _V(86.7, 88.9, 13.6);
    def.cross_sections = _V(534.8, 1389.1, 158.2);
    def.cw_z_pos = 0.1, def.cw_z_neg = 0.3, def.cw_x = 1.4, def.cw_y = 1.4;
    def.rot_drag = _V(0.7, 0.7, 1.2);
    def.touchdown = {_V(0, -11.8, 23), _V(-8.7, -13.14, -11.9), _V(8.7, -13.14, -11.9)};
    def.touchdown_set = true;
    def.friction_lng = kRollingFriction;
    def.friction_lat = kLateralFriction;

    auto tank = std::make_unique<runtime::PropellantRecord>();
    tank->max_mass = tank->mass = kPropellantMass;
    def.default_propellant = tank.get();
    def.propellants.push_back(std::move(tank));

    for (double x : {-2.0, 2.0, -6.0, 6.0})
        add_thruster(def, _V(x, 0, -19), _V(0, 0, 1), kMainThrust, kMainIspVacuum, kMainIspSeaLevel);
    for (double x : {-2.0, 2.0}) add_thruster(def, _V(x, 0, -19), _V(0, 0, 1), kAirThrust, kAirIsp, kAirIsp);
    struct Rcs {
        VECTOR3 pos, dir;
        double max0;
    };
    const Rcs rcs[] = {
        {_V(0, -0.97, 5.25), _V(0, 1, 0), kRcsThrust}, {_V(0, -0.97, -5.25), _V(0, -1, 0), kRcsThrust},
        {_V(0, -0.2, -5.25), _V(0, 1, 0), kRcsThrust}, {_V(0, -0.75, 5.25), _V(0, 1, 0), kRcsThrust},
        {_V(0, -0.2, -5.25), _V(0, -1, 0), kRcsThrust}, {_V(0, -0.75, 5.25), _V(0, -1, 0), kRcsThrust},
        {_V(0, 0, 5), _V(0, -1, 0), kRcsThrust},        {_V(0, 0, -5), _V(0, 1, 0), kRcsThrust},
        {_V(0, 0, 4), _V(-1, 0, 0), kRcsThrust},        {_V(0, 0, -4), _V(1, 0, 0), kRcsThrust},
        {_V(0, 0, 4), _V(1, 0, 0), kRcsThrust},         {_V(0, 0, -4), _V(-1, 0, 0), kRcsThrust},
        {_V(2, 0, 0), _V(-1, 0, 0), kRcsThrust},        {_V(-2, 0, 0), _V(1, 0, 0), kRcsThrust},
        {_V(13, 0, 0), _V(0, -1, 0), kRollThrust},      {_V(-13, 0, 0), _V(0, 1, 0), kRollThrust},
        {_V(13, 0, 0), _V(0, 1, 0), kRollThrust},       {_V(-13, 0, 0), _V(0, -1, 0), kRollThrust},
        {_V(0, 0, -4), _V(0, 0, 1), kRcsThrust},        {_V(0, 0, 4), _V(0, 0, -1), kRcsThrust},
    };
    for (const Rcs& r : rcs) add_thruster(def, r.pos, r.dir, r.max0, kRcsIsp, 0.0);

    auto wing = std::make_unique<runtime::AirfoilRecord>();
    *wing = runtime::AirfoilRecord{LIFT_VERTICAL, _V(0, 0, -0.4), wing_coefficients, 20.0, 270.0, 2.266};
    def.airfoils.push_back(std::move(wing));
    auto fin = std::make_unique<runtime::AirfoilRecord>();
    *fin = runtime::AirfoilRecord{LIFT_HORIZONTAL, _V(0, 0, -8.5), fin_coefficients, 3.5, 28.0, 2.6};
    def.airfoils.push_back(std::move(fin));

    def.drag_elements.push_back(runtime::DragElementRecord{&mech.brake_position, 0.8, _V(0, 0, 0)});
    def.drag_elements.push_back(runtime::DragElementRecord{&mech.gear_position, 0.6, _V(0, -1, 0)});

    struct Surface {
        AIRCTRL_TYPE type;
        double area, dcl;
        VECTOR3 ref;
        int axis;
    };
    const Surface surfaces[] = {
        {AIRCTRL_ELEVATOR, 16.5, 0.7, _V(0, 0, -11.67), AIRCTRL_AXIS_XPOS},
        {AIRCTRL_RUDDER, 5.3, 0.7, _V(0, 0, -12.75), AIRCTRL_AXIS_YPOS},
        {AIRCTRL_AILERON, 11.3, -0.7, _V(-9.5, 0, -12.75), AIRCTRL_AXIS_XPOS},
        {AIRCTRL_AILERON, 11.3, -0.7, _V(9.5, 0, -12.75), AIRCTRL_AXIS_XNEG},
        {AIRCTRL_ELEVATORTRIM, 8.7, 0.7, _V(0, 0, -11.67), AIRCTRL_AXIS_XPOS},
    };
    for (const Surface& s : surfaces) {
        auto cs = std::make_unique<runtime::ControlSurfaceRecord>();
        cs->type = s.type;
        cs->area = s.area;
        cs->dCl = s.dcl;
        cs->ref = s.ref;
        cs->axis = s.axis;
        def.control_surfaces.push_back(std::move(cs));
    }
}

inline void set_main_level(runtime::World& world, runtime::VesselRecord& v, double level) {
    for (size_t i = kFirstMain; i < kFirstMain + kMainCount; ++i) world.set_thruster_level(v, *v.def.thrusters[i], level);
}

// A World with one plain class; vessels are created from it and then given their figures.
inline runtime::VesselRecord* create_plain_vessel(runtime::World& world, const std::string& name) {
    runtime::VesselClass cls;
    cls.name = "PhysicsPlain";
    world.add_class(cls);
    return world.create_vessel(name, "PhysicsPlain", nullptr);
}

}  // namespace korvan_like
