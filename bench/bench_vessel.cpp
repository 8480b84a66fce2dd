// The vessel's per-frame cost: one post-step, and one rebuild of the class capabilities.
#include <benchmark/benchmark.h>

#include "runtime/world.h"
#include "vessel/korvan.h"

namespace {

struct BenchWorld {
    runtime::World world;
    Korvan* korvan = nullptr;
    BenchWorld() {
        world.set_root(KORVAN_RUN_TREE);
        runtime::VesselClass cls;
        cls.name = "Korvan";
        world.add_class(cls);
        runtime::VesselRecord* rec = world.instantiate_vessel("K", "Korvan");
        delete rec->iface;
        korvan = new Korvan(static_cast<OBJHANDLE>(rec));
        rec->iface = korvan;
        korvan->clbkSetClassCaps(nullptr);
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
