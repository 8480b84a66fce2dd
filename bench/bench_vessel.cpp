// The vessel's per-frame cost: one post-step, and one rebuild of the class capabilities.
#include <benchmark/benchmark.h>

#include "korvan_in_world.h"

namespace {

struct BenchWorld {
    runtime::World world;
    Korvan* korvan = nullptr;
    BenchWorld() {
        korvan = make_korvan(world);
        world.focus = korvan->GetHandle();
    }
};

void BM_PostStep(benchmark::State& state) {
    BenchWorld b;
    b.world.sim_step = 0.01;
    for (auto _ : state) {
        b.world.sim_time += 0.01;
        b.korvan->clbkPostStep(b.world.sim_time, 0.01, b.world.mjd);
    }
}
BENCHMARK(BM_PostStep);

void BM_BuildClassCaps(benchmark::State& state) {
    BenchWorld b;
    for (auto _ : state) b.korvan->build_class_caps();
}
BENCHMARK(BM_BuildClassCaps);

}  // namespace
