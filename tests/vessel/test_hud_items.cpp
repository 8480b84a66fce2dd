// The head-up display items, with exact coordinates from a recording sketchpad.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "runtime/recording_sketchpad.h"
#include "tests/vessel/vessel_fixture.h"

namespace {

using korvan_test::KorvanTest;
using Kind = runtime::RecordingSketchpad::Kind;
using Call = runtime::RecordingSketchpad::Call;

// A 800 x 600 HUD centred at (400, 300), 10 pixels per degree, marker size 7: m = 3.
constexpr HUDPAINTSPEC kHud{800, 600, 400, 300, 10.0, 7};

Call rect(int x0, int y0, int x1, int y1) { return {Kind::Rectangle, x0, y0, x1, y1, {}}; }
Call line(int x0, int y0, int x1, int y1) { return {Kind::Line, x0, y0, x1, y1, {}}; }
Call ellipse(int x0, int y0, int x1, int y1) { return {Kind::Ellipse, x0, y0, x1, y1, {}}; }
Call move(int x, int y) { return {Kind::MoveTo, x, y, 0, 0, {}}; }
Call to(int x, int y) { return {Kind::LineTo, x, y, 0, 0, {}}; }
Call text(int x, int y, const std::string& t) { return {Kind::Text, x, y, 0, 0, t}; }

class HudTest : public KorvanTest {
protected:
    void SetUp() override {
        KorvanTest::SetUp();
        auto& pins = env.record(korvan).pins;
        pins.altitude = 5000.0;  // no radar altitude
        pins.atm_pressure = 0.0;  // no air data
        pins.dyn_pressure = 0.0;
        pins.mass = 1000.0;
        pins.force = _V(0.0, 0.0, 0.0);
        pins.weight = _V(0.0, -9810.0, 0.0);
        korvan->cutoff_done = true;  // no marker unless a test asks for it
    }
    std::vector<Call> draw(const HUDPAINTSPEC& hps = kHud) {
        runtime::RecordingSketchpad skp;
        EXPECT_TRUE(korvan->clbkDrawHUD(0, &hps, &skp));
        return skp.calls;
    }
    static std::vector<Call> only(const std::vector<Call>& calls, std::initializer_list<Kind> kinds) {
        std::vector<Call> out;
        for (const Call& c : calls) {
            for (Kind k : kinds)
                if (c.kind == k) out.push_back(c);
        }
        return out;
    }
    static bool has(const std::vector<Call>& calls, const Call& wanted) {
        for (const Call& c : calls)
            if (c == wanted) return true;
        return false;
    }
};

const std::vector<Call> GEAR_SQUARES = {rect(399, 285, 401, 288), rect(391, 294, 394, 297), rect(406, 294, 409, 297)};

TEST_F(HudTest, TheGearSquaresShowSteadyWhenDownAndBlinkWhileMoving) {
    struct Case {
        int state;
        double time;
        bool shown;
    } cases[] = {{MECH_OPEN, 0.2, true},     {MECH_OPEN, 0.7, true},     {MECH_OPENING, 0.2, true},
                 {MECH_OPENING, 0.7, false}, {MECH_CLOSING, 1.49, true}, {MECH_CLOSING, 1.5, false},
                 {MECH_CLOSED, 0.2, false},  {-1, 0.2, false},           {9, 0.2, true}};
    for (const Case& c : cases) {
        korvan->gear_state = c.state;
        env.world.sim_time = c.time;
        const auto rects = only(draw(), {Kind::Rectangle});
        EXPECT_EQ(rects, c.shown ? GEAR_SQUARES : std::vector<Call>{}) << c.state << " at " << c.time;
    }
}

TEST_F(HudTest, TheNoseGearSquareScalesWithTheMarkerSize) {
    korvan->gear_state = MECH_OPEN;
    struct Case {
        int marker_size;
        Call nose;
    } cases[] = {{7, rect(399, 285, 401, 288)}, {6, rect(399, 285, 401, 288)}, {8, rect(398, 280, 402, 284)},
                 {12, rect(397, 270, 403, 276)}, {1, rect(400, 300, 400, 300)}};
    for (const Case& c : cases) {
        HUDPAINTSPEC hps = kHud;
        hps.Markersize = c.marker_size;
        const auto rects = only(draw(hps), {Kind::Rectangle});
        ASSERT_EQ(rects.size(), 3u) << c.marker_size;
        EXPECT_EQ(rects[0], c.nose) << c.marker_size;
    }
}

TEST_F(HudTest, TheBayArcHasEightSegmentsAndALabel) {
    korvan->door_state = MECH_OPEN;
    const auto calls = only(draw(), {Kind::Line, Kind::LineTo, Kind::Text});
    const std::vector<Call> expected = {line(388, 274, 391, 277), to(394, 279), to(397, 280), to(400, 280),
                                        to(403, 280),            to(406, 279), to(409, 277), to(412, 274),
                                        text(397, 276, "BAY")};
    ASSERT_GE(calls.size(), expected.size());
    EXPECT_EQ(std::vector<Call>(calls.begin(), calls.begin() + 9), expected);
}

TEST_F(HudTest, TheBrakesLabelIsSteadyOnlyWhenEngagedAndFullyOut) {
    const Call brakes = text(373, 303, "BRAKES");
    struct Case {
        bool wheel_brakes;
        double position, time;
        bool shown;
    } cases[] = {{true, 1.0, 0.3, true},   {true, 1.0, 0.1, true},   {true, 0.5, 0.1, true},  {true, 0.5, 0.3, false},
                 {false, 0.5, 0.6, true},  {false, 0.5, 0.8, false}, {false, 0.0, 0.1, false}, {true, 1.5, 0.1, false}};
    for (const Case& c : cases) {
        korvan->wheel_brakes_on = c.wheel_brakes;
        korvan->brake_position = c.position;
        env.world.sim_time = c.time;
        EXPECT_EQ(has(draw(), brakes), c.shown) << c.wheel_brakes << " " << c.position << " at " << c.time;
    }
}

TEST_F(HudTest, TheIndicatorsNeedTheCentreNearTheDrawingArea) {
    korvan->gear_state = MECH_OPEN;
    struct Case {
        int cx, cy;
        bool shown;
    } cases[] = {{-9, 300, true}, {-10, 300, false}, {808, 300, true}, {809, 300, false},
                 {400, 3, true},  {400, 2, false},   {400, 614, true}, {400, 615, false}};
    for (const Case& c : cases) {
        HUDPAINTSPEC hps = kHud;
        hps.CX = c.cx;
        hps.CY = c.cy;
        EXPECT_EQ(only(draw(hps), {Kind::Rectangle}).size(), c.shown ? 3u : 0u) << c.cx << "," << c.cy;
    }
}

TEST_F(HudTest, AirDataShowsOnlyInTheAtmosphere) {
    auto& pins = env.record(korvan).pins;
    pins.atm_pressure = 101400.0;
    pins.dyn_pressure = 0.0;
    pins.altitude = 1.35;
    auto calls = draw();
    EXPECT_TRUE(has(calls, text(200, 147, "   0.0 KEAS")));
    EXPECT_TRUE(has(calls, text(576, 147, "     0'")));
    EXPECT_TRUE(has(calls, text(576, 153, "     0R")));
    pins.atm_pressure = 0.0;
    calls = draw();
    EXPECT_EQ(only(calls, {Kind::Text}), (std::vector<Call>{text(576, 153, "     0R"), text(200, 153, "  1.00 G")}));
}

TEST_F(HudTest, TheAltitudeReadoutsFollowTheirRules) {
    auto& pins = env.record(korvan).pins;
    pins.atm_pressure = 5474.9;
    struct Case {
        double altitude;
        const char* pressure_altitude;  // empty: not drawn
        const char* radar;
    } cases[] = {{20000.0, " 65600'", ""},       {18293.0, " 60000'", ""}, {100000.0, "", ""},
                 {761.0, nullptr, "  2492R"},    {762.0, nullptr, ""}};
    for (const Case& c : cases) {
        pins.altitude = c.altitude;
        const auto calls = draw();
        bool pressure_drawn = false, radar_drawn = false;
        for (const Call& call : calls) {
            if (call.kind != Kind::Text) continue;
            if (call.x0 == 576 && call.y0 == 147) {
                pressure_drawn = true;
                if (c.pressure_altitude != nullptr) {
                    EXPECT_EQ(call.text, std::string(c.pressure_altitude).substr(0, 7));
                }
            }
            if (call.x0 == 576 && call.y0 == 153) {
                radar_drawn = true;
                EXPECT_EQ(call.text, c.radar);
            }
        }
        if (c.pressure_altitude != nullptr) {
            EXPECT_EQ(pressure_drawn, *c.pressure_altitude != '\0') << c.altitude;
        }
        EXPECT_EQ(radar_drawn, *c.radar != '\0') << c.altitude;
    }
}

TEST_F(HudTest, BelowTheGeometricLimitThePressureAltitudeComesFromThePressureInFiftyFootSteps) {
    // Feet = (1 - (p / 101400)^0.190263) x 145440.688, truncated, then cut toward zero to a
    // multiple of 50; above 18292 m the altitude x 3.28 stands in for it.
    auto& pins = env.record(korvan).pins;
    struct Case {
        double altitude, pressure;
        const char* shown;
    } cases[] = {
        {1000.0, 89874.6, "  3300'"},    // 3300.8 ft
        {3000.0, 69733.0675, "  9950'"}, // 9999.95 ft: 9999, then down to 9950
        {5000.0, 54019.9, " 16400'"},    // 16422.2 ft
        {10000.0, 26436.3, " 32800'"},   // 32823.9 ft
        {18000.0, 7565.2, " 56650'"},    // 56680.5 ft
        {18292.0, 7504.8, " 56800'"},    // 56815.8 ft: still from the pressure
        {18292.5, 7504.8, " 59950'"},    // 59999.4 ft from the altitude
        {0.0, 102000.0, "  -150'"},      // -163.3 ft: toward zero
    };
    for (const Case& c : cases) {
        pins.altitude = c.altitude;
        pins.atm_pressure = c.pressure;
        EXPECT_TRUE(has(draw(), text(576, 147, c.shown))) << c.altitude << " m, " << c.pressure << " Pa";
    }
}

TEST_F(HudTest, TheLoadFactorIsAlwaysShown) {
    auto& pins = env.record(korvan).pins;
    struct Case {
        double mass;
        VECTOR3 force;
        const char* shown;
    } cases[] = {{1000.0, _V(0.0, 0.0, 0.0), "  1.00 G"},
                 {1000.0, _V(0.0, 9810.0, 0.0), "  2.00 G"},
                 {1000.0, _V(0.0, -9810.0, 0.0), "  0.00 G"},
                 {0.0, _V(0.0, 9810.0, 0.0), "  0.00 G"},
                 {-5.0, _V(0.0, 9810.0, 0.0), "  0.00 G"}};
    for (const Case& c : cases) {
        pins.mass = c.mass;
        pins.force = c.force;
        EXPECT_TRUE(has(draw(), text(200, 153, c.shown))) << c.shown;
    }
}

TEST_F(HudTest, HugeAndUndefinedValuesDrawWithoutHarm) {
    auto& pins = env.record(korvan).pins;
    pins.force = _V(1e300, 0.0, 0.0);
    pins.mass = 1e-300;
    pins.atm_pressure = 1e300;
    pins.dyn_pressure = std::numeric_limits<double>::infinity();
    pins.altitude = -1e300;
    korvan->cutoff_done = false;
    korvan->bank_demand = std::numeric_limits<double>::quiet_NaN();
    korvan->pitch_error = 1e300;
    korvan->marker_bank_angle = std::numeric_limits<double>::infinity();
    HUDPAINTSPEC hps = kHud;
    hps.Scale = std::numeric_limits<double>::quiet_NaN();
    const auto calls = draw(hps);
    EXPECT_FALSE(calls.empty());
    hps = {2147483647, 2147483647, 2147483647, -2147483647, 1e300, 2147483647};
    draw(hps);
    runtime::RecordingSketchpad skp;
    EXPECT_TRUE(korvan->clbkDrawHUD(0, nullptr, &skp));
    EXPECT_TRUE(korvan->clbkDrawHUD(0, &kHud, nullptr));
}

TEST_F(HudTest, TheMarkerIsACircleWhileGuidanceIsOff) {
    korvan->cutoff_done = false;
    const auto calls = only(draw(), {Kind::Ellipse, Kind::MoveTo, Kind::LineTo});
    const std::vector<Call> expected = {ellipse(397, 297, 403, 303), move(407, 300), to(403, 300), move(393, 300),
                                        to(397, 300),                move(400, 295), to(400, 297)};
    EXPECT_EQ(calls, expected);
}

TEST_F(HudTest, TheMarkerIsADiamondWhileGuidanceIsOn) {
    korvan->cutoff_done = false;
    korvan->engaged = true;
    korvan->armed = true;  // before the release as well
    const auto calls = only(draw(), {Kind::Ellipse, Kind::MoveTo, Kind::LineTo});
    const std::vector<Call> expected = {move(407, 300), to(403, 300), move(393, 300), to(397, 300),
                                        move(400, 295), to(400, 297), move(400, 297), to(403, 300),
                                        to(400, 303),   to(397, 300), to(400, 297)};
    EXPECT_EQ(calls, expected);
}

TEST_F(HudTest, TheMarkerSitsAtTheBankDemandAndPitchErrorTiltedByTheMarkerAngle) {
    korvan->cutoff_done = false;
    korvan->bank_demand = 10.0;   // 10 deg in rad x 10 = 1.745: 1 pixel right
    korvan->pitch_error = 2.0;    // 20 pixels up
    korvan->marker_bank_angle = PI / 2.0;
    const auto calls = only(draw(), {Kind::Ellipse, Kind::MoveTo, Kind::LineTo});
    // cos = 6e-17 truncates to 0; sin = 1.
    const std::vector<Call> expected = {ellipse(398, 277, 404, 283), move(401, 287), to(401, 283), move(401, 273),
                                        to(401, 277),                move(406, 280), to(404, 280)};
    EXPECT_EQ(calls, expected);
}

TEST_F(HudTest, NoMarkerAfterACutOff) {
    korvan->cutoff_done = true;
    korvan->engaged = true;
    EXPECT_TRUE(only(draw(), {Kind::Ellipse, Kind::MoveTo, Kind::LineTo}).empty());
}

}  // namespace
