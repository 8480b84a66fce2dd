// The Korvan's shape, from one parametric description: the fuselage as stations of a
// chined cross-section along its length, with the two bays and the nose-gear well cut into
// it; a thin delta wing with elevons; twin fins with rudders on two tail pods; a ventral
// engine box with four nozzles; two main-gear pods with their wells; the gear; the doors.
//
// Vessel frame: x right, y up, z forward, metres. Where a figure is also one of the
// vessel's own (a hinge, a touchdown point, an exhaust point), the shape is made to pass
// through it exactly.
#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "hull_model.h"

namespace korvan_assets {

namespace {

// --- The figures the vessel gives that the shape must meet -----------------------------
// Bay-door hinge lines (x, y), along z.
constexpr double kBayHalfWidth = 1.2, kBayHingeY = 1.353;      // forward (standard) bay
constexpr double kBayBHalfWidth = 2.05, kBayBHingeY = 1.583;   // mid (B) bay
// The nose-gear door's hinge line: through (-0.752, -6, 20) along (0, 0.19611, 0.98058).
constexpr double kNoseDoorHalfWidth = 0.752;
constexpr double kNoseDoorHingeY = -6.0, kNoseDoorHingeZ = 20.0, kNoseDoorSlope = 0.19611 / 0.98058;
const Vec3 kNoseLegPivot{0.0, -5.0, 25.0};
// Main-gear door hinges at x = +-8.8, y = -10, along z; the main gear frame's hinge line
// through (0, -2.5, -35.5) along x.
constexpr double kMainDoorHingeX = 8.8, kMainDoorHingeY = -10.0;
const Vec3 kMainFramePivot{0.0, -2.5, -35.5};
// Wheels: the lowest points of the gear-down wheels are the touchdown points.
const Vec3 kNoseTouchdown{0.0, -11.8, 23.0};
const Vec3 kMainTouchdownRight{8.7, -13.14, -11.9};
// Control surfaces: elevon hinge line y = 0.05, z = -43.15 (reference x = +-17.5); rudder
// hinge lines x = +-10.25, z = -42.8, vertical (reference y = 4).
constexpr double kElevonHingeY = 0.05, kElevonHingeZ = -43.15;
constexpr double kRudderHingeX = 10.25, kRudderHingeZ = -42.8;
// Main-engine exhaust points: x = +-2, +-6 at y = -10, z = -19.
constexpr double kNozzleX[] = {-6.0, -2.0, 2.0, 6.0};
constexpr double kNozzleY = -10.0, kNozzleExitZ = -19.0;
// Attitude-thruster flames drawn on the skin: the nose chine at z = 44.95 passes through
// (+-3.87, 0), the top there through (+-0.5, 0.65); the nose face lies at z = 47.37; at the
// tail (z = -47.21) the top passes (+-0.5, 1.6), the bottom (+-0.5, -0.5), the tail pods
// (+-11.4, 0); the tail face lies at z = -48.5.
constexpr double kNoseFaceZ = 47.37, kNoseChineZ = 44.95, kNoseChineHalfWidth = 3.87;
constexpr double kTailRcsZ = -47.21, kTailFaceZ = -48.5;
constexpr double kTailPodRadius = 11.4 - kRudderHingeX;

// --- Our own choices --------------------------------------------------------------------
constexpr double kBayZ0 = 12.0, kBayZ1 = 27.0;             // forward bay, holds "NG" and "X"
constexpr double kBayBZ0 = -9.0, kBayBZ1 = 9.0;            // mid bay, the B's payload and dock
constexpr double kBayFloorY = -2.75, kBayBFloorY = -1.1;
constexpr double kNoseWellZ0 = 17.2, kNoseWellZ1 = 25.4, kNoseWellCeilingY = -3.35;
constexpr double kMainWellZ0 = -13.3, kMainWellZ1 = -9.0, kMainWellCeilingY = -5.0;
constexpr double kMainDoorInnerX = 7.8;   // the door's free edge, on the pod's chine
constexpr double kMainDoorDrop = 0.57;    // m the chine falls from the hinge to the free edge
constexpr double kDoorThickness = 0.06, kMainDoorThickness = 0.05;
constexpr double kNoseDoorEndGap = 0.02;  // m between the nose door's ends and its well's
constexpr int kCircleSides = 24;

double nose_door_hinge_y(double z) { return kNoseDoorHingeY + kNoseDoorSlope * (z - kNoseDoorHingeZ); }

// --- The fuselage's cross-section --------------------------------------------------------
// A chined section: half-width w at the chine height yc, crest yt, keel yb; the top follows
// yc + (yt - yc) (1 - u^pt)^qt with u = |x| / w, the bottom likewise down to yb. q = 1 gives a
// sharp chine, q = 0.5 a round side.
struct Section {
    double w, yc, yt, yb, pt, qt, pb, qb;
};

double shape(double u, double p, double q) {
    u = std::clamp(u, 0.0, 1.0);
    return std::pow(std::max(0.0, 1.0 - std::pow(u, p)), q);
}
double top_y(const Section& s, double x) { return s.yc + (s.yt - s.yc) * shape(std::fabs(x) / s.w, s.pt, s.qt); }
double bottom_y(const Section& s, double x) { return s.yc - (s.yc - s.yb) * shape(std::fabs(x) / s.w, s.pb, s.qb); }
// The crest or keel that makes the curve pass through (x, y).
double crest_through(const Section& s, double x, double y) { return s.yc + (y - s.yc) / shape(x / s.w, s.pt, s.qt); }
double keel_through(const Section& s, double x, double y) { return s.yc - (s.yc - y) / shape(x / s.w, s.pb, s.qb); }

// Stations along the fuselage, nose to tail; between them every figure runs linearly. A NaN
// crest or keel is fixed by the constraints of that place (see constrained).
constexpr double kFree = NAN;
struct Station {
    double z;
    Section s;
};
const Station kStations[] = {
    {kNoseFaceZ, {0.62, 0.0, 0.16, -0.14, 2.0, 1.0, 2.0, 1.0}},
    {46.6, {2.2, 0.0, 0.42, -0.3, 2.0, 1.0, 2.0, 1.0}},
    {kNoseChineZ, {kNoseChineHalfWidth, 0.0, kFree, -0.5, 2.0, 1.0, 2.0, 1.0}},
    {40.0, {4.15, -0.25, 1.0, -1.25, 2.0, 0.8, 2.0, 1.2}},
    {32.0, {4.35, -0.6, 1.25, -2.7, 2.0, 0.6, 2.0, 1.8}},
    {kBayZ1, {4.45, -0.8, kFree, -4.0, 2.0, 0.5, 2.0, 2.0}},
    {kNoseWellZ1, {4.5, -0.8, kFree, kFree, 2.0, 0.5, 2.0, 2.0}},
    {kNoseWellZ0, {4.55, -0.8, kFree, kFree, 2.0, 0.5, 2.0, 2.0}},
    {kBayZ0, {4.7, -0.8, kFree, -3.4, 2.0, 0.5, 2.0, 1.5}},
    {kBayBZ1, {5.4, -0.8, kFree, -3.3, 2.0, 0.4, 2.0, 1.5}},
    {kBayBZ0, {8.7, -1.9, kFree, -3.2, 2.0, 0.7, 2.0, 1.5}},
    {kMainWellZ1 - 0.6, {9.2, -1.95, 0.95, -3.2, 2.0, 1.0, 2.0, 1.5}},
    {-15.0, {9.2, -1.95, 0.95, -3.2, 2.0, 1.0, 2.0, 1.5}},
    {-19.0, {8.0, -1.5, 1.0, -3.0, 2.0, 0.8, 2.0, 1.5}},
    {-28.0, {6.0, -0.9, 1.1, -2.95, 2.0, 0.6, 2.0, 1.2}},
    {-36.5, {4.5, -0.5, 1.2, -2.95, 2.0, 0.5, 2.0, 1.0}},
    {-42.0, {3.0, 0.2, 1.45, -1.6, 2.0, 0.5, 2.0, 0.8}},
    {kTailRcsZ, {1.7, 0.45, kFree, kFree, 2.0, 0.5, 2.0, 0.5}},
    {kTailFaceZ, {1.4, 0.5, 1.5, -0.4, 2.0, 0.5, 2.0, 0.5}},
};

bool within(double z, double z0, double z1) { return z >= z0 - 1e-9 && z <= z1 + 1e-9; }

// The constraints of the place z: the bays' hinge lines, the nose door's hinge line, the
// attitude flames' points. A crest or keel left free stays as it is.
Section constrained(Section s, double z) {
    if (within(z, kBayZ0, kBayZ1)) s.yt = crest_through(s, kBayHalfWidth, kBayHingeY);
    if (within(z, kBayBZ0, kBayBZ1)) s.yt = crest_through(s, kBayBHalfWidth, kBayBHingeY);
    if (within(z, kNoseWellZ0, kNoseWellZ1)) s.yb = keel_through(s, kNoseDoorHalfWidth, nose_door_hinge_y(z));
    if (std::fabs(z - kNoseChineZ) < 1e-9) s.yt = crest_through(s, 0.5, 0.65);
    if (std::fabs(z - kTailRcsZ) < 1e-9) {
        s.yt = crest_through(s, 0.5, 1.6);
        s.yb = keel_through(s, 0.5, -0.5);
    }
    return s;
}

// The stations with their own constraints applied: every figure known.
const std::vector<Station>& resolved_stations() {
    static const std::vector<Station> stations = [] {
        std::vector<Station> out;
        for (const Station& st : kStations) {
            Station r{st.z, constrained(st.s, st.z)};
            if (std::isnan(r.s.yt) || std::isnan(r.s.yb))
                throw std::logic_error("a fuselage station at z = " + std::to_string(st.z) + " has no crest or keel");
            out.push_back(r);
        }
        return out;
    }();
    return stations;
}

// The section at z: the stations blended linearly, then the constraints of that place.
Section section_at(double z) {
    const std::vector<Station>& st = resolved_stations();
    std::size_t i = 0;
    while (i + 2 < st.size() && st[i + 1].z > z) ++i;
    const Station& a = st[i];
    const Station& b = st[i + 1];
    const double t = std::clamp((a.z - z) / (a.z - b.z), 0.0, 1.0);
    auto mix = [t](double p, double q) { return p + (q - p) * t; };
    const Section s{mix(a.s.w, b.s.w),   mix(a.s.yc, b.s.yc), mix(a.s.yt, b.s.yt), mix(a.s.yb, b.s.yb),
                    mix(a.s.pt, b.s.pt), mix(a.s.qt, b.s.qt), mix(a.s.pb, b.s.pb), mix(a.s.qb, b.s.qb)};
    return constrained(s, z);
}

struct Notch {
    double half_width = 0.0;  // 0: none
    double depth_y = 0.0;     // the bay's floor or the well's ceiling
};

// |x| where the section's points lie, between the chine and the middle; the notch and door
// edges up to `max_break` are among them (the same ones all along a piece of the fuselage, so
// that its rings match).
std::vector<double> section_xs(double w, double max_break = kBayBHalfWidth) {
    std::vector<double> xs;
    const double breaks[] = {kNoseDoorHalfWidth, kBayHalfWidth, kBayBHalfWidth};
    double lower = 0.0;
    auto fill = [&xs](double from, double to, int n) {  // (from, to], denser toward `to`
        for (int k = 1; k <= n; ++k) xs.push_back(from + (to - from) * std::sin(0.5 * M_PI * k / n));
    };
    for (double b : breaks) {
        if (b > max_break) break;
        fill(lower, b, b < 1.0 ? 2 : 3);
        lower = b;
    }
    fill(lower, w, 14);
    xs.pop_back();  // the chine itself is added apart
    return xs;      // ascending, without 0 and w
}

// The section's outline at z: right chine, over the top, left chine, under the bottom.
Ring section_ring(double z, const Notch& top, const Notch& bottom, double max_break) {
    const Section s = section_at(z);
    const std::vector<double> xs = section_xs(s.w, max_break);
    Ring ring;
    auto add = [&ring, z](double x, double y) { ring.push_back({x, y, z}); };
    add(s.w, s.yc);
    for (auto it = xs.rbegin(); it != xs.rend(); ++it)
        if (*it >= top.half_width - 1e-9) add(*it, top_y(s, *it));
    if (top.half_width > 0.0) {
        add(top.half_width, top.depth_y);
        add(-top.half_width, top.depth_y);
    } else {
        add(0.0, s.yt);
    }
    for (double x : xs)
        if (x >= top.half_width - 1e-9) add(-x, top_y(s, x));
    add(-s.w, s.yc);
    for (auto it = xs.rbegin(); it != xs.rend(); ++it)
        if (*it >= bottom.half_width - 1e-9) add(-*it, bottom_y(s, *it));
    if (bottom.half_width > 0.0) {
        add(-bottom.half_width, bottom.depth_y);
        add(bottom.half_width, bottom.depth_y);
    } else {
        add(0.0, s.yb);
    }
    for (double x : xs)
        if (x >= bottom.half_width - 1e-9) add(x, bottom_y(s, x));
    return ring;
}

// z of the rings between z0 and z1 (z0 > z1): at most `step` apart, on every station.
std::vector<double> ring_zs(double z0, double z1, double step) {
    std::vector<double> zs{z0};
    for (const Station& st : kStations)
        if (st.z < z0 - 0.01 && st.z > z1 + 0.01) zs.push_back(st.z);
    zs.push_back(z1);
    std::vector<double> out;
    for (std::size_t i = 0; i + 1 < zs.size(); ++i) {
        const int n = std::max(1, static_cast<int>(std::ceil((zs[i] - zs[i + 1]) / step)));
        for (int k = 0; k < n; ++k) out.push_back(zs[i] + (zs[i + 1] - zs[i]) * k / n);
    }
    out.push_back(z1);
    return out;
}

constexpr double kRingStep = 1.0;  // m between the fuselage's rings

Notch top_notch_at(double z_mid) {
    if (within(z_mid, kBayZ0, kBayZ1)) return {kBayHalfWidth, kBayFloorY};
    if (within(z_mid, kBayBZ0, kBayBZ1)) return {kBayBHalfWidth, kBayBFloorY};
    return {};
}
Notch bottom_notch_at(double z_mid) {
    if (within(z_mid, kNoseWellZ0, kNoseWellZ1)) return {kNoseDoorHalfWidth, kNoseWellCeilingY};
    return {};
}

// Neighbouring closed pieces of one group overlap by this much rather than touch, so that
// no edge belongs to two of them.
constexpr double kOverlap = 0.001;  // m

// The fuselage: one closed piece between each two places where a bay or a well begins or
// ends; the caps between pieces close the bays and wells at their ends.
Shell fuselage() {
    const double cuts[] = {kNoseFaceZ, kBayZ1, kNoseWellZ1, kNoseWellZ0, kBayZ0, kBayBZ1, kBayBZ0, kTailFaceZ};
    Shell body;
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i) {
        const double z0 = i == 0 ? cuts[i] : cuts[i] + kOverlap, z1 = cuts[i + 1];
        const double mid = 0.5 * (z0 + z1);
        const Notch top = top_notch_at(mid), bottom = bottom_notch_at(mid);
        const std::vector<double> zs = ring_zs(z0, z1, kRingStep);
        double narrowest = 1e9;
        for (double z : zs) narrowest = std::min(narrowest, section_at(z).w);
        std::vector<Ring> rings;
        for (double z : zs) rings.push_back(section_ring(z, top, bottom, 0.9 * narrowest));
        body.append(loft(rings));
    }
    return body;
}

// A door cut from the fuselage's skin between |x| = 0 and half_width on one side (side +1:
// right, -1: left), over [z1, z0], `thickness` inward.
Shell skin_door(double z0, double z1, double half_width, int side, bool on_top, double thickness) {
    std::vector<Ring> rings;
    for (double z : ring_zs(z0, z1, kRingStep)) {
        const Section s = section_at(z);
        std::vector<double> xs{0.0};
        for (double x : section_xs(s.w))
            if (x < half_width - 1e-9) xs.push_back(x);
        xs.push_back(half_width);
        Ring ring;
        const double inward = on_top ? -thickness : thickness;
        for (double x : xs) ring.push_back({side * x, on_top ? top_y(s, x) : bottom_y(s, x), z});
        for (auto it = xs.rbegin(); it != xs.rend(); ++it)
            ring.push_back({side * *it, (on_top ? top_y(s, *it) : bottom_y(s, *it)) + inward, z});
        rings.push_back(ring);
    }
    return loft(rings);
}

// The nose-gear door: the keel's skin between x = -0.752 and 0.752, hinged along its left
// edge; a whole door, not two halves.
Shell nose_door() {
    std::vector<Ring> rings;
    // Its ends stand back a little from the well's end walls: the tilted hinge line carries
    // the door's ends forward as it swings.
    for (double z : ring_zs(kNoseWellZ1 - kNoseDoorEndGap, kNoseWellZ0 + kNoseDoorEndGap, kRingStep)) {
        const Section s = section_at(z);
        std::vector<double> xs;
        for (double x : section_xs(s.w))
            if (x < kNoseDoorHalfWidth - 1e-9) xs.push_back(x);
        std::vector<double> across{-kNoseDoorHalfWidth};
        for (auto it = xs.rbegin(); it != xs.rend(); ++it) across.push_back(-*it);
        across.push_back(0.0);
        for (double x : xs) across.push_back(x);
        across.push_back(kNoseDoorHalfWidth);
        Ring ring;
        for (double x : across) ring.push_back({x, bottom_y(s, x), z});
        for (auto it = across.rbegin(); it != across.rend(); ++it)
            ring.push_back({*it, bottom_y(s, *it) + kDoorThickness, z});
        rings.push_back(ring);
    }
    return loft(rings);
}

// --- Wing, fins, control surfaces -----------------------------------------------------------
// A symmetric section of thickness t (a blunt trailing edge of te), chord from le to te_pos
// along `chord_dir`, thickness along `thick_dir`, about `centre` (the leading edge).
Ring airfoil(Vec3 leading_edge, Vec3 chord_dir, Vec3 thick_dir, double chord, double t, double te) {
    constexpr int kSamples = 10;
    auto half = [&](double s) {
        const double naca =
            5.0 * t * (0.2969 * std::sqrt(s) - 0.1260 * s - 0.3516 * s * s + 0.2843 * s * s * s - 0.1036 * s * s * s * s);
        return naca + 0.5 * te * s;
    };
    Ring ring;
    ring.push_back(leading_edge);
    for (int k = 1; k <= kSamples; ++k) {  // upper surface, leading to trailing edge
        const double s = 0.5 * (1.0 - std::cos(M_PI * k / kSamples));
        ring.push_back(leading_edge + chord_dir * (chord * s) + thick_dir * half(s));
    }
    for (int k = kSamples; k >= 1; --k) {  // lower surface back
        const double s = 0.5 * (1.0 - std::cos(M_PI * k / kSamples));
        ring.push_back(leading_edge + chord_dir * (chord * s) - thick_dir * half(s));
    }
    return ring;
}

constexpr double kWingRootX = 2.0, kWingTipX = 24.5;
constexpr double kWingRootLeZ = -29.0, kWingTipLeZ = -39.6, kWingTeZ = -42.9;
constexpr double kWingRootThickness = 0.7, kWingTipThickness = 0.25;
constexpr double kSurfaceNoseRadius = 0.11;  // m: the elevons' and rudders' rounded noses
constexpr double kElevonInnerX = 11.7, kElevonOuterX = 23.3, kElevonTeZ = -46.35;

Shell wing_right() {
    const double stations[] = {kWingRootX, 5.0, 9.1, 11.4, 14.0, 17.5, 21.0, kWingTipX};
    std::vector<Ring> rings;
    for (double x : stations) {
        const double f = (x - kWingRootX) / (kWingTipX - kWingRootX);
        const double le = kWingRootLeZ + (kWingTipLeZ - kWingRootLeZ) * f;
        const double t = kWingRootThickness + (kWingTipThickness - kWingRootThickness) * f;
        rings.push_back(airfoil({x, kElevonHingeY, le}, {0, 0, -1}, {0, 1, 0}, le - kWingTeZ, t,
                                2.0 * kSurfaceNoseRadius));
    }
    return loft(rings);
}

// A control surface's section: a round nose about the hinge line, tapering to the trailing
// edge `chord` behind it. `back` points from the hinge to the trailing edge, `up` across.
Ring surface_section(Vec3 hinge, Vec3 back, Vec3 up, double chord) {
    Ring ring;
    constexpr int kNose = 7;
    for (int k = 0; k <= kNose; ++k) {  // from the upper side round the nose to the lower
        const double a = M_PI * 0.5 - M_PI * k / kNose;
        ring.push_back(hinge + up * (kSurfaceNoseRadius * std::sin(a)) - back * (kSurfaceNoseRadius * std::cos(a)));
    }
    ring.push_back(hinge + back * (0.5 * chord) - up * (0.6 * kSurfaceNoseRadius));
    ring.push_back(hinge + back * chord);
    ring.push_back(hinge + back * (0.5 * chord) + up * (0.6 * kSurfaceNoseRadius));
    return ring;
}

Shell elevon_right() {
    const double chord = kElevonHingeZ - kElevonTeZ;
    Ring inner = surface_section({kElevonInnerX, kElevonHingeY, kElevonHingeZ}, {0, 0, -1}, {0, 1, 0}, chord);
    Ring outer = surface_section({kElevonOuterX, kElevonHingeY, kElevonHingeZ}, {0, 0, -1}, {0, 1, 0}, chord);
    return loft({inner, outer});
}

constexpr double kFinRootY = 0.9, kFinTipY = 5.7, kFinRootLeZ = -34.5, kFinTipLeZ = -39.6;
constexpr double kFinTeZ = -42.55, kRudderY0 = 1.45, kRudderY1 = 5.45, kRudderTeZ = -45.4;

Shell fin_right() {
    std::vector<Ring> rings;
    for (double y : {kFinRootY, kFinTipY}) {
        const double f = (y - kFinRootY) / (kFinTipY - kFinRootY);
        const double le = kFinRootLeZ + (kFinTipLeZ - kFinRootLeZ) * f;
        const double t = 0.55 + (0.24 - 0.55) * f;
        rings.push_back(airfoil({kRudderHingeX, y, le}, {0, 0, -1}, {1, 0, 0}, le - kFinTeZ, t, 2.0 * kSurfaceNoseRadius));
    }
    return loft(rings);
}

Shell rudder_right() {
    const double chord = kRudderHingeZ - kRudderTeZ;
    return loft({surface_section({kRudderHingeX, kRudderY0, kRudderHingeZ}, {0, 0, -1}, {1, 0, 0}, chord),
                 surface_section({kRudderHingeX, kRudderY1, kRudderHingeZ}, {0, 0, -1}, {1, 0, 0}, chord)});
}

// A body of revolution about the z axis line through (x, y): radii at z, nose to tail.
Shell revolved(double x, double y, const std::vector<std::pair<double, double>>& z_radius) {
    std::vector<Ring> rings;
    for (auto [z, r] : z_radius) rings.push_back(circle({x, y, z}, {1, 0, 0}, {0, 0, 1}, r, kCircleSides));
    return loft(rings);
}

Shell tail_pod_right() {
    const double r = kTailPodRadius;
    return revolved(kRudderHingeX, 0.0,
                    {{-33.2, 0.0}, {-34.2, 0.62 * r}, {-35.6, 0.92 * r}, {-37.0, r}, {kTailRcsZ, r},
                     {-47.9, 0.75 * r}, {-48.3, 0.3 * r}});
}

// --- Engines ----------------------------------------------------------------------------------
constexpr double kEngineBoxHalfWidth = 7.55, kEngineBoxTop = -9.0, kEngineBoxBottom = -11.0;
constexpr double kEngineBaseZ = -18.3, kEngineBoxFrontZ = -9.5, kEngineRampZ = -5.5;
constexpr double kKeelHalfWidth = 1.2, kKeelTop = -2.0, kKeelFrontZ = -1.0, kKeelFrontY = -3.0;

Shell engine_box() {
    auto ring = [](double z, double bottom) {
        const double bevel = std::min(0.25, 0.5 * (kEngineBoxTop - bottom));
        return Ring{{kEngineBoxHalfWidth, kEngineBoxTop, z},
                    {-kEngineBoxHalfWidth, kEngineBoxTop, z},
                    {-kEngineBoxHalfWidth, bottom + bevel, z},
                    {-kEngineBoxHalfWidth + bevel, bottom, z},
                    {kEngineBoxHalfWidth - bevel, bottom, z},
                    {kEngineBoxHalfWidth, bottom + bevel, z}};
    };
    // The intake: a ramp rising ahead of the box.
    return loft({ring(kEngineBaseZ, kEngineBoxBottom), ring(kEngineBoxFrontZ, kEngineBoxBottom),
                 ring(kEngineRampZ, kEngineBoxTop - 0.06)});
}

Shell engine_keel() {
    auto ring = [](double z, double bottom) {
        return Ring{{kKeelHalfWidth, kKeelTop, z},
                    {-kKeelHalfWidth, kKeelTop, z},
                    {-kKeelHalfWidth, bottom + 0.3, z},
                    {-kKeelHalfWidth + 0.3, bottom, z},
                    {kKeelHalfWidth - 0.3, bottom, z},
                    {kKeelHalfWidth, bottom + 0.3, z}};
    };
    return loft({ring(kEngineBaseZ, kEngineBoxBottom + 0.5), ring(kEngineBoxFrontZ, kEngineBoxBottom + 0.5),
                 ring(kKeelFrontZ, kKeelFrontY)});
}

// A nozzle: bell outside from inside the engine box to the exit lip, then the inside of the
// bell back to its throat, closed there.
constexpr double kNozzleExitRadius = 0.9, kNozzleLip = 0.07;
Shell nozzle(double x) {
    auto ring = [x](double z, double r) { return circle({x, kNozzleY, z}, {1, 0, 0}, {0, 0, 1}, r, kCircleSides); };
    return loft({ring(kEngineBaseZ + 0.6, 0.7), ring(kEngineBaseZ, 0.78), ring(kNozzleExitZ, kNozzleExitRadius),
                 ring(kNozzleExitZ, kNozzleExitRadius - kNozzleLip), ring(kEngineBaseZ + 0.3, 0.5)});
}

// --- Main gear pods and wells --------------------------------------------------------------------
constexpr double kPodInnerX = 7.5, kPodOuterX = 9.0, kPodTopY = -1.9;

// The right pod's outline at z; with the well open below, the outline runs up its walls.
Ring pod_ring(double z, bool well, double scale) {
    const double door_far_y = kMainDoorHingeY - kMainDoorDrop;
    std::vector<std::pair<double, double>> outline = {
        {kPodInnerX, kPodTopY}, {kPodOuterX, kPodTopY}, {kPodOuterX, kMainDoorHingeY + 0.2},
        {kMainDoorHingeX, kMainDoorHingeY}};
    if (well) {
        outline.push_back({kMainDoorHingeX, kMainWellCeilingY});
        outline.push_back({kMainDoorInnerX, kMainWellCeilingY});
    }
    outline.push_back({kMainDoorInnerX, door_far_y});
    outline.push_back({kPodInnerX + 0.2, door_far_y});
    outline.push_back({kPodInnerX, door_far_y + 0.2});
    // A tapering end shrinks toward the pod's middle, keeping its top.
    const double xc = 0.5 * (kPodInnerX + kPodOuterX);
    Ring ring;
    for (auto [x, y] : outline) ring.push_back({xc + (x - xc) * scale, kPodTopY + (y - kPodTopY) * scale, z});
    return ring;
}

Shell main_pod_right() {
    Shell pod = loft({pod_ring(kMainWellZ1 + 0.9, false, 0.35), pod_ring(kMainWellZ1 + 0.4, false, 0.85),
                      pod_ring(kMainWellZ1, false, 1.0)});
    pod.append(loft({pod_ring(kMainWellZ1 + kOverlap, true, 1.0), pod_ring(kMainWellZ0, true, 1.0)}));
    pod.append(loft({pod_ring(kMainWellZ0 + kOverlap, false, 1.0), pod_ring(kMainWellZ0 - 0.6, false, 0.8),
                     pod_ring(kMainWellZ0 - 1.4, false, 0.3)}));
    return pod;
}

// The right main-gear door: a plate on the pod's chine, hinged along its inner face at the
// hinge line, so that it swings down and outward clear of the wheel.
Shell main_door_right() {
    const Vec3 hinge{kMainDoorHingeX, kMainDoorHingeY, 0.0};
    const Vec3 far{kMainDoorInnerX, kMainDoorHingeY - kMainDoorDrop, 0.0};
    const Vec3 along = normalized(far - hinge);
    const Vec3 out{-along.y, along.x, 0.0};  // down and outward for the right side
    const Vec3 n = dot(out, {0, -1, 0}) > 0 ? out : out * -1.0;
    auto ring = [&](double z) {
        const Vec3 dz{0, 0, z};
        return Ring{hinge + dz, far + dz, far + n * kMainDoorThickness + dz, hinge + n * kMainDoorThickness + dz};
    };
    return loft({ring(kMainWellZ1), ring(kMainWellZ0)});
}

// --- Gear ---------------------------------------------------------------------------------
// A wheel about an axle along x: tread of `width` at radius r, its lowest point at `contact`.
Shell wheel(Vec3 contact, double r, double width) {
    const Vec3 c = contact + Vec3{0, r, 0};
    const double rim = 0.88 * r, half = 0.5 * width;
    std::vector<Ring> rings;
    for (auto [dx, rr] : std::vector<std::pair<double, double>>{
             {-half - 0.03, rim}, {-half, r}, {half, r}, {half + 0.03, rim}})
        rings.push_back(circle(c + Vec3{dx, 0, 0}, {0, -1, 0}, {1, 0, 0}, rr, 2 * kCircleSides));
    return loft(rings);
}

constexpr double kNoseWheelRadius = 0.5, kNoseWheelWidth = 0.3;
constexpr double kMainWheelRadius = 0.62, kMainWheelWidth = 0.1;

Shell nose_leg() {
    const Vec3 hub = kNoseTouchdown + Vec3{0, kNoseWheelRadius, 0};
    Shell leg = wheel(kNoseTouchdown, kNoseWheelRadius, kNoseWheelWidth);
    leg.append(cylinder(hub + Vec3{-0.33, 0, 0}, hub + Vec3{0.33, 0, 0}, 0.06, 12));
    const Vec3 crown{0.0, hub.y + kNoseWheelRadius + 0.25, hub.z + 0.25};
    for (double x : {-0.27, 0.27}) leg.append(cylinder(hub + Vec3{x, 0, 0}, crown + Vec3{x, 0, 0}, 0.06, 12));
    leg.append(box(crown + Vec3{-0.33, -0.1, -0.15}, {0.66, 0, 0}, {0, 0.2, 0}, {0, 0, 0.3}));
    // The strut runs to a point just behind the pivot; a lug tapering to the pivot joins
    // them, so that with the leg folded aft nothing hangs below the hinge.
    const Vec3 strut_top = kNoseLegPivot + Vec3{0, -0.05, -0.3};
    leg.append(cylinder(crown, strut_top, 0.15, 16));
    const Vec3 along = normalized(kNoseLegPivot - strut_top);
    const Vec3 across = normalized(cross({1, 0, 0}, along));
    auto lug_ring = [&](Vec3 c, double half_thick) {
        return Ring{c + Vec3{-0.1, 0, 0} - across * half_thick, c + Vec3{0.1, 0, 0} - across * half_thick,
                    c + Vec3{0.1, 0, 0} + across * half_thick, c + Vec3{-0.1, 0, 0} + across * half_thick};
    };
    leg.append(loft({lug_ring(strut_top - along * 0.1, 0.1), lug_ring(kNoseLegPivot, 0.004)}));
    return leg;
}

// Both main legs and the frame's torque tube on its hinge line, inside the aft body (the
// frame's arms inside the structure are not drawn).
Shell main_gear() {
    Shell right = wheel(kMainTouchdownRight, kMainWheelRadius, kMainWheelWidth);
    const Vec3 hub = kMainTouchdownRight + Vec3{0, kMainWheelRadius, 0};
    const double strut_x = 8.25, strut_top_y = -8.55;
    right.append(cylinder(hub + Vec3{-0.05, 0, 0}, {strut_x - 0.1, hub.y, hub.z}, 0.1, 12));
    right.append(cylinder({strut_x, hub.y - 0.15, hub.z}, {strut_x, strut_top_y, hub.z}, 0.15, 16));
    Shell gear = right;
    right.mirror_x();
    gear.append(right);
    gear.append(cylinder(kMainFramePivot + Vec3{-1.2, 0, 0}, kMainFramePivot + Vec3{1.2, 0, 0}, 0.12, 16));
    return gear;
}

Shell canopy() {
    std::vector<Ring> rings;
    const std::pair<double, double> stations[] = {{42.6, 0.0}, {41.2, 0.7}, {39.0, 1.0}, {36.0, 0.95}, {33.0, 0.5}, {32.0, 0.0}};
    for (auto [z, f] : stations) {
        const Section s = section_at(z);
        const double base = top_y(s, 0.0) - 0.3, half = 0.25 + 1.1 * f, height = 0.05 + 1.15 * f;
        Ring ring;
        constexpr int kArc = 12;
        for (int k = 0; k <= kArc; ++k) {
            const double a = M_PI * k / kArc;
            ring.push_back({half * std::cos(a), base + 0.3 + height * std::sin(a), z});
        }
        ring.push_back({-half, base, z});
        ring.push_back({half, base, z});
        rings.push_back(ring);
    }
    return loft(rings);
}

// --- Materials --------------------------------------------------------------------------------
Material material(const char* name, double r, double g, double b, double alpha, double specular, double power) {
    return {name, {r, g, b, alpha}, {r, g, b, 1.0}, {specular, specular, specular, 1.0}, power, {0, 0, 0, 1}};
}

enum MaterialIndex { kHullSkin, kDarkMetal, kGlass, kGearMetal };

Group group(const char* name, int material, Shell shell, bool textured) {
    Group g;
    g.name = name;
    g.material = material;
    g.texture = textured ? 0 : -1;
    g.shell = std::move(shell);
    return g;
}

template <class Build>
Shell both_sides(Build build) {
    Shell right = build();
    Shell left = right;
    left.mirror_x();
    right.append(left);
    return right;
}

Shell mirrored(Shell s) {
    s.mirror_x();
    return s;
}

}  // namespace

