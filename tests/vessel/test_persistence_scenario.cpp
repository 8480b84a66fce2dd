// The scenario block: the vessel's keys, their order, hand-edited and hostile lines, and
// a load-save round trip that settles after one pass.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::VesselWorld;

class PersistenceTest : public ::testing::Test {
protected:
    VesselWorld env;
    int made = 0;

    Korvan* load(const std::vector<std::string>& lines) {
        std::string name = "P";
        name += std::to_string(++made);  // appended, not concatenated: GCC 12 warns falsely on "P" + string at -O2
        Korvan* k = env.make(name);
        FILEHANDLE f = env.world.open_reader(lines);
        k->clbkLoadStateEx(f, nullptr);
        env.world.close_stream(f);
        return k;
    }
    std::vector<std::string> save(Korvan* k) {
        return env.written_lines([&](FILEHANDLE f) { k->clbkSaveState(f); });
    }
    static std::string key_of(const std::string& line) { return line.substr(0, line.find(' ')); }
    static std::string value_of(const std::vector<std::string>& lines, const std::string& key) {
        for (const std::string& line : lines) {
            if (key_of(line) == key) return line.size() > key.size() ? line.substr(key.size() + 1) : "";
        }
        ADD_FAILURE() << "no " << key << " line";
        return "";
    }
};

TEST_F(PersistenceTest, AnEmptyBlockKeepsTheConstructorsValues) {
    Korvan* k = load({});
    EXPECT_EQ(k->config_index, 1);
    EXPECT_EQ(k->num_engines, 6);
    EXPECT_EQ(k->target_heading, 270.0);
    EXPECT_EQ(k->gear_state, MECH_CLOSING);  // restarted from rest at 0
    EXPECT_EQ(k->gear_position, 0.0);
    EXPECT_TRUE(k->profile_loaded);
    EXPECT_TRUE(k->armed);
    EXPECT_DOUBLE_EQ(std::strtod(value_of(save(k), "TGT_HEADING").c_str(), nullptr), 90.0);
}

