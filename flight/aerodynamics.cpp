// Wing and fin, their coefficient functions and tables, the brake and gear drag elements,
// and the five control surfaces.
#include "flight/aerodynamics.h"

#include <cmath>

#include "vessel/korvan.h"

namespace {

// Airfoils.
const VECTOR3 kWingRef{{0.0, 0.0, -0.4}};
constexpr double kWingChord = 20.0;    // m
constexpr double kWingArea = 270.0;    // m^2
constexpr double kWingAspect = 2.266;
constexpr double kWingEfficiency = 0.75;
const VECTOR3 kFinRef{{0.0, 0.0, -8.5}};
constexpr double kFinChord = 3.5;      // m
constexpr double kFinArea = 28.0;      // m^2
constexpr double kFinAspect = 2.6;
// The fin's induced drag uses its own aspect ratio and efficiency, not the declared 2.6.
constexpr double kFinDragAspect = 1.5;
constexpr double kFinDragEfficiency = 0.6;

// Drag elements.
constexpr double kBrakeDrag = 0.8;
const VECTOR3 kBrakeDragRef{{0.0, 0.0, 0.0}};
constexpr double kGearDrag = 0.6;
const VECTOR3 kGearDragRef{{0.0, -1.0, 0.0}};

// Control surfaces: type, area (m^2), lift slope, reference point, axis.
constexpr double kElevatorArea = 16.5, kRudderArea = 5.3, kAileronArea = 11.3, kTrimArea = 8.7;
constexpr double kSurfaceSlope = 0.7;
constexpr double kAileronSlope = -0.7;
const VECTOR3 kElevatorRef{{0.0, 0.0, -11.67}};
const VECTOR3 kRudderRef{{0.0, 0.0, -12.75}};
const VECTOR3 kAileronRightRef{{-9.5, 0.0, -12.75}};
const VECTOR3 kAileronLeftRef{{9.5, 0.0, -12.75}};

// Wing coefficients against angle of attack, every 15 degrees from -180 to 180.
constexpr int kWingPoints = 25;
constexpr double WING_CL[kWingPoints] = {0.1,  0.17, 0.2,   0.2,    0.17,    0.1,  0.0,  -0.11, -0.24,
                                         -0.38, -0.5, -0.5, -0.02, 0.6355, 0.63, 0.46, 0.28,  0.13,
                                         0.0,  -0.16, -0.26, -0.29, -0.24, -0.1, 0.1};
constexpr double WING_CM[kWingPoints] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0.002, 0.004, 0.0025, 0.0012,
                                         0, -0.0012, -0.0007, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr double kWingStep = 15.0 * RAD;              // rad between table entries
constexpr double kWingStepInverse = 1.0 / kWingStep;  // entries per radian
constexpr int kWingLastSegment = kWingPoints - 2;     // 23

constexpr double kTransonicMach = 1.25;
constexpr double kHypersonicMach = 5.0;
constexpr double kSubsonicProfileDrag = 0.025;
constexpr double kSupersonicProfileDrag = 0.06;
// Hypersonic lift and drag laws in the angle of attack (rad).
constexpr double kHyperClSlope = 1.6756, kHyperClZero = -0.20704;
constexpr double kHyperCd0 = 0.04254, kHyperCd1 = -0.05767, kHyperCd2 = 1.3632;

// Fin lift against sideslip (degrees in the table, radians in use).
constexpr int kFinPoints = 8;
constexpr double FIN_SLIP_POINTS_DEG[kFinPoints] = {-180, -135, -90, -45, 45, 90, 135, 180};
constexpr double FIN_CL[kFinPoints] = {0, 0.3, 0, -0.3, 0.3, 0, -0.3, 0};
struct FinSlipPoints {
    double rad[kFinPoints];
};
constexpr FinSlipPoints fin_slip_points_rad() {
    FinSlipPoints p{};
    for (int i = 0; i < kFinPoints; ++i) p.rad[i] = FIN_SLIP_POINTS_DEG[i] * RAD;
    return p;
}
constexpr FinSlipPoints FIN_SLIP_POINTS = fin_slip_points_rad();

constexpr double kFinProfileDrag = 0.015;
constexpr double kFinWaveM1 = 0.75, kFinWaveM2 = 1.0, kFinWaveM3 = 1.1, kFinWaveMax = 0.04;
constexpr double kFinSupersonicFactor = 2.2;
constexpr double kFinSubsonicFactor = 0.6;

// An angle outside the table is held at the table's end; an angle that is not a number
// counts as 0, and a Mach number that is not finite as 0 (subsonic).
double table_angle(double angle, double lo, double hi) {
    if (std::isnan(angle)) return 0.0;
    return angle < lo ? lo : (angle > hi ? hi : angle);
}
double finite_mach(double M) { return std::isfinite(M) ? M : 0.0; }

}  // namespace

