// What a step of the default ascent costs at least: a plain C++ program of the same work per
// step, beside the whole ascent's first 700 s (runway, climb, engine switch, cut-off, coasting
// up) in the headless host. The program flies one body with the Korvan's force elements
// (taken from a Korvan built by its module: thrusters, wing and fin with their coefficient
// functions, control surfaces, drag elements, rotational drag), evaluated at both ends of each
// step as the host's second-order step does; it runs the vessel's laws (the guidance's pitch,
// yaw and roll laws and cut-off, the air-breathing engines, the nozzle mixing); and it answers
// every question those laws ask of the host, each answer a call of its own whose result is
// kept; the mechanisms' and ground handling's laws add their part. Nothing is looked up,
// checked or kept for later: the floor a host with the same results could reach.
//
//   korvan_bench --benchmark_filter='FloorStep|AscentFirst700' --benchmark_repetitions=3
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "default_ascent.h"
#include "korvan_in_world.h"
#include "flight/aerodynamics.h"
#include "flight/propulsion.h"
#include "guidance/equivalent_airspeed.h"
#include "physics/physics.h"
#include "physics/vector_math.h"
#include "runtime/world.h"
#include "simulation.h"
#include "vessel/korvan.h"

namespace {

constexpr double kStep = 0.01;            // s
constexpr double kFirstPart = 700.0;      // s of the default ascent
constexpr long kStepsPerClimb = 2000;     // the floor's body starts its climb again after these
constexpr double kMu = 3.986004e14;       // m^3/s^2
constexpr double kRadius = 6371.0e3;      // m
constexpr double kOmegaBody = PI2 / 86164.1;  // rad/s

struct Thruster {
    VECTOR3 pos, dir;
    double max0, isp_vac, isp_ref, p_ref, level;
};
struct Airfoil {
    bool vertical;
    VECTOR3 ref;
    AirfoilCoeffFunc coeff;
    double chord, area;
};
struct Surface {
    VECTOR3 force_per_level;  // N per Pa of dynamic pressure at full level
    VECTOR3 ref;
    int type;
};

// The Korvan's force elements, as its module defines them.
struct ForceElements {
    std::vector<Thruster> thrusters;  // the main engines, the ones that fire on the ascent
    std::vector<Airfoil> airfoils;
    std::vector<Surface> surfaces;
    std::vector<VECTOR3> drag_refs;
    std::vector<double> drag_factors;
    VECTOR3 pmi, rot_drag;
    double size = 0.0, empty_mass = 0.0;

