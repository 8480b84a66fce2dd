// Main engines by engine set, attitude thrusters, and the engine-mode update of the
// six-engine set with its switch to four engines.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "flight/propulsion.h"
#include "vessel_fixture.h"

namespace korvan_test {
namespace {

int main_flames(const runtime::VesselDefinition& d) {
    int n = 0;
    for (const auto& e : d.exhausts)
        if (e.lscale == 20.0) ++n;
    return n;
}

struct EngineSetCase {
    int num_engines;
    size_t main_thrusters, group_size, streams;
    int flames;
};

TEST(KorvanEngines, test_propulsion_each_engine_set_makes_its_slots_streams_and_flames) {
    const EngineSetCase cases[] = {
        {6, 6, 6, 6, 4},
        {4, 4, 4, 4, 4},
        {2, 2, 2, 2, 2},
        // Values an edited scenario might hold: never a group of thrusters that do not exist.
        {9, 6, 6, 6, 4},
        {0, 2, 1, 2, 2},
        {-3, 2, 1, 2, 2},
    };
    for (const EngineSetCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make();
        k->num_engines = c.num_engines;
        k->rebuild_vessel();
        const runtime::VesselDefinition& d = env.def(k);
        EXPECT_EQ(d.thrusters.size(), c.main_thrusters + 20) << c.num_engines;
        EXPECT_EQ(k->GetGroupThrusterCount(THGROUP_MAIN), c.group_size) << c.num_engines;
        EXPECT_EQ(d.streams.size(), c.streams) << c.num_engines;
        EXPECT_EQ(main_flames(d), c.flames) << c.num_engines;
        EXPECT_EQ(d.exhausts.size(), static_cast<size_t>(c.flames) + 32) << c.num_engines;
    }
}

TEST_F(KorvanTest, test_propulsion_the_main_slots_have_their_ratings) {
    const runtime::VesselDefinition& d = env.def(korvan);
    for (int slot = 0; slot < 6; ++slot) {
        auto* t = static_cast<runtime::ThrusterRecord*>(korvan->main_thrusters[slot]);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->pos.z, -19.0);
        EXPECT_EQ(t->dir.z, 1.0);
        EXPECT_EQ(t->p_ref, 101400.0);
        if (slot < 4) {
            EXPECT_EQ(t->max0, 331872.3);
            EXPECT_EQ(t->isp_vac, 4492.98);
            EXPECT_EQ(t->isp_ref, 4169.25);
        } else {
            EXPECT_EQ(t->max0, 809325.0);
            EXPECT_EQ(t->isp_vac, 39240.0);
        }
    }
    // Slots 5 and 6 share the inner engines' positions.
    EXPECT_EQ(static_cast<runtime::ThrusterRecord*>(korvan->main_thrusters[4])->pos.x, -2.0);
    EXPECT_EQ(static_cast<runtime::ThrusterRecord*>(korvan->main_thrusters[5])->pos.x, 2.0);
    EXPECT_EQ(d.streams[0].pos.y, -10.0);
    EXPECT_EQ(d.streams[0].spec.srcsize, 1.1);
    EXPECT_EQ(d.streams[0].spec.lmax, 0.1);
}

TEST_F(KorvanTest, test_propulsion_twenty_attitude_thrusters_in_twelve_groups_with_32_flames) {
    const runtime::VesselDefinition& d = env.def(korvan);
    int rcs = 0, roll = 0;
    for (const auto& t : d.thrusters) {
        if (t->max0 == 16284.6) ++rcs;
        if (t->max0 == 8142.3) ++roll;
    }
    EXPECT_EQ(rcs, 16);
    EXPECT_EQ(roll, 4);
    const THGROUP_TYPE two[] = {THGROUP_ATT_PITCHUP, THGROUP_ATT_UP, THGROUP_ATT_DOWN, THGROUP_ATT_PITCHDOWN,
                                THGROUP_ATT_YAWLEFT, THGROUP_ATT_YAWRIGHT, THGROUP_ATT_BANKRIGHT,
                                THGROUP_ATT_BANKLEFT};
    for (THGROUP_TYPE t : two) EXPECT_EQ(korvan->GetGroupThrusterCount(t), 2u) << t;
    for (THGROUP_TYPE t : {THGROUP_ATT_LEFT, THGROUP_ATT_RIGHT, THGROUP_ATT_FORWARD, THGROUP_ATT_BACK})
        EXPECT_EQ(korvan->GetGroupThrusterCount(t), 1u) << t;
    int rcs_flames = 0;
    for (const auto& e : d.exhausts)
        if (e.lscale == 1.6 && e.wscale == 0.5 && e.tex == korvan->exhaust_tex_rcs) ++rcs_flames;
    EXPECT_EQ(rcs_flames, 32);
}

// The attitude and translation thrusters, one row per group in creation order: each
// thruster's position and direction, then the group's flames, all on its first thruster.
struct RcsPoint {
    VECTOR3 pos, dir;
};
struct RcsRow {
    THGROUP_TYPE type;
    double thrust;  // N per thruster
    std::vector<RcsPoint> thrusters, flames;
};

const std::vector<RcsRow>& rcs_table() {
    constexpr double full = 16284.6, half = 8142.3;
    static const std::vector<RcsRow> rows = {
        {THGROUP_ATT_PITCHUP, full,
         {{_V(0, -0.97, 5.25), _V(0, 1, 0)}, {_V(0, -0.97, -5.25), _V(0, -1, 0)}},
         {{_V(-3.87, 0, 44.95), _V(-0.707, -0.707, 0)}, {_V(3.87, 0, 44.95), _V(0.707, -0.707, 0)},
          {_V(-0.5, 1.6, -47.21), _V(0, 1, 0)}, {_V(0.5, 1.6, -47.21), _V(0, 1, 0)}}},
        {THGROUP_ATT_UP, full,
         {{_V(0, -0.2, -5.25), _V(0, 1, 0)}, {_V(0, -0.75, 5.25), _V(0, 1, 0)}},
         {{_V(-3.87, 0, 44.95), _V(-0.707, -0.707, 0)}, {_V(3.87, 0, 44.95), _V(0.707, -0.707, 0)},
          {_V(-0.5, -0.5, -47.21), _V(0, -1, 0)}, {_V(0.5, -0.5, -47.21), _V(0, -1, 0)}}},
        {THGROUP_ATT_DOWN, full,
         {{_V(0, -0.2, -5.25), _V(0, -1, 0)}, {_V(0, -0.75, 5.25), _V(0, -1, 0)}},
         {{_V(-0.5, 1.6, -47.21), _V(0, 1, 0)}, {_V(0.5, 1.6, -47.21), _V(0, 1, 0)},
          {_V(-0.5, 0.65, 44.95), _V(0, 1, 0)}, {_V(0.5, 0.65, 44.95), _V(0, 1, 0)}}},
        {THGROUP_ATT_PITCHDOWN, full,
         {{_V(0, 0, 5), _V(0, -1, 0)}, {_V(0, 0, -5), _V(0, 1, 0)}},
         {{_V(-0.5, 0.65, 44.95), _V(0, 1, 0)}, {_V(0.5, 0.65, 44.95), _V(0, 1, 0)},
          {_V(-0.5, -0.5, -47.21), _V(0, -1, 0)}, {_V(0.5, -0.5, -47.21), _V(0, -1, 0)}}},
        {THGROUP_ATT_YAWLEFT, full,
         {{_V(0, 0, 4), _V(-1, 0, 0)}, {_V(0, 0, -4), _V(1, 0, 0)}},
         {{_V(3.87, 0, 44.95), _V(1, 0, 0)}, {_V(-11.4, 0, -47.21), _V(-1, 0, 0)}}},
        {THGROUP_ATT_YAWRIGHT, full,
         {{_V(0, 0, 4), _V(1, 0, 0)}, {_V(0, 0, -4), _V(-1, 0, 0)}},
         {{_V(-3.87, 0, 44.95), _V(-1, 0, 0)}, {_V(11.4, 0, -47.21), _V(1, 0, 0)}}},
        {THGROUP_ATT_LEFT, full,
         {{_V(2, 0, 0), _V(-1, 0, 0)}},
         {{_V(3.87, 0, 44.95), _V(1, 0, 0)}, {_V(11.4, 0, -47.21), _V(1, 0, 0)}}},
        {THGROUP_ATT_RIGHT, full,
         {{_V(-2, 0, 0), _V(1, 0, 0)}},
         {{_V(-3.87, 0, 44.95), _V(-1, 0, 0)}, {_V(-11.4, 0, -47.21), _V(-1, 0, 0)}}},
        {THGROUP_ATT_BANKRIGHT, half,
         {{_V(13, 0, 0), _V(0, -1, 0)}, {_V(-13, 0, 0), _V(0, 1, 0)}},
         {{_V(-9, -7.5, 0), _V(0, -1, 0)}, {_V(9, 0.85, 0), _V(0, 1, 0)}}},
        {THGROUP_ATT_BANKLEFT, half,
         {{_V(13, 0, 0), _V(0, 1, 0)}, {_V(-13, 0, 0), _V(0, -1, 0)}},
         {{_V(9, -7.5, 0), _V(0, -1, 0)}, {_V(-9, 0.85, 0), _V(0, 1, 0)}}},
        {THGROUP_ATT_FORWARD, full,
         {{_V(0, 0, -4), _V(0, 0, 1)}},
         {{_V(-1.047, 0.25, -48.5), _V(0, 0, -1)}, {_V(1.047, 0.25, -48.5), _V(0, 0, -1)}}},
        {THGROUP_ATT_BACK, full,
         {{_V(0, 0, 4), _V(0, 0, -1)}},
         {{_V(0.51, 0, 47.37), _V(0, 0, 1)}, {_V(-0.51, 0, 47.37), _V(0, 0, 1)}}},
    };
    return rows;
}

bool same(const VECTOR3& a, const VECTOR3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

TEST_F(KorvanTest, test_propulsion_every_attitude_thruster_and_flame_is_where_the_table_puts_it) {
    const runtime::VesselDefinition& d = env.def(korvan);
    // The attitude groups follow the main group, in table order; their thrusters follow the
    // main engines, in table order too.
    const std::vector<RcsRow>& table = rcs_table();
    ASSERT_EQ(d.groups.size(), 1 + table.size());
    std::size_t next_thruster = d.thrusters.size() - 20;
    for (std::size_t row = 0; row < table.size(); ++row) {
        const RcsRow& want = table[row];
        const runtime::ThrusterGroupRecord& group = *d.groups[1 + row];
        SCOPED_TRACE(testing::Message() << "group type " << want.type);
        ASSERT_EQ(group.type, want.type);
        ASSERT_EQ(group.thrusters.size(), want.thrusters.size());
        for (std::size_t k = 0; k < want.thrusters.size(); ++k) {
            const runtime::ThrusterRecord* t = group.thrusters[k];
            EXPECT_EQ(t, d.thrusters[next_thruster++].get()) << "thruster " << k << " out of creation order";
            EXPECT_TRUE(same(t->pos, want.thrusters[k].pos)) << "thruster " << k;
            EXPECT_TRUE(same(t->dir, want.thrusters[k].dir)) << "thruster " << k;
            EXPECT_EQ(t->max0, want.thrust);
            EXPECT_EQ(t->isp_vac, 4169.25);
            EXPECT_EQ(t->isp_ref, 0.0);
            EXPECT_EQ(t->p_ref, 101400.0);
            EXPECT_EQ(t->propellant, korvan->main_propellant);
        }
        std::vector<const runtime::ExhaustRecord*> flames;
        for (const auto& e : d.exhausts)
            if (e.thruster != nullptr && std::find(group.thrusters.begin(), group.thrusters.end(), e.thruster) !=
                                             group.thrusters.end())
                flames.push_back(&e);
        ASSERT_EQ(flames.size(), want.flames.size());
        for (std::size_t k = 0; k < flames.size(); ++k) {
            EXPECT_EQ(flames[k]->thruster, group.thrusters[0]) << "flame " << k;
            EXPECT_TRUE(flames[k]->has_position);
            EXPECT_TRUE(same(flames[k]->pos, want.flames[k].pos)) << "flame " << k;
            EXPECT_TRUE(same(flames[k]->dir, want.flames[k].dir)) << "flame " << k;
            EXPECT_EQ(flames[k]->lscale, 1.6);
            EXPECT_EQ(flames[k]->wscale, 0.5);
            EXPECT_EQ(flames[k]->tex, korvan->exhaust_tex_rcs);
        }
    }
    EXPECT_EQ(next_thruster, d.thrusters.size());
}

TEST(KorvanEngineModel, test_propulsion_the_sea_level_figures_at_rest) {
    const AirBreathingFactors f = air_breathing_factors(0.0, 0.0, 0.0, 19.0);
    EXPECT_DOUBLE_EQ(f.speed_factor, 0.9977);
    EXPECT_DOUBLE_EQ(f.altitude_factor, 0.9934);
    EXPECT_NEAR(f.air_factor, 0.99111518, 1e-8);
    EXPECT_NEAR(f.thrust, 200533.6, 0.1);
    EXPECT_NEAR(1.0 / f.u, 1.01801, 1e-5);
    EXPECT_NEAR(f.u * 4492.98, 4413.50, 0.01);
}

struct EnvelopeCase {
    double h, v, M;
    double altitude_factor, speed_factor;
};

TEST(KorvanEngineModel, test_propulsion_the_envelope_has_its_named_points) {
    constexpr double A_to_h = 1.0 / (3.28 * 0.22);
    const EnvelopeCase cases[] = {
        {50000.0 * A_to_h, 0.0, 0.0, 0.2434, 0.9977},
        {100000.0 * A_to_h, 0.0, 0.0, 0.0, 0.9977},
        {200000.0 * A_to_h, 0.0, 0.0, 0.0, 0.9977},  // never negative
        {0.0, 1e6, 0.0, 0.9934, 6.0},                 // ram term capped
        {0.0, 0.0, 19.5, 0.9934, 0.0},                // above the switch no air thrust
    };
    for (const EnvelopeCase& c : cases) {
        const AirBreathingFactors f = air_breathing_factors(c.h, c.v, c.M, 19.0);
        EXPECT_NEAR(f.altitude_factor, c.altitude_factor, 1e-4) << c.h;
        EXPECT_NEAR(f.speed_factor, c.speed_factor, 1e-9) << c.v;
    }
}

TEST_F(KorvanTest, test_propulsion_at_rest_at_sea_level_the_slots_get_their_isp_and_thrust) {
    runtime::VesselRecord& rec = env.record(korvan);
    rec.pins.altitude = 0.0;
    rec.pins.airspeed = 0.0;
    rec.pins.mach = 0.0;
    korvan->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    korvan->manage_engines();
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_NEAR(korvan->GetThrusterIsp0(korvan->main_thrusters[slot]), 4413.50, 0.01);
        // The level asked is 1.01801; the host keeps levels within 0..1.
        EXPECT_EQ(korvan->GetThrusterLevel(korvan->main_thrusters[slot]), 1.0);
    }
    EXPECT_NEAR(korvan->GetThrusterMax0(korvan->main_thrusters[4]), 200533.6, 0.1);
    EXPECT_NEAR(korvan->GetThrusterMax0(korvan->main_thrusters[5]), 200533.6, 0.1);
    EXPECT_EQ(korvan->nozzle_position, 0.0);
    EXPECT_EQ(korvan->num_engines, 6);
}

TEST_F(KorvanTest, test_propulsion_a_main_level_of_005_leaves_the_rocket_slots_alone) {
    runtime::VesselRecord& rec = env.record(korvan);
    rec.pins.altitude = 0.0;
    rec.pins.airspeed = 0.0;
    rec.pins.mach = 0.0;
    korvan->SetThrusterGroupLevel(THGROUP_MAIN, 0.05);
    korvan->manage_engines();
    EXPECT_EQ(korvan->GetThrusterIsp0(korvan->main_thrusters[0]), 4492.98);
    EXPECT_EQ(korvan->GetThrusterLevel(korvan->main_thrusters[0]), 0.05);
}

TEST_F(KorvanTest, test_propulsion_a_vanishing_air_factor_leaves_the_rocket_slots_alone) {
    runtime::VesselRecord& rec = env.record(korvan);
    rec.pins.altitude = 150000.0;  // above the envelope: the altitude factor is 0
    rec.pins.airspeed = 2000.0;
    rec.pins.mach = 7.0;
    korvan->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    korvan->manage_engines();
    EXPECT_EQ(korvan->GetThrusterIsp0(korvan->main_thrusters[0]), 4492.98);
    EXPECT_EQ(korvan->GetThrusterLevel(korvan->main_thrusters[0]), 1.0);
    EXPECT_EQ(korvan->GetThrusterMax0(korvan->main_thrusters[4]), 0.0);
    EXPECT_EQ(korvan->nozzle_position, 1.0);
}

TEST_F(KorvanTest, test_propulsion_a_mach_number_that_is_not_a_number_counts_as_rest) {
    runtime::VesselRecord& rec = env.record(korvan);
    rec.pins.altitude = 0.0;
    rec.pins.airspeed = 0.0;
    rec.pins.mach = std::numeric_limits<double>::quiet_NaN();
    korvan->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    korvan->manage_engines();
    EXPECT_EQ(korvan->nozzle_position, 0.0);
    EXPECT_EQ(korvan->num_engines, 6);
    EXPECT_NEAR(korvan->GetThrusterMax0(korvan->main_thrusters[4]), 200533.6, 0.1);
}

struct SwitchCase {
    const char* class_name;
    double mach;
    int engines_after;
};

TEST(KorvanEngineSwitch, test_propulsion_the_engine_set_switches_once_above_the_switch_mach) {
    const SwitchCase cases[] = {
        {"Korvan", 18.9, 6}, {"Korvan", 19.0, 6},   {"Korvan", 19.01, 4},
        {"KorvanB", 19.5, 6}, {"KorvanB", 20.5, 6}, {"KorvanB", 20.51, 4},
    };
    for (const SwitchCase& c : cases) {
        VesselWorld env;
        Korvan* k = env.make("K", c.class_name);
        runtime::VesselRecord& rec = env.record(k);
        rec.pins.altitude = 30000.0;
        rec.pins.airspeed = 5800.0;
        rec.pins.mach = c.mach;
        k->SetThrusterGroupLevel(THGROUP_MAIN, 0.5);
        k->manage_engines();
        EXPECT_EQ(k->num_engines, c.engines_after) << c.class_name << " M " << c.mach;
        if (c.engines_after == 4) {
            EXPECT_EQ(env.def(k).thrusters.size(), 24u);
            EXPECT_EQ(k->GetThrusterGroupLevel(THGROUP_MAIN), 1.0);
            EXPECT_EQ(k->nozzle_state, MECH_OPEN);
            EXPECT_EQ(k->GetThrusterIsp0(k->main_thrusters[0]), 4492.98);
            EXPECT_EQ(k->main_thrusters[4], nullptr);
        } else {
            EXPECT_GT(k->GetThrusterMax0(k->main_thrusters[4]), 0.0);
        }
    }
}

TEST(KorvanEngineModel, test_propulsion_the_nozzle_position_stays_within_its_travel) {
    EXPECT_EQ(nozzle_position_for(0.99, 0.0), 0.0);
    EXPECT_EQ(nozzle_position_for(2.0, 1.0), 0.0);
    EXPECT_DOUBLE_EQ(nozzle_position_for(1.0, 4.0), 0.75);
    EXPECT_EQ(nozzle_position_for(-1.0, 0.5), 1.0);
    EXPECT_EQ(nozzle_position_for(1.0, std::numeric_limits<double>::infinity()), 0.0);
}

}  // namespace
}  // namespace korvan_test
