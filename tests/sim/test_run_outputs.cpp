// The run's outputs alone (RunOutputs), and the frame's quick check of a flying state against
// the limits a scenario holds, compared with the check that reports which key is beyond.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "host_keys.h"
#include "run_outputs.h"
#include "sim_test_util.h"

namespace {

TEST(RunOutputs, KeepsWhatTheScriptMakesAndAFailedFileTakesNoOtherWithIt) {
    const std::string dir = ::testing::TempDir() + "korvan_run_outputs";
    std::filesystem::remove_all(dir);
    sim::RunOutputs outputs(dir);
    outputs.prepare(sim::parse_script("t=1 save one\nt=2 hud two\n", "s.txt"));
    std::filesystem::create_directories(dir + "/one.scn");  // a folder where the save should go
    const std::optional<std::string> failed = outputs.save_scenario("one", "scenario text");
    EXPECT_FALSE(outputs.add_hud_frame("two", "<svg/>"));
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("one.scn"), std::string::npos) << *failed;
    EXPECT_EQ(outputs.errors(), std::vector<std::string>{*failed});
    EXPECT_EQ(outputs.saved_scenarios().at("one"), "scenario text") << "kept although not written";
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/two.svg"));
    sim::RunOutputs in_memory;
    EXPECT_FALSE(in_memory.save_scenario("one", "text"));
    EXPECT_EQ(in_memory.saved_scenarios().size(), 1u);
    const std::string long_name(300, 'x');
    EXPECT_THROW(outputs.prepare(sim::parse_script("t=1 save " + long_name + "\n", "s.txt")), sim::InputError);
}

// Over generated states around the limits, with infinities and NaNs: the quick check passes a
// state exactly when the reporting check names no key.
TEST(RunOutputs, QuickStateCheckAgreesWithTheReportOverGeneratedStates) {
    sim::Simulation s(sim_test::options_for(sim_test::ships(
        "Block1:Ballast\n  STATUS Orbiting Earth\n  RPOS 6771000 0 0\n  RVEL 0 0 7672.6\nEND\n")));
    s.load();
    runtime::World& w = s.world();
    runtime::VesselRecord& v = *w.find_vessel("Block1");
    std::mt19937 rng(23);
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(), 0.0};
    auto component = [&](double limit) {
        const int kind = static_cast<int>(rng() % 8);
        if (kind == 0) return specials[rng() % 3] * ((rng() % 2) != 0U ? 1.0 : -1.0);
        const double beside_limit = limit * (1.0 + std::ldexp(static_cast<double>(rng() % 2001) - 1000.0, -40));
        return kind == 1 ? beside_limit : std::uniform_real_distribution<double>(-1.2 * limit, 1.2 * limit)(rng);
    };
    for (int i = 0; i < 20000; ++i) {
        runtime::VesselState& st = w.move(v);
        st.pos = _V(component(w.earth.radius), component(w.earth.radius), component(sim::kMaxDistance));
        st.vel = _V(component(sim::kMaxSpeed), component(sim::kMaxSpeed), component(sim::kMaxSpeed));
        st.omega = _V(component(sim::kMaxRate * RAD), 0.0, 0.0);
        st.landed = false;
        EXPECT_EQ(sim::flight_keys_within_scenario(w, st), sim::beyond_scenario(w, v).empty()) << i;
    }
}

}  // namespace
