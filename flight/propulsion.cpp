// Main engines, attitude thrusters, and the engine-mode update that shapes the six-engine
// set by altitude and speed and switches once to the four-engine set.
#include "flight/propulsion.h"

#include <algorithm>
#include <cmath>

#include "vessel/korvan.h"

namespace {

// Main engines. Slots 5 and 6 share the inner engines' positions and draw no flame of
// their own.
constexpr double kRocketMaxThrust = 331872.3;  // N
constexpr double kRocketIspVacuum = 4492.98;   // m/s
constexpr double kRocketIspRef = 4169.25;      // m/s at the reference pressure
constexpr double kAirMaxThrust = 809325.0;     // N
constexpr double kAirIsp = 39240.0;            // m/s
constexpr double kRefPressure = 101400.0;      // Pa
constexpr double kEngineY = 0.0, kEngineZ = -19.0;  // m
constexpr double kSlotX[KORVAN_MAX_ENGINES] = {-2.0, 2.0, -6.0, 6.0, -2.0, 2.0};  // m
constexpr int kRocketSlots = 4;
constexpr double kExhaustY = -10.0;            // m: flames and streams below the engines
constexpr double kMainFlameLength = 20.0, kMainFlameWidth = 2.0;

// Attitude thrusters.
constexpr double kRcsThrust = 16284.6;        // N
constexpr double kRcsRollThrust = 8142.3;     // N
constexpr double kRcsIsp = 4169.25;           // m/s, no pressure dependence
constexpr double kRcsFlameLength = 1.6, kRcsFlameWidth = 0.5;

// Engine switch.
constexpr double kMachSwitch = 19.0;
constexpr double kMachSwitchB = 20.5;

// Air-breathing envelope.
constexpr double kAltitudeScale = 3.28 * 0.22;  // altitude (m) to the envelope's measure
constexpr double kSpeedScale = 2.236;           // airspeed (m/s) to the envelope's measure
constexpr double kSpeedA = 1.67e-6, kSpeedB = -0.00088789, kSpeedC = 0.9977;
constexpr double kAltA = 3e-10, kAltB = -3e-5, kAltC = 0.9934;
constexpr double kAltBreak = 90000.0;           // above it the high-altitude law holds
constexpr double kAltHighSlope = 0.0001, kAltHighScale = 0.25;
constexpr double kSpeedFactorCap = 6.0;
constexpr double kLowMach = 2.0;                // below it thrust grows with Mach from 1/4
constexpr double kLowMachSlope = 1.0 / 3.0, kLowMachBase = 0.25;
constexpr double kMinMainLevel = 0.05;          // at or below it slots 1-4 are left alone

struct RcsThruster {
    VECTOR3 pos, dir;
};
struct RcsFlame {
    VECTOR3 pos, dir;
};
struct RcsGroup {
    THGROUP_TYPE type;
    double thrust;
    int thruster_count;
    RcsThruster thrusters[2];
    int flame_count;
    RcsFlame flames[4];
};

constexpr VECTOR3 v(double x, double y, double z) { return VECTOR3{{x, y, z}}; }

// The thrusters sit close to the centre of mass while their flames are drawn at the nose
// and tail, so the flame positions do not follow the thruster positions.
constexpr RcsGroup kRcsGroups[] = {
    {THGROUP_ATT_PITCHUP, kRcsThrust, 2,
     {{v(0, -0.97, 5.25), v(0, 1, 0)}, {v(0, -0.97, -5.25), v(0, -1, 0)}}, 4,
     {{v(-3.87, 0, 44.95), v(-0.707, -0.707, 0)}, {v(3.87, 0, 44.95), v(0.707, -0.707, 0)},
      {v(-0.5, 1.6, -47.21), v(0, 1, 0)}, {v(0.5, 1.6, -47.21), v(0, 1, 0)}}},
    {THGROUP_ATT_UP, kRcsThrust, 2,
     {{v(0, -0.2, -5.25), v(0, 1, 0)}, {v(0, -0.75, 5.25), v(0, 1, 0)}}, 4,
     {{v(-3.87, 0, 44.95), v(-0.707, -0.707, 0)}, {v(3.87, 0, 44.95), v(0.707, -0.707, 0)},
      {v(-0.5, -0.5, -47.21), v(0, -1, 0)}, {v(0.5, -0.5, -47.21), v(0, -1, 0)}}},
    {THGROUP_ATT_DOWN, kRcsThrust, 2,
     {{v(0, -0.2, -5.25), v(0, -1, 0)}, {v(0, -0.75, 5.25), v(0, -1, 0)}}, 4,
     {{v(-0.5, 1.6, -47.21), v(0, 1, 0)}, {v(0.5, 1.6, -47.21), v(0, 1, 0)},
      {v(-0.5, 0.65, 44.95), v(0, 1, 0)}, {v(0.5, 0.65, 44.95), v(0, 1, 0)}}},
    {THGROUP_ATT_PITCHDOWN, kRcsThrust, 2,
     {{v(0, 0, 5), v(0, -1, 0)}, {v(0, 0, -5), v(0, 1, 0)}}, 4,
     {{v(-0.5, 0.65, 44.95), v(0, 1, 0)}, {v(0.5, 0.65, 44.95), v(0, 1, 0)},
      {v(-0.5, -0.5, -47.21), v(0, -1, 0)}, {v(0.5, -0.5, -47.21), v(0, -1, 0)}}},
    {THGROUP_ATT_YAWLEFT, kRcsThrust, 2,
     {{v(0, 0, 4), v(-1, 0, 0)}, {v(0, 0, -4), v(1, 0, 0)}}, 2,
     {{v(3.87, 0, 44.95), v(1, 0, 0)}, {v(-11.4, 0, -47.21), v(-1, 0, 0)}}},
    {THGROUP_ATT_YAWRIGHT, kRcsThrust, 2,
     {{v(0, 0, 4), v(1, 0, 0)}, {v(0, 0, -4), v(-1, 0, 0)}}, 2,
     {{v(-3.87, 0, 44.95), v(-1, 0, 0)}, {v(11.4, 0, -47.21), v(1, 0, 0)}}},
    {THGROUP_ATT_LEFT, kRcsThrust, 1,
     {{v(2, 0, 0), v(-1, 0, 0)}}, 2,
     {{v(3.87, 0, 44.95), v(1, 0, 0)}, {v(11.4, 0, -47.21), v(1, 0, 0)}}},
    {THGROUP_ATT_RIGHT, kRcsThrust, 1,
     {{v(-2, 0, 0), v(1, 0, 0)}}, 2,
     {{v(-3.87, 0, 44.95), v(-1, 0, 0)}, {v(-11.4, 0, -47.21), v(-1, 0, 0)}}},
    {THGROUP_ATT_BANKRIGHT, kRcsRollThrust, 2,
     {{v(13, 0, 0), v(0, -1, 0)}, {v(-13, 0, 0), v(0, 1, 0)}}, 2,
     {{v(-9, -7.5, 0), v(0, -1, 0)}, {v(9, 0.85, 0), v(0, 1, 0)}}},
    {THGROUP_ATT_BANKLEFT, kRcsRollThrust, 2,
     {{v(13, 0, 0), v(0, 1, 0)}, {v(-13, 0, 0), v(0, -1, 0)}}, 2,
     {{v(9, -7.5, 0), v(0, -1, 0)}, {v(-9, 0.85, 0), v(0, 1, 0)}}},
    {THGROUP_ATT_FORWARD, kRcsThrust, 1,
     {{v(0, 0, -4), v(0, 0, 1)}}, 2,
     {{v(-1.047, 0.25, -48.5), v(0, 0, -1)}, {v(1.047, 0.25, -48.5), v(0, 0, -1)}}},
    {THGROUP_ATT_BACK, kRcsThrust, 1,
     {{v(0, 0, 4), v(0, 0, -1)}}, 2,
     {{v(0.51, 0, 47.37), v(0, 0, 1)}, {v(-0.51, 0, 47.37), v(0, 0, 1)}}},
};

double finite_or_zero(double x) { return std::isfinite(x) ? x : 0.0; }

}  // namespace

