// The standard HUD the host draws under the vessel's items: the horizon where pitch and bank
// put it, and the orbit mode's markers where the velocity points.
#include <gtest/gtest.h>

#include <cmath>

#include "runtime/recording_sketchpad.h"
#include "standard_hud.h"
#include "svg_sketchpad.h"

namespace {

using Call = runtime::RecordingSketchpad::Call;
using Kind = runtime::RecordingSketchpad::Kind;

TEST(StandardHud, TheHorizonLiesWherePitchAndBankPutIt) {
    const HUDPAINTSPEC hps = sim::hud_paint_spec();
    const double px_per_deg = hps.Scale * PI / 180.0;
    for (double pitch = -29.0; pitch <= 29.0; pitch += 7.25) {
        for (double bank = -170.0; bank <= 170.0; bank += 23.0) {
            runtime::RecordingSketchpad skp;
            sim::StandardHudInput in;
            in.pitch_deg = pitch, in.bank_deg = bank, in.heading_deg = 90.0, in.airspeed_m_s = 200.0;
            sim::draw_standard_hud(skp, hps, in);
            // The horizon's two halves are the ladder's longest lines.
            std::vector<Call> longest;
            double longest_length = 0.0;
            for (const Call& c : skp.calls) {
                if (c.kind != Kind::Line) continue;
                const double length = std::hypot(c.x1 - c.x0, c.y1 - c.y0);
                if (length > longest_length + 5.0) longest.clear(), longest_length = length;
                if (length > longest_length - 5.0) longest.push_back(c);
            }
            ASSERT_EQ(longest.size(), 2u) << pitch << " " << bank;
            // Its middle sits pitch x Scale below the centre, turned by the bank; it runs along
            // the bank angle (screen y down: a left wing down turns it clockwise).
            const double mid_x = (longest[0].x0 + longest[1].x0) / 2.0 - hps.CX;
            const double mid_y = (longest[0].y0 + longest[1].y0) / 2.0 - hps.CY;
            const double b = bank * PI / 180.0;
            EXPECT_NEAR(mid_x, -std::sin(b) * pitch * px_per_deg, 1.5) << pitch << " " << bank;
            EXPECT_NEAR(mid_y, std::cos(b) * pitch * px_per_deg, 1.5) << pitch << " " << bank;
            const Call& half = longest[0];
            const double along = std::atan2(half.y1 - half.y0, half.x1 - half.x0) * 180.0 / PI;
            EXPECT_NEAR(std::abs(std::remainder(along - bank, 180.0)), 0.0, 1.0) << pitch << " " << bank;
        }
    }
}

TEST(StandardHud, OrbitModeMarksProgradeAndRetrogradeWhereTheyPoint) {
    const HUDPAINTSPEC hps = sim::hud_paint_spec();
    sim::StandardHudInput in;
    in.mode = sim::kHudModeOrbit;
    in.prograde = sim::hud_direction(_V(std::tan(3.0 * PI / 180.0), std::tan(-2.0 * PI / 180.0), 1.0));
    in.retrograde = sim::hud_direction(_V(-std::tan(3.0 * PI / 180.0), std::tan(2.0 * PI / 180.0), -1.0));
    EXPECT_FALSE(in.retrograde.in_front);
    runtime::RecordingSketchpad skp;
    sim::draw_standard_hud(skp, hps, in);
    std::vector<Call> circles;
    for (const Call& c : skp.calls)
        if (c.kind == Kind::Ellipse) circles.push_back(c);
    ASSERT_EQ(circles.size(), 1u) << "the retrograde marker lies behind the pilot";
    EXPECT_EQ((circles[0].x0 + circles[0].x1) / 2, hps.CX + 30);  // 3 degrees right at 10 px a degree
    EXPECT_EQ((circles[0].y0 + circles[0].y1) / 2, hps.CY + 20);  // 2 degrees below
    const std::vector<std::string> texts = skp.texts();
    EXPECT_NE(std::find_if(texts.begin(), texts.end(), [](const std::string& t) { return t.rfind("ApA", 0) == 0; }),
              texts.end());
}

}  // namespace
