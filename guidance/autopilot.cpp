// The ascent autopilot: armed until a quarter second after its first step, then every step
// a pitch command from the ascent profile shaped by vertical speed, apoapsis, angle of
// attack and equivalent airspeed, a sideslip-nulling yaw output, a wings-level and azimuth
// roll output, and the main-engine cut-off once the speed suffices for the target orbit.
#include <algorithm>
#include <cmath>

#include "guidance/equivalent_airspeed.h"
#include "guidance/output_limits.h"
#include "vessel/korvan.h"

namespace {

using korvan::kHeadingErrorLimit;
using korvan::kPitchOutputLimit;
using korvan::kRollScale;
using korvan::kSlipScale;

constexpr double kUnscheduledLaunch = -100.0;   // s: launch_time after Reset
constexpr double kReleaseDelay = 0.25;          // s after the first armed step
constexpr double kPitchErrorGain = 0.2;
constexpr double kPitchRateGain = 0.9;
constexpr double kTargetApoapsis = 115.0;       // km
constexpr double kBodyRadius = 6371000.0;       // m
constexpr double kBodyGm = 3.986e14;            // m^3/s^2
constexpr double kEarthRadiusKm = 6371.0;       // km, for the apoapsis height

constexpr double kEnergyPerMetre = 1e-6;        // energy index per metre of altitude
constexpr double kEnergyPerSpeed2 = 1e-6;       // energy index per (m/s)^2

constexpr double kClimbLatchApoapsis = 95.0;    // km
constexpr double kClimbLatchSinkRate = -10.0;   // m/s
constexpr double kClimbVsGain = 0.02;           // deg per m/s before the latch
constexpr double kLatchedVsGain = -0.012;       // deg per m/s after the latch
constexpr double kAoaGain = 0.98;
constexpr double kAoaGainEnergySlope = 0.0156;
constexpr double kLatchedPitchLimit = 40.0;     // deg
constexpr double kApoapsisFloorSpan = 5.0;      // km per degree of the floor

constexpr double kKeasEnergy = 5.0;             // energy index above which KEAS adds pitch
constexpr double kKeasPerDegree = 20.0;         // knots per degree

constexpr double kPitchLawMinEnergy = 0.19;
constexpr double kSlipEnergy = 3.5;
constexpr double kFastTimeAcceleration = 10.0;
constexpr double kFastSlipFactor = 0.2;
constexpr double kRollLawEnergy = 0.18;
constexpr double kHeadingHoldEnergy = 8.0;
constexpr double kWingsLevelAltitude = 100.0;   // m
constexpr double kMarkerTiltLimit = 8.0;        // deg

constexpr double kCutoffEnergy = 10.0;

constexpr double kSteerMinAltitude = 50.0;      // m
constexpr double kSteerRateLimit = 8.0;         // deg/s
constexpr double kSteerRateTolerance = 0.05;    // deg/s
constexpr double kSteerGain = 0.5;
constexpr double kSteerEnergyDivisor = 7.0;

// Brings an angle difference into -180..180 degrees; any finite value, however large.
double wrap_degrees(double angle) { return std::remainder(angle, 360.0); }

double heading_degrees(OBJHANDLE vessel) {
    double heading = 0.0;
    oapiGetHeading(vessel, &heading);
    return heading * DEG;
}

}  // namespace

double Korvan::ProfilePitch(double x) {
    const int n = profile_count;
    if (n <= 0) return 0.0;  // no profile installed: no pitch command
    // A single point, or an index that is not a number, gives the first point's pitch.
    if (n == 1 || std::isnan(x)) return profile_pitch[0];
    if (x > profile_energy[n - 1]) return profile_pitch[n - 1];
    int i = 1;
    while (i < n - 1 && profile_energy[i] < x) ++i;
    const double x0 = profile_energy[i - 1], x1 = profile_energy[i];
    const double y0 = profile_pitch[i - 1], y1 = profile_pitch[i];
    if (x1 == x0) return y1;  // a repeated abscissa: no slope to divide by
    return y0 + (y1 - y0) / (x1 - x0) * (x - x0);
}

