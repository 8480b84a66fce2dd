// The whole default ascent in the headless host, runway to a revolution in orbit (module,
// pilot, physics, script, telemetry; no files written): simulated seconds per wall second,
// and where each frame's time goes.
#include <benchmark/benchmark.h>

#include <cmath>

#include "default_ascent.h"
#include "simulation.h"

namespace {

void BM_DefaultAscent(benchmark::State& state) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.measure_costs = state.range(0) != 0;
    double simulated = 0.0;
    sim::FrameCosts costs;
    for (auto _ : state) {
        sim::Simulation s(opt);
        s.run();
        simulated += s.world().sim_time;
        costs = s.costs();
    }
    // Counters divided by the measured wall time of the iterations.
    state.counters["sim_s_per_wall_s"] = benchmark::Counter(simulated, benchmark::Counter::kIsRate);
    // Inverted rate: CPU seconds per 0.01 s step of the whole flight.
    state.counters["step"] =
        benchmark::Counter(std::round(simulated / opt.dt), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (opt.measure_costs && costs.frames > 0) {
        state.counters["pilot_ns_per_step"] = 1e9 * costs.pilot_s / double(costs.physics_steps);
        state.counters["physics_ns_per_step"] = 1e9 * costs.physics_s / double(costs.physics_steps);
        state.counters["post_step_ns_per_frame"] = 1e9 * costs.post_steps_s / double(costs.frames);
        state.counters["host_ns_per_frame"] = 1e9 * costs.host_s / double(costs.frames);
    }
}
// 0: plain run, the speed figure; 1: with the frame parts timed (the clock adds a little).
BENCHMARK(BM_DefaultAscent)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
