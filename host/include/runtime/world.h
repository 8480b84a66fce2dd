// The World: everything the host knows. Per vessel its definition (what the vessel
// declared), its state (what the physics integrates) and its observables (air data written
// by the physics after each step; the rest derived on demand). Plus the clock, focus,
// key-state buffer, debug line, input box, scenario streams, log and vessel classes.
//
// The World stores, derives, answers and records; it integrates nothing.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orbiter_api.h"
#include "runtime/handle_cursor.h"
#include "vessel_api.h"

namespace runtime {

struct VesselRecord;

// ---------------------------------------------------------------------------------------
// Definition records. Handles given to a vessel are pointers to these records; a record
// lives until the vessel clears that kind of definition or is destroyed.
// ---------------------------------------------------------------------------------------
struct PropellantRecord {
    double max_mass = 0.0;  // kg
    double mass = 0.0;      // kg
    double efficiency = 1.0;
};

struct ThrusterRecord {
    const VECTOR3& pos = pos_;
    const VECTOR3& dir = dir_;    // as set: not normalised by the vessel
    const double& max0 = max0_;   // N, vacuum rating
    // The only ways to set them; each makes the torque below stale.
    void set_geometry(const VECTOR3& pos, const VECTOR3& dir, double max0);
    void set_dir(const VECTOR3& direction) {
        dir_ = direction;
        torque_known_ = false;
    }
    void set_max0(double rating) {
        max0_ = rating;
        torque_known_ = false;
    }
    // The torque at full level (vessel frame, F x r, N m), zero for a zero direction: derived
    // at first need after set_geometry, which alone changes what it depends on (most
    // thrusters, steered every step but in no attitude group, never need it).
    const VECTOR3& full_torque() const;
    PropellantRecord* propellant = nullptr;
    double isp_vac = 0.0;    // m/s
    double isp_ref = 0.0;    // m/s at p_ref; 0 means no pressure dependence
    double p_ref = 101.4e3;  // Pa
    const double& level = level_;  // 0..1, set through World::set_thruster_level
    std::size_t index = 0;         // place in the vessel's thruster list

