// Attachment links between vessels: a parent's child-side point holds a child by one of the
// child's to-parent points; the child rides rigidly at the parent's point.
#include <algorithm>
#include <cmath>

#include "host_internal.h"

namespace runtime {

namespace {

bool owns_point(const VesselRecord& v, const AttachmentRecord* a) {
    return find_in(v.def.attachments, v.def.attachment_cursor, a) != nullptr;
}

// Orthonormal frame of a point: z along dir, y along the part of rot across dir, x = y x z.
MATRIX3 point_frame(const AttachmentRecord& a) {
    VECTOR3 z = unit(a.dir);
    if (length(z) == 0.0) z = _V(0.0, 0.0, 1.0);
    VECTOR3 y = a.rot - z * dotp(a.rot, z);
    if (length(y) < 1e-12) {
        // rot along dir: any direction across dir will do.
        y = std::abs(z.y) < 0.9 ? _V(0.0, 1.0, 0.0) : _V(1.0, 0.0, 0.0);
        y = y - z * dotp(y, z);
    }
    y = unit(y);
    return detail::from_columns(crossp(y, z), y, z);
}

void unlink(AttachmentRecord* a) {
    if (a->linked_point != nullptr) {
        a->linked_point->linked = nullptr;
        a->linked_point->linked_point = nullptr;
    }
    a->linked = nullptr;
    a->linked_point = nullptr;
}

}  // namespace

void World::find_links(VesselRecord& v) {
    v.parent_ = nullptr;
    v.children_ = 0;
    for (const auto& a : v.def.attachments) {
        if (a->linked == nullptr) continue;
        if (!a->to_parent)
            ++v.children_;
        else if (v.parent_ == nullptr)
            v.parent_ = a->linked;
    }
}

bool World::attach(VesselRecord* parent, AttachmentRecord* parent_point, VesselRecord* child,
                   AttachmentRecord* child_point) {
    if (record(parent) == nullptr || record(child) == nullptr) return false;
    if (!owns_point(*parent, parent_point) || parent_point->to_parent) return false;
    if (!owns_point(*child, child_point) || !child_point->to_parent) return false;
    // The child may be neither the parent nor one of its ancestors.
    for (const VesselRecord* p = parent; p != nullptr; p = parent_of(p))
        if (p == child) return false;
    if (parent_point->linked != nullptr && parent_point->linked != child) return false;
    for (auto& a : child->def.attachments) {
        if (a->to_parent && a->linked != nullptr) {
            VesselRecord* old_parent = a->linked;
            unlink(a.get());
            find_links(*old_parent);
        }
    }
    if (parent_point->linked != nullptr) unlink(parent_point);

    parent_point->linked = child;
    parent_point->linked_point = child_point;
    child_point->linked = parent;
    child_point->linked_point = parent_point;
    find_links(*child);
    find_links(*parent);
    move(*child).landed = false;
    place_children(parent);
    return true;
}

bool World::detach(AttachmentRecord* parent_point, double vel) {
    if (parent_point == nullptr || parent_point->to_parent || parent_point->linked == nullptr) return false;
    VesselRecord* parent = parent_point->owner;
    VesselRecord* child = parent_point->linked;
    if (record(parent) == nullptr || record(child) == nullptr) return false;
    place_children(parent);
    move(*child).vel += mul(parent->state.R, unit(parent_point->dir)) * vel;
    unlink(parent_point);
    find_links(*child);
    find_links(*parent);
    return true;
}

void World::place_children(VesselRecord* parent) {
    place_children_below(parent, 0);
}

// Depth is bounded by the vessel count: links never form a cycle, but a bound keeps a
// corrupted link from recursing without end. Runs for every free vessel every step, so it
// allocates nothing and looks no further than a vessel's own points.
void World::place_children_below(VesselRecord* parent, size_t depth) {
    if (parent->children_ == 0 || depth > vessels_.size()) return;
    const VesselState& ps = parent->state;
    for (const auto& a : parent->def.attachments) {
        if (a->to_parent || a->linked == nullptr || a->linked_point == nullptr) continue;
        const VECTOR3 omega_global = mul(ps.R, ps.omega) * -1.0;
        VesselRecord* child = a->linked;
        const AttachmentRecord& cp = *a->linked_point;
        VesselState& cs = move(*child);
        cs.R = mul(mul(ps.R, point_frame(*a)), detail::transpose(point_frame(cp)));
        cs.pos = ps.pos + mul(ps.R, a->pos) - mul(cs.R, cp.pos);
        cs.vel = ps.vel + crossp(omega_global, cs.pos - ps.pos);
        cs.omega = tmul(cs.R, omega_global) * -1.0;
        cs.landed = false;
        place_children_below(child, depth + 1);
    }
}

}  // namespace runtime
