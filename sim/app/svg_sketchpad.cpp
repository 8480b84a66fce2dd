#include "svg_sketchpad.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace sim {

namespace {
std::string num(int v) { return std::to_string(v); }
// Height of the 16 px monospace font above its baseline: text is placed by its top-left
// corner, and not every SVG renderer honours a hanging baseline.
constexpr int kTextAscentPx = 13;
}  // namespace

HUDPAINTSPEC hud_paint_spec() {
    HUDPAINTSPEC hps{};
    hps.W = kHudWidth;
    hps.H = kHudHeight;
    hps.CX = kHudWidth / 2;
    hps.CY = kHudHeight / 2;
    hps.Scale = kHudPixelsPerDegree * DEG;  // pixels per radian
    hps.Markersize = kHudMarkerSize;
    return hps;
}

SvgSketchpad::SvgSketchpad(int width, int height) : width_(width), height_(height) {}

bool SvgSketchpad::Text(int x, int y, const char* str, int len) {
    if (str == nullptr || len <= 0) return false;
    const size_t n = strnlen(str, static_cast<size_t>(len));
    // The host's text is placed by its top-left corner and keeps its spaces.
    elements_.push_back("<text x=\"" + num(x) + "\" y=\"" + num(y + kTextAscentPx) +
                        "\" xml:space=\"preserve\">" +
                        xml_escape(std::string(str, n)) + "</text>");
    return true;
}

void SvgSketchpad::MoveTo(int x, int y) {
    pen_x_ = x;
    pen_y_ = y;
}

void SvgSketchpad::LineTo(int x, int y) {
    Line(pen_x_, pen_y_, x, y);
    pen_x_ = x;
    pen_y_ = y;
}

void SvgSketchpad::Line(int x0, int y0, int x1, int y1) {
    elements_.push_back("<line x1=\"" + num(x0) + "\" y1=\"" + num(y0) + "\" x2=\"" + num(x1) + "\" y2=\"" +
                        num(y1) + "\"/>");
    pen_x_ = x1;
    pen_y_ = y1;
}

void SvgSketchpad::Rectangle(int x0, int y0, int x1, int y1) {
    elements_.push_back("<rect x=\"" + num(std::min(x0, x1)) + "\" y=\"" + num(std::min(y0, y1)) + "\" width=\"" +
                        num(std::abs(x1 - x0)) + "\" height=\"" + num(std::abs(y1 - y0)) + "\"/>");
}

void SvgSketchpad::Ellipse(int x0, int y0, int x1, int y1) {
    // Coordinates are doubled so that half-pixel centres stay exact integers in the text.
    const int cx2 = x0 + x1, cy2 = y0 + y1;
    auto half = [](int v2) { return std::to_string(v2 / 2) + (v2 % 2 != 0 ? ".5" : ""); };
    elements_.push_back("<ellipse cx=\"" + half(cx2) + "\" cy=\"" + half(cy2) + "\" rx=\"" +
                        half(std::abs(x1 - x0)) + "\" ry=\"" + half(std::abs(y1 - y0)) + "\"/>");
}

std::string SvgSketchpad::svg() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + num(width_) + "\" height=\"" + num(height_) +
           "\" viewBox=\"0 0 " + num(width_) + " " + num(height_) + "\">\n";
    out += "<rect x=\"0\" y=\"0\" width=\"" + num(width_) + "\" height=\"" + num(height_) + "\" fill=\"#101418\"/>\n";
    out += "<g stroke=\"#40ff60\" fill=\"none\" stroke-width=\"1.5\" font-family=\"monospace\" font-size=\"16\">\n";
    for (const std::string& e : elements_) {
        // Text is filled, not stroked.
        if (e.rfind("<text", 0) == 0)
            out += "<g fill=\"#40ff60\" stroke=\"none\">" + e + "</g>\n";
        else
            out += e + "\n";
    }
    out += "</g>\n</svg>\n";
    return out;
}

std::string xml_escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20) out += c;
        }
    }
    return out;
}

}  // namespace sim
