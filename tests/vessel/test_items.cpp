// The stage and payload table: item lines read from the scenario and from messages, the
// item block written back, the item meshes and the item mass, and what bad lines do.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "vessel_fixture.h"

namespace korvan_test {
namespace {

// A table with nothing of the scenario's other lines: item lines only.
void read_lines(Korvan* k, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) k->ReadScenarioLine(line.c_str());
}

std::vector<std::string> item_block(VesselWorld& env, Korvan* k) {
    return env.written_lines([&](FILEHANDLE f) { k->WriteItems(f); });
}

std::string trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

TEST_F(KorvanTest, test_items_an_empty_table_writes_no_lines) { EXPECT_TRUE(item_block(env, korvan).empty()); }

TEST_F(KorvanTest, test_items_a_stage_line_opens_a_group_that_endstage_closes) {
    read_lines(korvan, {"STAGE A a.msh ClassA 0 0 -20 1000 0 0.5", "PAYLOAD B b.msh ClassB 1 2 3 200 90 1",
                        "ENDSTAGE", "PAYLOAD D d.msh ClassD 3 4 0 50 0 0"});
    ASSERT_EQ(korvan->item_count(), 3);
    EXPECT_EQ(korvan->item(0).kind, CVE_STAGE);
    EXPECT_EQ(korvan->item(0).parent, -1);
    EXPECT_EQ(korvan->item(1).parent, 0);
    EXPECT_EQ(korvan->item(2).parent, -1);
    EXPECT_STREQ(korvan->item(1).name, "B");
    EXPECT_EQ(korvan->item(1).mesh.file, "b.msh");
    EXPECT_STREQ(korvan->item(1).class_name, "ClassB");
    EXPECT_EQ(korvan->item(1).mesh.offset.z, 3.0);
    EXPECT_EQ(korvan->item(1).mass, 200.0);
    EXPECT_EQ(korvan->item(1).angle, 90.0);
    EXPECT_EQ(korvan->item(1).fuel, 1.0);
    EXPECT_EQ(korvan->current_open_group(), -1);

    const std::vector<std::string> written = item_block(env, korvan);
    ASSERT_EQ(written.size(), 4u);
    EXPECT_EQ(written[0], "STAGE A a.msh ClassA 0.00 0.00 -20.00 1000.00 0.00 0.50");
    EXPECT_EQ(written[1], "PAYLOAD B b.msh ClassB 1.00 2.00 3.00 200.00 90.00 1.00");
    EXPECT_EQ(trimmed(written[2]), "ENDSTAGE");
    EXPECT_EQ(written[3], "PAYLOAD D d.msh ClassD 3.00 4.00 0.00 50.00 0.00 0.00");
}

TEST_F(KorvanTest, test_items_a_group_end_without_an_open_group_changes_nothing) {
    read_lines(korvan, {"PAYLOAD P p.msh C 0 0 0 1 0 0", "ENDSTAGE", "ENDCVE"});
    EXPECT_EQ(korvan->item_count(), 1);
    EXPECT_EQ(korvan->current_open_group(), -1);
}

TEST_F(KorvanTest, test_items_a_full_table_ignores_every_further_line) {
    read_lines(korvan, {"STAGE S s.msh C 0 0 0 1 0 0"});
    for (int i = 1; i < CVE_MAX_ITEMS; ++i) read_lines(korvan, {"PAYLOAD P p.msh C 0 0 0 1 0 0"});
    ASSERT_EQ(korvan->item_count(), 50);
    read_lines(korvan, {"ENDSTAGE", "PAYLOAD X x.msh C 0 0 0 1 0 0"});
    EXPECT_EQ(korvan->item_count(), 50);
    EXPECT_EQ(korvan->current_open_group(), 0);
    EXPECT_EQ(korvan->GetItemMass(), 50.0);  // slot 49 counts
}

struct SepCase {
    VECTOR3 offset;
    VECTOR3 sep;
};

TEST_F(KorvanTest, test_items_the_default_separation_velocity_follows_the_offset) {
    const SepCase cases[] = {
        {_V(0, 0, -20), _V(0, 0, 0.5)},
        {_V(3, 4, 0), _V(1.2, 1.6, 0)},
        {_V(0, 0, 0.005), _V(0, 0, 0.5)},
        {_V(0, 0, 0), _V(0, 0, 0.5)},
    };
    for (const SepCase& c : cases) {
        VesselWorld local;
        Korvan* k = local.make();
        char line[128];
        std::snprintf(line, sizeof line, "PAYLOAD P p.msh C %g %g %g 1 0 0", c.offset.x, c.offset.y, c.offset.z);
        k->ReadScenarioLine(line);
        EXPECT_NEAR(k->item(0).sep_velocity.x, c.sep.x, 1e-12);
        EXPECT_NEAR(k->item(0).sep_velocity.y, c.sep.y, 1e-12);
        EXPECT_NEAR(k->item(0).sep_velocity.z, c.sep.z, 1e-12);
    }
}

TEST_F(KorvanTest, test_items_keywords_must_be_exact_and_followed_by_a_space) {
    read_lines(korvan, {"STAGE\tS s.msh C 0 0 0 1 0 0", "payload P p.msh C 0 0 0 1 0 0",
                        "PAYLOADX P p.msh C 0 0 0 1 0 0", "   ", ""});
    EXPECT_EQ(korvan->item_count(), 0);
    korvan->DispatchLine("PAYLOAD", "  PAYLOAD  P p.msh C 0 0 0 1 0 0");
    EXPECT_EQ(korvan->item_count(), 1);
    EXPECT_STREQ(korvan->item(0).name, "P");
}

TEST_F(KorvanTest, test_items_item_meshes_follow_the_hull_in_slot_order) {
    read_lines(korvan, {"PAYLOAD P1 p1.msh C 1 0 0 10 0 0", "PAYLOAD P2 p2.msh C 2 0 0 20 0 0"});
    korvan->rebuild_vessel();
    const auto& listed = korvan->listed_meshes();
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].handle, korvan->mesh_main);
    EXPECT_EQ(listed[1].file, "p1.msh");
    EXPECT_EQ(listed[2].offset.x, 2.0);
    EXPECT_EQ(listed[2].index, 2);
    EXPECT_EQ(env.def(korvan).meshes.size(), 3u);
    EXPECT_EQ(korvan->item(1).position.x, 2.0);
    EXPECT_EQ(env.def(korvan).empty_mass, 59874.0 + 30.0);
}

