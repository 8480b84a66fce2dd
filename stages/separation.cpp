// Separation: the last carried item becomes a vessel of its own where its mesh sat, moving
// with the carrier plus a small separation velocity. A released STAGE that heads a group
// takes the group along: its items go to the new vessel as item lines over the message link.
#include <cmath>
#include <string>

#include "stages/common_vessel_ex.h"

namespace {

constexpr const char* kEndStage = "ENDSTAGE";

bool valid_slot(int i) { return i >= 0 && i < CVE_MAX_ITEMS; }

// The enclosing group of an item, or -1. Parents always come before their members; a
// parent that does not is read as none, so that no walk over the groups can loop.
short parent_of(const CVE_ITEM* items, int i) {
    const short p = items[i].parent;
    return (p >= 0 && p < i) ? p : static_cast<short>(-1);
}

// Orientation angles of a vessel turned by `angle_deg` about the carrier's x axis.
VECTOR3 turned_about_x(const VESSEL& carrier, double angle_deg) {
    const double a = angle_deg * RAD;
    VECTOR3 xg, yg, zg;
    carrier.GlobalRot(_V(1.0, 0.0, 0.0), xg);
    carrier.GlobalRot(_V(0.0, std::cos(a), std::sin(a)), yg);
    carrier.GlobalRot(_V(0.0, -std::sin(a), std::cos(a)), zg);
    const double zlen = length(zg);
    const double sin_beta = zlen > 0.0 ? -zg.x / zlen : 0.0;
    return _V(std::atan2(zg.y, zg.z), std::asin(sin_beta < -1.0 ? -1.0 : (sin_beta > 1.0 ? 1.0 : sin_beta)),
              std::atan2(yg.x, xg.x));
}

std::string item_message(const CVE_ITEM& item, const VECTOR3& offset) {
    return std::string(item.kind == CVE_STAGE ? "STAGE " : "PAYLOAD ") + format_item_fields(item, offset);
}

// Sends the members of the released STAGE's group, slots released+1 .. last, as item lines
// with offsets relative to the released item. After each item, every group open there that
// does not also enclose the next item gets its own "ENDSTAGE", so nested groups that end
// together arrive closed one by one and the new vessel gets the same nesting at any depth.
// The released item's own group is not open on the receiver; after the last item one
// "ENDSTAGE" is still sent when nothing else closed there, ending the handover as always.
void hand_over_group(COMMON_VESSEL_EX& carrier, CVE_ITEM* items, VESSEL* receiver, int released, int last) {
    const VECTOR3 origin = items[released].position;
    for (int j = released + 1; j <= last && items[j].in_use; ++j) {
        items[j].in_use = false;
        const std::string line = item_message(items[j], items[j].position - origin);
        carrier.SendCVEMessage(receiver, items[j].kind == CVE_STAGE ? "STAGE" : "PAYLOAD", line.c_str());

        const bool end_of_group = j == last || !valid_slot(j + 1) || !items[j + 1].in_use;
        const int stop = end_of_group ? released : parent_of(items, j + 1);
        int group = items[j].kind == CVE_STAGE ? j : parent_of(items, j);
        int closed = 0;
        for (int depth = 0; group > released && group != stop && depth < CVE_MAX_ITEMS; ++depth) {
            carrier.SendCVEMessage(receiver, kEndStage, kEndStage);
            ++closed;
            group = parent_of(items, group);
        }
        if (end_of_group && closed == 0) carrier.SendCVEMessage(receiver, kEndStage, kEndStage);
    }
}

}  // namespace

void COMMON_VESSEL_EX::SetSeparationVelocity(const VECTOR3& v) {
    sep_override = v;
    sep_override_set = true;
}

VESSEL* COMMON_VESSEL_EX::SeparateLastItem() {
    int last = -1;
    for (int i = CVE_MAX_ITEMS - 1; i >= 0; --i) {
        if (items[i].in_use) {
            last = i;
            break;
        }
    }
    if (last < 0) return nullptr;

    // The group widens outwards while each enclosing STAGE is the first member of the next.
    const bool group_release = parent_of(items, last) != -1;
    int released = last;
    if (group_release) {
        released = parent_of(items, last);
        while (parent_of(items, released) != -1 && parent_of(items, released) == released - 1)
            released = parent_of(items, released);
    }
    CVE_ITEM& item = items[released];
    if (!item.in_use) return nullptr;

    VESSELSTATUS status{};
    GetStatus(status);
    status.eng_main = 0.0;
    status.eng_hovr = 0.0;
    Local2Rel(item.position, status.rpos);
    const VECTOR3 sep_velocity = sep_override_set ? sep_override : item.sep_velocity;
    VECTOR3 sep_velocity_global{};
    GlobalRot(sep_velocity, sep_velocity_global);
    status.rvel += sep_velocity_global;
    status.fuel = item.fuel;
    if (!group_release) status.arot = turned_about_x(*this, item.angle);

    // A failed creation leaves the vessel exactly as before, as an empty table does: the
    // item keeps its slot (so the table has no hole) and the override its next use.
    const bool override_was_set = sep_override_set;
    sep_override_set = false;
    item.in_use = false;
    auto restore = [&]() {
        item.in_use = true;
        sep_override_set = override_was_set;
    };

    OBJHANDLE created = oapiCreateVessel(item.name, item.class_name, status);
    if (created == nullptr) {
        restore();
        return nullptr;
    }
    VESSEL* vessel = oapiGetVesselInterface(created);
    if (vessel == nullptr) {
        // A vessel nobody can talk to would carry the item twice: it goes, the item stays.
        oapiDeleteVessel(created);
        restore();
        return nullptr;
    }
    vessel->SetFuelMass(vessel->GetMaxFuelMass() * item.fuel);

    // Only a STAGE heads a group; were a corrupted table to name another item, its members
    // still leave with it rather than stay behind a hole.
    if (group_release) hand_over_group(*this, items, vessel, released, last);
    return vessel;
}

