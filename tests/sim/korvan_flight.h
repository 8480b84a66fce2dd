// A Korvan placed in the air and flown frame by frame as the headless host flies it: the
// pilot model, the physics step, then the vessel's post-step. Shared by the flight tests of
// the sign conventions and of the pilot's controls and autopilots.
#pragma once

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "physics/physics.h"
#include "pilot/pilot.h"
#include "sim_test_util.h"

namespace flight_test {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kStep = 0.01;  // s, the headless host's frame step

inline bool korvan_module_built() {
    const std::string modules = std::string(KORVAN_RUN_TREE) + "/Modules/";
    return std::filesystem::exists(modules + "Korvan.so") || std::filesystem::exists(modules + "Korvan.dylib") ||
           std::filesystem::exists(modules + "Korvan.dll");
}

// A Korvan in the air: the host's keys place it anywhere, the test then sets the state.
inline std::string korvan_aloft(int engines) {
    return sim_test::ships("K1:Korvan\n  STATUS Orbiting Earth\n  RPOS 6406000 0 0\n  RVEL 0 0 2200\n"
                           "  PRPLEVEL 0:0.75\n  CONFIGURATION 1\n  NUMENGINES " +
                           std::to_string(engines) + "\nEND\n");
}

struct Placement {
    double altitude_m = 35000.0;
    double speed_m_s = 2200.0;   // inertial, horizontal
    double track_deg = 90.0;     // compass direction of the velocity
    double heading_deg = 90.0;   // compass direction of the nose
    double pitch_deg = 0.0;
    double bank_deg = 0.0;       // positive: left wing down
    VECTOR3 omega{};             // rad/s, vessel frame: +x nose up, +y nose left, +z right wing down
};

inline VECTOR3 add(const VECTOR3& a, const VECTOR3& b) { return _V(a.x + b.x, a.y + b.y, a.z + b.z); }
inline VECTOR3 scale(const VECTOR3& a, double s) { return _V(a.x * s, a.y * s, a.z * s); }

// A horizontal compass direction at a place.
inline VECTOR3 compass(const VECTOR3& east, const VECTOR3& north, double deg) {
    return add(scale(east, std::sin(deg * kDeg)), scale(north, std::cos(deg * kDeg)));
}

// Columns: the vessel's right, up and forward axes in global coordinates.
inline MATRIX3 attitude_from_columns(const VECTOR3& x, const VECTOR3& y, const VECTOR3& z) {
    MATRIX3 m;
    m.m11 = x.x, m.m21 = x.y, m.m31 = x.z;
    m.m12 = y.x, m.m22 = y.y, m.m32 = y.z;
    m.m13 = z.x, m.m23 = z.y, m.m33 = z.z;
    return m;
}

class KorvanFlight {
public:
    KorvanFlight(const Placement& p, bool guidance, int engines = 6, bool main_engines_full = false)
        : sim_(sim_test::options_for(korvan_aloft(engines))) {
        sim_.load();
        runtime::World& w = sim_.world();
        korvan_ = w.find_vessel("K1");
        place(p);
        physics_ = std::make_unique<physics::Physics>(w);
        pilot_ = std::make_unique<pilot::Pilot>(w);
        physics_->update_observables();
        if (guidance) press_guidance_key();
        if (main_engines_full) w.set_group_level(*korvan_, THGROUP_MAIN, 1.0);
    }

    runtime::World& world() { return sim_.world(); }
    runtime::VesselRecord& korvan() { return *korvan_; }
    VESSEL& vessel() { return *korvan_->iface; }

    void fly(double seconds) {
        const int steps = static_cast<int>(std::lround(seconds / kStep));
        for (int i = 0; i < steps; ++i) frame();
    }
    void frame() {
        runtime::World& w = world();
        pilot_->before_step();
        physics_->step(kStep);
        pilot_->after_step();
        korvan_->iface->clbkPostStep(w.sim_time, kStep, w.mjd);
        w.keystate.fill(0);
    }

    double pitch_deg() { return world().pitch(*korvan_) / kDeg; }
    double bank_deg() { return world().bank(*korvan_) / kDeg; }
    double heading_deg() { return world().heading(*korvan_) / kDeg; }
    double slip_deg() { return world().slip(*korvan_) / kDeg; }
    VECTOR3 omega() { return world().angular_vel(*korvan_); }
    double energy_index() {
        const double v = length(world().relative_vel(*korvan_));
        return 1e-6 * world().altitude(*korvan_) + 1e-6 * v * v;
    }
    // Angle (deg) between the nose and a global direction.
    double nose_off_deg(const VECTOR3& direction) {
        const MATRIX3& R = korvan_->state.R;
        const VECTOR3 nose = _V(R.m13, R.m23, R.m33);
        return std::acos(std::clamp(dotp(nose, direction) / length(direction), -1.0, 1.0)) / kDeg;
    }

private:
    void place(const Placement& p) {
        runtime::World& w = world();
        const VECTOR3 pos = _V(w.earth.radius + p.altitude_m, 0.0, 0.0);
        VECTOR3 east, up, north;
        w.horizon_axes(pos, east, up, north);
        const double cp = std::cos(p.pitch_deg * kDeg), sp = std::sin(p.pitch_deg * kDeg);
        const double cb = std::cos(p.bank_deg * kDeg), sb = std::sin(p.bank_deg * kDeg);
        const VECTOR3 ahead = compass(east, north, p.heading_deg);
        const VECTOR3 right = compass(east, north, p.heading_deg + 90.0);
        const VECTOR3 forward = add(scale(ahead, cp), scale(up, sp));
        const VECTOR3 roof = add(scale(ahead, -sp), scale(up, cp));
        const VECTOR3 x = add(scale(right, cb), scale(roof, sb));
        const VECTOR3 y = add(scale(roof, cb), scale(right, -sb));
        runtime::VesselState& s = w.move(*korvan_);
        s.pos = pos;
        s.vel = scale(compass(east, north, p.track_deg), p.speed_m_s);
        s.R = attitude_from_columns(x, y, forward);
        s.omega = p.omega;
        s.landed = false;
    }

    void press_guidance_key() {
        runtime::World& w = world();
        w.keystate.fill(0);
        w.keystate[OAPI_KEY_O] = static_cast<char>(0x80);
        korvan_->iface->clbkConsumeBufferedKey(OAPI_KEY_O, true, w.keystate.data());
        w.keystate.fill(0);
    }

    sim::Simulation sim_;
    runtime::VesselRecord* korvan_ = nullptr;
    std::unique_ptr<physics::Physics> physics_;
    std::unique_ptr<pilot::Pilot> pilot_;
};

}  // namespace flight_test
