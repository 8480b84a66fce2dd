// Launch targeting: the azimuth entry, the inclination readout and the engage toggle.
#include <gtest/gtest.h>

#include <string>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;

class TargetingTest : public KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        env.give_focus(korvan);
        korvan->config_index = 0;
        at_latitude(28.5);
    }
    void at_latitude(double degrees) {
        env.record(korvan).pins.equ_pos = std::array<double, 3>{-80.6 * RAD, degrees * RAD, 6371010.0};
    }
    std::string debug_line() const { return std::string(env.world.debug_line.data()); }
    void clear_debug_line() { env.world.debug_line.fill('\0'); }
};

TEST_F(TargetingTest, TheReadoutShowsTheInclinationTheAzimuthLeadsTo) {
    struct Case {
        const char* azimuth;
        double latitude;
        const char* shown;
    } cases[] = {{"90", 28.5, "Target inclination (Equatorial): 28.500"},
                 {"0", 28.5, "Target inclination (Equatorial): 90.000"},
                 {"0", -60.0, "Target inclination (Equatorial): 90.000"},
                 {"270", 0.0, "Target inclination (Equatorial): 180.000"},
                 {"90", -12.0, "Target inclination (Equatorial): 12.000"}};
    for (const Case& c : cases) {
        at_latitude(c.latitude);
        korvan->apply_azimuth_entry(c.azimuth);
        korvan->update_inclination_readout();
        EXPECT_EQ(debug_line(), c.shown) << c.azimuth << " at " << c.latitude;
    }
}

TEST_F(TargetingTest, AzimuthsMirroredAboutEastShowTheSameInclination) {
    korvan->apply_azimuth_entry("135");
    korvan->update_inclination_readout();
    const std::string south_east = debug_line();
    korvan->apply_azimuth_entry("45");
    korvan->update_inclination_readout();
    EXPECT_EQ(debug_line(), south_east);
}

TEST_F(TargetingTest, TheEntryReadsOnlyItsFirstFiveCharacters) {
    struct Case {
        const char* text;
        double heading;
    } cases[] = {{"123.456", 303.4}, {"  90", 270.0}, {"-45", 135.0}, {"12345678", 12525.0}, {"7e1", 250.0}};
    for (const Case& c : cases) {
        korvan->apply_azimuth_entry(c.text);
        EXPECT_NEAR(korvan->target_heading, c.heading, 1e-9) << c.text;
    }
}

TEST_F(TargetingTest, AnEntryWithoutANumberKeepsTheAzimuth) {
    for (const char* text : {"", "east", "-", "nan", "inf", "  ", "\xff\xfe"}) {
        korvan->target_heading = 250.0;
        korvan->readout_timer = 3.0;
        korvan->apply_azimuth_entry(text);
        EXPECT_EQ(korvan->target_heading, 250.0) << text;
        EXPECT_EQ(korvan->readout_timer, 0.01);
    }
    korvan->apply_azimuth_entry(nullptr);
    EXPECT_EQ(korvan->target_heading, 250.0);
}

TEST_F(TargetingTest, TheUKeyBoxTakesTheAzimuthAndRestartsTheReadout) {
    korvan->readout_timer = 7.0;
    korvan->open_azimuth_entry();
    ASSERT_TRUE(env.world.input_box.open);
    EXPECT_EQ(env.world.input_box.title, "Enter launch azimuth, 0 to 90 (east) to 360");
    EXPECT_EQ(env.world.input_box.vislen, 20);
    EXPECT_TRUE(env.world.answer_input_box("45"));
    EXPECT_EQ(korvan->target_heading, 225.0);
    EXPECT_EQ(korvan->readout_timer, 0.01);
}

