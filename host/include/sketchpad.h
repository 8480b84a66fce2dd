// The drawing surface handed to clbkDrawHUD. The base class draws nothing; the runtime
// offers a recording one (runtime/recording_sketchpad.h) and the headless host one that
// writes SVG.
#pragma once

namespace oapi {

class Sketchpad {
public:
    virtual ~Sketchpad() = default;
    virtual bool Text(int x, int y, const char* str, int len) {
        (void)x, (void)y, (void)str, (void)len;
        return false;
    }
    virtual void MoveTo(int x, int y) { (void)x, (void)y; }
    virtual void LineTo(int x, int y) { (void)x, (void)y; }
    virtual void Line(int x0, int y0, int x1, int y1) { (void)x0, (void)y0, (void)x1, (void)y1; }
    virtual void Rectangle(int x0, int y0, int x1, int y1) { (void)x0, (void)y0, (void)x1, (void)y1; }
    virtual void Ellipse(int x0, int y0, int x1, int y1) { (void)x0, (void)y0, (void)x1, (void)y1; }
};

}  // namespace oapi
