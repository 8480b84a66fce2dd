#include <gtest/gtest.h>

#include <charconv>

#include "input_error.h"
#include "scenario_file.h"

namespace {

const char* const kScenario = R"(BEGIN_DESC
Two blocks, one in flight.
END_DESC

BEGIN_ENVIRONMENT
  System Sol
  Date MJD 60000.25
END_ENVIRONMENT

BEGIN_FOCUS
  Ship B
END_FOCUS

BEGIN_SHIPS
A:Ballast
  STATUS Landed Earth
  POS 10 20
END
B:Ballast
  STATUS Orbiting Earth
  RPOS 7000000 0 0
  RVEL 0 0 7500
END
END_SHIPS
)";

TEST(ScenarioFile, ReadsDescriptionEnvironmentFocusAndShips) {
    const sim::ScenarioFile scn = sim::parse_scenario(kScenario, "two.scn");
    ASSERT_EQ(scn.description.size(), 1u);
    EXPECT_EQ(scn.description[0], "Two blocks, one in flight.");
    EXPECT_EQ(scn.system, "Sol");
    EXPECT_EQ(scn.mjd.value(), 60000.25);
    EXPECT_EQ(scn.focus.value(), "B");
    ASSERT_EQ(scn.ships.size(), 2u);
    EXPECT_EQ(scn.ships[0].name, "A");
    EXPECT_EQ(scn.ships[0].class_name, "Ballast");
    EXPECT_EQ(scn.ships[0].line, 15);
    ASSERT_EQ(scn.ships[1].lines.size(), 3u);
    EXPECT_EQ(scn.ships[1].lines[1].text, "RPOS 7000000 0 0");
    EXPECT_EQ(scn.ships[1].lines[1].line, 21);
}

TEST(ScenarioFile, WritesWhatItReads) {
    // A description line ending in two carriage returns once kept one at the first reading
    // and lost it at the second.
    for (const std::string& source : {std::string(kScenario),
                                      std::string("BEGIN_DESC\r\nwindows\r\r\nEND_DESC\r\nBEGIN_SHIPS\r\n"
                                                  "A:Ballast\r\nEND\r\nEND_SHIPS\r\n")}) {
        const sim::ScenarioFile scn = sim::parse_scenario(source, "two.scn");
        const std::string text = sim::format_scenario(scn);
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(sim::format_scenario(sim::parse_scenario(text, "again.scn")), text);
    }
}

TEST(ScenarioFile, NamesTheFileAndLineOfWhatIsWrong) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"HELLO\n", "bad.scn:1: unexpected line \"HELLO\" outside any block"},
        {"BEGIN_ENVIRONMENT\n  Date 60000\nEND_ENVIRONMENT\n", "bad.scn:2: expected \"Date MJD <value>\""},
        {"BEGIN_ENVIRONMENT\n  Date MJD soon\nEND_ENVIRONMENT\n", "bad.scn:2: expected \"Date MJD <value>\""},
        {"BEGIN_ENVIRONMENT\n  Weather fine\nEND_ENVIRONMENT\n", "bad.scn:2: unknown environment key \"Weather\""},
        {"BEGIN_ENVIRONMENT\n  Date MJD 1e308\nEND_ENVIRONMENT\n",
         "bad.scn:2: date MJD 1e308 is outside -1000000..1000000"},
        {"BEGIN_FOCUS\n  Vessel X\nEND_FOCUS\n", "bad.scn:2: expected \"Ship <name>\" in the focus block"},
        {"BEGIN_SHIPS\nA Ballast\nEND\nEND_SHIPS\n", "bad.scn:2: expected \"<name>:<class>\" or \"END_SHIPS\", got \"A Ballast\""},
        {"BEGIN_SHIPS\nA:\nEND\nEND_SHIPS\n", "bad.scn:2: a class name is one word"},
        {"BEGIN_SHIPS\nA:Ballast\nEND\nA:Ballast\nEND\nEND_SHIPS\n",
         "bad.scn:4: a second vessel named \"A\" (first on line 2)"},
        {"BEGIN_SHIPS\nA:Ballast\n  STATUS Landed Earth\n", "bad.scn:2: block not closed: \"END\" missing before the end of the file"},
        {"BEGIN_DESC\nnever closed\n", "bad.scn:1: block not closed: \"END_DESC\" missing before the end of the file"},
        {"BEGIN_FOCUS\n  Ship X\nEND_FOCUS\nBEGIN_SHIPS\nA:Ballast\nEND\nEND_SHIPS\n",
         "bad.scn:2: focus vessel \"X\" is not in the ships"},
        {"BEGIN_DESC\nnothing\nEND_DESC\n", "bad.scn: no vessels (a BEGIN_SHIPS block with at least one)"},
    };
    for (const Case& c : cases) {
        try {
            sim::parse_scenario(c.text, "bad.scn");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const sim::InputError& e) {
            EXPECT_EQ(std::string(e.what()), c.message) << c.text;
        }
    }
}

TEST(ScenarioFile, WritesNumbersThatReadBackExactly) {
    for (double d : {0.1, 1.0 / 3.0, -80.675, 6771000.000000001, 1e-300, 123456789.123456789}) {
        const std::string text = sim::format_double(d);
        EXPECT_EQ(std::stod(text), d) << text;
    }
    EXPECT_EQ(sim::format_double(-0.0), "0");
    // Whole numbers take a shorter way: the same text as the shortest form, around its bound too.
    for (int i = -20000; i <= 20000; ++i) {
        const double d = i == 0 ? 0.5 : i;
        char expected[32];
        ASSERT_EQ(sim::format_double(d), std::string(expected, std::to_chars(expected, expected + 32, d).ptr));
    }
}

}  // namespace
