// The Korvan module flown by the headless host's physics: the vessel's damping and guidance
// laws must calm a disturbance, which holds only if the host's signs (angular velocity,
// pitch, bank, heading, sideslip, control surfaces, thrust directions) are the vessel's.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>

#include "physics/physics.h"
#include "sim_test_util.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kStep = 0.01;  // s, the headless host's frame step

bool korvan_module_built() {
    const std::string modules = std::string(KORVAN_RUN_TREE) + "/Modules/";
    return std::filesystem::exists(modules + "Korvan.so") || std::filesystem::exists(modules + "Korvan.dylib") ||
           std::filesystem::exists(modules + "Korvan.dll");
}

// A Korvan in the air: the host's keys place it anywhere, the test then sets the state.
std::string korvan_aloft(int engines) {
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

VECTOR3 add(const VECTOR3& a, const VECTOR3& b) { return _V(a.x + b.x, a.y + b.y, a.z + b.z); }
VECTOR3 scale(const VECTOR3& a, double s) { return _V(a.x * s, a.y * s, a.z * s); }

// A horizontal compass direction at a place.
VECTOR3 compass(const VECTOR3& east, const VECTOR3& north, double deg) {
    return add(scale(east, std::sin(deg * kDeg)), scale(north, std::cos(deg * kDeg)));
}

// Columns: the vessel's right, up and forward axes in global coordinates.
MATRIX3 attitude_from_columns(const VECTOR3& x, const VECTOR3& y, const VECTOR3& z) {
    MATRIX3 m;
    m.m11 = x.x, m.m21 = x.y, m.m31 = x.z;
    m.m12 = y.x, m.m22 = y.y, m.m32 = y.z;
    m.m13 = z.x, m.m23 = z.y, m.m33 = z.z;
    return m;
}

// One Korvan flown frame by frame as the headless host flies it: the physics step, then
// the vessel's post-step.
class KorvanFlight {
public:
    KorvanFlight(const Placement& p, bool guidance, int engines = 6, bool main_engines_full = false)
        : sim_(sim_test::options_for(korvan_aloft(engines))) {
        sim_.load();
        runtime::World& w = sim_.world();
        korvan_ = w.find_vessel("K1");
        place(p);
        physics_ = std::make_unique<physics::Physics>(w);
        physics_->update_observables();
        if (guidance) press_guidance_key();
        if (main_engines_full) w.set_group_level(*korvan_, THGROUP_MAIN, 1.0);
    }

    runtime::World& world() { return sim_.world(); }
    const runtime::VesselRecord& korvan() const { return *korvan_; }

    void fly(double seconds) {
        runtime::World& w = world();
        const int steps = static_cast<int>(std::lround(seconds / kStep));
        for (int i = 0; i < steps; ++i) {
            physics_->step(kStep);
            korvan_->iface->clbkPostStep(w.sim_time, kStep, w.mjd);
            w.keystate.fill(0);
        }
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
        runtime::VesselState& s = korvan_->state;
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
};

TEST(FlightConventions, ThePlacementReadsBackAsTheHostsAngles) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    Placement p;
    p.heading_deg = 85.0;
    p.pitch_deg = 4.0;
    p.bank_deg = 15.0;
    KorvanFlight f(p, false);
    EXPECT_NEAR(f.heading_deg(), 85.0, 1e-9);
    EXPECT_NEAR(f.pitch_deg(), 4.0, 1e-9);
    EXPECT_NEAR(f.bank_deg(), 15.0, 1e-9);
    EXPECT_GT(f.energy_index(), 3.5);
    EXPECT_LT(f.energy_index(), 8.0);
}

// Above the air, with the rockets burning and the guidance off, only the rate damping
// steers the nozzles: a spin about any axis dies away, and without thrust it keeps.
struct SpinCase {
    const char* axis;
    VECTOR3 omega;            // rad/s at the start
    double burning_ratio;     // most of the spin left after kSpinTime with the rockets burning
};

constexpr double kSpin = 0.1;             // rad/s
constexpr double kSpinTime = 5.0;         // s
constexpr double kVacuumAltitude = 150000.0;  // m
constexpr double kVacuumSpeed = 1800.0;   // m/s: below Mach 6, where the nozzles swing widest
constexpr int kRocketSet = 4;

constexpr SpinCase kSpinCases[] = {
    {"pitch (nose up)", {kSpin, 0, 0}, 0.2},
    {"yaw (nose left)", {0, kSpin, 0}, 0.9},
    {"roll (right wing down)", {0, 0, kSpin}, 0.6},
};

KorvanFlight spinning_above_the_air(const SpinCase& c, bool burning) {
    Placement p;
    p.altitude_m = kVacuumAltitude;
    p.speed_m_s = kVacuumSpeed;
    p.omega = c.omega;
    return KorvanFlight(p, false, kRocketSet, burning);
}

double along(const VECTOR3& w, const VECTOR3& axis) { return dotp(w, axis) / length(axis); }

TEST(FlightConventions, AboveTheAirTheRateDampingStopsASpinAboutEachAxis) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const SpinCase& c : kSpinCases) {
        SCOPED_TRACE(c.axis);
        {
            KorvanFlight burning = spinning_above_the_air(c, true);
            burning.fly(kSpinTime);
            const double left = along(burning.omega(), c.omega);
            EXPECT_GT(left, 0.0) << "the damping must not reverse the spin";
            EXPECT_LT(left, c.burning_ratio * kSpin);
            EXPECT_NEAR(length(burning.omega()), left, 1e-3) << "no other axis is excited";
        }
        KorvanFlight coasting = spinning_above_the_air(c, false);
        coasting.fly(kSpinTime);
        EXPECT_NEAR(along(coasting.omega(), c.omega), kSpin, 1e-4) << "without thrust nothing brakes the spin";
    }
}

