// Gear, bay doors, brakes and nozzles: the two-position state machine, the meshes and
// every animation of the vessel, and the per-step update.
#include <cmath>

#include "mechanisms/mechanism.h"
#include "vessel/korvan.h"

namespace {

constexpr double kGearRate = 0.25;      // position units per second: 4 s end to end
constexpr double kDoorRate = 0.07125;   // position units per second: about 14.04 s
constexpr double kBrakeRate = 0.25;     // position units per second

constexpr const char* kMainMesh = "Korvan";
constexpr const char* kDummyMesh = "dummy";
constexpr UINT kHullMesh = 0;

// Initial animation states.
constexpr double kGearOuterInitial = 1.0;
constexpr double kSurfaceNeutral = 0.5;

// Component ranges within their animations.
constexpr double kDoorStart = 0.1, kDoorEnd = 0.9;
constexpr double kGearLegsStart = 0.05, kGearLegsEnd = 0.4;
constexpr double kGearOuterStart = 0.45, kGearOuterEnd = 0.95;

float radians(double degrees) { return static_cast<float>(degrees * RAD); }

// One rotation of one mesh group of the hull. The component and its group list live as
// long as the module: every vessel of the module shares them.
struct Rotation {
    UINT group;
    MGROUP_ROTATE transform;
    Rotation(UINT group_, VECTOR3 ref, VECTOR3 axis, double degrees)
        : group(group_), transform(kHullMesh, &group, 1, ref, axis, radians(degrees)) {}
    Rotation(const Rotation&) = delete;
    Rotation& operator=(const Rotation&) = delete;
};

struct SharedComponents {
    Rotation c1{4, _V(-8.8, -10, -9), _V(0, 0, 1), -80};
    Rotation c2{6, _V(0, -2.5, -35.5), _V(1, 0, 0), 8};
    Rotation c3{8, _V(8.8, -10, -9), _V(0, 0, 1), 80};
    Rotation c4{2, _V(-0.752, -6, 20), _V(0, 0.19611, 0.98058), -110};
    Rotation c5{1, _V(0, -5, 25), _V(1, 0, 0), -77};
    Rotation c8{3, _V(-17.5, 0.05, -43.15), _V(1, 0, 0), 25};
    Rotation c9{7, _V(17.5, 0.05, -43.15), _V(1, 0, 0), 25};
    Rotation c10{5, _V(-10.25, 4, -42.8), _V(0, 1, 0), -16};
    Rotation c11{9, _V(10.25, 4, -42.8), _V(0, 1, 0), -16};
    Rotation c12{3, _V(-17.5, 0.05, -43.15), _V(1, 0, 0), -25};
    Rotation c13{7, _V(17.5, 0.05, -43.15), _V(1, 0, 0), 25};
};

struct DoorComponents {
    Rotation c6, c7;
};

SharedComponents& shared_components() {
    static SharedComponents components;
    return components;
}

// The two door pairs are built apart, each the first time a vessel of its variant needs it.
DoorComponents& door_components(bool variant_b) {
    if (variant_b) {
        static DoorComponents doors_b{{17, _V(2.05, 1.583, 0), _V(0, 0, 1), -145},
                                      {18, _V(-2.05, 1.583, 0), _V(0, 0, 1), 145}};
        return doors_b;
    }
    static DoorComponents doors{{12, _V(1.2, 1.353, 19.5), _V(0, 0, 1), -145},
                                {13, _V(-1.2, 1.353, 19.5), _V(0, 0, 1), 145}};
    return doors;
}

}  // namespace

void toggle_mechanism(int& state) {
    state = (state == MECH_CLOSED || state == MECH_CLOSING) ? MECH_OPENING : MECH_CLOSING;
}