// ---- Bad input ----

// Registers a class without a module, so that a separated item becomes a vessel and leaves
// the table.
void add_plain_class(VesselWorld& env, const char* name) {
    runtime::VesselClass cls;
    cls.name = name;
    env.world.add_class(cls);
}

TEST_F(KorvanTest, test_items_a_short_line_leaves_no_old_values_in_a_reused_slot) {
    add_plain_class(env, "OldClass");
    env.place_in_orbit(korvan);
    read_lines(korvan, {"PAYLOAD Old old.msh OldClass 5 6 7 999 45 0.7"});
    ASSERT_NE(korvan->SeparateLastItem(), nullptr);
    ASSERT_EQ(korvan->item_count(), 0);
    read_lines(korvan, {"PAYLOAD New"});
    ASSERT_EQ(korvan->item_count(), 1);
    const CVE_ITEM& item = korvan->item(0);
    EXPECT_STREQ(item.name, "New");
    EXPECT_EQ(item.mesh.file, "");
    EXPECT_STREQ(item.class_name, "");
    EXPECT_EQ(item.mesh.offset.x, 0.0);
    EXPECT_EQ(item.mass, 0.0);
    EXPECT_EQ(item.angle, 0.0);
    EXPECT_EQ(item.fuel, 0.0);
}

TEST_F(KorvanTest, test_items_long_tokens_are_cut_and_the_following_fields_keep_their_places) {
    const std::string long_name(200, 'N');
    const std::string long_class(150, 'C');
    const std::string line = "PAYLOAD " + long_name + " m.msh " + long_class + " 1 2 3 40 5 0.5";
    korvan->ReadScenarioLine(line.c_str());
    ASSERT_EQ(korvan->item_count(), 1);
    EXPECT_EQ(std::string(korvan->item(0).name), std::string(127, 'N'));
    EXPECT_EQ(korvan->item(0).mesh.file, "m.msh");
    EXPECT_EQ(std::string(korvan->item(0).class_name), std::string(127, 'C'));
    EXPECT_EQ(korvan->item(0).mass, 40.0);
    EXPECT_EQ(korvan->item(0).fuel, 0.5);
}

TEST_F(KorvanTest, test_items_a_line_longer_than_511_characters_is_cut_there) {
    // The three names fill the first 511 characters, so the numbers fall beyond the cut.
    const std::string name(127, 'a'), mesh(127, 'b'), cls(127, 'c');
    std::string line = "PAYLOAD " + name + " " + mesh + " " + cls + std::string(120, ' ') + " 1 2 3 40 5 0.5";
    ASSERT_GT(line.size(), 511u);
    korvan->ReadScenarioLine(line.c_str());
    korvan->DispatchLine("PAYLOAD", line.c_str());
    ASSERT_EQ(korvan->item_count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(korvan->item(i).mass, 0.0);
        EXPECT_EQ(std::string(korvan->item(i).class_name), cls);
    }
}