void wing_coefficients(double aoa, double M, double Re, double* cl, double* cm, double* cd) {
    (void)Re;
    const double alpha = table_angle(aoa, -PI, PI);
    M = finite_mach(M);

    const double x = (alpha + PI) * kWingStepInverse;
    int i = static_cast<int>(x);
    if (i < 0) i = 0;
    if (i > kWingLastSegment) i = kWingLastSegment;
    const double f = x - i;

    *cm = WING_CM[i] + f * (WING_CM[i + 1] - WING_CM[i]);
    if (M >= kHypersonicMach) {
        *cl = kHyperClSlope * alpha + kHyperClZero;
        *cd = kHyperCd0 + kHyperCd1 * alpha + kHyperCd2 * alpha * alpha;
        return;
    }
    *cl = WING_CL[i] + f * (WING_CL[i + 1] - WING_CL[i]);
    const double profile = M < kTransonicMach ? kSubsonicProfileDrag : kSupersonicProfileDrag;
    *cd = oapiGetInducedDrag(*cl, kWingAspect, kWingEfficiency) + profile;
}

void fin_coefficients(double beta, double M, double Re, double* cl, double* cm, double* cd) {
    (void)Re;
    const double* pts = FIN_SLIP_POINTS.rad;
    const double b = table_angle(beta, pts[0], pts[kFinPoints - 1]);
    M = finite_mach(M);

    int i = 0;
    while (i < kFinPoints - 2 && b > pts[i + 1]) ++i;
    *cl = FIN_CL[i] + (FIN_CL[i + 1] - FIN_CL[i]) * (b - pts[i]) / (pts[i + 1] - pts[i]);
    *cm = 0.0;
    *cd = oapiGetInducedDrag(*cl, kFinDragAspect, kFinDragEfficiency) + kFinProfileDrag +
          oapiGetWaveDrag(M, kFinWaveM1, kFinWaveM2, kFinWaveM3, kFinWaveMax);
    *cd *= M > 1.0 ? kFinSupersonicFactor : kFinSubsonicFactor;
}

void Korvan::define_aerodynamics() {
    ClearAirfoilDefinitions();
    ClearVariableDragElements();
    // The elements read the mechanism positions every step, so they follow them unasked.
    CreateVariableDragElement(&brake_position, kBrakeDrag, kBrakeDragRef);
    CreateVariableDragElement(&gear_position, kGearDrag, kGearDragRef);
    CreateAirfoil(LIFT_VERTICAL, kWingRef, wing_coefficients, kWingChord, kWingArea, kWingAspect);
    CreateAirfoil(LIFT_HORIZONTAL, kFinRef, fin_coefficients, kFinChord, kFinArea, kFinAspect);
}

// The aileron at x = -9.5 drives the right aileron's mesh group and the one at x = 9.5 the
// left one: the animations are named by the mesh group they turn.
void Korvan::define_control_surfaces() {
    if (control_surfaces_created) return;
    control_surfaces_created = true;
    CreateControlSurface(AIRCTRL_ELEVATOR, kElevatorArea, kSurfaceSlope, kElevatorRef, AIRCTRL_AXIS_XPOS,
                         anim_elevator);
    CreateControlSurface(AIRCTRL_RUDDER, kRudderArea, kSurfaceSlope, kRudderRef, AIRCTRL_AXIS_YPOS, anim_rudder);
    CreateControlSurface(AIRCTRL_AILERON, kAileronArea, kAileronSlope, kAileronRightRef, AIRCTRL_AXIS_XPOS,
                         anim_aileron_right);
    CreateControlSurface(AIRCTRL_AILERON, kAileronArea, kAileronSlope, kAileronLeftRef, AIRCTRL_AXIS_XNEG,
                         anim_aileron_left);
    CreateControlSurface(AIRCTRL_ELEVATORTRIM, kTrimArea, kSurfaceSlope, kElevatorRef, AIRCTRL_AXIS_XPOS,
                         anim_elevator_trim);
}