TEST_F(TargetingTest, TheReadoutShowsOnlyWhereItIsDue) {
    struct Case {
        int config;
        bool engaged;
        bool focused;
        double timer;
        bool shown;
    } cases[] = {{-2, false, true, 0.01, true},  {-1, false, true, 4.9, true},  {0, false, true, 0.01, true},
                 {1, false, true, 0.01, false},  {2, false, true, 0.01, false}, {-3, false, true, 0.01, false},
                 {0, true, true, 0.01, false},   {0, false, false, 0.01, false}, {0, false, true, 5.0, false}};
    for (const Case& c : cases) {
        clear_debug_line();
        korvan->config_index = c.config;
        korvan->engaged = c.engaged;
        korvan->readout_timer = c.timer;
        korvan->step_dt = 0.0;
        env.world.focus = c.focused ? korvan->GetHandle() : nullptr;
        korvan->update_inclination_readout();
        EXPECT_EQ(!debug_line().empty(), c.shown) << c.config << " " << c.engaged << " " << c.focused << " " << c.timer;
    }
}

TEST_F(TargetingTest, TheReadoutTimerRunsOnlyWithTheFocus) {
    korvan->readout_timer = 0.01;
    korvan->step_dt = 0.5;
    korvan->update_inclination_readout();
    EXPECT_DOUBLE_EQ(korvan->readout_timer, 0.51);
    env.world.focus = nullptr;
    korvan->update_inclination_readout();
    EXPECT_DOUBLE_EQ(korvan->readout_timer, 0.51);
    korvan->readout_timer = 0.0;  // a stopped timer stays stopped
    env.give_focus(korvan);
    korvan->update_inclination_readout();
    EXPECT_EQ(korvan->readout_timer, 0.0);
}

TEST_F(TargetingTest, GuidanceOnMovesNothingUntilTheNextStep) {
    korvan->pitch_output = 0.4;
    korvan->yaw_output = -0.3;
    korvan->roll_output = 0.2;
    korvan->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.5);
    korvan->toggle_guidance();
    EXPECT_TRUE(korvan->engaged);
    EXPECT_EQ(debug_line(), "Guidance ON");
    EXPECT_EQ(korvan->pitch_output, 0.0);
    EXPECT_EQ(korvan->yaw_output, 0.0);
    EXPECT_EQ(korvan->roll_output, 0.0);
    EXPECT_EQ(korvan->GetControlSurfaceLevel(AIRCTRL_ELEVATOR), 0.5);
}

TEST_F(TargetingTest, GuidanceOffCentresTheAttitudeThrustersAndControlSurfaces) {
    korvan->toggle_guidance();
    korvan->SetAttitudeRotLevel(_V(0.3, -0.2, 0.1));
    for (AIRCTRL_TYPE t : {AIRCTRL_ELEVATOR, AIRCTRL_RUDDER, AIRCTRL_AILERON}) korvan->SetControlSurfaceLevel(t, 0.5);
    korvan->pitch_output = 0.4;
    korvan->toggle_guidance();
    EXPECT_FALSE(korvan->engaged);
    EXPECT_EQ(debug_line(), "Guidance OFF");
    EXPECT_EQ(korvan->pitch_output, 0.0);
    const VECTOR3 rot = env.record(korvan).controls.attitude_rot_level;
    EXPECT_EQ(rot.x, 0.0);
    EXPECT_EQ(rot.y, 0.0);
    EXPECT_EQ(rot.z, 0.0);
    for (AIRCTRL_TYPE t : {AIRCTRL_ELEVATOR, AIRCTRL_RUDDER, AIRCTRL_AILERON}) {
        EXPECT_EQ(korvan->GetControlSurfaceLevel(t), 0.0) << t;
    }
}

TEST_F(TargetingTest, EngagingNeitherRearmsNorForgetsACutOff) {
    korvan->load_default_profile();
    korvan->armed = false;
    korvan->cutoff_done = true;
    korvan->toggle_guidance();
    EXPECT_FALSE(korvan->armed);
    EXPECT_TRUE(korvan->cutoff_done);
}

}  // namespace