void Korvan::Reset() {
    armed = true;
    launch_time = kUnscheduledLaunch;
    engaged = false;
    release_pending = false;
    cutoff_done = false;
    climb_latched = false;
    pitch_error_gain = kPitchErrorGain;
    pitch_rate_gain = kPitchRateGain;
    pitch_output = 0.0;
    roll_output = 0.0;
    target_apoapsis_altitude = kTargetApoapsis;
    body_radius = kBodyRadius;
    body_gm = kBodyGm;
}

void Korvan::Step(VESSEL* vessel, double simt) {
    if (vessel == nullptr) return;
    own_handle = vessel->GetHandle();
    reference_body = vessel->GetSurfaceRef();

    if (armed) {
        if (launch_time == 0.0) launch_time = simt + kReleaseDelay;
        if (mission_time > 0.0) {
            armed = false;
            release_pending = true;
            if (engaged) oapiSetEngineLevel(own_handle, ENGINE_MAIN, 1.0);
            vessel->GetStatus(status_snapshot);
        }
        return;
    }
    if (release_pending) {
        if (engaged) oapiSetEngineLevel(own_handle, ENGINE_MAIN, 1.0);
        release_pending = false;
        return;
    }

    // Ascent phase, for the rest of the vessel's life.
    if (engaged) oapiSetEngineLevel(own_handle, ENGINE_MAIN, 1.0);

    VECTOR3 body_velocity{};
    oapiGetRelativeVel(own_handle, reference_body, &body_velocity);
    const double speed = length(body_velocity);
    const double altitude = vessel->GetAltitude();
    energy_index = altitude * kEnergyPerMetre + speed * speed * kEnergyPerSpeed2;
    pitch_command = ProfilePitch(energy_index);

    ELEMENTS elements{};
    const double reference_mjd = oapiGetSimMJD();
    vessel->GetElements(reference_body, elements, nullptr, reference_mjd);
    apoapsis_altitude = (elements.e + 1.0) * elements.a / 1000.0 - kEarthRadiusKm;

    VECTOR3 horizon_airspeed{};
    vessel->GetHorizonAirspeedVector(horizon_airspeed);
    const double vertical_speed = horizon_airspeed.y;

    // Climb correction: vertical speed trims the profile until the apoapsis passes 95 km
    // or the vessel sinks; from then on the angle of attack is fed back as well.
    if (!climb_latched && apoapsis_altitude <= kClimbLatchApoapsis && vertical_speed >= kClimbLatchSinkRate) {
        pitch_command -= kClimbVsGain * vertical_speed;
    } else {
        climb_latched = true;
        const double aoa_gain =
            vertical_speed > 0.0 ? kAoaGain : kAoaGain - kAoaGainEnergySlope * std::sqrt(std::max(energy_index, 0.0));
        pitch_command += kLatchedVsGain * vertical_speed + aoa_gain * vessel->GetAOA() * DEG;
        pitch_command = std::min(pitch_command, kLatchedPitchLimit);
    }

    // Apoapsis floor: the lower the apoapsis, the steeper the climb.
    if (apoapsis_altitude < kClimbLatchApoapsis) {
        const double floor = (kClimbLatchApoapsis - apoapsis_altitude) / kApoapsisFloorSpan;
        if (floor > pitch_command) {
            pitch_command = floor;
            climb_latched = true;
        }
    }
    if (pitch_command < 0.0) {
        pitch_command = 0.0;
        climb_latched = true;
    }

    const double keas = korvan::equivalent_airspeed_knots(vessel->GetDynPressure(), vessel->GetAtmPressure());
    if (energy_index > kKeasEnergy) pitch_command += keas / kKeasPerDegree;

    // Pitch law: proportional on the attitude error, damped by the pitch rate.
    VECTOR3 angular_velocity{};
    vessel->GetAngularVel(angular_velocity);
    const double pitch = vessel->GetPitch() * DEG;
    const double error = pitch_command - pitch;
    const double pitch_rate = angular_velocity.x * DEG;
    double demand = pitch_error_gain * error - pitch_rate_gain * pitch_rate;
    pitch_error = pitch_error_gain * error;
    if (energy_index < kPitchLawMinEnergy) demand = 0.0;
    pitch_output = std::clamp(-demand, -kPitchOutputLimit, kPitchOutputLimit);
    if (std::isnan(pitch_output)) pitch_output = 0.0;
    bank_demand = 0.0;

    const double slip = vessel->GetSlipAngle() * DEG;
    if (energy_index > kSlipEnergy) {
        yaw_output = slip / kSlipScale;
        if (oapiGetTimeAcceleration() > kFastTimeAcceleration) yaw_output *= kFastSlipFactor;
    }

    if (energy_index > kRollLawEnergy) {
        vessel->GetStatus(status_snapshot);
        const double bank = vessel->GetBank() * DEG;
        double d = -bank;
        if (energy_index < kHeadingHoldEnergy) {
            double heading = heading_degrees(own_handle) + 180.0;
            if (heading < 0.0) heading += 360.0;
            // The shorter way round: a heading of 350 against an azimuth of 10 is -20.
            const double heading_error = wrap_degrees(heading - target_heading);
            d += std::clamp(heading_error, -kHeadingErrorLimit, kHeadingErrorLimit);
        }
        if (energy_index > kHeadingHoldEnergy) {
            d = -bank;
            yaw_output = slip / kSlipScale;
        }
        if (altitude < kWingsLevelAltitude) d = 0.0;
        bank_demand = d;
        marker_bank_angle = std::clamp(-d, -kMarkerTiltLimit, kMarkerTiltLimit) * RAD;
        roll_output = d / kRollScale;
    }

    // Speed at the present radius of the orbit whose apoapsis is the target.
    const double r = altitude + body_radius;
    const double ra = target_apoapsis_altitude * 1000.0 + body_radius;
    const double a = (r + ra) / 2.0;
    const double e = ra / a - 1.0;
    const double h = std::sqrt((1.0 - e * e) * a * body_gm);
    required_speed = h / r;

    VECTOR3 relative_velocity{};
    vessel->GetRelativeVel(reference_body, relative_velocity);
    const double orbital_speed = length(relative_velocity);
    if (energy_index > kCutoffEnergy && orbital_speed > required_speed) {
        cutoff_time = simt;
        cutoff_done = true;
        oapiSetEngineLevel(own_handle, ENGINE_MAIN, 0.0);
        pitch_output = yaw_output = roll_output = 0.0;
        engaged = false;
        vessel->SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 0.0);
        vessel->SetControlSurfaceLevel(AIRCTRL_AILERON, 0.0);
        vessel->SetControlSurfaceLevel(AIRCTRL_RUDDER, 0.0);
    }
}

