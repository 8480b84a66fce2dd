// Observables derived from state: attitude and air angles, frames, orbital elements and the
// host's pure formulas.
#include <cmath>
#include <random>

#include "host_fixture.h"

using host_test::columns;
using host_test::earth_mu;
using host_test::earth_radius;
using host_test::expect_near;
using host_test::HostWorld;

namespace {

// At longitude 0 and latitude 0 with the body unrotated: up = +x, east = +z, north = +y.
const VECTOR3 up = _V(1, 0, 0), east = _V(0, 0, 1), north = _V(0, 1, 0);
constexpr double deg = RAD;

TEST_F(HostWorld, attitude_angles_follow_the_horizon_frame) {
    runtime::VesselRecord* v = plain("Attitude");
    runtime::World::current().move(*v).pos = up * (earth_radius + 1000.0);
    const double c30 = std::cos(30 * deg), s30 = std::sin(30 * deg);
    const double c20 = std::cos(20 * deg), s20 = std::sin(20 * deg);
    const struct {
        const char* attitude;
        VECTOR3 x, y, z;
        double pitch, bank, heading;  // degrees
    } cases[] = {
        {"level, nose north", east, up, north, 0, 0, 0},
        {"nose 30 deg up, heading north", east, up * c30 - north * s30, north * c30 + up * s30, 30, 0, 0},
        {"banked 20 deg left wing down", east * c20 + up * s20, up * c20 - east * s20, north, 0, 20, 0},
        {"level, heading east", north * -1.0, up, east, 0, 0, 90},
        {"level, heading west", north, up, east * -1.0, 0, 0, 270},
    };
    for (const auto& c : cases) {
        runtime::World::current().move(*v).R = columns(c.x, c.y, c.z);
        EXPECT_NEAR(v->iface->GetPitch() / deg, c.pitch, 1e-9) << c.attitude;
        EXPECT_NEAR(v->iface->GetBank() / deg, c.bank, 1e-9) << c.attitude;
        EXPECT_NEAR(v->iface->GetYaw() / deg, c.heading, 1e-9) << c.attitude;
        double h = 0.0;
        EXPECT_TRUE(oapiGetHeading(v, &h));
        EXPECT_NEAR(h / deg, c.heading, 1e-9) << c.attitude;
    }
}

TEST_F(HostWorld, air_angles_take_their_signs_from_where_the_air_comes) {
    runtime::VesselRecord* v = plain("Air");
    runtime::World::current().move(*v).pos = up * (earth_radius + 2000.0);
    runtime::World::current().move(*v).R = columns(east, up, north);  // level, nose north
    runtime::AirData air = v->air;
    air.speed_of_sound = 300.0;
    air.density = 1.0;
    runtime::World::current().set_air(*v, air);
    const double omega = PI2 / 86164.1;
    const VECTOR3 air_velocity = _V(0.0, 0.0, omega * v->state.pos.x);  // the air turns with the ground
    const struct {
        const char* flow;
        VECTOR3 local;  // vessel velocity relative to the air, vessel frame
        double aoa, slip;
    } cases[] = {
        {"air from below", _V(0, -10, 100), std::atan2(10.0, 100.0), 0.0},
        {"air from above", _V(0, 10, 100), -std::atan2(10.0, 100.0), 0.0},
        {"air from the left", _V(-10, 0, 100), 0.0, std::atan2(10.0, 100.0)},
        {"air from the right", _V(10, 0, 100), 0.0, -std::atan2(10.0, 100.0)},
    };
    for (const auto& c : cases) {
        runtime::World::current().move(*v).vel = mul(v->state.R, c.local) + air_velocity;
        EXPECT_NEAR(v->iface->GetAOA(), c.aoa, 1e-9) << c.flow;
        EXPECT_NEAR(v->iface->GetSlipAngle(), c.slip, 1e-9) << c.flow;
        const double speed = length(c.local);
        EXPECT_NEAR(v->iface->GetAirspeed(), speed, 1e-9) << c.flow;
        EXPECT_NEAR(v->iface->GetMachNumber(), speed / 300.0, 1e-9) << c.flow;
        EXPECT_NEAR(v->iface->GetDynPressure(), 0.5 * speed * speed, 1e-6) << c.flow;
        VECTOR3 h{};
        v->iface->GetHorizonAirspeedVector(h);
        expect_near(h, _V(c.local.x, c.local.y, c.local.z), 1e-9, c.flow);  // east, up, north
    }
    EXPECT_NEAR(v->iface->GetAltitude(), 2000.0, 1e-6);
}

TEST_F(HostWorld, a_landed_vessel_has_no_airspeed_but_turns_with_the_body) {
    runtime::VesselRecord* v = plain("Landed");
    world.sim_time = 5000.0;
    world.set_landed(*v, 0.5, 0.3, 90 * deg, 2.0);
    EXPECT_NEAR(v->iface->GetAirspeed(), 0.0, 1e-9);
    VECTOR3 rel{};
    v->iface->GetRelativeVel(world.body_handle(), rel);
    const double surface_speed = PI2 / 86164.1 * (earth_radius + 2.0) * std::cos(0.3);
    EXPECT_NEAR(length(rel), surface_speed, 1e-6);
    EXPECT_NEAR(v->iface->GetYaw() / deg, 90.0, 1e-9);
    EXPECT_NEAR(v->iface->GetPitch(), 0.0, 1e-12);
    EXPECT_NEAR(v->iface->GetBank(), 0.0, 1e-12);
    EXPECT_NEAR(v->iface->GetAltitude(), 2.0, 1e-6);
    EXPECT_TRUE(v->iface->GroundContact());
    double lng = 0, lat = 0, rad = 0;
    EXPECT_EQ(v->iface->GetEquPos(lng, lat, rad), world.body_handle());
    EXPECT_NEAR(lng, 0.5, 1e-12);
    EXPECT_NEAR(lat, 0.3, 1e-12);
    EXPECT_NEAR(rad, earth_radius + 2.0, 1e-6);
}

TEST_F(HostWorld, orientation_angles_and_attitude_matrix_round_trip) {
    runtime::VesselRecord* v = plain("Angles");
    const VECTOR3 cases[] = {_V(0, 0, 0),   _V(0.3, 0, 0),      _V(0, -0.7, 0),
                             _V(0, 0, 2.5), _V(1.2, 0.4, -2.9), _V(-3.0, 1.1, 0.2)};
    for (const VECTOR3& arot : cases) {
        VESSELSTATUS s{};
        s.arot = arot;
        v->iface->DefSetState(&s);
        const MATRIX3& R = v->state.R;
        EXPECT_NEAR(R.m13, -std::sin(arot.y), 1e-12);
        EXPECT_NEAR(R.m23, std::sin(arot.x) * std::cos(arot.y), 1e-12);
        VESSELSTATUS back{};
        v->iface->GetStatus(back);
        expect_near(back.arot, arot, 1e-12, "arot");
    }
}

TEST_F(HostWorld, status_carries_position_velocity_fuel_and_landing) {
    runtime::VesselRecord* v = plain("Status", 1000.0, 400.0);
    VESSELSTATUS s{};
    s.rpos = _V(world.earth.radius + 2.0, 1, 2);  // landed: on the ground
    s.rvel = _V(3, 7500, 4);
    s.vrot = _V(0.01, 0.02, 0.03);
    s.fuel = 0.25;
    s.status = 1;
    v->iface->DefSetState(&s);
    EXPECT_EQ(v->iface->GetFuelMass(), 100.0);
    VESSELSTATUS back{};
    v->iface->GetStatus(back);
    expect_near(back.rpos, s.rpos, 0.0);
    expect_near(back.rvel, s.rvel, 0.0);
    expect_near(back.vrot, s.vrot, 0.0);
    EXPECT_EQ(back.fuel, 0.25);
    EXPECT_EQ(back.status, 1);
    EXPECT_EQ(back.rbody, world.body_handle());
}

TEST_F(HostWorld, frames_convert_between_vessel_and_global_axes) {
    runtime::VesselRecord* v = plain("Frames");
    runtime::World::current().move(*v).pos = _V(7e6, 100.0, -50.0);
    runtime::World::current().move(*v).R = columns(east, up, north);
    VECTOR3 g{}, back{}, rot{}, rel{};
    v->iface->Local2Global(_V(1, 2, 3), g);
    expect_near(g, _V(7e6 + 2.0, 100.0 + 3.0, -50.0 + 1.0), 1e-9);
    v->iface->Global2Local(g, back);
    expect_near(back, _V(1, 2, 3), 1e-9);
    v->iface->GlobalRot(_V(1, 2, 3), rot);
    expect_near(rot, _V(2, 3, 1), 1e-12);
    v->iface->Local2Rel(_V(1, 2, 3), rel);
    expect_near(rel, g, 0.0);
}

TEST_F(HostWorld, elements_of_circular_and_elliptic_orbits) {
    runtime::VesselRecord* v = plain("Orbiting");
    const double r = earth_radius + 400e3;
    const double vc = std::sqrt(earth_mu / r);
    const struct {
        const char* orbit;
        VECTOR3 vel;
        double a, e, i_deg;
    } cases[] = {
        {"circular, equatorial, eastward", _V(0, 0, vc), r, 0.0, 0.0},
        {"circular, tilted 51.6 deg", _V(0, vc * std::sin(51.6 * deg), vc * std::cos(51.6 * deg)), r, 0.0, 51.6},
        {"circular, westward", _V(0, 0, -vc), r, 0.0, 180.0},
        {"faster than circular: periapsis here", _V(0, 0, 1.1 * vc), 1.0 / (2.0 / r - 1.21 * vc * vc / earth_mu), 0.21,
         0.0},
    };
    runtime::World::current().move(*v).pos = _V(r, 0, 0);
    for (const auto& c : cases) {
        runtime::World::current().move(*v).vel = c.vel;
        ELEMENTS el{};
        EXPECT_EQ(v->iface->GetElements(nullptr, el, nullptr, 0.0, FRAME_EQU), world.body_handle());
        EXPECT_NEAR(el.a, c.a, 1e-3) << c.orbit;
        EXPECT_NEAR(el.e, c.e, 1e-9) << c.orbit;
        EXPECT_NEAR(el.i / deg, c.i_deg, 1e-9) << c.orbit;
        // Apoapsis radius (1 + e) a; for the fast orbit vis-viva gives the same.
        EXPECT_NEAR((1 + el.e) * el.a, c.a * (1 + c.e), 1e-2) << c.orbit;
    }
}

// The state of an orbit given by its elements, in the frame the elements are taken in
// ((x, z, y) of the global frame: eastward orbits have i < 90 degrees).
struct OrbitState {
    VECTOR3 pos, vel;
};
OrbitState state_from_elements(const ELEMENTS& el) {
    const double omega = el.omegab - el.theta;
    const double M = el.L - el.omegab;
    double E = M;
    for (int k = 0; k < 50; ++k) E -= (E - el.e * std::sin(E) - M) / (1.0 - el.e * std::cos(E));
    const double p = el.a * (1.0 - el.e * el.e);
    const double nu = 2.0 * std::atan2(std::sqrt(1.0 + el.e) * std::sin(E / 2.0), std::sqrt(1.0 - el.e) * std::cos(E / 2.0));
    const double r = p / (1.0 + el.e * std::cos(nu));
    const double s = std::sqrt(earth_mu / p);
    const VECTOR3 P = _V(r * std::cos(nu), r * std::sin(nu), 0.0);
    const VECTOR3 V = _V(-s * std::sin(nu), s * (el.e + std::cos(nu)), 0.0);
    // Perifocal to the element frame: Rz(theta) Rx(i) Rz(omega).
    auto rz = [](double a) { return columns(_V(std::cos(a), std::sin(a), 0), _V(-std::sin(a), std::cos(a), 0), _V(0, 0, 1)); };
    auto rx = [](double a) { return columns(_V(1, 0, 0), _V(0, std::cos(a), std::sin(a)), _V(0, -std::sin(a), std::cos(a))); };
    const MATRIX3 Q = mul(mul(rz(el.theta), rx(el.i)), rz(omega));
    const VECTOR3 p_el = mul(Q, P), v_el = mul(Q, V);
    return {_V(p_el.x, p_el.z, p_el.y), _V(v_el.x, v_el.z, v_el.y)};
}

double angle_between(double a, double b) { return std::remainder(a - b, PI2); }

// Orbits drawn at random, from nearly circular to long ellipses, tilted either way: the
// elements read back from their state are the ones they were made from. Eccentricities on
// both sides of 0.01 take the mean anomaly by both of its ways.
TEST_F(HostWorld, elements_read_back_the_orbits_they_describe) {
    runtime::VesselRecord* v = plain("Kepler");
    std::mt19937 random(1976);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double eccentricities[] = {0.0, 1e-9, 1e-5, 0.005, 0.0099, 0.0101, 0.05, 0.3, 0.7, 0.95};
    for (int n = 0; n < 400; ++n) {
        ELEMENTS el{};
        el.e = eccentricities[n % std::size(eccentricities)];
        el.a = (earth_radius + 200e3) / (1.0 - el.e) + unit(random) * 3e7;
        el.i = (0.05 + unit(random) * 170.0) * deg;
        el.theta = unit(random) * PI2;
        el.omegab = unit(random) * PI2;
        el.L = unit(random) * PI2;
        const OrbitState s = state_from_elements(el);
        runtime::World::current().move(*v).pos = s.pos, runtime::World::current().move(*v).vel = s.vel;
        ELEMENTS got{};
        v->iface->GetElements(nullptr, got);
        const std::string orbit = "e " + std::to_string(el.e) + " orbit " + std::to_string(n);
        EXPECT_NEAR(got.a / el.a, 1.0, 1e-12) << orbit;
        EXPECT_NEAR(got.e, el.e, 1e-10) << orbit;
        EXPECT_NEAR(got.i, el.i, 1e-10) << orbit;
        EXPECT_NEAR(angle_between(got.theta, el.theta), 0.0, 1e-10) << orbit;
        if (el.e >= 1e-5) {  // the periapsis is as well defined as the eccentricity is far from 0
            EXPECT_NEAR(angle_between(got.omegab, el.omegab), 0.0, 1e-10 / el.e) << orbit;
        }
        EXPECT_NEAR(angle_between(got.L, el.L), 0.0, 1e-10) << orbit;
        for (double angle : {got.theta, got.omegab, got.L}) {
            EXPECT_GE(angle, 0.0) << orbit;
            EXPECT_LT(angle, PI2) << orbit;
        }
    }
}

TEST_F(HostWorld, weight_points_to_the_centre_in_the_vessel_frame) {
    runtime::VesselRecord* v = plain("Heavy", 2000.0);
    runtime::World::current().move(*v).pos = up * earth_radius;
    runtime::World::current().move(*v).R = columns(east, up, north);
    VECTOR3 G{};
    v->iface->GetWeightVector(G);
    expect_near(G, _V(0.0, -2000.0 * earth_mu / (earth_radius * earth_radius), 0.0), 1e-9);
}

TEST(HostFormulas, induced_and_wave_drag) {
    EXPECT_DOUBLE_EQ(oapiGetInducedDrag(0.5, 2.0, 0.7), 0.25 / (PI * 2.0 * 0.7));
    const struct {
        double M, expected;
    } wave[] = {{0.5, 0.0},
                {0.8, 0.0},
                {0.9, 0.02},
                {1.0, 0.04},
                {1.05, 0.04},
                {1.1, 0.04},
                {2.0, 0.04 * std::sqrt((1.1 * 1.1 - 1.0) / 3.0)}};
    for (const auto& c : wave) EXPECT_NEAR(oapiGetWaveDrag(c.M, 0.8, 1.0, 1.1, 0.04), c.expected, 1e-12) << c.M;
}

}  // namespace