    ThrusterRecord() = default;
    ThrusterRecord(const ThrusterRecord&) = delete;
    ThrusterRecord& operator=(const ThrusterRecord&) = delete;

private:
    friend class World;
    double level_ = 0.0;
    VECTOR3 pos_{}, dir_{};
    double max0_ = 0.0;
    mutable VECTOR3 full_torque_{};
    mutable bool torque_known_ = false;
};

struct ThrusterGroupRecord {
    THGROUP_TYPE type = THGROUP_USER;
    std::vector<ThrusterRecord*> thrusters;
};

struct ExhaustRecord {
    ThrusterRecord* thruster = nullptr;
    double lscale = 0.0, wscale = 0.0;
    bool has_position = false;  // false: drawn at the thruster
    VECTOR3 pos{}, dir{};
    SURFHANDLE tex = nullptr;
};

struct ExhaustStreamRecord {
    ThrusterRecord* thruster = nullptr;
    VECTOR3 pos{};
    bool has_spec = false;
    PARTICLESTREAMSPEC spec{};
};

struct AirfoilRecord {
    AIRFOIL_ORIENTATION orientation = LIFT_VERTICAL;
    VECTOR3 ref{};
    AirfoilCoeffFunc coeff = nullptr;  // points into module memory: valid while the vessel lives
    double chord = 0.0, area = 0.0, aspect = 0.0;
};

struct DragElementRecord {
    const double* drag = nullptr;  // the vessel's driving value, 0..1
    double factor = 0.0;
    VECTOR3 ref{};
};

struct ControlSurfaceRecord {
    AIRCTRL_TYPE type = AIRCTRL_ELEVATOR;
    double area = 0.0;
    double dCl = 0.0;
    VECTOR3 ref{};
    int axis = AIRCTRL_AXIS_AUTO;
    UINT anim = (UINT)-1;
};

struct AttachmentRecord {
    VesselRecord* owner = nullptr;
    bool to_parent = false;  // true: this point attaches its owner to a parent
    VECTOR3 pos{}, dir{}, rot{};
    std::string id;
    bool loose = false;
    // The attachment link: for a child-side point the attached child and the child's
    // to-parent point; for a to-parent point the parent and the parent's point.
    VesselRecord* linked = nullptr;
    AttachmentRecord* linked_point = nullptr;
};

struct DockRecord {
    VECTOR3 pos{}, dir{}, rot{};
};

struct AnimationComponentRecord {
    double state0 = 0.0, state1 = 1.0;
    MGROUP_TRANSFORM* transform = nullptr;  // module memory
    ANIMATIONCOMPONENT_HANDLE parent = nullptr;
};

struct AnimationRecord {
    double default_state = 0.0;
    double state = 0.0;
    std::vector<std::unique_ptr<AnimationComponentRecord>> components;
};

struct MeshResource {
    std::string name;  // as asked for
    std::string path;  // file found in the run tree, empty when missing
    bool global = false;
};

struct TextureResource {
    std::string name;
    std::string path;  // empty when missing
    bool particle = false;
};

struct MeshEntry {
    MESHHANDLE handle = nullptr;  // a MeshResource*, or null
    VECTOR3 offset{};
    WORD visibility = MESHVIS_EXTERNAL;
};

struct VesselDefinition {
    std::vector<MeshEntry> meshes;
    int mesh_clears = 0;  // ClearMeshes calls, so that a test can count a vessel's rebuilds
    double size = 1.0;  // m
    double empty_mass = 0.0;
    VECTOR3 pmi{1.0, 1.0, 1.0};  // m^2: inertia per unit mass
    VECTOR3 cross_sections{1.0, 1.0, 1.0};
    double cw_z_pos = 0.1, cw_z_neg = 0.1, cw_x = 0.1, cw_y = 0.1;
    VECTOR3 rot_drag{0.0, 0.0, 0.0};
    double pitch_moment_scale = 0.0, bank_moment_scale = 0.0, trim_scale = 0.0;
    VECTOR3 camera_offset{};
    std::array<VECTOR3, 3> touchdown{};
    bool touchdown_set = false;
    double friction_lng = 0.1, friction_lat = 0.5;
    bool transponder = false;
    std::vector<std::unique_ptr<PropellantRecord>> propellants;
    PropellantRecord* default_propellant = nullptr;
    std::vector<std::unique_ptr<ThrusterRecord>> thrusters;
    // The thrusters whose level is above 0, in definition order (the order their thrust is
    // summed in): the World keeps it as levels change and thrusters come and go.
    std::vector<ThrusterRecord*> firing;
    std::vector<std::unique_ptr<ThrusterGroupRecord>> groups;
    // The group of each predefined type (null: none), kept with `groups` by the World.
    std::array<ThrusterGroupRecord*, THGROUP_TYPE_COUNT> group_of_type{};
    std::vector<ExhaustRecord> exhausts;
    std::vector<ExhaustStreamRecord> streams;
    std::vector<std::unique_ptr<AirfoilRecord>> airfoils;
    std::vector<DragElementRecord> drag_elements;
    std::vector<std::unique_ptr<ControlSurfaceRecord>> control_surfaces;
    std::vector<std::unique_ptr<AttachmentRecord>> attachments;  // both sides, in creation order
    std::vector<std::unique_ptr<DockRecord>> docks;
    std::vector<std::unique_ptr<AnimationRecord>> animations;  // index = animation id
    // Where the vessel's handles were found last in their lists (runtime/handle_cursor.h).
    mutable HandleCursor propellant_cursor, thruster_cursor, attachment_cursor;
};

// Body: the one central body the World knows. Its frame rotates about the global +y axis.
// How far below the surface a vessel may be placed (its origin, m): deeper, the ground's
// spring would throw it out at many times the speed of sound and its state would run away.
inline constexpr double kMaxDepthBelowSurface = 100.0;
// How high above the surface a vessel may stand landed (its origin, m): a status that says
// landed farther up is a vessel in flight, released or placed above a landed one.
inline constexpr double kMaxLandedHeight = 10000.0;

struct BodyRecord {
    std::string name = "Earth";
    double radius = 6371.0e3;         // m
    double mu = 3.986004e14;          // m^3/s^2
    double sidereal_period = 86164.1; // s
    double rotation_offset = 0.0;     // rad: rotation angle at simulation time 0
    // How this flight's air departs from the standard one (docs/physics.md, "Dispersions"):
    // a factor on the density, and a wind over the ground with its profile in altitude.
    double density_factor = 1.0;
    double wind_east = 0.0;   // m/s, aloft
    double wind_north = 0.0;  // m/s, aloft
};

// The wind at a global position (m/s, global frame): the body's wind aloft scaled by its
// profile in altitude; the air moves with the ground besides.
VECTOR3 wind_velocity(const BodyRecord& body, const VECTOR3& pos);

// How the vessel moves: what the physics integrates. Written only through the World
// (World::move), which marks what it derived from it stale. Frames: the global frame is
// inertial with the body at its origin; R maps vessel-frame vectors to global ones. Vessel
// frame: x right, y up, z forward. Angular velocity in the vessel frame, positive x nose up,
// positive y nose left, positive z right wing down (see docs/physics.md).
struct VesselState {
    VECTOR3 pos{};                 // m, global
    VECTOR3 vel{};                 // m/s, global, inertial
    MATRIX3 R = identity_matrix(); // vessel to global
    VECTOR3 omega{};               // rad/s, vessel frame
    bool landed = false;           // held by the ground: rests with the surface
};

// What the vessel and the pilot ask of the controls: nothing the World derives depends on it.
struct VesselControls {
    // The pilot's inputs, what GetManualControlLevel answers: 0..1 per thruster-group type
    // (the throttle for main, retro and hover), and -1..1 per control-surface type. The
    // headless host's pilot model applies them (docs/host.md).
    std::array<double, THGROUP_TYPE_COUNT> manual_levels{};
    std::array<double, AIRCTRL_TYPE_COUNT> manual_surface_levels{};
    int rcs_mode = RCS_NONE;  // the attitude thrusters' manual mode
    int navmode = 0;          // the active attitude autopilot (NAVMODE_*), 0 for none
    VECTOR3 attitude_rot_level{};
    // The vessel's own levels, -1..1 (what the physics uses, plus the pilot's inputs for each
    // step), and the levels as it asked for them, before the clamp.
    std::array<double, AIRCTRL_TYPE_COUNT> control_surface_levels{};
    std::array<double, AIRCTRL_TYPE_COUNT> control_surface_requests{};
    struct AddedForce {
        VECTOR3 force, point;
    };
    std::vector<AddedForce> added_forces;  // from AddForce, used by the next physics step
};

// Air data at the vessel's position: written by the physics after each step.
struct AirData {
    double pressure = 0.0;        // Pa
    double density = 0.0;         // kg/m^3
    double temperature = 0.0;     // K
    double speed_of_sound = 340.294;  // m/s
};

// Forces of the last physics step, in the vessel frame: written by the physics.
struct ForceData {
    VECTOR3 total{};   // all forces, weight included
    VECTOR3 weight{};
    VECTOR3 thrust{};
    VECTOR3 lift{};
    VECTOR3 drag{};
};

// A test may pin any observable; a pinned value wins until it is reset.
struct ObservablePins {
    std::optional<double> altitude, airspeed, mach, dyn_pressure, atm_pressure, pitch, bank, aoa, slip, heading,
        mass;
    std::optional<VECTOR3> angular_vel, horizon_airspeed, relative_vel, global_pos, force, weight;
    std::optional<std::array<double, 3>> equ_pos;  // longitude, latitude (rad), radius (m)
    std::optional<ELEMENTS> elements;
    void release_all() { *this = ObservablePins{}; }
};

// What the questions of a step need of a vessel's motion and air, derived at first need and
// answered from here until the World changes the motion (World::move) or the air data
// (World::set_air): the World performs every such change, so it alone marks these stale, and
// each value is computed once per state. `known` holds a bit per group already derived.
struct DerivedObservables {
    enum Group : unsigned {
        kFrame = 1u << 0,     // horizon axes, altitude, airspeed vectors, airspeed, Mach, dynamic pressure
        kPitch = 1u << 1,
        kBank = 1u << 2,
        kHeading = 1u << 3,
        kAoa = 1u << 4,
        kSlip = 1u << 5,
        kArot = 1u << 6,      // the status's orientation angles
        kElements = 1u << 7,
    };
    unsigned known = 0;
    VECTOR3 east{}, up{}, north{};  // local horizon axes, global
    double altitude = 0.0;          // m
    VECTOR3 airspeed_global{};      // relative to the rotating air
    VECTOR3 airspeed_local{};
    double airspeed = 0.0, mach = 0.0, dyn_pressure = 0.0;
    double pitch = 0.0, bank = 0.0, heading = 0.0, aoa = 0.0, slip = 0.0;  // rad
    VECTOR3 arot{};
    ELEMENTS elements{};
};

// What the physics carries from the end of one step to the start of the next for a vessel: the
// air where the step ended, the airfoils' forces there with the definitions they came from,
// and the ground-fixed pose of a vessel the ground holds. It holds while `valid`: the World
// clears that whenever it changes the vessel's motion (World::move), so the physics sets it
// again only after writing a step's motion, and takes any other change as a new start.
struct PhysicsCarry {
    bool valid = false;
    bool air_known = false;
    AirData air;  // at the position the step ended at
    bool airfoils_known = false;
    VECTOR3 airfoil_force{}, airfoil_torque{}, airfoil_lift{}, airfoil_drag{};  // vessel frame
    std::vector<AirfoilRecord> airfoil_definitions;  // copied only when they change
    bool resting = false;
    VECTOR3 ground_pos{};  // body-fixed position while resting
    MATRIX3 ground_rot{};  // body-fixed attitude while resting
    // A wreck: it struck the ground harder than it can take, rests where it came to rest and its
    // engines give nothing. Not a value derived from the motion, so a World::move does not end
    // it: it stays a wreck while it is on the ground, and a placement that takes it off the
    // ground (not landed) ends it.
    bool crashed = false;
};

struct ModuleRecord;

struct VesselRecord {
    std::string name;
    std::string class_name;
    VESSEL* iface = nullptr;             // the module's vessel, or the host's plain one
    ModuleRecord* module = nullptr;      // null for a vessel without a module
    VesselDefinition def;
    // Read by anyone; written only through the World (World::move, World::set_air).
    const VesselState& state = state_;
    const AirData& air = air_;
    VesselControls controls;
    ForceData forces;
    ObservablePins pins;
    std::vector<std::string> unparsed_lines;  // scenario lines neither vessel nor host used
    bool pending_delete = false;

