// The whole built-in default flight with the floating-point exceptions trapped that mean a
// wrong number somewhere: an invalid operation (a NaN made from real numbers), a division by
// zero and an overflow. A trap stops the program at the operation, names it and prints the
// calls that led there, so that the fault can be mended where it arises.
#include <gtest/gtest.h>

#include "default_ascent.h"
#include "simulation.h"

#if defined(__GLIBC__)
#include <execinfo.h>
#include <fenv.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr int kTrapped = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;
constexpr int kMaxFrames = 64;

void write_text(const char* text) {
    const ssize_t written = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)written;
}

// Only async-signal-safe calls: the program is stopped inside an arithmetic instruction.
void report_trap(int, siginfo_t* info, void*) {
    const char* what = info->si_code == FPE_FLTINV   ? "invalid operation"
                       : info->si_code == FPE_FLTDIV ? "division by zero"
                       : info->si_code == FPE_FLTOVF ? "overflow"
                                                     : "floating-point exception";
    write_text("\nfloating-point trap: ");
    write_text(what);
    write_text(", raised here:\n");
    void* frames[kMaxFrames];
    backtrace_symbols_fd(frames, backtrace(frames, kMaxFrames), STDERR_FILENO);
    ::_exit(EXIT_FAILURE);
}

// Traps the exceptions while it lives; the test framework's own arithmetic runs untrapped.
class TrappedFloatingPoint {
public:
    TrappedFloatingPoint() {
        struct sigaction action {};
        action.sa_sigaction = report_trap;
        action.sa_flags = SA_SIGINFO;
        sigaction(SIGFPE, &action, &previous_);
        feclearexcept(FE_ALL_EXCEPT);
        feenableexcept(kTrapped);
    }
    ~TrappedFloatingPoint() {
        fedisableexcept(kTrapped);
        feclearexcept(FE_ALL_EXCEPT);
        sigaction(SIGFPE, &previous_, nullptr);
    }
    TrappedFloatingPoint(const TrappedFloatingPoint&) = delete;
    TrappedFloatingPoint& operator=(const TrappedFloatingPoint&) = delete;

private:
    struct sigaction previous_ {};
};

TEST(FloatingPointTraps, TheWholeDefaultFlightMakesNoNaNDividesNoneByZeroAndOverflowsNothing) {
    sim::RunOptions opt;
    opt.root = KORVAN_RUN_TREE;
    sim::use_default_ascent(opt);
    sim::Simulation flight(opt);
    sim::RunResult result;
    {
        const TrappedFloatingPoint traps;  // loading, the vessels' creation and the whole flight
        flight.load();
        result = flight.run();
    }
    EXPECT_TRUE(result.outcome == sim::Outcome::ScriptStop || result.outcome == sim::Outcome::Until)
        << sim::outcome_name(result.outcome) << " " << result.message;
    EXPECT_TRUE(flight.event_time("liftoff").has_value());
    EXPECT_TRUE(flight.event_time("cutoff").has_value());
}

}  // namespace

#else

TEST(FloatingPointTraps, TheWholeDefaultFlightMakesNoNaNDividesNoneByZeroAndOverflowsNothing) {
    GTEST_SKIP() << "trapping floating-point exceptions needs the GNU C library";
}

#endif