struct NumberCase {
    const char* numbers;
    double mass, fuel, offset_x, angle;
};

TEST_F(KorvanTest, test_items_numbers_that_would_harm_the_mass_or_fuel_are_refused_or_clamped) {
    const NumberCase cases[] = {
        {"nan 0 0 nan nan nan", 0.0, 0.0, 0.0, 0.0},
        {"inf 0 0 inf -inf inf", 0.0, 0.0, 0.0, 0.0},
        {"1 0 0 -500 10 -0.5", 0.0, 0.0, 1.0, 10.0},
        {"1 0 0 500 10 1.5", 500.0, 1.0, 1.0, 10.0},
        {"1 0 0 500 10 0.25", 500.0, 0.25, 1.0, 10.0},
        {"1 0 0 12abc 7 0.5", 12.0, 0.0, 1.0, 0.0},
    };
    for (const NumberCase& c : cases) {
        VesselWorld local;
        Korvan* k = local.make();
        const std::string line = std::string("PAYLOAD P p.msh C ") + c.numbers;
        k->ReadScenarioLine(line.c_str());
        ASSERT_EQ(k->item_count(), 1);
        EXPECT_EQ(k->item(0).mass, c.mass) << c.numbers;
        EXPECT_EQ(k->item(0).fuel, c.fuel) << c.numbers;
        EXPECT_EQ(k->item(0).mesh.offset.x, c.offset_x) << c.numbers;
        EXPECT_EQ(k->item(0).angle, c.angle) << c.numbers;
        EXPECT_TRUE(std::isfinite(k->GetItemMass()));
    }
}

TEST_F(KorvanTest, test_items_a_stage_separated_while_open_does_not_become_a_group_of_itself) {
    add_plain_class(env, "C");
    env.place_in_orbit(korvan);
    read_lines(korvan, {"STAGE S s.msh C 0 0 0 1 0 0"});
    ASSERT_NE(korvan->SeparateLastItem(), nullptr);
    read_lines(korvan, {"PAYLOAD P p.msh C 0 0 0 1 0 0", "ENDSTAGE"});
    ASSERT_EQ(korvan->item_count(), 1);
    EXPECT_EQ(korvan->item(0).parent, -1);
    EXPECT_EQ(item_block(env, korvan).size(), 1u);
}

// ---- The written block reads back to the same table ----

struct ItemSpec {
    bool stage;
    int parent;
};

void expect_same_tables(const Korvan* a, const Korvan* b) {
    ASSERT_EQ(a->item_count(), b->item_count());
    for (int i = 0; i < a->item_count(); ++i) {
        const CVE_ITEM& x = a->item(i);
        const CVE_ITEM& y = b->item(i);
        EXPECT_EQ(x.kind, y.kind) << i;
        EXPECT_EQ(x.parent, y.parent) << i;
        EXPECT_STREQ(x.name, y.name);
        EXPECT_EQ(x.mesh.file, y.mesh.file);
        EXPECT_STREQ(x.class_name, y.class_name);
        EXPECT_EQ(x.mesh.offset.x, y.mesh.offset.x);
        EXPECT_EQ(x.mesh.offset.y, y.mesh.offset.y);
        EXPECT_EQ(x.mesh.offset.z, y.mesh.offset.z);
        EXPECT_EQ(x.mass, y.mass);
        EXPECT_EQ(x.angle, y.angle);
        EXPECT_EQ(x.fuel, y.fuel);
    }
}

// Writes a's block, reads it into a fresh vessel, and checks the table and a second write.
void expect_round_trip(VesselWorld& env, Korvan* a, const std::string& name) {
    const std::vector<std::string> first = item_block(env, a);
    Korvan* b = env.make(name);
    read_lines(b, first);
    expect_same_tables(a, b);
    // A full table ignores every further line, its closing "ENDSTAGE" lines included.
    if (b->item_count() < CVE_MAX_ITEMS) {
        EXPECT_EQ(b->current_open_group(), -1);
    }
    EXPECT_EQ(item_block(env, b), first);
}

