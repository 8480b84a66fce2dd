// Payload vessels captured at the payload point by their "BOLT" points, and vessels
// grappled at the grapple point by their "GS" points.
#include <cstring>

#include "vessel/korvan.h"

namespace {

constexpr const char* kPayloadPointPrefix = "BOLT";
constexpr std::size_t kPayloadPointPrefixLen = 4;
constexpr const char* kGrapplePointPrefix = "GS";
constexpr std::size_t kGrapplePointPrefixLen = 2;
constexpr double kCaptureReach = 0.25;  // m from the payload point, exclusive
constexpr double kGrappleReach = 2.0;   // m from the payload point, exclusive

bool id_begins_with(const char* id, const char* prefix, std::size_t n) {
    return id != nullptr && std::strncmp(id, prefix, n) == 0;
}

// Calls `visit(handle, vessel, point, point_global)` for every to-parent point of every other
// vessel whose size reaches the given global position and whose id begins with `prefix`.
// The vessel count is asked again after each vessel: a visit may change the world.
template <class Visit>
void for_each_point_near(OBJHANDLE self, const VECTOR3& where, const char* prefix, std::size_t prefix_len,
                         Visit visit) {
    for (DWORD k = 0; k < oapiGetVesselCount(); ++k) {
        OBJHANDLE h = oapiGetVesselByIndex(static_cast<int>(k));
        if (h == nullptr || h == self) continue;
        VECTOR3 centre{};
        oapiGetGlobalPos(h, &centre);
        if (!(oapiGetSize(h) > dist(centre, where))) continue;
        VESSEL* other = oapiGetVesselInterface(h);
        if (other == nullptr) continue;
        for (DWORD j = 0; j < other->AttachmentCount(true); ++j) {
            ATTACHMENTHANDLE point = other->GetAttachmentHandle(true, j);
            if (point == nullptr || !id_begins_with(other->GetAttachmentId(point), prefix, prefix_len)) continue;
            VECTOR3 pos{}, dir{}, rot{};
            other->GetAttachmentParams(point, pos, dir, rot);
            VECTOR3 point_global{};
            other->Local2Global(pos, point_global);
            visit(h, other, point, point_global);
        }
    }
}

// Whether `candidate` is this vessel's parent, or its parent's parent, and so on: such a
// vessel cannot become its child.
bool is_ancestor(const VESSEL& self, OBJHANDLE candidate) {
    const VESSEL* v = &self;
    for (DWORD depth = 0; v != nullptr && depth <= oapiGetVesselCount(); ++depth) {
        OBJHANDLE parent = nullptr;
        for (DWORD j = 0; j < v->AttachmentCount(true) && parent == nullptr; ++j)
            parent = v->GetAttachmentStatus(v->GetAttachmentHandle(true, j));
        if (parent == nullptr) return false;
        if (parent == candidate) return true;
        v = oapiGetVesselInterface(parent);
    }
    return false;
}

}  // namespace

void Korvan::refresh_payload_point() {
    VECTOR3 pos{}, dir{}, rot{};
    GetAttachmentParams(payload_attachment, pos, dir, rot);
    Local2Global(pos, payload_point_global);
}

// Every vessel whose "BOLT" point lies within reach of the payload point is attached there
// in turn: a later match takes the point from an earlier one, so the payload point ends
// holding the last match and payload_mass is the mass of the vessel it really holds.
//
// A payload that has left the payload point no longer counts. On the first step, a capture
// that changes the payload mass rebuilds at once, so a payload placed there in the
// scenario weighs from the start; the payload key rebuilds after capturing anyway.
void Korvan::capture_payload() {
    const double mass_before = payload_mass;
    if (GetAttachmentStatus(payload_attachment) == nullptr) payload_mass = 0.0;

    refresh_payload_point();
    for_each_point_near(GetHandle(), payload_point_global, kPayloadPointPrefix, kPayloadPointPrefixLen,
                        [&](OBJHANDLE h, VESSEL* other, ATTACHMENTHANDLE point, const VECTOR3& point_global) {
                            if (!(dist(point_global, payload_point_global) < kCaptureReach)) return;
                            if (is_ancestor(*this, h)) return;
                            OBJHANDLE held = GetAttachmentStatus(payload_attachment);
                            if (held != nullptr && held != h) DetachChild(payload_attachment, 0.0);
                            if (AttachChild(h, payload_attachment, point)) payload_mass = other->GetMass();
                        });

    if (first_step_pending && payload_mass != mass_before) rebuild_vessel();
}

// Attaches at the grapple point every vessel whose "GS" point lies within reach of the
// payload point's present position.
void Korvan::grapple_search() {
    refresh_payload_point();
    for_each_point_near(GetHandle(), payload_point_global, kGrapplePointPrefix, kGrapplePointPrefixLen,
                        [&](OBJHANDLE h, VESSEL*, ATTACHMENTHANDLE point, const VECTOR3& point_global) {
                            if (!(dist(point_global, payload_point_global) < kGrappleReach)) return;
                            if (GetAttachmentStatus(grapple_attachment) == h) DetachChild(grapple_attachment, 0.0);
                            AttachChild(h, grapple_attachment, point);
                        });
}