HullModel build_korvan() {
    HullModel m;
    m.materials = {material("hull_skin", 0.90, 0.91, 0.92, 1.0, 0.3, 20.0),
                   material("engine_metal", 0.22, 0.22, 0.24, 1.0, 0.5, 30.0),
                   material("canopy_glass", 0.10, 0.14, 0.20, 0.75, 0.9, 60.0),
                   material("gear_metal", 0.58, 0.59, 0.62, 1.0, 0.6, 40.0)};
    m.textures = {"Korvan_hull.dds"};

    Shell hull = fuselage();
    hull.append(wing_right());
    hull.append(mirrored(wing_right()));
    hull.append(main_pod_right());
    hull.append(mirrored(main_pod_right()));

    Shell engine = engine_box();
    engine.append(engine_keel());
    Shell nozzles;
    for (double x : kNozzleX) nozzles.append(nozzle(x));

    m.groups.resize(19);
    m.groups[0] = group("hull", kHullSkin, hull, true);
    m.groups[1] = group("nose_gear_leg", kGearMetal, nose_leg(), false);
    m.groups[2] = group("nose_gear_door", kHullSkin, nose_door(), true);
    m.groups[3] = group("elevon_left", kHullSkin, mirrored(elevon_right()), true);
    m.groups[4] = group("main_gear_door_left", kHullSkin, mirrored(main_door_right()), true);
    m.groups[5] = group("rudder_left", kHullSkin, mirrored(rudder_right()), true);
    m.groups[6] = group("main_gear", kGearMetal, main_gear(), false);
    m.groups[7] = group("elevon_right", kHullSkin, elevon_right(), true);
    m.groups[8] = group("main_gear_door_right", kHullSkin, main_door_right(), true);
    m.groups[9] = group("rudder_right", kHullSkin, rudder_right(), true);
    m.groups[10] = group("engine_box", kDarkMetal, engine, false);
    m.groups[11] = group("canopy", kGlass, canopy(), false);
    m.groups[12] = group("bay_door_right", kHullSkin, skin_door(kBayZ1, kBayZ0, kBayHalfWidth, 1, true, kDoorThickness), true);
    m.groups[13] = group("bay_door_left", kHullSkin, skin_door(kBayZ1, kBayZ0, kBayHalfWidth, -1, true, kDoorThickness), true);
    m.groups[14] = group("main_nozzles", kDarkMetal, nozzles, false);
    m.groups[15] = group("fins", kHullSkin, both_sides(fin_right), true);
    m.groups[16] = group("tail_pods", kHullSkin, both_sides(tail_pod_right), true);
    m.groups[17] = group("bay_door_b_right", kHullSkin,
                         skin_door(kBayBZ1, kBayBZ0, kBayBHalfWidth, 1, true, kDoorThickness), true);
    m.groups[18] = group("bay_door_b_left", kHullSkin,
                         skin_door(kBayBZ1, kBayBZ0, kBayBHalfWidth, -1, true, kDoorThickness), true);
    for (const MovingPart& part : moving_parts()) m.groups[part.group].rotations = part.rotations;
    return m;
}

}  // namespace korvan_assets
