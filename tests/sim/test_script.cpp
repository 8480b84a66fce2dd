#include <gtest/gtest.h>

#include "input_error.h"
#include "script.h"

namespace {

const char* const kAscent = R"(# the ascent
t=5 key O
1.5 key shift+G     # with shift held
when airspeed>120 pilot pitchup 0.5
when altitude>=50 and time<100 key G
t=2 input 123.456 deg
t=3 warp 10
t=4 save after_four
t=4 hud frame.1
t=4 event rotate
t=6 focus Other
t=7 key 0x30
t=8 stop
)";

TEST(Script, ReadsTimedCommandsByTimeThenConditionalOnes) {
    const sim::Script s = sim::parse_script(kAscent, "ascent.txt");
    ASSERT_EQ(s.entries.size(), 12u);
    const double times[] = {1.5, 2, 3, 4, 4, 4, 5, 6, 7, 8};
    for (size_t i = 0; i < 10; ++i) EXPECT_EQ(s.entries[i].time.value(), times[i]) << i;
    EXPECT_FALSE(s.entries[10].time);
    EXPECT_EQ(s.entries[10].line, 4);
    EXPECT_EQ(s.entries[11].conditions.size(), 2u);
}

TEST(Script, KeysCarryTheirScanCodesAndModifiers) {
    const sim::Script s = sim::parse_script(kAscent, "ascent.txt");
    const sim::ScriptCommand& shift_g = s.entries[0].command;
    EXPECT_EQ(shift_g.kind, sim::CommandKind::Key);
    EXPECT_EQ(shift_g.scan_code, OAPI_KEY_G);
    EXPECT_TRUE(shift_g.shift);
    EXPECT_FALSE(shift_g.ctrl);
    EXPECT_EQ(s.entries[6].command.scan_code, OAPI_KEY_O);
    EXPECT_EQ(s.entries[8].command.scan_code, OAPI_KEY_B);
    const struct {
        const char* name;
        DWORD code;
    } keys[] = {{"J", OAPI_KEY_J}, {"g", OAPI_KEY_G}, {"K", OAPI_KEY_K}, {"B", OAPI_KEY_B},
                {"O", OAPI_KEY_O}, {"U", OAPI_KEY_U}, {"0x9D", OAPI_KEY_RCONTROL}, {"?", 0}, {"0x100", 0}};
    for (const auto& k : keys) EXPECT_EQ(sim::scan_code_of(k.name), k.code) << k.name;
}

TEST(Script, PilotInputsConditionsAndTextsAreRead) {
    const sim::Script s = sim::parse_script(kAscent, "ascent.txt");
    EXPECT_EQ(s.entries[1].command.kind, sim::CommandKind::Input);
    EXPECT_EQ(s.entries[1].command.text, "123.456 deg");
    EXPECT_EQ(s.entries[2].command.value, 10.0);
    EXPECT_EQ(s.entries[3].command.text, "after_four");
    const sim::ScriptEntry& rotate = s.entries[10];
    EXPECT_EQ(rotate.command.kind, sim::CommandKind::Pilot);
    EXPECT_EQ(rotate.command.group, THGROUP_ATT_PITCHUP);
    EXPECT_EQ(rotate.command.value, 0.5);
    EXPECT_EQ(rotate.conditions[0].quantity, "airspeed");
    EXPECT_EQ(rotate.conditions[0].op, sim::Comparison::Greater);
    EXPECT_EQ(rotate.conditions[0].value, 120.0);
    EXPECT_EQ(s.entries[11].conditions[0].op, sim::Comparison::GreaterEqual);
    EXPECT_EQ(s.entries[11].conditions[1].op, sim::Comparison::Less);
}

TEST(Script, ConditionsCompareAsWritten) {
    const sim::Condition above{"altitude", sim::Comparison::Greater, 50.0};
    const sim::Condition at_least{"altitude", sim::Comparison::GreaterEqual, 50.0};
    EXPECT_FALSE(sim::condition_holds(above, 50.0));
    EXPECT_TRUE(sim::condition_holds(at_least, 50.0));
    EXPECT_TRUE(sim::condition_holds({"mach", sim::Comparison::LessEqual, 1.0}, 1.0));
    EXPECT_FALSE(sim::condition_holds({"mach", sim::Comparison::Less, 1.0}, 1.0));
}

TEST(Script, NamesTheFileAndLineOfABadLine) {
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"soon key G", "s.txt:2: a line starts with \"t=<seconds>\", \"<seconds>\" or \"when\", not \"soon\""},
        {"t=-1 key G", "s.txt:2: a line starts with \"t=<seconds>\", \"<seconds>\" or \"when\", not \"t=-1\""},
        {"t=1", "s.txt:2: missing command"},
        {"t=1 jump", "s.txt:2: unknown command \"jump\" (key, pilot, input, warp, focus, save, hud, event, stop)"},
        {"t=1 key", "s.txt:2: expected \"key [shift+|ctrl+]<key>\""},
        {"t=1 key F1", "s.txt:2: unknown key \"F1\" (a letter, a digit or a scan code such as 0x22)"},
        {"t=1 key alt+G", "s.txt:2: unknown modifier \"alt\" (shift, ctrl)"},
        {"t=1 pilot nose 1", "s.txt:2: unknown control group \"nose\" (main, retro, hover, pitchup, pitchdown, "
                             "yawleft, yawright, bankleft, bankright, right, left, up, down, forward, back)"},
        {"t=1 pilot main 1.5", "s.txt:2: pilot level \"1.5\" is not a number from 0 to 1"},
        {"t=1 input", "s.txt:2: expected \"input <text>\""},
        {"t=1 warp 0", "s.txt:2: time acceleration \"0\" is not a number from 0.1 to 100000"},
        // A step below the clock's resolution would freeze the clock: the run would never end.
        {"t=1 warp 1e-300", "s.txt:2: time acceleration \"1e-300\" is not a number from 0.1 to 100000"},
        {"t=1 save ../x", "s.txt:2: name \"../x\" may hold only letters, digits, '_', '-' and '.'"},
        // Found only when the command ran, after the flight, and then no output was written.
        {"t=1 save aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
         "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         "s.txt:2: name \"aaaaaaaaaaaaaaaa...\" is too long: a file name holds at most 251 characters before \".scn\""},
        {"t=1 stop now", "s.txt:2: expected \"stop\""},
        {"when key G", "s.txt:2: condition \"key\" is not \"<quantity><op><value>\" (ops > >= < <=)"},
        {"when speed>1 key G", nullptr},
        {"when mach>fast key G", "s.txt:2: condition \"mach>fast\" needs a number after the operator"},
        {"when mach>1 and", "s.txt:2: a condition is missing after \"and\""},
    };
    for (const Case& c : cases) {
        try {
            sim::parse_script(std::string("# first line\n") + c.line + "\n", "s.txt");
            ADD_FAILURE() << "accepted: " << c.line;
        } catch (const sim::InputError& e) {
            if (c.message != nullptr)
                EXPECT_EQ(std::string(e.what()), c.message) << c.line;
            else
                EXPECT_EQ(std::string(e.what()).rfind("s.txt:2: unknown quantity \"speed\"", 0), 0u) << e.what();
        }
    }
}

}  // namespace
