// Flight-control mixing: pilot inputs, rate damping and the engaged guidance's commands
// steer the two inner main-engine nozzles and, under guidance, the control surfaces.
#include <algorithm>
#include <cmath>

#include "guidance/output_limits.h"
#include "vessel/korvan.h"

namespace {

constexpr double kMixingMaxTimeAcceleration = 10.0;
constexpr double kRateDamping = 2.0;          // demand per rad/s of body rate
constexpr double kFixedNozzleGain = 0.02;
constexpr double kYawNozzleGain = 0.02;
constexpr double kPitchMix = 4.0;
constexpr double kRollMix = 2.0;
constexpr double kMachScaledSwitch = 6.0;     // Mach number
constexpr double kMachScaledLowGain = 0.01;   // per engine, below the switch
constexpr double kMachScaledHighGain = 0.002; // per engine, from the switch on
constexpr double kElevatorGain = -0.5;
constexpr double kAileronGain = -0.5;
constexpr double kRudderGain = 0.5;
// The pilot's inputs are read with mode 2 and device 4, written as the numbers themselves so
// that the call means the same whatever values a header gives its named constants.
constexpr DWORD kManualControlMode = 2;
constexpr DWORD kManualControlDevice = 4;

// The signed square c * |c| of a guidance command, exact for every command the autopilot
// can write. A command it leaves alone is squared again on the next step, so a kept value
// above 1 would grow without end: the square is held within the largest square a fresh
// command can reach (`limit`), and a command that is not a finite number counts as 0.
double signed_square(double c, double limit) {
    if (!std::isfinite(c)) return 0.0;
    return std::clamp(c * std::fabs(c), -limit, limit);
}

double manual_level(const VESSEL& vessel, THGROUP_TYPE group) {
    return vessel.GetManualControlLevel(group, kManualControlMode, kManualControlDevice);
}

VECTOR3 nozzle_direction(double gain, double yaw, double pitch, double roll_sign_roll) {
    return _V(kYawNozzleGain * yaw, gain * (kPitchMix * pitch + kRollMix * roll_sign_roll), 1.0);
}

}  // namespace

void Korvan::mix_flight_controls() {
    if (first_step_pending) return;

    pitch_output = signed_square(pitch_output, korvan::kMaxPitchSquare);
    yaw_output = signed_square(yaw_output, korvan::kMaxYawSquare);
    roll_output = signed_square(roll_output, korvan::kMaxRollSquare);

    if (oapiGetTimeAcceleration() > kMixingMaxTimeAcceleration) return;

    double pitch_input = 0.0, yaw_input = 0.0, roll_input = 0.0;
    if (has_focus()) {
        pitch_input = manual_level(*this, THGROUP_ATT_PITCHDOWN) - manual_level(*this, THGROUP_ATT_PITCHUP);
        yaw_input = manual_level(*this, THGROUP_ATT_YAWLEFT) - manual_level(*this, THGROUP_ATT_YAWRIGHT);
        roll_input = manual_level(*this, THGROUP_ATT_BANKLEFT) - manual_level(*this, THGROUP_ATT_BANKRIGHT);
    }

    GetAngularVel(body_rates);
    double& pitch = control_demand[0];
    double& yaw = control_demand[1];
    double& roll = control_demand[2];
    pitch = pitch_input + kRateDamping * body_rates.x;
    yaw = yaw_input - kRateDamping * body_rates.y;
    roll = roll_input + kRateDamping * body_rates.z;

    if (engaged) {
        pitch += pitch_output;
        yaw += yaw_output;
        roll += roll_output;
        SetControlSurfaceLevel(AIRCTRL_ELEVATOR, kElevatorGain * pitch_output);
        SetControlSurfaceLevel(AIRCTRL_AILERON, kAileronGain * roll_output);
        SetControlSurfaceLevel(AIRCTRL_RUDDER, kRudderGain * yaw_output);
    }

    // The engines sit behind the centre of mass: a common tilt pitches, a difference rolls.
    VECTOR3 left{}, right{};
    if (config_index <= 0) {
        left = nozzle_direction(kFixedNozzleGain, yaw, pitch, -roll);
        right = nozzle_direction(kFixedNozzleGain, yaw, pitch, roll);
    } else if (config_index == 1) {
        const double per_engine = GetMachNumber() < kMachScaledSwitch ? kMachScaledLowGain : kMachScaledHighGain;
        const double gain = num_engines * per_engine;
        left = nozzle_direction(gain, yaw, pitch, -roll);
        right = nozzle_direction(gain, yaw, pitch, roll);
    } else if (config_index == 2) {
        left = nozzle_direction(kFixedNozzleGain, yaw, pitch, roll);
        right = nozzle_direction(kFixedNozzleGain, yaw, pitch, -roll);
    } else {
        return;  // the nozzles keep the direction last set
    }
    if (main_thrusters[0] != nullptr) SetThrusterDir(main_thrusters[0], left);
    if (main_thrusters[1] != nullptr) SetThrusterDir(main_thrusters[1], right);
}
