// The post-step: one fixed sequence of named steps, run once per frame, and the two shared
// routines that rebuild the vessel and install the ascent profile.
#include "vessel/korvan.h"

namespace {

// A launch time of this value means no release has been scheduled since the last reset.
constexpr double kLaunchUnscheduled = -100.0;   // s
constexpr double kMissionTimeBeforeRelease = -5.0;  // s

// The default ascent profile: energy index against pitch attitude (degrees).
constexpr int kProfilePoints = 14;
constexpr double kProfileEnergy[kProfilePoints] = {0.0, 0.2, 0.3, 0.5, 0.7, 1.0, 1.2,
                                                   1.6, 2.1, 2.7, 3.5, 5.0, 12.0, 18.0};
constexpr double kProfilePitch[kProfilePoints] = {49.0, 48.5, 48.0, 47.5, 47.0, 30.0, 22.0,
                                                  18.0, 14.0, 11.0, 9.0,  5.0,  3.0,  0.0};

}  // namespace

void Korvan::clbkPostStep(double simt, double simdt, double mjd) {
    (void)simdt, (void)mjd;
    run_step(simt);
}

void Korvan::run_step(double simt) {
    // 1. Messages: apply everything that arrived, then rebuild once.
    if (poll_messages()) {
        while (poll_messages()) {
        }
        rebuild_vessel();
    }
    // 2. Ascent profile, once.
    if (!profile_loaded) load_default_profile();
    // 3. Control surfaces, once.
    if (!control_surfaces_created) define_control_surfaces();
    // 4. Step time. The previous time starts at -0.01 s, so the first step counts from there.
    step_dt = simt - prev_step_time;
    prev_step_time = simt;
    // 5-6. Readout timer and target-inclination readout.
    update_inclination_readout();
    // 7. Guidance timing.
    if (launch_time == kLaunchUnscheduled) {
        mission_time = kMissionTimeBeforeRelease;
        launch_time = 0.0;
    } else {
        mission_time = simt - launch_time;
    }
    // 8. Guidance step, engaged or not.
    Step(this, simt);
    // 9. Engine modes while the six-engine set flies, and the jet sound.
    jet_from_six_engine_set = num_engines == KORVAN_MAX_ENGINES;
    if (jet_from_six_engine_set) manage_engines();
    update_jet_sound();
    // 10. Mechanisms.
    update_mechanisms();
    // 11. Flight-control mixing.
    mix_flight_controls();
    // 12. Ground handling.
    apply_ground_handling();
    // 13. The payload placed at the payload point in the scenario, once.
    if (first_step_pending) {
        capture_payload();
        first_step_pending = false;
    }
}

void Korvan::rebuild_vessel() {
    if (!animations_defined) define_animations();
    build_class_caps();
}

void Korvan::load_default_profile() {
    profile_loaded = true;
    auto* energies = new double[kProfilePoints];
    auto* pitches = new double[kProfilePoints];
    for (int i = 0; i < kProfilePoints; ++i) {
        energies[i] = kProfileEnergy[i];
        pitches[i] = kProfilePitch[i];
    }
    SetProfile(kProfilePoints, energies, pitches);
}

bool Korvan::has_focus() const { return GetHandle() == oapiGetFocusObject(); }
