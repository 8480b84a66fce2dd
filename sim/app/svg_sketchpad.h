// An oapi::Sketchpad that draws into an SVG picture: the headless host's HUD frames.
#pragma once

#include <string>
#include <vector>

#include "orbiter_api.h"
#include "sketchpad.h"

namespace sim {

// The HUD the headless host draws: 1024 x 768 pixels, centred. Scale is 10 pixels per
// degree of angle (the flight-director marker moves 10 px per degree of pitch error);
// Markersize is 1/64 of the width, so half a marker (m) is 8 px.
constexpr int kHudWidth = 1024;
constexpr int kHudHeight = 768;
constexpr double kHudPixelsPerDegree = 10.0;
constexpr int kHudMarkerSize = kHudWidth / 64;
HUDPAINTSPEC hud_paint_spec();

class SvgSketchpad : public oapi::Sketchpad {
public:
    SvgSketchpad(int width, int height);

    bool Text(int x, int y, const char* str, int len) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Line(int x0, int y0, int x1, int y1) override;
    void Rectangle(int x0, int y0, int x1, int y1) override;
    void Ellipse(int x0, int y0, int x1, int y1) override;

    // The whole picture: a dark background and every element drawn so far.
    std::string svg() const;
    size_t element_count() const { return elements_.size(); }

private:
    int width_, height_;
    int pen_x_ = 0, pen_y_ = 0;
    std::vector<std::string> elements_;
};

// Characters that XML reserves, written as entities; control characters dropped.
std::string xml_escape(const std::string& text);

}  // namespace sim
