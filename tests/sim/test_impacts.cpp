// Vessels striking the ground: generated impacts and the reproducers of a contact that once
// threw vessels out at many times the speed of light.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <sstream>
#include <tuple>

#include "physics/physics.h"
#include "sim_test_util.h"

namespace {

using sim_test::options_for;
using sim_test::ships;

constexpr double kMu = 3.986004e14, kRadius = 6371.0e3, kOmega = PI2 / 86164.1;

// Energy per kilogram in the frame turning with the ground, from one telemetry row's
// altitude, airspeed (the air turns with the ground) and latitude.
double energy_of(const std::vector<double>& row, const std::array<int, 3>& columns) {
    const double r = kRadius + row[size_t(columns[0])], v = row[size_t(columns[1])];
    const double axis_distance = r * std::cos(row[size_t(columns[2])] * RAD);
    return 0.5 * v * v - kMu / r - 0.5 * kOmega * kOmega * axis_distance * axis_distance;
}

std::vector<double> numbers(const std::string& csv_row) {
    std::istringstream fields(csv_row);
    std::vector<double> out;
    for (std::string field; std::getline(fields, field, ',');) out.push_back(std::atof(field.c_str()));
    return out;
}

// A scenario saved by a run loads, and what it saves once loaded loads and saves back to
// itself (loading restarts the Korvan's mechanisms, so the first load may change a line).
void expect_loads_and_saves_back(const std::string& saved) {
    auto load_and_save = [](const std::string& scenario) {
        sim::Simulation s(options_for(scenario));
        s.load();
        return s.scenario_text();
    };
    std::string once;
    ASSERT_NO_THROW(once = load_and_save(saved)) << saved;
    EXPECT_EQ(load_and_save(once), once);
}

struct Impact {
    std::string vessel_class;
    double speed, descent_deg, dt, height;  // m/s relative to the ground, path below the horizon, s, m
    bool upright;
};

// The vessel placed with its lowest point (gear or hull) `height` above the ground, moving
// along its path, turning with the ground.
void place(runtime::World& w, runtime::VesselRecord& v, const Impact& impact, std::mt19937& rng) {
    runtime::VesselState& st = w.move(v);
    std::uniform_real_distribution<double> unit_interval(0.0, 1.0), normal_dir(-1.0, 1.0);
    const VECTOR3 up = unit(_V(normal_dir(rng), normal_dir(rng), normal_dir(rng)));
    const VECTOR3 east = unit(crossp(up, _V(0, 1, 0))), north = crossp(east, up);
    const double heading = PI2 * unit_interval(rng), path = impact.descent_deg * RAD;
    const VECTOR3 ahead = north * std::cos(heading) + east * std::sin(heading);
    VECTOR3 x, y, z;  // the vessel's axes
    if (impact.upright) {  // a landing: nose near the path's heading, pitch and bank within a few tens of degrees
        const double yaw = heading + 0.35 * normal_dir(rng), pitch = 0.26 * normal_dir(rng), bank = 0.5 * normal_dir(rng);
        const VECTOR3 f = north * std::cos(yaw) + east * std::sin(yaw);
        z = f * std::cos(pitch) + up * std::sin(pitch);
        const VECTOR3 level_up = up * std::cos(pitch) - f * std::sin(pitch), right = crossp(level_up, z);
        y = level_up * std::cos(bank) + right * std::sin(bank);
    } else {  // any attitude
        z = unit(_V(normal_dir(rng), normal_dir(rng), normal_dir(rng)));
        y = unit(crossp(z, crossp(_V(normal_dir(rng), normal_dir(rng), normal_dir(rng)), z)));
    }
    x = crossp(y, z);
    MATRIX3& R = st.R;
    R.m11 = x.x, R.m21 = x.y, R.m31 = x.z, R.m12 = y.x, R.m22 = y.y, R.m32 = y.z, R.m13 = z.x, R.m23 = z.y, R.m33 = z.z;
    double lowest = 0.0;
    for (const VECTOR3& p : v.def.touchdown)
        for (const double side : {1.0, -1.0}) lowest = std::min(lowest, dotp(mul(st.R, _V(p.x, side * p.y, p.z)), up));
    st.pos = up * (kRadius + impact.height - lowest);
    st.vel = physics::ground_velocity(runtime::BodyRecord{}, st.pos) +
                  (ahead * std::cos(path) - up * std::sin(path)) * impact.speed;
    st.omega = tmul(st.R, _V(0, kOmega, 0));
    st.landed = false;
}

// Speeds from 0 to 12 km/s (spread evenly over their logarithm), paths from grazing to
// vertical, any attitude or a landing's, steps from 1 to 100 ms, both variants and a vessel
// without a module. The speed after contact never exceeds what the speed before it and the
// height lost give (energy in the frame turning with the ground; no engine runs); each
// impact ends crashed, at rest or rolling on the gear, or in the air after a bounce, in a
// scenario that loads and saves back to itself. Impacts far beyond the gear's limits crash.
TEST(Impacts, NoImpactAddsEnergyAndEachEndsCrashedSettledOrBouncedInAScenarioThatLoads) {
    std::mt19937 rng(24);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::map<std::string, int> outcomes;
    double largest_gain = -1e9;  // J/kg
    const char* classes[] = {"Korvan", "KorvanB", "Ballast"};
    for (int n = 0; n < 150; ++n) {
        const Impact impact{classes[n % 3], n % 8 == 0 ? 0.0 : 0.1 * std::pow(120000.0, u(rng)),
                            0.1 + 89.9 * u(rng), 0.001 * std::pow(100.0, u(rng)), 0.5 * u(rng), n % 2 == 0};
        sim::RunOptions opt = options_for(ships("V:" + impact.vessel_class + "\n  STATUS Orbiting Earth\n  RPOS 7e6 0 0\n" +
                                                "  RVEL 0 0 7000\n" + (n % 3 == 2 ? "" : "  GEAR 1 1\n") + "END\n"),
                                          "when ground_contact=1 event settled\nwhen time_since settled>0.3 stop\n");
        opt.dt = impact.dt;
        opt.until = 3.0;
        opt.stop_on = {"crash"};
        opt.telemetry_interval = impact.dt;
        sim::Simulation s(opt);
        s.load();
        place(s.world(), *s.world().find_vessel("V"), impact, rng);
        const double path = impact.descent_deg * RAD, sink = impact.speed * std::sin(path), rolling = impact.speed * std::cos(path);
        const std::string what = impact.vessel_class + " at " + std::to_string(impact.speed) + " m/s, " +
                                 std::to_string(impact.descent_deg) + " deg down, dt " + std::to_string(impact.dt);
        s.run();
        const std::vector<std::string> names = sim::flight_value_names();
        auto column = [&](const char* name) { return int(std::find(names.begin(), names.end(), name) - names.begin()); };
        const std::array<int, 3> energy_columns = {column("altitude"), column("airspeed"), column("latitude")};
        const double before = energy_of(numbers(s.telemetry_rows().front()), energy_columns);
        const bool crashed = s.event_time("crash").has_value();
        double lowest_gear = 1e9;  // m
        for (const std::string& row : s.telemetry_rows()) {
            const std::vector<double> values = numbers(row);
            lowest_gear = std::min(lowest_gear, values[size_t(column("gear_height"))]);
            // A wreck is put at rest on its gear, wherever its centre was when it struck.
            if (crashed && values[0] >= *s.event_time("crash")) {
                ASSERT_LT(values[size_t(column("airspeed"))], 1e-3) << what << ": " << row;
                continue;
            }
            const double gain = energy_of(values, energy_columns) - before;
            largest_gain = std::max(largest_gain, gain);
            ASSERT_LE(gain, 1.0 + 1e-3 * impact.speed * impact.speed) << what << ": " << row;
        }
        const std::vector<double> last = numbers(s.telemetry_rows().back());
        const std::string saved = s.scenario_text();
        const std::string outcome = crashed                                 ? "crashed"
                                    : last[size_t(column("ground_contact"))] ? "at rest"
                                    : last[size_t(column("gear_height"))] < 0.1 ? "rolling"
                                                                              : "in the air";
        ++outcomes[outcome];
        EXPECT_EQ(saved.find("STATUS Landed") != std::string::npos, crashed || outcome == "at rest") << what;
        // Unless the air threw it up before it touched the ground (a wing at Mach 6 lifts hard).
        if (sink > 20.0 || rolling > 400.0) {
            EXPECT_TRUE(crashed || lowest_gear > 0.0) << what;
        }
        expect_loads_and_saves_back(saved);
    }
    std::printf("impacts: %d crashed, %d at rest, %d rolling, %d in the air; largest energy gain %.3g J/kg\n",
                outcomes["crashed"], outcomes["at rest"], outcomes["rolling"], outcomes["in the air"], largest_gain);
}

// Found by a save-and-reload fuzzer: each of these accepted inputs sent the Korvan off at up
// to 1e11 m/s (or bounced it 700 m up), the run ended well and its final scenario did not load.
TEST(Impacts, TheFuzzersFindingsEachEndInACrashAndAScenarioThatLoads) {
    for (const auto& [rpos, rvel, dt] :
         {std::tuple{"6371000 0 0", "0 0 7672.6", 0.1}, std::tuple{"6371100 0 0", "-2000 0 0", 0.1},
          std::tuple{"6371100 0 0", "-3000 0 0", 0.05}, std::tuple{"6371100 0 0", "-15000 0 0", 0.01},
          std::tuple{"6381000 0 0", "-5000 0 0", 0.1}, std::tuple{"6371100 0 0", "-1000 0 0", 0.01}}) {
        sim::RunOptions opt = options_for(ships(std::string("K1:Korvan\n  STATUS Orbiting Earth\n  RPOS ") + rpos +
                                                "\n  RVEL " + rvel + "\nEND\n"));
        opt.dt = dt;
        opt.until = 10.0;
        sim::Simulation s(opt);
        const sim::RunResult r = s.run();
        EXPECT_EQ(r.exit_status, sim::kExitOk) << rvel;
        EXPECT_TRUE(s.event_time("crash")) << rvel;
        EXPECT_TRUE(s.world().find_vessel("K1")->state.landed) << rvel;
        EXPECT_NE(s.summary_json().find("\"struck\""), std::string::npos);
        expect_loads_and_saves_back(s.scenario_text());
    }
}

}  // namespace
