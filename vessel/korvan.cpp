// Module entry and the Korvan vessel object: construction in its fixed order, destruction,
// and the callbacks that rebuild the vessel.
#include "vessel/korvan.h"

#include <cctype>
#include <cstring>
#include <new>

namespace {

constexpr const char* kMainExhaustTexture = "Exhaust_atsme";
constexpr const char* kRcsExhaustTexture = "exhaust_atrcs";

constexpr double kInitialPrevStepTime = -0.01;  // s
constexpr double kInitialReadoutTimer = 0.01;   // s
constexpr double kInitialTargetHeading = 270.0; // deg: launch azimuth 90 (due east) plus 180

// The class name is compared on at most this many characters, in upper case.
constexpr std::size_t kClassNameBuffer = 30;
constexpr const char* kVariantBMarker = "KORVANB";

// Docking port of the B variant.
const VECTOR3 kDockPos{{0.0, 1.56, 1.0}};
const VECTOR3 kDockDir{{0.0, 1.0, 0.0}};
const VECTOR3 kDockRot{{0.0, 0.0, 1.0}};

// Attachment points: position, direction, rotation in the vessel frame (m).
const VECTOR3 kPayloadPointB{{0.0, -0.6, 0.0}};
const VECTOR3 kPayloadPoint{{0.0, -1.2, 21.0}};
const VECTOR3 kPayloadDir{{0.0, 0.0, 1.0}};
const VECTOR3 kPayloadRot{{0.0, -1.0, 0.0}};
const VECTOR3 kGrapplePoint{{0.0, 0.0, 0.0}};
const VECTOR3 kGrappleDir{{0.0, 1.0, 0.0}};
const VECTOR3 kGrappleRot{{0.0, 0.0, 1.0}};
const VECTOR3 kNgPoint{{0.0, -11.0, 23.63}};
const VECTOR3 kNgDir{{0.0, -0.0675, 1.0}};
const VECTOR3 kNgRot{{0.0, 1.0, 0.0}};

bool class_name_marks_variant_b(const char* class_name) {
    char upper[kClassNameBuffer] = {};
    if (class_name != nullptr) {
        for (std::size_t i = 0; i + 1 < kClassNameBuffer && class_name[i] != '\0'; ++i)
            upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(class_name[i])));
    }
    return std::strstr(upper, kVariantBMarker) != nullptr;
}

}  // namespace

Korvan::Korvan(OBJHANDLE hVessel) : COMMON_VESSEL_EX(hVessel), GUIDANCE() {
    exhaust_tex_main = oapiRegisterExhaustTexture(kMainExhaustTexture);
    exhaust_tex_rcs = oapiRegisterExhaustTexture(kRcsExhaustTexture);

    gear_state = door_state = brake_state = nozzle_state = MECH_CLOSED;
    gear_position = door_position = brake_position = nozzle_position = 0.0;
    wheel_brakes_on = false;
    pitch_output = yaw_output = roll_output = 0.0;

    num_engines = KORVAN_MAX_ENGINES;
    config_index = 1;
    prev_step_time = kInitialPrevStepTime;
    step_dt = 0.0;
    readout_timer = kInitialReadoutTimer;
    target_heading = kInitialTargetHeading;

    variant_b = false;
    profile_loaded = false;
    control_surfaces_created = false;
    animations_defined = false;

    variant_b = class_name_marks_variant_b(GetClassNameA());

    if (variant_b) dock_port = CreateDock(kDockPos, kDockDir, kDockRot);
    payload_attachment =
        CreateAttachment(false, variant_b ? kPayloadPointB : kPayloadPoint, kPayloadDir, kPayloadRot, "X", false);
    grapple_attachment = CreateAttachment(false, kGrapplePoint, kGrappleDir, kGrappleRot, "X", false);
    ng_child_attachment = CreateAttachment(false, kNgPoint, kNgDir, kNgRot, "NG", false);
    ng_parent_attachment = CreateAttachment(true, kNgPoint, kNgDir, kNgRot, "NG", false);

    load_sounds();  // connects to the sound service (sound_id, -1 without it) and loads four slots

    anim_gear_outer = anim_gear_legs = anim_doors = 0;
    anim_elevator = anim_elevator_trim = anim_aileron_right = anim_aileron_left = anim_rudder = anim_brakes = 0;

    (void)poll_messages();

    first_step_pending = true;
}

// The guidance part frees the profile, the framework part the item table and meshes list;
// every handle belongs to the host.
Korvan::~Korvan() = default;

void Korvan::clbkSetClassCaps(FILEHANDLE cfg) {
    (void)cfg;
    (void)poll_messages();
    rebuild_vessel();
}

void Korvan::clbkVisualCreated(VISHANDLE vis, int refcount) {
    (void)vis, (void)refcount;
    rebuild_vessel();
}

void Korvan::clbkVisualDestroyed(VISHANDLE vis, int refcount) {
    (void)vis, (void)refcount;
    rebuild_vessel();
}

extern "C" DLLEXPORT VESSEL* ovcInit(OBJHANDLE hvessel, int flightmodel) {
    (void)flightmodel;
    try {
        return new Korvan(hvessel);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

extern "C" DLLEXPORT void ovcExit(VESSEL* vessel) {
    // Every vessel this module hands out is a Korvan: it is deleted as one, so that its
    // destruction does not depend on how the host's compiler lays out VESSEL's destructor.
    delete static_cast<Korvan*>(vessel);  // null does nothing
}
