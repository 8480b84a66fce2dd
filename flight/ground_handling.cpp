// Ground handling: touchdown points that follow the travelling gear, surface friction for
// the configuration, brakes and gear, and nose-wheel steering from the rudder.
#include <cmath>

#include "vessel/korvan.h"

namespace {

constexpr double kLateralFriction = 0.4;
constexpr double kTowFriction = 0.02;        // configuration 0
constexpr double kRollingFriction = 0.025;   // gear fully down, wheel brakes off
constexpr double kBrakingFriction = 0.3;
constexpr int kTowConfiguration = 0;

constexpr double kNoseGearTravel = 6.0;      // m the nose point rises when retracted
constexpr double kNoseGearDownY = -11.8, kNoseGearZ = 23.0;
constexpr double kMainGearX = 8.7, kMainGearDownY = -13.14, kMainGearZ = -11.9;

constexpr double kSlowSteeringGain = 20.0;   // N per kg below kSlowSteeringSpeed
constexpr double kFastSteeringGain = 4.0;    // N per kg from kSlowSteeringSpeed on
constexpr double kSlowSteeringSpeed = 40.0;  // m/s
constexpr double kSteeringStart = 3.0;       // m/s: no steering below
constexpr double kSteeringFade = 5.0;        // m/s over which steering fades in
constexpr double kSteeringArm = 12.0;        // m fore and aft of the centre of mass
constexpr double kSteeringMaxAltitude = 4.5; // m

}  // namespace

void Korvan::apply_ground_handling() {
    if (gear_state == MECH_CLOSING || gear_state == MECH_OPENING) {
        const double c = 1.0 - gear_position;
        SetTouchdownPoints(_V(0.0, kNoseGearTravel * c + kNoseGearDownY, kNoseGearZ),
                           _V(-kMainGearX, c + kMainGearDownY, kMainGearZ),
                           _V(kMainGearX, c + kMainGearDownY, kMainGearZ));
    }

    double longitudinal = kBrakingFriction;
    if (config_index == kTowConfiguration) {
        longitudinal = kTowFriction;
    } else if (!wheel_brakes_on && gear_position == 1.0) {
        longitudinal = kRollingFriction;
    }
    SetSurfaceFrictionCoeff(longitudinal, kLateralFriction);

    const double airspeed = GetAirspeed();
    const double gain = airspeed < kSlowSteeringSpeed ? kSlowSteeringGain : kFastSteeringGain;
    double force = GetMass() * gain;
    if (airspeed - kSteeringStart < kSteeringFade) force = force * (airspeed - kSteeringStart) / kSteeringFade;
    if (!(airspeed >= kSteeringStart)) force = 0.0;  // also an airspeed that is not a number
    force *= GetControlSurfaceLevel(AIRCTRL_RUDDER);
    if (GetAltitude() > kSteeringMaxAltitude || gear_position < 1.0) force = 0.0;
    if (!std::isfinite(force)) force = 0.0;  // never hand the host an undefined or endless force

    // A couple: the forces cancel, their moment about the vertical axis steers.
    AddForce(_V(force, 0.0, 0.0), _V(0.0, 0.0, kSteeringArm));
    AddForce(_V(-force, 0.0, 0.0), _V(0.0, 0.0, -kSteeringArm));
}
