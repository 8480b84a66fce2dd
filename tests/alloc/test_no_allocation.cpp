// The per-step paths allocate nothing: a Korvan loaded from its module through the platform
// loader, flying under guidance with its engines at work, steps a thousand times (physics,
// then the vessel's post-step with its hundred calls into the host) without one heap
// allocation. This program replaces the global operator new to count: every container and
// string of the host, the physics and the module allocates through it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "physics/physics.h"
#include "runtime/world.h"

namespace {
std::atomic<long> allocations{0};
double* volatile probe_sink = nullptr;  // an allocation the optimiser cannot remove

void* counted_allocation(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size != 0 ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size != 0 ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

constexpr double kStep = 0.01;                  // s
constexpr double kLongitude = -80.675 * RAD;    // the default ascent's runway
constexpr double kLatitude = 28.5 * RAD;
constexpr double kHeadingEast = 90.0 * RAD;
constexpr double kAltitude = 20000.0;           // m
constexpr double kEastwardSpeed = 700.0;        // m/s relative to the ground
constexpr double kWorkingThrust = 1e5;         // N
constexpr int kWarmUpFrames = 200;
constexpr int kCountedFrames = 1000;

TEST(NoAllocation, a_flying_korvan_steps_a_thousand_times_without_the_heap) {
    runtime::World world;
    world.set_root(KORVAN_RUN_TREE);
    std::string error;
    runtime::VesselRecord* korvan = world.create_vessel("Korvan1", "Korvan", nullptr, &error);
    ASSERT_NE(korvan, nullptr) << error;
    world.focus = korvan;
    world.set_landed(*korvan, kLongitude, kLatitude, kHeadingEast, kAltitude);
    world.move(*korvan).landed = false;
    world.move(*korvan).vel += mul(korvan->state.R, _V(0.0, 0.0, kEastwardSpeed));

    physics::Physics physics(world);
    auto frame = [&] {
        physics.step(kStep);
        korvan->iface->clbkPostStep(world.sim_time, kStep, world.mjd);
    };
    frame();  // installs the ascent profile, which resets the guidance
    world.keystate[OAPI_KEY_O] = static_cast<char>(0x80);
    korvan->iface->clbkConsumeBufferedKey(OAPI_KEY_O, true, world.keystate.data());  // guidance on
    world.keystate.fill(0);
    for (int i = 0; i < kWarmUpFrames; ++i) frame();
    // The count sees this build's allocations (a sanitizer's allocator sits under ours).
    const long probe = allocations.load();
    probe_sink = new double(1.0);
    delete probe_sink;
    ASSERT_EQ(allocations.load() - probe, 1) << "the replaced operator new is not the one in use";
    const long before = allocations.load();
    for (int i = 0; i < kCountedFrames; ++i) frame();
    EXPECT_EQ(allocations.load() - before, 0) << "heap allocations in " << kCountedFrames << " steps";

    // It really flew: engines at work, still in the air, its state finite.
    EXPECT_TRUE(physics::state_is_finite(*korvan));
    EXPECT_GT(length(korvan->forces.thrust), kWorkingThrust);
    EXPECT_GT(world.altitude(*korvan), 0.5 * kAltitude);
    EXPECT_GT(world.airspeed(*korvan), 0.5 * kEastwardSpeed);
}

}  // namespace