AirBreathingFactors air_breathing_factors(double h, double v_air, double M, double mach_switch) {
    AirBreathingFactors f;
    const double A = h * kAltitudeScale;
    const double S = v_air * kSpeedScale;
    M = finite_or_zero(M);
    f.speed_factor = kSpeedA * S * S + kSpeedB * S + kSpeedC;
    f.altitude_factor = A > kAltBreak ? (1.0 - (A - kAltBreak) * kAltHighSlope) * kAltHighScale
                                      : kAltA * A * A + kAltB * A + kAltC;
    if (f.altitude_factor < 0.0) f.altitude_factor = 0.0;
    if (f.speed_factor > kSpeedFactorCap) f.speed_factor = kSpeedFactorCap;
    if (M > mach_switch) f.speed_factor = 0.0;
    f.air_factor = f.altitude_factor * f.speed_factor;
    f.thrust = std::min(f.air_factor * kAirMaxThrust, kAirMaxThrust);
    if (M < kLowMach) f.thrust *= M * kLowMachSlope + kLowMachBase;
    f.u = f.speed_factor * f.speed_factor * f.altitude_factor * f.altitude_factor;
    return f;
}

double nozzle_position_for(double air_factor, double M) {
    M = finite_or_zero(M);
    if (M == 0.0) return 0.0;
    double position = 1.0 - air_factor / M;
    if (!(position >= 0.0)) position = 0.0;  // negative, or not a number
    if (position > 1.0) position = 1.0;
    return position;
}