// In the air, engaged: energy index about 4.9, where the pitch law, the sideslip law and the
// heading hold all act; the launch azimuth is due east, the vessel flies east.
TEST(FlightConventions, TheGuidanceDampsANoseUpPitchRate) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    Placement p;
    p.omega = _V(kSpin, 0, 0);
    double engaged_rate = 0.0, free_rate = 0.0;
    {
        KorvanFlight engaged(p, true);
        ASSERT_STREQ(engaged.world().debug_line.data(), "Guidance ON");
        ASSERT_GT(engaged.energy_index(), 3.5);
        ASSERT_LT(engaged.energy_index(), 8.0);
        engaged.fly(1.0);
        engaged_rate = engaged.omega().x;
    }
    {
        KorvanFlight free_flying(p, false);
        free_flying.fly(1.0);
        free_rate = free_flying.omega().x;
    }
    EXPECT_LT(engaged_rate, 0.5 * kSpin);
    EXPECT_GT(free_rate, kSpin) << "the air alone does not brake it as fast";
}

struct SlipCase {
    const char* side;
    double heading_deg;  // the track is due east (90)
};

constexpr SlipCase kSlipCases[] = {{"nose left of the track", 85.0}, {"nose right of the track", 95.0}};

TEST(FlightConventions, TheGuidanceTurnsTheNoseIntoTheTrack) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const SlipCase& c : kSlipCases) {
        SCOPED_TRACE(c.side);
        Placement p;
        p.heading_deg = c.heading_deg;
        KorvanFlight f(p, true);
        const double slip0 = f.slip_deg();
        EXPECT_NEAR(std::fabs(slip0), 5.0, 1e-6);
        EXPECT_GT(slip0 * (c.heading_deg - 90.0), 0.0) << "nose left of the track: air from the right, negative slip";
        f.fly(3.0);
        EXPECT_LT(std::fabs(f.slip_deg()), 0.5 * std::fabs(slip0));
        EXPECT_GT(f.slip_deg() * slip0, 0.0) << "not yet past the track";
        EXPECT_LT(std::fabs(f.heading_deg() - 90.0), 0.5 * std::fabs(c.heading_deg - 90.0));
    }
}

struct BankCase {
    const char* side;
    double bank_deg;
};

constexpr BankCase kBankCases[] = {{"left wing down", 15.0}, {"right wing down", -15.0}};

TEST(FlightConventions, TheGuidanceLevelsTheWings) {
    if (!korvan_module_built()) GTEST_SKIP() << "the Korvan module is not built";
    for (const BankCase& c : kBankCases) {
        SCOPED_TRACE(c.side);
        Placement p;
        p.bank_deg = c.bank_deg;
        {
            KorvanFlight free_flying(p, false);
            free_flying.fly(2.0);
            EXPECT_NEAR(free_flying.bank_deg(), c.bank_deg, 0.5) << "the air alone keeps the bank";
        }
        KorvanFlight engaged(p, true);
        engaged.fly(2.0);
        EXPECT_LT(std::fabs(engaged.bank_deg()), std::fabs(c.bank_deg) / 3.0);
        EXPECT_GT(engaged.bank_deg() * c.bank_deg, 0.0) << "not yet past level";
        double largest = 0.0;
        for (int i = 0; i < 8; ++i) {
            engaged.fly(1.0);
            largest = std::max(largest, std::fabs(engaged.bank_deg()));
        }
        EXPECT_LT(largest, 0.5 * std::fabs(c.bank_deg)) << "the swing past level stays small";
    }
}

}  // namespace
