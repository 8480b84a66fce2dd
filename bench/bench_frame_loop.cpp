// The frame loop's costs: the host's own work of a frame (script, events, telemetry), and how
// a flight scales with the vessels beside the Korvan (stages and payloads make vessels during
// a flight).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "default_ascent.h"
#include "simulation.h"

namespace {

constexpr double kFrameStep = 0.01;          // s, the default frame step
constexpr double kScalingFlight = 60.0;      // s of the default ascent flown per iteration
constexpr double kPlainOrbitRadius = 6.7e6;  // m, the plain vessels' lowest orbit
constexpr double kPlainSpacing = 1000.0;     // m between their orbits
constexpr double kEarthMu = 3.986004418e14;  // m^3/s^2

// The host's work of one frame without the vessels' steps, the default ascent flown to the
// time given (s): at 700 s it coasts up after cut-off with the script's conditions on the
// orbit pending; at 3000 s it is in orbit, where it spends most of the flight, with one
// condition on the time pending. A telemetry row every 100 frames. The vessels stand still
// while the clock runs on.
void BM_FrameLoopHostWork(benchmark::State& state) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.until = static_cast<double>(state.range(0));
    sim::Simulation s(opt);
    s.run();
    for (auto _ : state) {
        s.world().sim_time += kFrameStep;
        s.host_frame();
    }
}
BENCHMARK(BM_FrameLoopHostWork)->Arg(700)->Arg(3000);

// The default scenario with n plain vessels in circular orbits of their own beside the Korvan.
std::string scenario_with_plain_vessels(int n) {
    std::string text = sim::default_scenario_text();
    std::string blocks;
    for (int i = 0; i < n; ++i) {
        const double r = kPlainOrbitRadius + i * kPlainSpacing;
        const double v = std::sqrt(kEarthMu / r);
        const double a = 0.1 * i;  // rad along the orbit
        char block[320];
        std::snprintf(block, sizeof block,
                      "Plain%d:Ballast\n  STATUS Orbiting Earth\n  RPOS %.3f 0 %.3f\n  RVEL %.6f 0 %.6f\n"
                      "  AROT 0 0 0\n  VROT 0 0.01 0\nEND\n",
                      i, r * std::cos(a), r * std::sin(a), -v * std::sin(a), v * std::cos(a));
        blocks += block;
    }
    text.insert(text.find("END_SHIPS"), blocks);
    return text;
}

// The first minute of the default ascent (runway, take-off, climb) with the Korvan and n plain
// vessels: CPU time per vessel-step, the figure that must stay flat as vessels are added.
void BM_ScalingPlainVessels(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    opt.scenario_text = scenario_with_plain_vessels(n);
    opt.until = kScalingFlight;
    double frames = 0.0;
    for (auto _ : state) {
        sim::Simulation s(opt);
        s.run();
        frames += std::round(s.world().sim_time / kFrameStep);
    }
    const double vessels = 1.0 + n;
    // Rates inverted: CPU seconds per frame and per vessel-step.
    state.counters["step"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["vessel_step"] =
        benchmark::Counter(frames * vessels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScalingPlainVessels)->Arg(0)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