void Korvan::SteerToAzimuth(VESSEL* vessel, double simt) {
    (void)simt;
    if (vessel == nullptr) return;
    if (!(vessel->GetAltitude() > kSteerMinAltitude)) return;
    const double bank = vessel->GetBank() * DEG;
    double wanted_rate = 0.0;
    if (energy_index <= kRollLawEnergy) {
        wanted_rate = 180.0 - bank;
        if (bank < 0.0) wanted_rate = -wanted_rate;
    } else {
        // target_heading is the azimuth plus 180, so this is the heading minus the azimuth.
        const double heading_error = heading_degrees(vessel->GetHandle()) - target_heading + 180.0;
        bank_demand = heading_error;
        wanted_rate = wrap_degrees(heading_error);
    }
    wanted_rate = std::clamp(wanted_rate, -kSteerRateLimit, kSteerRateLimit);
    const double yaw_rate = status_snapshot.vrot.y * DEG;
    double m = std::fabs(wanted_rate) / kSteerRateLimit;
    if (energy_index > 0.0) m /= kSteerEnergyDivisor * energy_index;
    if (std::fabs(yaw_rate - wanted_rate) > kSteerRateTolerance) {
        yaw_output = yaw_rate >= wanted_rate ? kSteerGain * m : -kSteerGain * m;
    } else {
        yaw_output = 0.0;
    }
}
