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

TEST(Script, PilotControlsAutopilotsAndOrbitConditionsAreRead) {
    const sim::Script s = sim::parse_script(
        "t=1 pilot elevator -0.25\nt=2 rcs lin\nt=3 navmode retrograde toggle\nt=4 pilot main 0.7\n"
        "when time_since cutoff>=20 and navmode=prograde and rcs_mode!=rot and time_to_apoapsis<1 key O\n",
        "orbit.txt");
    ASSERT_EQ(s.entries.size(), 5u);
    const sim::ScriptCommand& elevator = s.entries[0].command;
    EXPECT_EQ(elevator.kind, sim::CommandKind::Pilot);
    EXPECT_EQ(elevator.surface, AIRCTRL_ELEVATOR);
    EXPECT_EQ(elevator.value, -0.25);
    EXPECT_EQ(s.entries[1].command.kind, sim::CommandKind::Rcs);
    EXPECT_EQ(s.entries[1].command.mode, RCS_LIN);
    EXPECT_EQ(s.entries[2].command.kind, sim::CommandKind::Navmode);
    EXPECT_EQ(s.entries[2].command.mode, NAVMODE_RETROGRADE);
    EXPECT_EQ(s.entries[2].command.action, sim::Switch::Toggle);
    EXPECT_EQ(s.entries[3].command.group, THGROUP_MAIN);
    EXPECT_EQ(s.entries[3].command.surface, -1);
    const std::vector<sim::Condition>& c = s.entries[4].conditions;
    ASSERT_EQ(c.size(), 4u);
    EXPECT_EQ(c[0].quantity, "time_since");
    EXPECT_EQ(c[0].event, "cutoff");
    EXPECT_EQ(c[0].op, sim::Comparison::GreaterEqual);
    EXPECT_EQ(c[0].value, 20.0);
    EXPECT_EQ(c[1].op, sim::Comparison::Equal);
    EXPECT_EQ(c[1].value, NAVMODE_PROGRADE);
    EXPECT_EQ(c[2].op, sim::Comparison::NotEqual);
    EXPECT_EQ(c[2].value, RCS_ROT);
    EXPECT_EQ(c[3].quantity, "time_to_apoapsis");
}

TEST(Script, ConditionsCompareAsWritten) {
    const sim::Condition above{"altitude", sim::Comparison::Greater, 50.0};
    const sim::Condition at_least{"altitude", sim::Comparison::GreaterEqual, 50.0};
    EXPECT_FALSE(sim::condition_holds(above, 50.0));
    EXPECT_TRUE(sim::condition_holds(at_least, 50.0));
    EXPECT_TRUE(sim::condition_holds({"mach", sim::Comparison::LessEqual, 1.0}, 1.0));
    EXPECT_FALSE(sim::condition_holds({"mach", sim::Comparison::Less, 1.0}, 1.0));
    EXPECT_TRUE(sim::condition_holds({"navmode", sim::Comparison::Equal, 3.0}, 3.0));
    EXPECT_FALSE(sim::condition_holds({"navmode", sim::Comparison::NotEqual, 3.0}, 3.0));
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
        {"t=1 jump", "s.txt:2: unknown command \"jump\" (key, pilot, rcs, navmode, input, warp, focus, save, hud, "
                     "event, stop)"},
        {"t=1 key", "s.txt:2: expected \"key [shift+|ctrl+]<key>\""},
        {"t=1 key F1", "s.txt:2: unknown key \"F1\" (a letter, a digit or a scan code such as 0x22)"},
        {"t=1 key alt+G", "s.txt:2: unknown modifier \"alt\" (shift, ctrl)"},
        {"t=1 pilot nose 1", "s.txt:2: unknown control \"nose\" (main, retro, hover, pitchup, pitchdown, "
                             "yawleft, yawright, bankleft, bankright, right, left, up, down, forward, back, "
                             "elevator, aileron, rudder)"},
        {"t=1 pilot main 1.5", "s.txt:2: pilot level \"1.5\" is not a number from 0 to 1"},
        {"t=1 pilot pitchup -0.5", "s.txt:2: pilot level \"-0.5\" is not a number from 0 to 1"},
        {"t=1 pilot rudder -1.5", "s.txt:2: pilot level \"-1.5\" is not a number from -1 to 1"},
        {"t=1 rcs fast", "s.txt:2: unknown RCS mode \"fast\" (off, rot, lin)"},
        {"t=1 navmode prograde", "s.txt:2: expected \"navmode <autopilot> on|off|toggle\""},
        {"t=1 navmode off on", "s.txt:2: unknown autopilot \"off\" (killrot, hlevel, prograde, retrograde, normal, "
                               "antinormal)"},
        {"t=1 navmode killrot now", "s.txt:2: navmode \"now\" is not on, off or toggle"},
        {"when navmode=upward key O", "s.txt:2: condition \"navmode=upward\" needs a number after the operator or an "
                                      "autopilot (off, killrot, hlevel, prograde, retrograde, normal, antinormal)"},
        {"when mach!1 key O", "s.txt:2: condition \"mach!1\": \"!\" must be followed by \"=\""},
        {"when time_since key O", "s.txt:2: condition \"key\" is not \"<quantity><op><value>\" (ops > >= < <= = !=)"},
        {"when time_since", "s.txt:2: \"time_since\" needs \"<event><op><seconds>\""},
        {"when time_since cutoff>soon key O",
         "s.txt:2: condition \"time_since cutoff>soon\" needs a number of seconds after the operator"},
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
        {"t=1 hud Com7.x", "s.txt:2: name \"Com7.x\" is a device on Windows (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to "
                           "LPT9, with any extension), where no file of that name can be written"},
        {"t=1 save a.", "s.txt:2: name \"a.\" ends with '.', which Windows drops from a name"},
        {"t=1 stop now", "s.txt:2: expected \"stop\""},
        {"when key G", "s.txt:2: condition \"key\" is not \"<quantity><op><value>\" (ops > >= < <= = !=)"},
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