    VesselRecord() = default;
    VesselRecord(const VesselRecord&) = delete;
    VesselRecord& operator=(const VesselRecord&) = delete;

private:
    friend class World;
    VesselState state_;
    AirData air_;
    mutable DerivedObservables derived_;
    PhysicsCarry carry_;
    // What the attachment links of its points say: the vessel this one is attached to (null:
    // none) and how many children hang on it. The World changes links only in attach, detach
    // and destroy_vessel, and sets these there for every vessel whose links changed.
    VesselRecord* parent_ = nullptr;
    std::size_t children_ = 0;
};

// A vessel class from Config/Vessels/<Class>.cfg: either a module, or the figures of a
// plain vessel.
struct AttachmentSpec {
    bool to_parent = true;
    VECTOR3 pos{}, dir{0, 0, 1}, rot{0, 1, 0};
    std::string id;
};

struct VesselClass {
    std::string name;
    std::string module;  // empty: a plain vessel
    double size = 1.0;
    double empty_mass = 1000.0;
    double max_fuel = 0.0;
    double isp = 0.0;
    VECTOR3 pmi{1, 1, 1};
    VECTOR3 cross_sections{1, 1, 1};
    double cw_z_pos = 0.5, cw_z_neg = 0.5, cw_x = 1.0, cw_y = 1.0;
    std::vector<AttachmentSpec> attachments;
    std::string source;  // the file it came from
};

// Osculating elements of an orbit about a body of gravitational parameter mu (m^3/s^2), from
// the inertial position and velocity relative to its centre (docs/host.md, "Observables").
ELEMENTS orbital_elements(const VECTOR3& pos, const VECTOR3& vel, double mu);

// Reads the "Key = value" lines of a class config into cls (docs/host.md lists the keys and
// their ranges). False, with "source:line: what is wrong" in *error, at the first line that
// cannot be used.
bool parse_vessel_class(const std::string& text, const std::string& source, VesselClass& cls, std::string* error);

struct ModuleRecord {
    std::string path;
    HMODULE handle = nullptr;
    OvcInitFunc init = nullptr;
    OvcExitFunc exit = nullptr;
    int users = 0;
};

struct InputBox {
    bool open = false;
    std::string title;
    InputBoxHandler handler = nullptr;
    void* usrdata = nullptr;
    int vislen = 0;
    std::string initial_text;  // the text the box opened with
};

// Scenario streams. A reader hands out the lines of one vessel block; a writer collects
// the lines a vessel writes, each as "KEY value" without indentation.
struct ScenarioReader {
    std::vector<std::string> lines;
    size_t next = 0;
    std::string current;  // storage for the line handed out
};
struct ScenarioWriter {
    std::vector<std::string> lines;
};

class World {
public:
    World();
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // The World the host API answers from. Creating a World makes it current; destroying the
    // current one leaves the current one before it, or with none an empty World that lives as
    // long as the process (current_or_null answers null for it).
    static World& current();
    static World* current_or_null();