TEST_F(PersistenceTest, TheVesselWritesItsKeysInOrderAfterTheHostsAndBeforeItsItems) {
    Korvan* k = load({"PAYLOAD sat1 Sat1 ShuttlePB 0 2 5 1000 0 1"});
    k->config_index = -1;
    k->num_engines = 4;
    k->gear_state = MECH_OPEN;
    k->gear_position = 1.0;
    k->door_state = MECH_OPENING;
    k->door_position = 0.123456;
    const std::vector<std::string> lines = save(k);
    std::vector<std::string> keys;
    for (const std::string& line : lines) keys.push_back(key_of(line));
    const std::vector<std::string> expected = {"CONFIGURATION", "NUMENGINES", "GEAR",   "DOORS",
                                               "BRAKES",        "NOZZLES",    "TGT_HEADING", "PAYLOAD"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(value_of(lines, "CONFIGURATION"), "-1");
    EXPECT_EQ(value_of(lines, "NUMENGINES"), "4");
    EXPECT_EQ(value_of(lines, "GEAR"), "1 1.0000");
    EXPECT_EQ(value_of(lines, "DOORS"), "3 0.1235");
}

TEST_F(PersistenceTest, ALowerCaseGearLineIsTheGearKey) {
    Korvan* k = load({"gear 1 1.0"});
    EXPECT_EQ(k->gear_state, MECH_OPENING);
    EXPECT_EQ(k->gear_position, 1.0);
    env.step(k);
    EXPECT_EQ(k->gear_state, MECH_OPEN);
}

TEST_F(PersistenceTest, ALowerCaseTargetHeadingLineIsNotAVesselKey) {
    Korvan* k = load({"tgt_heading 45"});
    EXPECT_EQ(k->target_heading, 270.0);
    EXPECT_EQ(k->item_count(), 0);
    const auto& unparsed = env.record(k).unparsed_lines;
    EXPECT_NE(std::find(unparsed.begin(), unparsed.end(), "tgt_heading 45"), unparsed.end());
}

TEST_F(PersistenceTest, EveryLineAlsoReachesTheHost) {
    Korvan* k = load({"CONFIGURATION 0", "GEAR 1 1.0", "SOMETHING else"});
    const auto& unparsed = env.record(k).unparsed_lines;
    EXPECT_EQ(unparsed.size(), 3u);
}

TEST_F(PersistenceTest, TheTargetHeadingKeyHoldsTheAzimuth) {
    Korvan* k = load({"TGT_HEADING 90"});
    EXPECT_EQ(k->target_heading, 270.0);
    EXPECT_DOUBLE_EQ(std::strtod(value_of(save(k), "TGT_HEADING").c_str(), nullptr), 90.0);
    k = load({"TGT_HEADING 45.5"});
    EXPECT_EQ(k->target_heading, 225.5);
}

TEST_F(PersistenceTest, ATargetHeadingWithoutAReadableNumberKeepsTheHeading) {
    for (const char* line : {"TGT_HEADING", "TGT_HEADING east", "TGT_HEADING nan", "TGT_HEADING inf",
                             "TGT_HEADING -inf", "TGT_HEADING 1e999", "TGT_HEADING\t"}) {
        Korvan* k = load({"TGT_HEADING 10", line});
        EXPECT_EQ(k->target_heading, 190.0) << line;
    }
}

TEST_F(PersistenceTest, WheelBrakesComeOnOnlyWithTheBrakesFullyOut) {
    EXPECT_TRUE(load({"BRAKES 1 1.0"})->wheel_brakes_on);
    EXPECT_FALSE(load({"BRAKES 1 0.9999"})->wheel_brakes_on);
    EXPECT_TRUE(load({"BRAKES 1 3.5"})->wheel_brakes_on);  // held at fully out
}

TEST_F(PersistenceTest, MechanismsResumeMovingTowardTheEndTheyRestAt) {
    struct Case {
        const char* line;
        int state;
        double position;
    } cases[] = {{"NOZZLES 1 0.3", 3, 0.3}, {"NOZZLES 0 0.0", 2, 0.0}, {"NOZZLES 2 0.5", 2, 0.5},
                 {"NOZZLES 3 0.5", 3, 0.5}, {"NOZZLES 7 0.5", 3, 0.5}, {"NOZZLES -4 0.5", 3, 0.5}};
    for (const Case& c : cases) {
        Korvan* k = load({c.line});
        EXPECT_EQ(k->nozzle_state, c.state) << c.line;
        EXPECT_EQ(k->nozzle_position, c.position) << c.line;
    }
}

TEST_F(PersistenceTest, MechanismPositionsStayWithinTheirTravel) {
    struct Case {
        const char* line;
        double gear;
    } cases[] = {{"GEAR 1 7.3", 1.0}, {"GEAR 0 -2", 0.0}, {"GEAR 1 0.25", 0.25}, {"GEAR 1 1e308", 1.0}};
    for (const Case& c : cases) EXPECT_EQ(load({c.line})->gear_position, c.gear) << c.line;
}

TEST_F(PersistenceTest, UnreadableNumbersKeepTheOldValues) {
    struct Case {
        const char* line;
        int config;
        int gear_state;  // as loaded, before the restart
        double gear_position;
    } cases[] = {
        {"CONFIGURATION x", -1, 1, 0.5},
        {"CONFIGURATION 99999999999", -1, 1, 0.5},
        {"CONFIGURATION -99999999999999999999999", -1, 1, 0.5},
        {"CONFIGURATION 2147483648", -1, 1, 0.5},
        {"CONFIGURATION -2147483648", -2147483647 - 1, 1, 0.5},
        {"GEAR x 0.7", -1, 1, 0.5},
        {"GEAR 0 nan", -1, 0, 0.5},
        {"GEAR 0 inf", -1, 0, 0.5},
        {"GEAR 0", -1, 0, 0.5},
        {"GEAR 99999999999 0.7", -1, 1, 0.5},
        {"GEAR", -1, 1, 0.5},
    };
    for (const Case& c : cases) {
        Korvan* k = load({"CONFIGURATION -1", "GEAR 1 0.5", c.line});
        Korvan* expected = load({"CONFIGURATION -1", "GEAR " + std::to_string(c.gear_state) + " 0.5"});
        EXPECT_EQ(k->config_index, c.config) << c.line;
        EXPECT_EQ(k->gear_state, expected->gear_state) << c.line;
        EXPECT_EQ(k->gear_position, c.gear_position) << c.line;
    }
}

TEST_F(PersistenceTest, OnlyAnEngineSetWithThrusterSlotsIsTaken) {
    struct Case {
        const char* line;
        int engines;
    } cases[] = {{"NUMENGINES 4", 4}, {"NUMENGINES 2", 2}, {"NUMENGINES 7", 6}, {"NUMENGINES 0", 6},
                 {"NUMENGINES -4", 6}, {"NUMENGINES 4294967300", 6}};
    for (const Case& c : cases) EXPECT_EQ(load({c.line})->num_engines, c.engines) << c.line;
}

TEST_F(PersistenceTest, KeysArePrefixesOfAnyCase) {
    Korvan* k = load({"configuration 0", "Doors 1 1", "HEADING 45", "headingless", "NUMENGINESX 4"});
    EXPECT_EQ(k->config_index, 0);
    EXPECT_EQ(k->num_engines, 6);  // "X 4" holds no number where the key ends
    EXPECT_EQ(k->door_state, MECH_OPENING);
    EXPECT_EQ(k->item_count(), 0);
}

TEST_F(PersistenceTest, LongMalformedAndBinaryLinesDoNotHarmTheLoad) {
    std::string binary;
    for (int c = 1; c < 256; ++c) binary.push_back(static_cast<char>(c));
    const std::vector<std::string> hostile = {
        "GEAR " + std::string(100000, '9'),
        "TGT_HEADING " + std::string(5000, '1') + ".5",
        "CONFIGURATION " + std::string(70000, ' ') + "0",
        "PAYLOAD " + std::string(3000, 'x') + " " + std::string(3000, 'y'),
        "STAGE\t" + std::string(600, 'z'),
        binary,
        std::string(200000, '\xff'),
        "NOZZLES 1 0.3" + std::string(10000, '#'),
        "",
        " ",
    };
    Korvan* k = load(hostile);
    EXPECT_EQ(k->gear_state, MECH_CLOSING);  // the gear line was unreadable
    EXPECT_EQ(k->config_index, 0);
    EXPECT_EQ(k->target_heading, 270.0);  // 1e5000 is not finite
    EXPECT_EQ(k->nozzle_state, MECH_OPENING);
    EXPECT_EQ(k->nozzle_position, 0.3);
    save(k);
}

// Random states the vessel can reach, items included, for the round trip below.
std::vector<std::string> random_block(std::mt19937& rng) {
    std::uniform_int_distribution<int> config(-3, 3), state(0, 3), coin(0, 1), items(0, 8);
    std::uniform_real_distribution<double> position(0.0, 1.0), azimuth(-720.0, 720.0), offset(-30.0, 30.0);
    auto mechanism = [&](const char* key) {
        char text[64];
        std::snprintf(text, sizeof text, "%s %d %.6f", key, state(rng), coin(rng) ? position(rng) : coin(rng) * 1.0);
        return std::string(text);
    };
    std::vector<std::string> lines = {"CONFIGURATION " + std::to_string(config(rng)),
                                      std::string("NUMENGINES ") + (coin(rng) ? "6" : "4"),
                                      mechanism("GEAR"),
                                      mechanism("DOORS"),
                                      mechanism("BRAKES"),
                                      mechanism("NOZZLES"),
                                      "TGT_HEADING " + std::to_string(azimuth(rng))};
    int depth = 0;
    const int n = items(rng);
    for (int i = 0; i < n; ++i) {
        const bool stage = coin(rng) == 1;
        char text[256];
        std::snprintf(text, sizeof text, "%s item%d Mesh%d Class%d %.3f %.3f %.3f %.1f %.2f %.2f",
                      stage ? "STAGE" : "PAYLOAD", i, i, i, offset(rng), offset(rng), offset(rng), 100.0 + i, 0.0,
                      position(rng));
        lines.emplace_back(text);
        if (stage) ++depth;
        if (depth > 0 && coin(rng) == 1) {
            lines.emplace_back("ENDSTAGE");
            --depth;
        }
    }
    return lines;
}

TEST_F(PersistenceTest, ASecondLoadAndSaveWritesTheSameBlockAgain) {
    std::mt19937 rng(20261207);
    for (int trial = 0; trial < 200; ++trial) {
        const std::vector<std::string> block = random_block(rng);
        Korvan* first = load(block);
        const std::vector<std::string> saved_once = save(first);
        Korvan* second = load(saved_once);
        const std::vector<std::string> saved_twice = save(second);
        EXPECT_EQ(saved_twice, saved_once) << "trial " << trial;
        // Loading restarted the mechanisms once: every state is now a travelling one.
        for (int s : {first->gear_state, first->door_state, first->brake_state, first->nozzle_state}) {
            EXPECT_GE(s, MECH_CLOSING);
        }
        EXPECT_EQ(second->gear_state, first->gear_state);
        EXPECT_EQ(second->door_state, first->door_state);
        EXPECT_EQ(second->brake_state, first->brake_state);
        EXPECT_EQ(second->nozzle_state, first->nozzle_state);
        EXPECT_NEAR(second->target_heading, first->target_heading, 1e-6);
        EXPECT_EQ(second->item_count(), first->item_count());
        env.world.destroy_all_vessels();
    }
}

}  // namespace