TEST_F(KorvanTest, test_items_groups_the_simple_rule_would_leave_open_are_closed) {
    const std::vector<std::vector<std::string>> tables = {
        // A STAGE with no items of its own before a top-level item.
        {"STAGE E e.msh C 0 0 0 1 0 0", "ENDSTAGE", "PAYLOAD P p.msh C 0 0 0 1 0 0"},
        // Two nested groups ending at the same item.
        {"STAGE S1 a.msh C 0 0 0 1 0 0", "STAGE S2 b.msh C 0 0 0 1 0 0", "PAYLOAD X x.msh C 0 0 0 1 0 0",
         "ENDSTAGE", "ENDSTAGE", "PAYLOAD Y y.msh C 0 0 0 1 0 0"},
        // A nested empty STAGE followed by a sibling.
        {"STAGE S1 a.msh C 0 0 0 1 0 0", "STAGE S2 b.msh C 0 0 0 1 0 0", "ENDSTAGE",
         "PAYLOAD X x.msh C 0 0 0 1 0 0", "ENDSTAGE", "PAYLOAD Y y.msh C 0 0 0 1 0 0"},
    };
    int n = 0;
    for (const auto& lines : tables) {
        Korvan* a = env.make("A" + std::to_string(n));
        read_lines(a, lines);
        expect_round_trip(env, a, "B" + std::to_string(n));
        ++n;
    }
}

TEST_F(KorvanTest, test_items_whatever_a_line_held_its_written_line_reads_back_to_the_same_item) {
    // "PAYLOAD P" was once written with blank mesh and class fields, so that the numbers slid
    // into their places at the next reading.
    const std::vector<std::vector<std::string>> tables = {
        {"PAYLOAD P"},
        {"PAYLOAD "},
        {"STAGE S s.msh", "PAYLOAD Q", "ENDSTAGE", "PAYLOAD R r.msh"},
        {"PAYLOAD - - - 1 2 3 4 5 0.5"},
        {"PAYLOAD " + std::string(300, 'N') + " " + std::string(200, 'M')},
        {"PAYLOAD P m C 1e9 -1e9 999999999.996 1e9 -1e9 1", "PAYLOAD Q m C 2e9 -1e300 0 1e10 1e99 1"},
    };
    int n = 0;
    for (const auto& lines : tables) {
        Korvan* a = env.make("A" + std::to_string(n));
        read_lines(a, lines);
        // What the first reading kept is what every later one keeps: the numbers as written.
        Korvan* b = env.make("B" + std::to_string(n));
        read_lines(b, item_block(env, a));
        SCOPED_TRACE(lines.front());
        expect_round_trip(env, b, "C" + std::to_string(n));
        EXPECT_EQ(std::string(b->item(0).name), std::string(a->item(0).name));
        EXPECT_EQ(b->item(0).mesh.file, a->item(0).mesh.file);
        EXPECT_EQ(std::string(b->item(0).class_name), std::string(a->item(0).class_name));
        ++n;
    }
}

TEST_F(KorvanTest, test_items_a_group_reaching_slot_49_is_closed_too) {
    read_lines(korvan, {"STAGE S s.msh C 0 0 0 1 0 0"});
    for (int i = 1; i < CVE_MAX_ITEMS; ++i) read_lines(korvan, {"PAYLOAD P p.msh C 0 0 0 1 0 0"});
    const std::vector<std::string> block = item_block(env, korvan);
    ASSERT_EQ(block.size(), 51u);
    EXPECT_EQ(trimmed(block.back()), "ENDSTAGE");
    expect_round_trip(env, korvan, "copy");
}

// Random nestings: each generated table is written, read back and written again.
TEST(KorvanItemTables, test_items_generated_nestings_read_back_unchanged) {
    std::mt19937 random(20261207u);
    for (int trial = 0; trial < 60; ++trial) {
        VesselWorld env;
        Korvan* a = env.make("A");
        const int target = 1 + static_cast<int>(random() % CVE_MAX_ITEMS);
        int depth = 0;
        int written = 0;
        while (written < target) {
            const unsigned pick = random() % 10;
            char line[160];
            if (pick < 3 && depth > 0) {
                a->ReadScenarioLine("ENDSTAGE");
                --depth;
                continue;
            }
            const bool stage = pick >= 7;
            std::snprintf(line, sizeof line, "%s I%d m%d.msh Class%d %.2f %.2f %.2f %.2f %.2f %.2f",
                          stage ? "STAGE" : "PAYLOAD", written, written, written,
                          static_cast<int>(random() % 2001 - 1000) / 100.0,
                          static_cast<int>(random() % 2001 - 1000) / 100.0,
                          static_cast<int>(random() % 2001 - 1000) / 100.0,
                          static_cast<int>(random() % 100000) / 100.0, static_cast<int>(random() % 36000) / 100.0,
                          static_cast<int>(random() % 101) / 100.0);
            a->ReadScenarioLine(line);
            if (stage) ++depth;
            ++written;
        }
        while (depth-- > 0) a->ReadScenarioLine("ENDSTAGE");
        SCOPED_TRACE("trial " + std::to_string(trial));
        expect_round_trip(env, a, "B");
    }
}

}  // namespace
}  // namespace korvan_test