    // Run tree: the folder that holds Modules/, Config/, Meshes/, Textures/, Sound/.
    void set_root(const std::string& root);
    const std::string& root() const { return root_; }

    // Clock
    double sim_time = 0.0;
    double sim_step = 0.01;
    double mjd = 51544.5;
    double time_acceleration = 1.0;

    // Focus, keys, debug line, input box
    OBJHANDLE focus = nullptr;
    std::array<char, KEYSTATE_SIZE> keystate{};
    bool accept_delayed_keys = true;
    std::array<char, 256> debug_line{};
    InputBox input_box;
    // Answers the open input box with a text; returns false when none is open.
    bool answer_input_box(const std::string& text);

    // Log: every line written with oapiWriteLog and every note of the runtime.
    std::vector<std::string> log;
    void note(const std::string& line);

    // The body
    BodyRecord earth;
    OBJHANDLE body_handle() { return &earth; }
    double body_rotation_angle() const;  // rad at sim_time
    double body_rotation_rate() const;   // rad/s

    // Vessel classes
    void add_class(const VesselClass& cls);
    const VesselClass* find_class(const std::string& name);  // loads Config/Vessels/<name>.cfg on first use
    // The same, with the reason for a null result (unknown class, or the file and line of a
    // malformed config).
    const VesselClass* find_class(const std::string& name, std::string* error);

