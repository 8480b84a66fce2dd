// What the C library's functions alone cost for one step of the default ascent: the calls the
// step's results need, as many of each as the whole run makes a step (counted with callgrind
// over the default ascent), with nothing else around them. The step's own figures cannot go
// below these while its results stay the same bits.
//
// The arguments sweep slowly, as a flight's do, and no call waits on another's result, so the
// calls overlap and their branches are predicted: a figure at least as low as the same calls
// cost inside a step.
#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr std::size_t kArguments = 4096;  // a power of two, to wrap with a mask
constexpr double kSweep = 1e-3;           // rad between consecutive arguments

struct Arguments {
    std::array<double, kArguments> x{};
    std::array<double, kArguments> y{};
    Arguments() {
        for (std::size_t i = 0; i < kArguments; ++i) {
            x[i] = 1.5 * std::cos(static_cast<double>(i) * kSweep) + 0.2;
            y[i] = 1.5 * std::sin(static_cast<double>(i) * kSweep) + 0.1;
        }
    }
};

const Arguments& arguments() {
    static const Arguments args;
    return args;
}

// How many of each call a step makes, per part of the step (callgrind over the whole default
// ascent, calls divided by its 727 854 steps, rounded).
struct CallsPerStep {
    int atan2 = 0;
    int sincos = 0;
    int hypot = 0;
    int exp = 0;
    int pow = 0;
    int asin = 0;
    int acos = 0;
    int tan_sin_atan = 0;  // each of tan, sin and atan, for the elements of a near-circular orbit
};

// The module's post-step: the host's answers (elements: three atan2 and an acos, and a tan, a
// sin and an atan in orbit; status: an asin and two atan2; bank, angle of attack and slip: an
// atan2 each; the horizon: a hypot) and the module's own pow of the equivalent airspeed.
constexpr CallsPerStep kPostStep{.atan2 = 8, .hypot = 1, .pow = 1, .asin = 1, .acos = 1, .tan_sin_atan = 1};
// The physics step: the free turn's five sincos, the two airfoils' atan2, the atmosphere's exp.
constexpr CallsPerStep kPhysicsStep{.atan2 = 2, .sincos = 5, .exp = 3};
// The pilot: the attitude error's two atan2 and two hypot.
constexpr CallsPerStep kPilot{.atan2 = 2, .hypot = 2};

constexpr CallsPerStep sum(CallsPerStep a, CallsPerStep b) {
    return {a.atan2 + b.atan2, a.sincos + b.sincos, a.hypot + b.hypot, a.exp + b.exp,
            a.pow + b.pow,     a.asin + b.asin,     a.acos + b.acos,   a.tan_sin_atan + b.tan_sin_atan};
}
constexpr CallsPerStep kWholeStep = sum(sum(kPostStep, kPhysicsStep), kPilot);

double make_calls(const CallsPerStep& calls, std::size_t at) {
    const Arguments& a = arguments();
    auto x = [&](int k) { return a.x[(at + static_cast<std::size_t>(k)) & (kArguments - 1)]; };
    auto y = [&](int k) { return a.y[(at + static_cast<std::size_t>(k)) & (kArguments - 1)]; };
    double sum = 0.0;
    for (int k = 0; k < calls.atan2; ++k) sum += std::atan2(y(k), x(k));
    for (int k = 0; k < calls.sincos; ++k) sum += std::sin(x(k)) + std::cos(x(k));  // one sincos
    for (int k = 0; k < calls.hypot; ++k) sum += std::hypot(x(k), y(k));
    for (int k = 0; k < calls.exp; ++k) sum += std::exp(-x(k));
    for (int k = 0; k < calls.pow; ++k) sum += std::pow(1.0 + 0.1 * x(k), 3.5);
    for (int k = 0; k < calls.asin; ++k) sum += std::asin(0.5 * y(k));
    for (int k = 0; k < calls.acos; ++k) sum += std::acos(0.5 * x(k));
    for (int k = 0; k < calls.tan_sin_atan; ++k) sum += std::tan(x(k)) + std::sin(y(k)) + std::atan(x(k));
    return sum;
}

void run(benchmark::State& state, const CallsPerStep& calls) {
    std::size_t at = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(make_calls(calls, at));
        at += 17;
    }
}

void BM_LibmFloorPostStep(benchmark::State& state) { run(state, kPostStep); }
void BM_LibmFloorPhysicsStep(benchmark::State& state) { run(state, kPhysicsStep); }
void BM_LibmFloorWholeStep(benchmark::State& state) { run(state, kWholeStep); }

}  // namespace

BENCHMARK(BM_LibmFloorPostStep);
BENCHMARK(BM_LibmFloorPhysicsStep);
BENCHMARK(BM_LibmFloorWholeStep);
