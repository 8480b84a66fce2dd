// Environment, mass, propulsion, aerodynamics, added forces and gravity.
#include <algorithm>
#include <cmath>

#include "physics/models.h"
#include "physics/vector_math.h"

namespace physics {

// ---------------------------------------------------------------------------------------
// Environment
// ---------------------------------------------------------------------------------------
Kinematics kinematics_of(const runtime::VesselState& state) {
    return Kinematics{state.pos, state.vel, state.R, state.omega};
}

EnvironmentOutput environment(const EnvironmentInput& in) {
    EnvironmentOutput e;
    const Kinematics& k = in.motion;
    e.radius = vm::norm(k.pos);
    e.altitude = e.radius - in.body.radius;
    if (in.known_air != nullptr) {
        e.air = *in.known_air;  // found where the last step ended, the body's density factor in it
    } else {
        e.air = us_standard_atmosphere(e.altitude);
        e.air.density *= in.body.density_factor;
    }
    // Without wind (none set for the flight) the wind velocity is exactly zero everywhere, and
    // subtracting +0 changes no number, so it is neither looked up nor subtracted.
    const bool calm = in.body.wind_east == 0.0 && in.body.wind_north == 0.0;
    const VECTOR3 relative_to_ground = vm::sub(k.vel, ground_velocity(in.body, k.pos));
    const VECTOR3 airspeed_global =
        calm ? relative_to_ground : vm::sub(relative_to_ground, runtime::wind_velocity(in.body, k.pos));
    e.airspeed_local = vm::to_local(k.R, airspeed_global);
    e.airspeed = vm::norm(e.airspeed_local);
    e.mach = e.air.speed_of_sound > 0.0 ? e.airspeed / e.air.speed_of_sound : 0.0;
    e.dyn_pressure = 0.5 * e.air.density * e.airspeed * e.airspeed;
    return e;
}

// ---------------------------------------------------------------------------------------
// Mass
// ---------------------------------------------------------------------------------------
MassOutput mass_properties(const runtime::VesselDefinition& def) {
    double mass = def.empty_mass;
    for (const auto& p : def.propellants) mass += std::max(0.0, p->mass);
    return MassOutput{mass, vm::scale(def.pmi, mass)};
}

// ---------------------------------------------------------------------------------------
// Propulsion
// ---------------------------------------------------------------------------------------
namespace {

// A thruster's specific impulse at an ambient pressure (m/s) and its change per pascal there
// (m/s per Pa): linear in the pressure between the reference points, zero on its floor of zero.
struct IspAt {
    double isp;
    double per_pascal;
};
IspAt isp_at(const runtime::ThrusterRecord& th, double pressure) {
    if (th.isp_ref <= 0.0 || th.p_ref <= 0.0) return IspAt{th.isp_vac, 0.0};
    const double isp = std::max(0.0, th.isp_vac - (th.isp_vac - th.isp_ref) * pressure / th.p_ref);
    return IspAt{isp, isp > 0.0 ? -(th.isp_vac - th.isp_ref) / th.p_ref : 0.0};
}

// thruster_mass_flow of a thruster known to have a positive vacuum specific impulse and a tank.
double tank_fed_mass_flow(const runtime::ThrusterRecord& th, const runtime::PropellantRecord& tank) {
    if (th.level <= 0.0) return 0.0;
    const double efficiency = tank.efficiency > 0.0 ? tank.efficiency : 1.0;
    return th.max0 * th.level / (th.isp_vac * efficiency);
}

}  // namespace

double thruster_isp(const runtime::ThrusterRecord& th, double pressure) { return isp_at(th, pressure).isp; }

double thruster_mass_flow(const runtime::ThrusterRecord& th) {
    if (th.isp_vac <= 0.0 || th.level <= 0.0) return 0.0;
    const double efficiency =
        th.propellant != nullptr && th.propellant->efficiency > 0.0 ? th.propellant->efficiency : 1.0;
    return th.max0 * th.level / (th.isp_vac * efficiency);
}

// Thrusters that are off, or without propellant, are skipped. The total thrust is the sum of
// the same forces in the same order as the wrench's force, so it is that sum, not summed again.
PropulsionOutput propulsion(const PropulsionInput& in) {
    PropulsionOutput out;
    for (runtime::ThrusterRecord* firing : in.def.firing) {
        runtime::ThrusterRecord& th = *firing;
        if (th.max0 <= 0.0 || th.isp_vac <= 0.0) continue;
        runtime::PropellantRecord* tank = th.propellant;
        if (tank == nullptr || tank->mass <= 0.0) continue;  // no resource, or an empty one: no thrust
        const double dir_length = vm::norm(th.dir);
        if (dir_length <= 0.0) continue;
        // The last drops of a tank give the share of the step they last.
        double fraction = 1.0;
        if (in.burn_dt > 0.0) {
            const double needed = tank_fed_mass_flow(th, *tank) * in.thrust_factor * in.burn_dt;
            if (needed > tank->mass) {
                fraction = tank->mass / needed;
                tank->mass = 0.0;
            } else {
                tank->mass -= needed;
            }
        }
        // N per m/s, per unit dir
        const double per_isp = th.max0 * th.level * in.thrust_factor / th.isp_vac * fraction / dir_length;
        const IspAt isp = isp_at(th, in.pressure);
        add_force_at(out.wrench, vm::scale(th.dir, per_isp * isp.isp), th.pos);
        if (isp.per_pascal != 0.0)
            add_force_at(out.wrench_per_pascal, vm::scale(th.dir, per_isp * isp.per_pascal), th.pos);
    }
    out.thrust = out.wrench.force;
    return out;
}

PropulsionOutput propulsion_at_pressure(const PropulsionOutput& at, double pressure_change) {
    PropulsionOutput out;
    out.wrench.force = vm::madd(at.wrench.force, at.wrench_per_pascal.force, pressure_change);
    out.wrench.torque = vm::madd(at.wrench.torque, at.wrench_per_pascal.torque, pressure_change);
    out.thrust = out.wrench.force;
    out.wrench_per_pascal = at.wrench_per_pascal;
    return out;
}

// ---------------------------------------------------------------------------------------
// Aerodynamics
// ---------------------------------------------------------------------------------------
namespace {

constexpr double kStiffAngle = 0.1;      // rad
constexpr double kMaxTurnPerStep = 0.5;  // rad
constexpr int kMaxAeroSubsteps = 64;

// Dynamic viscosity of air by Sutherland's law, for the Reynolds number the coefficient
// functions receive.
constexpr double kSutherlandBeta = 1.458e-6;  // kg/(m s K^0.5)
constexpr double kSutherlandS = 110.4;        // K

double viscosity(double temperature) {
    if (temperature <= 0.0) return 1.0;
    return kSutherlandBeta * temperature * std::sqrt(temperature) / (temperature + kSutherlandS);
}

// Direction of a control surface's force per unit positive level: (0, 0, -1) x axis.
VECTOR3 control_surface_direction(const runtime::ControlSurfaceRecord& cs) {
    int axis = cs.axis;
    if (axis == AIRCTRL_AXIS_AUTO) {
        switch (cs.type) {
            case AIRCTRL_RUDDER:
            case AIRCTRL_RUDDERTRIM: axis = AIRCTRL_AXIS_YPOS; break;
            case AIRCTRL_AILERON: axis = cs.ref.x < 0.0 ? AIRCTRL_AXIS_XPOS : AIRCTRL_AXIS_XNEG; break;
            default: axis = AIRCTRL_AXIS_XPOS; break;
        }
    }
    switch (axis) {
        case AIRCTRL_AXIS_XPOS: return vm::vec(0.0, -1.0, 0.0);
        case AIRCTRL_AXIS_XNEG: return vm::vec(0.0, 1.0, 0.0);
        case AIRCTRL_AXIS_YPOS: return vm::vec(1.0, 0.0, 0.0);
        case AIRCTRL_AXIS_YNEG: return vm::vec(-1.0, 0.0, 0.0);
        default: return vm::vec(0.0, 0.0, 0.0);
    }
}

// Drag of a vessel without airfoils from its cross sections and drag coefficients:
// q sum_i(cw_i S_i u_i^2) along -u, u the unit airspeed vector.
double body_drag_area(const runtime::VesselDefinition& def, const VECTOR3& u) {
    const double cw_z = u.z >= 0.0 ? def.cw_z_pos : def.cw_z_neg;
    return def.cw_x * def.cross_sections.x * u.x * u.x + def.cw_y * def.cross_sections.y * u.y * u.y +
           cw_z * def.cross_sections.z * u.z * u.z;
}

// Rotational drag: about each axis a torque -rot_drag * rho/2 * (V + size |w|) * size^3 * w.
double rotational_drag(double coefficient, double density, double airspeed, double size, double rate,
                       double inertia, double dt) {
    double torque = -coefficient * 0.5 * density * (airspeed + size * std::fabs(rate)) * size * size * size * rate;
    if (dt > 0.0) {
        const double limit = inertia * std::fabs(rate) / dt;
        torque = std::clamp(torque, -limit, limit);
    }
    return torque;
}

}  // namespace

AeroOutput airfoil_forces(const runtime::VesselDefinition& def, const EnvironmentOutput& env) {
    AeroOutput out;
    const double density = env.air.density;
    const double speed = env.airspeed;
    if (density <= 0.0 || speed <= 0.0) return out;
    const double q = env.dyn_pressure;
    const VECTOR3& v = env.airspeed_local;
    const VECTOR3 u = vm::scale(v, 1.0 / speed);
    const double reynolds_per_chord = density * speed / viscosity(env.air.temperature);
    for (const auto& owned : def.airfoils) {
        const runtime::AirfoilRecord& af = *owned;
        if (af.coeff == nullptr) continue;
        const bool vertical = af.orientation == LIFT_VERTICAL;
        const double angle = vertical ? std::atan2(-v.y, v.z) : std::atan2(-v.x, v.z);
        double cl = 0.0, cm = 0.0, cd = 0.0;
        af.coeff(angle, env.mach, reynolds_per_chord * af.chord, &cl, &cm, &cd);
        const double qs = q * af.area;
        const VECTOR3 lift_dir = vertical ? vm::vec(0.0, v.z, -v.y) : vm::vec(v.z, 0.0, -v.x);
        const double lift_dir_length = vm::norm(lift_dir);
        const VECTOR3 lift =
            lift_dir_length > 0.0 ? vm::scale(lift_dir, qs * cl / lift_dir_length) : vm::vec(0.0, 0.0, 0.0);
        const VECTOR3 drag = vm::scale(u, -qs * cd);
        out.lift = vm::add(out.lift, lift);
        out.drag = vm::add(out.drag, drag);
        add_force_at(out.wrench, vm::add(lift, drag), af.ref);
        const double moment = qs * af.chord * cm;  // nose up (vertical) or nose left (horizontal)
        if (vertical)
            out.wrench.torque.x += moment;
        else
            out.wrench.torque.y += moment;
    }
    return out;
}

// The airfoils turn the vessel and bend its path at rates that grow with the dynamic pressure.
// A moment M that turns the vessel back from kStiffAngle off its balance gives it a frequency
// sqrt(M / (I kStiffAngle)); a force F bends or slows a path at airspeed V at the rate F / (m V).
// The step integrates either stably while it stays within kMaxTurnPerStep of a radian.
int aero_substeps(const Wrench& airfoils, const MassOutput& mass, double airspeed, double dt) {
    if (mass.mass <= 0.0 || !(dt > 0.0)) return 1;
    const VECTOR3& torque = airfoils.torque;
    double stiffest = 0.0;  // the largest |tau_a| / I_a, rad/s^2
    for (int a = 0; a < 3; ++a)
        if (mass.inertia.data[a] > 0.0) stiffest = std::max(stiffest, std::fabs(torque.data[a]) / mass.inertia.data[a]);
    double rate = std::sqrt(stiffest / kStiffAngle);
    if (airspeed > 0.0) rate = std::max(rate, vm::norm(airfoils.force) / (mass.mass * airspeed));
    const double turns = rate * dt / kMaxTurnPerStep;
    if (!(turns > 1.0)) return 1;  // ceil(turns) > 1 exactly when turns > 1
    return int(std::min(std::ceil(turns), double(kMaxAeroSubsteps)));
}

// The sums are kept in locals, not in `out`, which the records' numbers might alias: each
// addition stays a register operation, in the same order.
void add_surface_forces(AeroOutput& out, const AeroInput& in) {
    const runtime::VesselDefinition& def = in.def;
    const EnvironmentOutput& env = in.env;
    const double density = env.air.density;
    if (density <= 0.0) return;
    const double q = env.dyn_pressure;
    const double speed = env.airspeed;
    AeroOutput sum = out;

    if (speed > 0.0) {
        const VECTOR3 u = vm::scale(env.airspeed_local, 1.0 / speed);
        for (const auto& owned : def.control_surfaces) {
            const runtime::ControlSurfaceRecord& cs = *owned;
            const int type = int(cs.type);
            if (type < 0 || type >= AIRCTRL_TYPE_COUNT) continue;
            const double level = in.surface_levels[size_t(type)];
            if (level == 0.0) continue;
            const VECTOR3 force = vm::scale(control_surface_direction(cs), q * cs.area * cs.dCl * level);
            sum.lift = vm::add(sum.lift, force);
            add_force_at(sum.wrench, force, cs.ref);
        }

        for (const runtime::DragElementRecord& de : def.drag_elements) {
            if (de.drag == nullptr) continue;
            const VECTOR3 drag = vm::scale(u, -q * (*de.drag) * de.factor);
            sum.drag = vm::add(sum.drag, drag);
            add_force_at(sum.wrench, drag, de.ref);
        }

        if (def.airfoils.empty()) {
            const VECTOR3 drag = vm::scale(u, -q * body_drag_area(def, u));
            sum.drag = vm::add(sum.drag, drag);
            sum.wrench.force = vm::add(sum.wrench.force, drag);
        }
    }

    const double size = def.size;
    sum.wrench.torque.x +=
        rotational_drag(def.rot_drag.x, density, speed, size, in.omega.x, in.inertia.x, in.dt);
    sum.wrench.torque.y +=
        rotational_drag(def.rot_drag.y, density, speed, size, in.omega.y, in.inertia.y, in.dt);
    sum.wrench.torque.z +=
        rotational_drag(def.rot_drag.z, density, speed, size, in.omega.z, in.inertia.z, in.dt);
    out = sum;
}

AeroOutput aerodynamics(const AeroInput& in) {
    AeroOutput out = airfoil_forces(in.def, in.env);
    add_surface_forces(out, in);
    return out;
}

// ---------------------------------------------------------------------------------------
// Added forces and gravity
// ---------------------------------------------------------------------------------------
Wrench added_forces(const runtime::VesselControls& controls) {
    Wrench w;
    for (const auto& f : controls.added_forces) add_force_at(w, f.force, f.point);
    return w;
}

VECTOR3 gravity_acceleration(double mu, const VECTOR3& pos) { return gravity_acceleration(mu, pos, vm::norm(pos)); }

VECTOR3 gravity_acceleration(double mu, const VECTOR3& pos, double radius) {
    const double r2 = vm::dot(pos, pos);
    if (r2 <= 0.0) return vm::vec(0.0, 0.0, 0.0);
    return vm::scale(pos, -mu / (r2 * radius));
}

}  // namespace physics