    // Vessels. Creation by class: a module class loads its module (once), runs ovcInit and
    // clbkSetClassCaps; a plain class gets the figures of its config. Returns null and notes
    // the reason in the log on failure (unknown class, missing module, no ovcInit).
    VesselRecord* create_vessel(const std::string& name, const std::string& class_name,
                                const VESSELSTATUS* status, std::string* error = nullptr);
    // Creates and runs ovcInit only; the caller runs clbkSetClassCaps and the scenario load.
    VesselRecord* instantiate_vessel(const std::string& name, const std::string& class_name,
                                     std::string* error = nullptr);
    void destroy_vessel(VesselRecord* v);
    void destroy_all_vessels();
    // oapiDeleteVessel only marks a vessel; the host destroys marked vessels here, between
    // frames, so that no vessel is destroyed inside its own callback.
    void destroy_pending_vessels();
    size_t vessel_count() const { return vessels_.size(); }
    VesselRecord* vessel(size_t i) const { return vessels_[i].get(); }
    VesselRecord* find_vessel(const std::string& name) const;
    // The vessel behind a handle, null for an unknown one. The vessel asked about last is
    // answered at once: a vessel's callbacks ask about their own vessel many times a step.
    VesselRecord* record(OBJHANDLE h) const {
        if (h == last_handle_) [[likely]] {
            if (h == nullptr) __builtin_unreachable();  // last_handle_ is never null
            return static_cast<VesselRecord*>(h);       // the vessel found last
        }
        return find_record(h);
    }
    bool is_vessel(OBJHANDLE h) const { return record(h) != nullptr; }

