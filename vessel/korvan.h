// The Korvan hypersonic spaceplane: the one vessel class of this module. Its state is the
// fields below; the logic behind each group of fields lives in the folder named beside it.
#pragma once

#include "guidance/guidance.h"
#include "stages/common_vessel_ex.h"

// Mechanism states (mechanisms/)
constexpr int MECH_CLOSED = 0;
constexpr int MECH_OPEN = 1;
constexpr int MECH_CLOSING = 2;
constexpr int MECH_OPENING = 3;

constexpr int KORVAN_MAX_ENGINES = 6;

class Korvan : public COMMON_VESSEL_EX, public GUIDANCE {
public:
    explicit Korvan(OBJHANDLE hVessel);
    ~Korvan() override;

    // Host callbacks
    void clbkSetClassCaps(FILEHANDLE cfg) override;                        // vessel/korvan.cpp
    void clbkSaveState(FILEHANDLE scn) override;                           // vessel/persistence.cpp
    void clbkLoadStateEx(FILEHANDLE scn, void* status) override;           // vessel/persistence.cpp
    void clbkPostStep(double simt, double simdt, double mjd) override;     // vessel/post_step.cpp
    void clbkVisualCreated(VISHANDLE vis, int refcount) override;          // vessel/korvan.cpp
    void clbkVisualDestroyed(VISHANDLE vis, int refcount) override;        // vessel/korvan.cpp
    int clbkConsumeBufferedKey(DWORD key, bool down, char* kstate) override;  // vessel/keys.cpp
    bool clbkDrawHUD(int mode, const HUDPAINTSPEC* hps, oapi::Sketchpad* skp) override;  // hud/hud.cpp

    // GUIDANCE (guidance/autopilot.cpp)
    void Step(VESSEL* vessel, double simt) override;
    void SteerToAzimuth(VESSEL* vessel, double simt) override;
    double ProfilePitch(double x) override;
    void Reset() override;

    // Step sequence and shared routines (vessel/post_step.cpp)
    void run_step(double simt);
    void rebuild_vessel();
    void load_default_profile();
    bool has_focus() const;

    // Keyboard commands (vessel/keys.cpp)
    void command_payload();
    void command_gear();
    void command_doors();
    void command_brakes();

    // Launch targeting (guidance/targeting.cpp)
    void open_azimuth_entry();
    static bool azimuth_entered(void* id, char* str, void* usrdata);
    void apply_azimuth_entry(const char* text);
    void update_inclination_readout();
    void toggle_guidance();

    // Flight model (flight/)
    void build_class_caps();          // flight/class_caps.cpp
    void define_main_engines();       // flight/propulsion.cpp
    void define_rcs();                // flight/propulsion.cpp
    void manage_engines();            // flight/propulsion.cpp
    double mach_switch() const;       // flight/propulsion.cpp
    void define_aerodynamics();       // flight/aerodynamics.cpp
    void define_control_surfaces();   // flight/aerodynamics.cpp
    void mix_flight_controls();       // flight/control_mixing.cpp
    void apply_ground_handling();     // flight/ground_handling.cpp

    // Mechanisms (mechanisms/mechanisms.cpp)
    void define_animations();
    void toggle_gear();
    void toggle_doors();
    void toggle_brakes();
    void toggle_nozzles();
    void update_mechanisms();

    // Payload attachment (stages/payload.cpp)
    void capture_payload();
    void refresh_payload_point();
    void grapple_search();

    // Sound (sound/vessel_sounds.cpp)
    void load_sounds();
    void update_jet_sound();

    // ---- Vessel fields ----
    bool variant_b = false;
    int config_index = 1;
    int num_engines = 6;

    int gear_state = MECH_CLOSED, door_state = MECH_CLOSED, brake_state = MECH_CLOSED, nozzle_state = MECH_CLOSED;
    double gear_position = 0.0, door_position = 0.0, brake_position = 0.0, nozzle_position = 0.0;
    bool wheel_brakes_on = false;

    SURFHANDLE exhaust_tex_main = nullptr, exhaust_tex_rcs = nullptr;
    MESHHANDLE mesh_main = nullptr, mesh_dummy = nullptr;
    bool animations_defined = false;
    UINT anim_gear_outer = 0, anim_gear_legs = 0, anim_doors = 0, anim_elevator = 0, anim_elevator_trim = 0,
         anim_aileron_right = 0, anim_aileron_left = 0, anim_rudder = 0, anim_brakes = 0;

    DOCKHANDLE dock_port = nullptr;
    ATTACHMENTHANDLE payload_attachment = nullptr, grapple_attachment = nullptr;
    ATTACHMENTHANDLE ng_child_attachment = nullptr, ng_parent_attachment = nullptr;

    int sound_id = -1;
    double prev_step_time = -0.01, step_dt = 0.0;
    bool first_step_pending = true;
    bool profile_loaded = false;
    bool control_surfaces_created = false;
    double readout_timer = 0.01;
    // Set by the step before update_jet_sound: the six-engine set was active at the start of
    // the engine update, so the jet may play (manage_engines may switch to four meanwhile).
    bool jet_from_six_engine_set = false;

    // Propulsion (flight/propulsion.cpp)
    PROPELLANT_HANDLE main_propellant = nullptr;
    THRUSTER_HANDLE main_thrusters[KORVAN_MAX_ENGINES] = {};
    THGROUP_HANDLE main_group = nullptr;
    PARTICLESTREAMSPEC exhaust_stream_spec{};

    // Control mixing (flight/control_mixing.cpp)
    double control_demand[3] = {0.0, 0.0, 0.0};  // pitch, yaw, roll
    VECTOR3 body_rates{};

    // Payload attachment (stages/payload.cpp)
    VECTOR3 payload_point_global{};
    double payload_mass = 0.0;

    // Guidance state (guidance/)
    bool engaged = false;
    bool armed = false;
    bool release_pending = false;
    bool cutoff_done = false;
    bool climb_latched = false;
    double launch_time = 0.0;
    double mission_time = 0.0;
    double target_heading = 270.0;
    double energy_index = 0.0;
    double pitch_command = 0.0;
    double pitch_error = 0.0;
    double pitch_error_gain = 0.0;
    double pitch_rate_gain = 0.0;
    double pitch_output = 0.0, yaw_output = 0.0, roll_output = 0.0;
    double bank_demand = 0.0;
    double marker_bank_angle = 0.0;
    double apoapsis_altitude = 0.0;
    double target_apoapsis_altitude = 0.0;
    double body_radius = 0.0;
    double body_gm = 0.0;
    double required_speed = 0.0;
    double cutoff_time = 0.0;
    VESSELSTATUS status_snapshot{};
    OBJHANDLE own_handle = nullptr;
    OBJHANDLE reference_body = nullptr;

    // Read access to the profile for tests and the HUD
    int profile_size() const { return profile_count; }
    const double* profile_energies() const { return profile_energy; }
    const double* profile_pitches() const { return profile_pitch; }
};
