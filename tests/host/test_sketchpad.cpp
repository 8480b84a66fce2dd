// The recording sketchpad keeps every drawing call, in order, with exact coordinates and
// exactly the characters asked for.
#include <gtest/gtest.h>

#include "runtime/recording_sketchpad.h"

namespace {

using Kind = runtime::RecordingSketchpad::Kind;
using Call = runtime::RecordingSketchpad::Call;

TEST(RecordingSketchpad, records_every_call_in_order) {
    runtime::RecordingSketchpad skp;
    oapi::Sketchpad& pad = skp;
    EXPECT_TRUE(pad.Text(10, 20, "  123.4 KEAS and more", 11));
    pad.MoveTo(1, 2);
    pad.LineTo(3, 4);
    pad.Line(-5, 6, 7, -8);
    pad.Rectangle(0, 0, 9, 9);
    pad.Ellipse(2, 3, 4, 5);
    pad.Text(0, 0, nullptr, 3);
    const std::vector<Call> expected = {
        {Kind::Text, 10, 20, 0, 0, "  123.4 KEA"},
        {Kind::MoveTo, 1, 2, 0, 0, ""},
        {Kind::LineTo, 3, 4, 0, 0, ""},
        {Kind::Line, -5, 6, 7, -8, ""},
        {Kind::Rectangle, 0, 0, 9, 9, ""},
        {Kind::Ellipse, 2, 3, 4, 5, ""},
        {Kind::Text, 0, 0, 0, 0, ""},
    };
    EXPECT_EQ(skp.calls, expected);
    EXPECT_EQ(skp.texts(), (std::vector<std::string>{"  123.4 KEA", ""}));
    skp.clear();
    EXPECT_TRUE(skp.calls.empty());
}

}  // namespace
