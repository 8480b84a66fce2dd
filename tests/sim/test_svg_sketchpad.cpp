#include <gtest/gtest.h>

#include "svg_sketchpad.h"

namespace {

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(SvgSketchpad, TheHudIs1024By768WithTenPixelsPerDegree) {
    const HUDPAINTSPEC hps = sim::hud_paint_spec();
    EXPECT_EQ(hps.W, 1024);
    EXPECT_EQ(hps.H, 768);
    EXPECT_EQ(hps.CX, 512);
    EXPECT_EQ(hps.CY, 384);
    EXPECT_NEAR(hps.Scale * RAD, 10.0, 1e-12);
    EXPECT_EQ(hps.Markersize, 16);
}

TEST(SvgSketchpad, DrawsEachOperationAsOneElementOnADarkBackground) {
    sim::SvgSketchpad skp(1024, 768);
    skp.Rectangle(10, 20, 4, 26);
    skp.Ellipse(100, 100, 107, 110);
    skp.MoveTo(1, 2);
    skp.LineTo(3, 4);
    skp.LineTo(5, 6);
    skp.Line(7, 8, 9, 10);
    EXPECT_TRUE(skp.Text(50, 60, "BAY and more", 3));
    const std::string svg = skp.svg();
    EXPECT_EQ(skp.element_count(), 6u);
    EXPECT_TRUE(contains(svg, "width=\"1024\" height=\"768\""));
    EXPECT_TRUE(contains(svg, "fill=\"#101418\""));
    EXPECT_TRUE(contains(svg, "<rect x=\"4\" y=\"20\" width=\"6\" height=\"6\"/>"));
    EXPECT_TRUE(contains(svg, "<ellipse cx=\"103.5\" cy=\"105\" rx=\"3.5\" ry=\"5\"/>"));
    EXPECT_TRUE(contains(svg, "<line x1=\"1\" y1=\"2\" x2=\"3\" y2=\"4\"/>"));
    EXPECT_TRUE(contains(svg, "<line x1=\"3\" y1=\"4\" x2=\"5\" y2=\"6\"/>"));
    EXPECT_TRUE(contains(svg, "<line x1=\"7\" y1=\"8\" x2=\"9\" y2=\"10\"/>"));
    EXPECT_TRUE(contains(svg, ">BAY</text>"));
    EXPECT_TRUE(contains(svg, "</svg>"));
}

TEST(SvgSketchpad, TextIsEscapedAndStopsAtItsLengthOrItsEnd) {
    sim::SvgSketchpad skp(100, 100);
    skp.Text(0, 0, "<a&b>\"'", 7);
    skp.Text(0, 0, "  0.98 G", 40);  // shorter than the length given
    EXPECT_FALSE(skp.Text(0, 0, nullptr, 3));
    EXPECT_FALSE(skp.Text(0, 0, "x", 0));
    const std::string svg = skp.svg();
    EXPECT_TRUE(contains(svg, ">&lt;a&amp;b&gt;&quot;&apos;</text>"));
    EXPECT_TRUE(contains(svg, ">  0.98 G</text>"));
    EXPECT_EQ(skp.element_count(), 2u);
}

}  // namespace