double Korvan::mach_switch() const { return variant_b ? kMachSwitchB : kMachSwitch; }

// Slots 1 and 2 always exist, 3 and 4 with more than two engines, 5 and 6 with more than four.
static bool slot_exists(int slot, int engines) { return slot < 2 || (slot < kRocketSlots ? engines > 2 : engines > 4); }

void Korvan::define_main_engines() {
    // An edited scenario may hold any number: the build makes at most the six slots there are.
    const int engines = std::clamp(num_engines, 1, KORVAN_MAX_ENGINES);
    for (int slot = 0; slot < KORVAN_MAX_ENGINES; ++slot) {
        // A slot outside the set holds no handle: the old one died with the last build.
        main_thrusters[slot] = nullptr;
        if (!slot_exists(slot, engines)) continue;
        const VECTOR3 pos = _V(kSlotX[slot], kEngineY, kEngineZ);
        if (slot < kRocketSlots)
            main_thrusters[slot] = CreateThruster(pos, _V(0, 0, 1), kRocketMaxThrust, main_propellant,
                                                  kRocketIspVacuum, kRocketIspRef, kRefPressure);
        else
            main_thrusters[slot] = CreateThruster(pos, _V(0, 0, 1), kAirMaxThrust, main_propellant, kAirIsp,
                                                  kAirIsp, kRefPressure);
        AddExhaustStream(main_thrusters[slot], _V(kSlotX[slot], kExhaustY, kEngineZ), &exhaust_stream_spec);
    }
    main_group = CreateThrusterGroup(main_thrusters, engines, THGROUP_MAIN);
    for (int slot = 0; slot < kRocketSlots; ++slot)
        if (slot_exists(slot, engines))
            AddExhaust(main_thrusters[slot], kMainFlameLength, kMainFlameWidth,
                       _V(kSlotX[slot], kExhaustY, kEngineZ), _V(0, 0, -1), exhaust_tex_main);
}

void Korvan::define_rcs() {
    for (const RcsGroup& g : kRcsGroups) {
        THRUSTER_HANDLE th[2] = {};
        for (int k = 0; k < g.thruster_count; ++k)
            th[k] = CreateThruster(g.thrusters[k].pos, g.thrusters[k].dir, g.thrust, main_propellant, kRcsIsp, 0.0,
                                   kRefPressure);
        CreateThrusterGroup(th, g.thruster_count, g.type);
        // The thrusters of a group always run at one level: its flames hang on the first.
        for (int k = 0; k < g.flame_count; ++k)
            AddExhaust(th[0], kRcsFlameLength, kRcsFlameWidth, g.flames[k].pos, g.flames[k].dir, exhaust_tex_rcs);
    }
}

void Korvan::manage_engines() {
    const double level = GetThrusterGroupLevel(THGROUP_MAIN);
    const AirBreathingFactors f =
        air_breathing_factors(GetAltitude(), GetAirspeed(), GetMachNumber(), mach_switch());

    // With u at 0 (top of the envelope, or the switch step) the level 1/u has no value:
    // slots 1-4 keep what they had, as they do at a low main level.
    if (level > kMinMainLevel && f.u > 0.0 && std::isfinite(f.u)) {
        for (int slot = 0; slot < kRocketSlots; ++slot) {
            SetThrusterLevel(main_thrusters[slot], 1.0 / f.u);
            SetThrusterIsp(main_thrusters[slot], f.u * kRocketIspVacuum);
        }
    }
    SetThrusterMax0(main_thrusters[4], f.thrust);
    SetThrusterMax0(main_thrusters[5], f.thrust);

    nozzle_position = nozzle_position_for(f.air_factor, GetMachNumber());

    if (finite_or_zero(GetMachNumber()) > mach_switch()) {
        num_engines = kRocketSlots;
        rebuild_vessel();
        SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
        nozzle_state = MECH_OPEN;
    }
}
