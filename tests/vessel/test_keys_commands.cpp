// The six command keys: table order, modifiers, refusals and what each command does.
#include <gtest/gtest.h>

#include <string>

#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;

class KeysTest : public KorvanTest {
protected:
    void hold(DWORD scan_code) { env.world.keystate[scan_code] = static_cast<char>(0x80); }
    void release_all() { env.world.keystate.fill(0); }
    int press(DWORD scan_code, bool down = true) {
        hold(scan_code);
        const int result = korvan->clbkConsumeBufferedKey(scan_code, down, env.world.keystate.data());
        env.world.keystate[scan_code] = 0;
        return result;
    }
    struct Snapshot {
        int config, gear, doors, brakes;
        bool engaged, box;
        bool operator==(const Snapshot&) const = default;
    };
    Snapshot snapshot() const {
        return {korvan->config_index, korvan->gear_state,     korvan->door_state,
                korvan->brake_state,  korvan->engaged,        env.world.input_box.open};
    }
};

constexpr DWORD COMMAND_KEYS[] = {OAPI_KEY_J, OAPI_KEY_G, OAPI_KEY_K, OAPI_KEY_B, OAPI_KEY_O, OAPI_KEY_U};

TEST_F(KeysTest, ShiftOrControlHeldMakesEveryCommandKeyChangeNothing) {
    for (DWORD modifier : {OAPI_KEY_LSHIFT, OAPI_KEY_RSHIFT, OAPI_KEY_LCONTROL, OAPI_KEY_RCONTROL}) {
        for (DWORD key : COMMAND_KEYS) {
            const Snapshot before = snapshot();
            hold(modifier);
            EXPECT_EQ(press(key), 0) << modifier << " " << key;
            release_all();
            EXPECT_TRUE(snapshot() == before) << modifier << " " << key;
        }
    }
}

TEST_F(KeysTest, KeyReleasesAndUnknownKeysAreLeftToTheHost) {
    const Snapshot before = snapshot();
    EXPECT_EQ(press(OAPI_KEY_G, false), 0);
    EXPECT_EQ(press(0x1E), 0);  // A
    EXPECT_EQ(korvan->clbkConsumeBufferedKey(OAPI_KEY_G, true, nullptr), 0);
    EXPECT_TRUE(snapshot() == before);
}

TEST_F(KeysTest, TheStateBufferDecidesInTableOrder) {
    hold(OAPI_KEY_G);
    hold(OAPI_KEY_K);
    EXPECT_EQ(korvan->clbkConsumeBufferedKey(OAPI_KEY_K, true, env.world.keystate.data()), 1);
    EXPECT_EQ(korvan->gear_state, MECH_OPENING);
    EXPECT_EQ(korvan->door_state, MECH_CLOSED);
}

TEST_F(KeysTest, RefusedKeysAreConsumedExceptTheAzimuthEntry) {
    env.world.accept_delayed_keys = false;
    const Snapshot before = snapshot();
    struct Case {
        DWORD key;
        int result;
    } cases[] = {{OAPI_KEY_J, 1}, {OAPI_KEY_G, 1}, {OAPI_KEY_K, 1}, {OAPI_KEY_B, 1}, {OAPI_KEY_O, 1}, {OAPI_KEY_U, 0}};
    for (const Case& c : cases) EXPECT_EQ(press(c.key), c.result) << c.key;
    EXPECT_TRUE(snapshot() == before);
}

TEST_F(KeysTest, GTogglesTheGear) {
    EXPECT_EQ(press(OAPI_KEY_G), 1);
    EXPECT_EQ(korvan->gear_state, MECH_OPENING);
    EXPECT_EQ(press(OAPI_KEY_G), 1);
    EXPECT_EQ(korvan->gear_state, MECH_CLOSING);
}

TEST_F(KeysTest, KTogglesTheDoorsFromConfigurationMinusTwoUp) {
    struct Case {
        int config;
        int doors;
    } cases[] = {{-3, MECH_CLOSED}, {-2, MECH_OPENING}, {0, MECH_OPENING}, {5, MECH_OPENING}};
    for (const Case& c : cases) {
        korvan->door_state = MECH_CLOSED;
        korvan->config_index = c.config;
        EXPECT_EQ(press(OAPI_KEY_K), 1);
        EXPECT_EQ(korvan->door_state, c.doors) << c.config;
    }
}

TEST_F(KeysTest, BMovesTheBrakesAndTheWheelBrakesWithThem) {
    press(OAPI_KEY_B);
    EXPECT_EQ(korvan->brake_state, MECH_OPENING);
    EXPECT_TRUE(korvan->wheel_brakes_on);
    press(OAPI_KEY_B);
    EXPECT_EQ(korvan->brake_state, MECH_CLOSING);
    EXPECT_FALSE(korvan->wheel_brakes_on);
}

TEST_F(KeysTest, OEngagesAndDisengagesTheGuidance) {
    press(OAPI_KEY_O);
    EXPECT_TRUE(korvan->engaged);
    EXPECT_EQ(std::string(env.world.debug_line.data()), "Guidance ON");
    press(OAPI_KEY_O);
    EXPECT_FALSE(korvan->engaged);
    EXPECT_EQ(std::string(env.world.debug_line.data()), "Guidance OFF");
}

TEST_F(KeysTest, UOpensTheAzimuthEntry) {
    EXPECT_EQ(press(OAPI_KEY_U), 1);
    EXPECT_TRUE(env.world.input_box.open);
}

TEST_F(KeysTest, JWithTheDoorsClosedStepsThroughTheLaunchConfigurations) {
    korvan->config_index = -2;
    int seen[5] = {};
    for (int& config : seen) {
        EXPECT_EQ(press(OAPI_KEY_J), 1);
        config = korvan->config_index;
    }
    const int expected[5] = {-1, 0, 1, 1, 1};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(seen[i], expected[i]) << "press " << i + 1;
}

TEST_F(KeysTest, JInConfigurationTwoLeavesTheIndex) {
    korvan->config_index = 2;
    EXPECT_EQ(press(OAPI_KEY_J), 1);
    EXPECT_EQ(korvan->config_index, 2);
}

}  // namespace