    ForceElements() {
        runtime::World world;
        Korvan* korvan = make_korvan(world);
        runtime::VesselRecord* rec = world.vessel(0);
        korvan->define_control_surfaces();
        const runtime::VesselDefinition& d = rec->def;
        for (int i = 0; i < 6; ++i) {
            const runtime::ThrusterRecord& t = *d.thrusters[static_cast<size_t>(i)];
            thrusters.push_back({t.pos, t.dir, t.max0, t.isp_vac, t.isp_ref, t.p_ref, 1.0});
        }
        for (const auto& a : d.airfoils)
            airfoils.push_back({a->orientation == LIFT_VERTICAL, a->ref, a->coeff, a->chord, a->area});
        for (const auto& c : d.control_surfaces) {
            const double sign = c->axis == AIRCTRL_AXIS_XNEG || (c->axis == AIRCTRL_AXIS_AUTO && c->ref.x >= 0.0 &&
                                                                c->type == AIRCTRL_AILERON)
                                    ? 1.0
                                    : -1.0;
            const VECTOR3 dir = c->type == AIRCTRL_RUDDER ? _V(1.0, 0.0, 0.0) : _V(0.0, sign, 0.0);
            surfaces.push_back({dir * (c->area * c->dCl), c->ref, static_cast<int>(c->type)});
        }
        for (const auto& e : d.drag_elements) {
            drag_refs.push_back(e.ref);
            drag_factors.push_back(e.factor);
        }
        pmi = d.pmi, rot_drag = d.rot_drag, size = d.size, empty_mass = d.empty_mass;
        world.destroy_all_vessels();
    }
};

struct Body {
    VECTOR3 pos, vel, omega;
    MATRIX3 R;
    double fuel;  // kg
};

// Every answer the laws ask of the host, kept.
struct Answers {
    double altitude, airspeed, mach, dyn_pressure, atm_pressure, pitch, bank, heading, aoa, slip;
    VECTOR3 horizon_airspeed, relative_vel, angular_vel;
    ELEMENTS elements;
    VESSELSTATUS status;
    double manual[6];
    double mass;
};

// The laws' outputs, which the next step's forces use.
struct Controls {
    double pitch_output = 0.0, yaw_output = 0.0, roll_output = 0.0;
    double surface[AIRCTRL_TYPE_COUNT] = {};
    VECTOR3 nozzle_left{0, 0, 1}, nozzle_right{0, 0, 1};
    double rocket_level = 1.0, rocket_isp = 4492.98, air_thrust = 0.0;
    bool climb_latched = false;
    double steering = 0.0;  // N: the couple the ground handling adds, at +-12 m
    double friction_lng = 0.3, gear = 0.0, gear_animation[2] = {};
};

struct Environment {
    physics::Atmosphere air;
    VECTOR3 airspeed_local;
    double airspeed, mach, q;
};

VECTOR3 column(const MATRIX3& R, int c) { return _V(R.data[c], R.data[3 + c], R.data[6 + c]); }
VECTOR3 air_velocity(const VECTOR3& p) { return _V(-kOmegaBody * p.z, 0.0, kOmegaBody * p.x); }
void add_at(VECTOR3& F, VECTOR3& T, const VECTOR3& f, const VECTOR3& r) {
    F += f;
    T += _V(f.y * r.z - f.z * r.y, f.z * r.x - f.x * r.z, f.x * r.y - f.y * r.x);
}

Environment environment(const VECTOR3& pos, const VECTOR3& vel, const MATRIX3& R, const physics::Atmosphere& air) {
    Environment e;
    e.air = air;
    e.airspeed_local = tmul(R, vel - air_velocity(pos));
    e.airspeed = length(e.airspeed_local);
    e.mach = e.airspeed / air.speed_of_sound;
    e.q = 0.5 * air.density * e.airspeed * e.airspeed;
    return e;
}

// Forces and torques (vessel frame) of every element at one state.
void forces(const ForceElements& k, const Controls& c, const Environment& e, const VECTOR3& omega, double mass,
            VECTOR3& F, VECTOR3& T) {
    F = _V(0, 0, 0), T = _V(0, 0, 0);
    for (const Thruster& t : k.thrusters) {
        if (t.level <= 0.0) continue;
        const double isp = t.isp_ref > 0.0 ? std::max(0.0, t.isp_vac - (t.isp_vac - t.isp_ref) * e.air.pressure / t.p_ref)
                                           : t.isp_vac;
        add_at(F, T, t.dir * (t.max0 * t.level / t.isp_vac * isp / length(t.dir)), t.pos);
    }
    const VECTOR3& v = e.airspeed_local;
    const VECTOR3 u = v / e.airspeed;
    const double reynolds = e.air.density * e.airspeed / 1.8e-5;
    for (const Airfoil& a : k.airfoils) {
        const double angle = a.vertical ? std::atan2(-v.y, v.z) : std::atan2(-v.x, v.z);
        double cl = 0.0, cm = 0.0, cd = 0.0;
        a.coeff(angle, e.mach, reynolds * a.chord, &cl, &cm, &cd);
        const double qs = e.q * a.area;
        const VECTOR3 lift_dir = a.vertical ? _V(0.0, v.z, -v.y) : _V(v.z, 0.0, -v.x);
        add_at(F, T, lift_dir * (qs * cl / length(lift_dir)) - u * (qs * cd), a.ref);
        (a.vertical ? T.x : T.y) += qs * a.chord * cm;
    }
    for (const Surface& s : k.surfaces) add_at(F, T, s.force_per_level * (e.q * c.surface[s.type]), s.ref);
    add_at(F, T, _V(c.steering, 0.0, 0.0), _V(0.0, 0.0, 12.0));
    add_at(F, T, _V(-c.steering, 0.0, 0.0), _V(0.0, 0.0, -12.0));
    for (size_t i = 0; i < k.drag_refs.size(); ++i) add_at(F, T, u * (-e.q * 0.5 * k.drag_factors[i]), k.drag_refs[i]);
    for (int a = 0; a < 3; ++a) {
        const double w = omega.data[a];
        double tau = -k.rot_drag.data[a] * 0.5 * e.air.density * (e.airspeed + k.size * std::fabs(w)) * k.size * k.size *
                     k.size * w;
        const double limit = mass * k.pmi.data[a] * std::fabs(w) / kStep;
        T.data[a] += std::clamp(tau, -limit, limit);
    }
}

// One second-order step: forces at the start, the drift with the free turn, forces at the
// predicted end, the last half kick. The air at the end is the next step's start.
void physics_step(const ForceElements& k, const Controls& c, Body& b, physics::Atmosphere& air) {
    const double mass = k.empty_mass + b.fuel;
    const VECTOR3 I = _V(mass * k.pmi.x, mass * k.pmi.y, mass * k.pmi.z);
    auto accelerate = [&](const VECTOR3& pos, const VECTOR3& vel, const MATRIX3& R, const VECTOR3& w, double m,
                          const physics::Atmosphere& at, VECTOR3& a, VECTOR3& alpha) {
        VECTOR3 F, T;
        forces(k, c, environment(pos, vel, R, at), w, m, F, T);
        const double r = length(pos);
        a = mul(R, F) / m - pos * (kMu / (r * r * r));
        alpha = _V(T.x / I.x, T.y / I.y, T.z / I.z);
    };
    VECTOR3 a0, alpha0;
    accelerate(b.pos, b.vel, b.R, b.omega, mass, air, a0, alpha0);
    for (const Thruster& t : k.thrusters) b.fuel -= t.max0 * t.level / t.isp_vac * kStep;
    const VECTOR3 half_vel = b.vel + a0 * (0.5 * kStep);
    VECTOR3 half_omega = b.omega + alpha0 * (0.5 * kStep);
    const VECTOR3 pos1 = b.pos + half_vel * kStep;
    MATRIX3 R1 = b.R;
    VECTOR3 L = _V(I.x * half_omega.x, I.y * half_omega.y, I.z * half_omega.z);
    physics::vm::turn_about_axis<0>(R1, L, L.x / I.x * 0.5 * kStep);
    physics::vm::turn_about_axis<1>(R1, L, L.y / I.y * 0.5 * kStep);
    physics::vm::turn_about_axis<2>(R1, L, L.z / I.z * kStep);
    physics::vm::turn_about_axis<1>(R1, L, L.y / I.y * 0.5 * kStep);
    physics::vm::turn_about_axis<0>(R1, L, L.x / I.x * 0.5 * kStep);
    half_omega = _V(L.x / I.x, L.y / I.y, L.z / I.z);
    air = physics::us_standard_atmosphere(length(pos1) - kRadius);
    VECTOR3 a1, alpha1;
    accelerate(pos1, half_vel + a0 * (0.5 * kStep), R1, half_omega + alpha0 * (0.5 * kStep), k.empty_mass + b.fuel,
               air, a1, alpha1);
    b.pos = pos1;
    b.R = R1;
    b.vel = half_vel + a1 * (0.5 * kStep);
    b.omega = half_omega + alpha1 * (0.5 * kStep);
}

// The host's answers, each a call of its own.
[[gnu::noinline]] double answer_altitude(const Body& b) { return length(b.pos) - kRadius; }
[[gnu::noinline]] double answer_airspeed(const Body& b) { return length(b.vel - air_velocity(b.pos)); }
[[gnu::noinline]] double answer_mach(const Body& b, const physics::Atmosphere& a) {
    return length(b.vel - air_velocity(b.pos)) / a.speed_of_sound;
}
[[gnu::noinline]] double answer_dyn_pressure(const Body& b, const physics::Atmosphere& a) {
    const double s = length(b.vel - air_velocity(b.pos));
    return 0.5 * a.density * s * s;
}
[[gnu::noinline]] VECTOR3 answer_up(const Body& b) { return b.pos / length(b.pos); }
[[gnu::noinline]] double answer_pitch(const Body& b) { return std::asin(dotp(column(b.R, 2), answer_up(b))); }
[[gnu::noinline]] double answer_bank(const Body& b) {
    const VECTOR3 up = answer_up(b);
    return std::atan2(dotp(column(b.R, 0), up), dotp(column(b.R, 1), up));
}
[[gnu::noinline]] double answer_heading(const Body& b) {
    const VECTOR3 up = answer_up(b);
    const double h = std::hypot(up.x, up.z);
    const VECTOR3 east = _V(-up.z / h, 0.0, up.x / h);
    const VECTOR3 north = _V(-up.y * up.x / h, h, -up.y * up.z / h);
    const VECTOR3 z = column(b.R, 2);
    return std::atan2(dotp(z, east), dotp(z, north));
}
[[gnu::noinline]] double answer_aoa(const Body& b) {
    const VECTOR3 a = tmul(b.R, b.vel - air_velocity(b.pos));
    return std::atan2(-a.y, a.z);
}
[[gnu::noinline]] double answer_slip(const Body& b) {
    const VECTOR3 a = tmul(b.R, b.vel - air_velocity(b.pos));
    return std::atan2(-a.x, a.z);
}
[[gnu::noinline]] VECTOR3 answer_horizon_airspeed(const Body& b) {
    const VECTOR3 up = answer_up(b);
    const double h = std::hypot(up.x, up.z);
    const VECTOR3 east = _V(-up.z / h, 0.0, up.x / h);
    const VECTOR3 north = _V(-up.y * up.x / h, h, -up.y * up.z / h);
    const VECTOR3 a = b.vel - air_velocity(b.pos);
    return _V(dotp(a, east), dotp(a, up), dotp(a, north));
}
[[gnu::noinline]] ELEMENTS answer_elements(const Body& b) { return runtime::orbital_elements(b.pos, b.vel, kMu); }
[[gnu::noinline]] VESSELSTATUS answer_status(const Body& b, double max_fuel) {
    VESSELSTATUS s{};
    s.rpos = b.pos, s.rvel = b.vel, s.vrot = b.omega;
    s.arot = _V(std::atan2(b.R.m23, b.R.m33), std::asin(-b.R.m13), std::atan2(b.R.m12, b.R.m11));
    s.fuel = b.fuel / max_fuel;
    return s;
}
[[gnu::noinline]] double answer_manual(int group) { return group < 0 ? 1.0 : 0.0; }
[[gnu::noinline]] double answer_mass(const Body& b) { return 59874.0 + b.fuel; }

void ask_host(const Body& b, const physics::Atmosphere& air, Answers& a) {
    a.altitude = answer_altitude(b);
    a.airspeed = answer_airspeed(b);
    a.mach = answer_mach(b, air);
    a.dyn_pressure = answer_dyn_pressure(b, air);
    a.atm_pressure = air.pressure;
    a.pitch = answer_pitch(b);
    a.bank = answer_bank(b);
    a.heading = answer_heading(b);
    a.aoa = answer_aoa(b);
    a.slip = answer_slip(b);
    a.horizon_airspeed = answer_horizon_airspeed(b);
    a.relative_vel = b.vel;
    a.angular_vel = b.omega;
    a.elements = answer_elements(b);
    a.status = answer_status(b, 76204.0);
    for (int g = 0; g < 6; ++g) a.manual[g] = answer_manual(g);
    a.mass = answer_mass(b);
}

// The vessel's laws on those answers: the guidance's pitch profile and its corrections, the
// yaw and roll laws, the cut-off test, the air-breathing engines and the nozzle mixing.
constexpr double kProfileEnergy[14] = {0.0, 0.2, 0.3, 0.5, 0.7, 1.0, 1.2, 1.6, 2.1, 2.7, 3.5, 5.0, 12.0, 18.0};
constexpr double kProfilePitch[14] = {49.0, 48.5, 48.0, 47.5, 47.0, 30.0, 22.0, 18.0, 14.0, 11.0, 9.0, 5.0, 3.0, 0.0};

void run_laws(const Answers& a, Controls& c) {
    const double speed = length(a.relative_vel);
    const double energy = a.altitude * 1e-6 + speed * speed * 1e-6;
    int i = 1;
    while (i < 13 && kProfileEnergy[i] < energy) ++i;
    double pitch_command = kProfilePitch[i - 1] + (kProfilePitch[i] - kProfilePitch[i - 1]) /
                                                      (kProfileEnergy[i] - kProfileEnergy[i - 1]) *
                                                      (energy - kProfileEnergy[i - 1]);
    const double apoapsis = (a.elements.e + 1.0) * a.elements.a / 1000.0 - 6371.0;
    const double vs = a.horizon_airspeed.y;
    if (!c.climb_latched && apoapsis <= 95.0 && vs >= -10.0) {
        pitch_command -= 0.02 * vs;
    } else {
        c.climb_latched = true;
        const double gain = vs > 0.0 ? 0.98 : 0.98 - 0.0156 * std::sqrt(std::max(energy, 0.0));
        pitch_command = std::min(pitch_command - 0.012 * vs + gain * a.aoa * DEG, 40.0);
    }
    if (apoapsis < 95.0) pitch_command = std::max(pitch_command, (95.0 - apoapsis) / 5.0);
    pitch_command = std::max(pitch_command, 0.0);
    const double keas = korvan::equivalent_airspeed_knots(a.dyn_pressure, a.atm_pressure);
    if (energy > 5.0) pitch_command += keas / 20.0;
    const double demand = 0.2 * (pitch_command - a.pitch * DEG) - 0.9 * a.angular_vel.x * DEG;
    c.pitch_output = std::clamp(-demand, -1.0, 1.0);
    if (energy > 3.5) c.yaw_output = a.slip * DEG / 15.0;
    double heading = a.heading * DEG + 180.0;
    if (heading < 0.0) heading += 360.0;
    const double d = -a.bank * DEG + std::clamp(std::remainder(heading - 270.0, 360.0), -10.0, 10.0);
    c.roll_output = d / 9.2;
    const double r = a.altitude + kRadius, ra = 115000.0 + kRadius, sma = (r + ra) / 2.0, e = ra / sma - 1.0;
    const double required = std::sqrt((1.0 - e * e) * sma * kMu) / r;
    if (energy > 10.0 && speed > required) c.pitch_output = c.yaw_output = c.roll_output = 0.0;

    const AirBreathingFactors f = air_breathing_factors(a.altitude, a.airspeed, a.mach, 19.0);
    if (f.u > 0.0) {
        c.rocket_level = std::min(1.0, 1.0 / f.u);
        c.rocket_isp = f.u * 4492.98;
    }
    c.air_thrust = f.thrust;
    const double nozzle = nozzle_position_for(f.air_factor, a.mach);

    auto square = [](double x, double limit) { return std::clamp(x * std::fabs(x), -limit, limit); };
    c.pitch_output = square(c.pitch_output, 1.0);
    c.yaw_output = square(c.yaw_output, 144.0);
    c.roll_output = square(c.roll_output, 84.64);
    const double pitch = a.manual[1] - a.manual[0] + 2.0 * a.angular_vel.x + c.pitch_output;
    const double yaw = a.manual[2] - a.manual[3] - 2.0 * a.angular_vel.y + c.yaw_output;
    const double roll = a.manual[4] - a.manual[5] + 2.0 * a.angular_vel.z + c.roll_output;
    c.surface[AIRCTRL_ELEVATOR] = -0.5 * c.pitch_output;
    c.surface[AIRCTRL_AILERON] = -0.5 * c.roll_output;
    c.surface[AIRCTRL_RUDDER] = 0.5 * c.yaw_output;
    const double gain = 6.0 * (a.mach < 6.0 ? 0.01 : 0.002) * (1.0 - 0.5 * nozzle);
    c.nozzle_left = _V(0.02 * yaw, gain * (4.0 * pitch - 2.0 * roll), 1.0);
    c.nozzle_right = _V(0.02 * yaw, gain * (4.0 * pitch + 2.0 * roll), 1.0);

    // The mechanisms (the gear retracting at its rate) and the ground handling's friction and
    // steering couple.
    c.gear = std::clamp(c.gear - 0.25 * kStep, 0.0, 1.0);
    c.gear_animation[0] = c.gear_animation[1] = c.gear;
    c.friction_lng = c.gear == 1.0 ? 0.025 : 0.3;
    double steering = a.mass * (a.airspeed < 40.0 ? 20.0 : 4.0);
    if (a.airspeed - 3.0 < 5.0) steering *= (a.airspeed - 3.0) / 5.0;
    if (!(a.airspeed >= 3.0)) steering = 0.0;
    steering *= c.surface[AIRCTRL_RUDDER];
    if (a.altitude > 4.5 || c.gear < 1.0 || !std::isfinite(steering)) steering = 0.0;
    c.steering = steering;
}

// The floor: physics, the host's answers and the laws, step after step, for a Korvan climbing
// through 20 km at Mach 3 on its engines.
void BM_FloorStep(benchmark::State& state) {
    ForceElements k;
    Controls c;
    Answers answers{};
    const Body start{_V(kRadius + 20000.0, 0, 0), _V(300, 0, 900), _V(0, 0, 0), identity_matrix(), 60000.0};
    Body b = start;
    physics::Atmosphere air = physics::us_standard_atmosphere(20000.0);
    long steps = 0;
    for (auto _ : state) {
        if (++steps % kStepsPerClimb == 0) b = start;
        for (size_t i = 0; i < 4; ++i) {
            k.thrusters[i].level = c.rocket_level;
            k.thrusters[i].isp_vac = c.rocket_isp;
        }
        k.thrusters[4].max0 = k.thrusters[5].max0 = c.air_thrust;
        k.thrusters[0].dir = c.nozzle_left;
        k.thrusters[1].dir = c.nozzle_right;
        physics_step(k, c, b, air);
        ask_host(b, air, answers);
        benchmark::DoNotOptimize(answers);
        run_laws(answers, c);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FloorStep);

// The whole default ascent's first 700 s in the headless host, as korvan-sim flies it (start,
// scenario, module, pilot, physics, script, events, telemetry in memory): CPU per 0.01 s step.
void BM_AscentFirst700(benchmark::State& state) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.until = kFirstPart;
    for (auto _ : state) {
        sim::Simulation s(opt);
        s.run();
        benchmark::DoNotOptimize(s.world().sim_time);
    }
    state.counters["step"] = benchmark::Counter(std::round(kFirstPart / kStep), benchmark::Counter::kIsIterationInvariantRate |
                                                                                   benchmark::Counter::kInvert);
}
BENCHMARK(BM_AscentFirst700)->Unit(benchmark::kMillisecond);

}  // namespace
