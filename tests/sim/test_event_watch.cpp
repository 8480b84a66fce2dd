// The host's events watched alone: a flight's phases one after the other, each event reported
// once, in order, and never again.
#include <gtest/gtest.h>

#include <vector>

#include "event_watch.h"

namespace {

using sim::StandardEvent;

TEST(EventWatch, AFlightReportsEachEventOnceInItsOrder) {
    sim::EventWatch watch;
    std::vector<StandardEvent> seen;
    const auto frames = [&](double gear, bool contact, double mach, int engines, double main_level, double climb) {
        for (int i = 0; i < 3; ++i)
            watch.check({gear, contact, mach, engines, main_level, climb}, [&](StandardEvent e) { seen.push_back(e); });
    };
    frames(0.02, true, 0.2, 2, 1.0, 0.0);       // rolling
    frames(5.0, false, 0.9, 2, 1.0, 1.0);       // off the ground
    frames(3000.0, false, 1.2, 2, 1.0, 1.0);    // supersonic
    frames(6e4, false, 19.0, 4, 1.0, 1.0);      // the rockets join
    frames(7e4, false, 25.0, 4, 0.0, 1.0);      // engines off
    frames(1.8e5, false, 26.0, 4, 0.0, -1.0);   // past the apoapsis
    frames(0.0, true, 0.1, 4, 0.0, 0.0);        // down again
    EXPECT_EQ(seen, (std::vector<StandardEvent>{StandardEvent::liftoff, StandardEvent::mach1,
                                                StandardEvent::engine_switch, StandardEvent::cutoff,
                                                StandardEvent::apoapsis, StandardEvent::landed}));
    EXPECT_FALSE(watch.watching_engines());
    EXPECT_FALSE(watch.take(StandardEvent::liftoff));
    EXPECT_TRUE(watch.take(StandardEvent::gear_up));
    EXPECT_FALSE(watch.take(StandardEvent::gear_up));
}

}  // namespace