void advance_mechanism(int& state, double& position, double rate, double dt) {
    if (state < MECH_CLOSING) return;
    // A position that is not a number (an edited scenario) starts from the closed end.
    if (!std::isfinite(position)) position = 0.0;
    const double d = dt * rate;
    if (state == MECH_CLOSING) {
        if (!(position > 0.0))
            state = MECH_CLOSED;
        else
            position = position - d < 0.0 ? 0.0 : position - d;
    } else {
        if (!(position < 1.0))
            state = MECH_OPEN;
        else
            position = position + d > 1.0 ? 1.0 : position + d;
    }
}

void Korvan::define_animations() {
    animations_defined = true;
    mesh_main = oapiLoadMeshGlobal(kMainMesh);
    mesh_dummy = oapiLoadMeshGlobal(kDummyMesh);

    anim_gear_outer = CreateAnimation(kGearOuterInitial);
    anim_gear_legs = CreateAnimation(0.0);
    anim_doors = CreateAnimation(0.0);
    anim_elevator = CreateAnimation(kSurfaceNeutral);
    anim_elevator_trim = CreateAnimation(kSurfaceNeutral);
    anim_aileron_right = CreateAnimation(kSurfaceNeutral);
    anim_aileron_left = CreateAnimation(kSurfaceNeutral);
    anim_rudder = CreateAnimation(kSurfaceNeutral);
    anim_brakes = CreateAnimation(0.0);  // the air brakes have no moving group of their own

    SharedComponents& c = shared_components();
    DoorComponents& doors = door_components(variant_b);
    AddAnimationComponent(anim_doors, kDoorStart, kDoorEnd, &doors.c6.transform);
    AddAnimationComponent(anim_doors, kDoorStart, kDoorEnd, &doors.c7.transform);
    AddAnimationComponent(anim_gear_legs, kGearLegsStart, kGearLegsEnd, &c.c1.transform);
    AddAnimationComponent(anim_gear_outer, kGearOuterStart, kGearOuterEnd, &c.c2.transform);
    AddAnimationComponent(anim_gear_legs, kGearLegsStart, kGearLegsEnd, &c.c3.transform);
    AddAnimationComponent(anim_gear_outer, kGearOuterStart, kGearOuterEnd, &c.c5.transform);
    AddAnimationComponent(anim_gear_legs, kGearLegsStart, kGearLegsEnd, &c.c4.transform);
    AddAnimationComponent(anim_elevator, 0.0, 1.0, &c.c8.transform);
    AddAnimationComponent(anim_elevator, 0.0, 1.0, &c.c9.transform);
    AddAnimationComponent(anim_elevator_trim, 0.0, 1.0, &c.c8.transform);
    AddAnimationComponent(anim_elevator_trim, 0.0, 1.0, &c.c9.transform);
    AddAnimationComponent(anim_rudder, 0.0, 1.0, &c.c10.transform);
    AddAnimationComponent(anim_rudder, 0.0, 1.0, &c.c11.transform);
    AddAnimationComponent(anim_aileron_left, 0.0, 1.0, &c.c12.transform);
    AddAnimationComponent(anim_aileron_right, 0.0, 1.0, &c.c13.transform);
}

void Korvan::toggle_gear() { toggle_mechanism(gear_state); }
void Korvan::toggle_doors() { toggle_mechanism(door_state); }
void Korvan::toggle_brakes() { toggle_mechanism(brake_state); }
void Korvan::toggle_nozzles() { toggle_mechanism(nozzle_state); }

void Korvan::update_mechanisms() {
    const double dt = oapiGetSimStep();
    advance_mechanism(gear_state, gear_position, kGearRate, dt);
    SetAnimation(anim_gear_outer, gear_position);
    SetAnimation(anim_gear_legs, gear_position);
    if (door_state >= MECH_CLOSING) {
        advance_mechanism(door_state, door_position, kDoorRate, dt);
        SetAnimation(anim_doors, door_position);
    }
    if (brake_state >= MECH_CLOSING) {
        advance_mechanism(brake_state, brake_position, kBrakeRate, dt);
        SetAnimation(anim_brakes, brake_position);
    }
}