    // Plain vessels with no module get this vessel object.
    static VESSEL* make_plain_vessel(OBJHANDLE h);

    // Attachments: false when the link would make a cycle or the points do not fit.
    bool attach(VesselRecord* parent, AttachmentRecord* parent_point, VesselRecord* child,
                AttachmentRecord* child_point);
    bool detach(AttachmentRecord* parent_point, double vel);
    VesselRecord* parent_of(const VesselRecord* v) const { return v != nullptr ? v->parent_ : nullptr; }
    // Places every attached child rigidly at its parent's attachment point.
    void place_children(VesselRecord* parent);

    // The only ways to change a vessel's motion and its air data. Each marks what the World
    // derived from them stale: the observables and the physics' carry.
    VesselState& move(VesselRecord& v);
    void set_air(VesselRecord& v, const AirData& air);
    // What the physics carries between steps (it writes it back after each step's move).
    PhysicsCarry& carry(VesselRecord& v) { return v.carry_; }

    // Derived observables (pins win), each computed once per state at first need.
    double mass(const VesselRecord& v) const;  // empty mass plus all propellant
    double altitude(const VesselRecord& v) const;
    VECTOR3 airspeed_vector_global(const VesselRecord& v) const;  // relative to the rotating air and its wind
    VECTOR3 airspeed_vector_local(const VesselRecord& v) const;
    double airspeed(const VesselRecord& v) const;
    double mach(const VesselRecord& v) const;
    double dyn_pressure(const VesselRecord& v) const;
    double atm_pressure(const VesselRecord& v) const;
    double pitch(const VesselRecord& v) const;    // rad
    double bank(const VesselRecord& v) const;     // rad
    double heading(const VesselRecord& v) const;  // rad, 0..2pi
    double aoa(const VesselRecord& v) const;
    double slip(const VesselRecord& v) const;
    VECTOR3 angular_vel(const VesselRecord& v) const;
    VECTOR3 horizon_airspeed(const VesselRecord& v) const;  // x east, y up, z north
    VECTOR3 global_pos(const VesselRecord& v) const;
    VECTOR3 relative_vel(const VesselRecord& v) const;  // inertial, relative to the body
    void equ_pos(const VesselRecord& v, double& lng, double& lat, double& rad) const;
    const ELEMENTS& elements(const VesselRecord& v) const;  // the pin, or the snapshot's
    VECTOR3 force_vector(const VesselRecord& v) const;
    VECTOR3 weight_vector(const VesselRecord& v) const;
    VESSELSTATUS status(const VesselRecord& v) const;
    void status(const VesselRecord& v, VESSELSTATUS& out) const;  // the same, written into `out`
    void set_status(VesselRecord& v, const VESSELSTATUS& s);
    // Local horizon axes at a global position: east, up, north (unit vectors, global frame).
    void horizon_axes(const VECTOR3& pos, VECTOR3& east, VECTOR3& up, VECTOR3& north) const;
    // Places a vessel at rest on the surface at longitude and latitude (rad) with a compass
    // heading (rad) and height of its origin above the surface (m).
    void set_landed(VesselRecord& v, double lng, double lat, double heading, double height);

