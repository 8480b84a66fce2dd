// Cost of the physics step for a Korvan-like vessel, and how fast a coasting orbit runs.
#include <benchmark/benchmark.h>

#include <cmath>

#include "../tests/physics/korvan_like_vessel.h"
#include "physics/physics.h"

namespace {

constexpr double kStep = 0.01;  // s

// The Korvan climbing through 20 km at Mach 3 with its engines and some surfaces working. It
// flies on from step to step, as in a flight (each step starts where the last one ended), and
// goes back to its start every kStepsPerClimb steps so that every step costs about the same.
void BM_PhysicsStepKorvanClimbing(benchmark::State& state) {
    constexpr long kStepsPerClimb = 1000;
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "K");
    v->def = runtime::VesselDefinition{};
    korvan_like::define(*v, mech);
    const double r = world.earth.radius + 20000.0;
    auto restart = [&] {
        world.move(*v).pos = _V(r, 0, 0);
        world.move(*v).vel = _V(300, 0, 900);
        world.move(*v).R = identity_matrix();
        world.move(*v).omega = _V(0, 0, 0);
        world.move(*v).landed = false;
        v->def.propellants[0]->mass = korvan_like::kPropellantMass;
    };
    restart();
    korvan_like::set_main_level(world, *v, 1.0);
    world.set_thruster_level(*v, *v->def.thrusters[korvan_like::kFirstRcs], 0.3);
    v->controls.control_surface_levels[AIRCTRL_ELEVATOR] = 0.2;
    v->controls.control_surface_levels[AIRCTRL_AILERON] = -0.1;
    physics::Physics physics(world);
    long steps = 0;
    for (auto _ : state) {
        if (++steps % kStepsPerClimb == 0) restart();
        physics.step(kStep);
        benchmark::DoNotOptimize(v->state.omega);
    }
}
BENCHMARK(BM_PhysicsStepKorvanClimbing);

// A coasting Korvan in a 300 km orbit: simulated seconds per wall-clock second.
void BM_CoastingOrbit(benchmark::State& state) {
    runtime::World world;
    korvan_like::Mechanisms mech;
    runtime::VesselRecord* v = korvan_like::create_plain_vessel(world, "K");
    v->def = runtime::VesselDefinition{};
    korvan_like::define(*v, mech);
    const double r = world.earth.radius + 300e3;
    world.move(*v).pos = _V(r, 0, 0);
    world.move(*v).vel = _V(0, 0, physics::circular_speed(world.earth.mu, r));
    world.move(*v).landed = false;
    physics::Physics physics(world);
    constexpr int kStepsPerIteration = 1000;
    for (auto _ : state) {
        for (int i = 0; i < kStepsPerIteration; ++i) physics.step(kStep);
        benchmark::DoNotOptimize(v->state.pos);
    }
    state.counters["sim_seconds_per_second"] =
        benchmark::Counter(double(state.iterations()) * kStepsPerIteration * kStep, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CoastingOrbit);

}  // namespace
