#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "korvan_like_vessel.h"
#include "physics/models.h"
#include "physics/physics.h"

namespace {

constexpr double kStep = 0.01;  // s

// The Korvan coasting far above the air, where only the forces of a test act on it.
struct InSpace : ::testing::Test {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = nullptr;
    std::unique_ptr<physics::Physics> phys;
    void SetUp() override {
        v = korvan_like::create_plain_vessel(world, "K");
        ASSERT_NE(v, nullptr);
        v->def = runtime::VesselDefinition{};
        korvan_like::define(*v, mech);
        const double r = world.earth.radius + 3000e3;
        world.move(*v).pos = _V(r, 0, 0);
        world.move(*v).vel = _V(0, 0, physics::circular_speed(world.earth.mu, r));
        world.move(*v).R = identity_matrix();
        world.move(*v).landed = false;
        phys = std::make_unique<physics::Physics>(world);
    }
    void push(VECTOR3 force, VECTOR3 point) { v->controls.added_forces.push_back({force, point}); }
};

TEST_F(InSpace, AnUpwardForceAtTheNosePitchesTheNoseUp) {
    push(_V(0, 10000, 0), _V(0, 0, 20));
    phys->step(kStep);
    EXPECT_GT(v->state.omega.x, 0.0);
    for (int i = 0; i < 100; ++i) phys->step(kStep);
    EXPECT_GT(v->state.R.m23, 0.0);  // the nose (z column) has turned toward the old y axis
}

struct AxisCase {
    const char* what;
    VECTOR3 force;  // per unit demand, at the point below
    VECTOR3 point;
    int axis;
};

// The mixing's rate damping, emulated: pitch demand +2 w.x tilts the nozzles' thrust up at
// the tail (nose down); yaw demand -2 w.y pushes the tail right for a positive demand (nose
// left); roll demand +2 w.z raises the right nozzle and lowers the left (left wing down).
TEST_F(InSpace, TheDampingTermsOfTheVesselsLawsDamp) {
    constexpr double kGain = 2.0;
    constexpr double kForcePerDemand = 2.0e5;  // N
    const AxisCase CASES[] = {
        {"pitch", _V(0, 1, 0), _V(0, 0, -19), 0},
        {"yaw", _V(1, 0, 0), _V(0, 0, -19), 1},
        {"roll", _V(0, 1, 0), _V(2, 0, -19), 2},
    };
    for (const AxisCase& c : CASES) {
        SCOPED_TRACE(c.what);
        world.move(*v).omega = _V(0, 0, 0);
        world.move(*v).omega.data[c.axis] = 0.05;
        for (int i = 0; i < 2000; ++i) {
            const VECTOR3& w = v->state.omega;
            const double demand = c.axis == 0 ? kGain * w.x : c.axis == 1 ? -kGain * w.y : kGain * w.z;
            const double f = kForcePerDemand * demand;
            push(c.force * f, c.point);
            if (c.axis == 2) push(c.force * -f, _V(-c.point.x, c.point.y, c.point.z));
            phys->step(kStep);
        }
        EXPECT_LT(std::fabs(v->state.omega.data[c.axis]), 0.005);
    }
}

// A lopsided spin with no torque keeps its angular momentum in space, R I w, and its energy.
// A fast tumble once spun itself up to a non-finite state (100 deg/s about each axis within
// 104 s): the gyroscopic term, taken as a straight step, lengthened I w a little every step.
TEST_F(InSpace, AFreeSpinKeepsItsAngularMomentum) {
    const physics::MassOutput mass = physics::mass_properties(v->def);
    auto momentum = [&] {
        const VECTOR3 l = _V(mass.inertia.x * v->state.omega.x, mass.inertia.y * v->state.omega.y,
                             mass.inertia.z * v->state.omega.z);
        return mul(v->state.R, l);
    };
    auto energy = [&] {
        const VECTOR3& w = v->state.omega;
        return 0.5 * (mass.inertia.x * w.x * w.x + mass.inertia.y * w.y * w.y + mass.inertia.z * w.z * w.z);
    };
    struct Case {
        VECTOR3 omega;  // rad/s
        int steps;
        double energy;  // relative change allowed: second order in the step, no drift
    } cases[] = {{_V(0.02, 0.01, 0.3), 3000, 1e-6}, {_V(1.75, 1.75, 1.75), 100000, 1e-2}};
    for (const Case& c : cases) {
        world.move(*v).omega = c.omega;
        world.move(*v).R = identity_matrix();
        const VECTOR3 l0 = momentum();
        const double e0 = energy();
        for (int i = 0; i < c.steps; ++i) phys->step(kStep);
        ASSERT_TRUE(physics::state_is_finite(*v));
        EXPECT_LT(length(momentum() - l0) / length(l0), 1e-9);
        EXPECT_LT(std::fabs(energy() / e0 - 1.0), c.energy);
    }
}

TEST_F(InSpace, AStateWithANaNIsNotFinite) {
    EXPECT_TRUE(physics::state_is_finite(*v));
    world.move(*v).omega.y = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(physics::state_is_finite(*v));
}

}  // namespace
