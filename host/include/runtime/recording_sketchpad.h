// A Sketchpad that records every drawing call in order, so that tests can check the exact
// coordinates and texts a vessel draws.
#pragma once

#include <string>
#include <vector>

#include "sketchpad.h"

namespace runtime {

class RecordingSketchpad : public oapi::Sketchpad {
public:
    enum class Kind { Text, MoveTo, LineTo, Line, Rectangle, Ellipse };

    // One drawing call: the points it was given (x0, y0 for one point; all four for a line,
    // rectangle or ellipse) and, for Text, exactly the len characters passed.
    struct Call {
        Kind kind;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        std::string text;
        bool operator==(const Call&) const = default;
    };

    std::vector<Call> calls;

    bool Text(int x, int y, const char* str, int len) override {
        std::string t;
        if (str != nullptr && len > 0) t.assign(str, static_cast<size_t>(len));
        calls.push_back({Kind::Text, x, y, 0, 0, std::move(t)});
        return true;
    }
    void MoveTo(int x, int y) override { calls.push_back({Kind::MoveTo, x, y, 0, 0, {}}); }
    void LineTo(int x, int y) override { calls.push_back({Kind::LineTo, x, y, 0, 0, {}}); }
    void Line(int x0, int y0, int x1, int y1) override { calls.push_back({Kind::Line, x0, y0, x1, y1, {}}); }
    void Rectangle(int x0, int y0, int x1, int y1) override { calls.push_back({Kind::Rectangle, x0, y0, x1, y1, {}}); }
    void Ellipse(int x0, int y0, int x1, int y1) override { calls.push_back({Kind::Ellipse, x0, y0, x1, y1, {}}); }

    // The texts drawn, in order.
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Call& c : calls)
            if (c.kind == Kind::Text) out.push_back(c.text);
        return out;
    }
    void clear() { calls.clear(); }
};

}  // namespace runtime