    // Thruster groups and levels, as the host sees them. Levels change only here, so that the
    // vessel's list of firing thrusters follows them.
    ThrusterGroupRecord* group(VesselRecord& v, THGROUP_TYPE type) const;
    double group_level(const VesselRecord& v, THGROUP_TYPE type) const;  // mean of its thrusters
    void set_group_level(VesselRecord& v, THGROUP_TYPE type, double level);
    // Clamped to 0..1 (NaN kept). Inline: levels are set many times a step, and the firing list
    // changes only when a thruster starts or stops.
    void set_thruster_level(VesselRecord& v, ThrusterRecord& t, double level) {
        const double clamped = level < 0.0 ? 0.0 : (level > 1.0 ? 1.0 : level);
        const bool was_firing = !(t.level_ <= 0.0), firing = !(clamped <= 0.0);
        t.level_ = clamped;
        if (was_firing != firing) update_firing(v, t, firing);
    }

    // Resources
    MESHHANDLE load_mesh(const std::string& name, bool global);
    SURFHANDLE load_texture(const std::string& name, bool particle);
    std::string find_resource(const std::string& folder, const std::string& name, const std::string& ext) const;

    // Scenario streams
    FILEHANDLE open_reader(const std::vector<std::string>& lines);
    FILEHANDLE open_writer();
    ScenarioReader* reader(FILEHANDLE h);
    ScenarioWriter* writer(FILEHANDLE h);
    void close_stream(FILEHANDLE h);

    // Hooks for the host's own scenario keys (STATUS, POS, ...). The headless host sets
    // them; without them ParseScenarioLineEx keeps the line in unparsed_lines and
    // SaveDefaultState writes nothing.
    std::function<bool(VesselRecord&, const char* line, void* status)> parse_default_line;
    std::function<void(const VesselRecord&, FILEHANDLE scn)> write_default_state;

    // Mandatory observer for created vessels (the headless host places them etc.).
    std::function<void(VesselRecord&)> on_vessel_created;

private:
    // The vessel's snapshot with its frame group known; the other groups are derived by the
    // observable that answers them (observables.cpp). Asked many times a step: the check is
    // inline, the derivation once per state.
    DerivedObservables& frame(const VesselRecord& v) const {
        if ((v.derived_.known & DerivedObservables::kFrame) != 0) [[likely]]
            return v.derived_;
        return derive_frame(v);
    }
    DerivedObservables& derive_frame(const VesselRecord& v) const;
    void release_module(ModuleRecord* module);  // unloads it when its last vessel is gone
    void update_firing(VesselRecord& v, ThrusterRecord& t, bool firing);  // t started or stopped
    VesselRecord* find_record(OBJHANDLE h) const;
    void place_children_below(VesselRecord* parent, size_t depth);
    void find_links(VesselRecord& v);  // sets parent_ and children_ from the links, after they changed
    void forget_vessel_handles();  // after a vessel left the list

    // The handle of the vessel found last (a vessel's handle is its record), or a handle no
    // caller is given while there is none: never null, so that the answer on the likely path
    // needs no test for null.
    mutable OBJHANDLE last_handle_;
    mutable HandleCursor vessel_cursor_;

    std::string root_ = ".";
    std::vector<std::unique_ptr<VesselRecord>> vessels_;
    std::map<std::string, VesselClass> classes_;
    std::map<std::string, std::unique_ptr<ModuleRecord>> modules_;
    std::deque<MeshResource> meshes_;
    std::deque<TextureResource> textures_;
    std::map<void*, std::unique_ptr<ScenarioReader>> readers_;
    std::map<void*, std::unique_ptr<ScenarioWriter>> writers_;
};

}  // namespace runtime
