// The World: current-instance bookkeeping, clock of the body, input box, log, vessel list
// and thruster groups as the host sees them.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "host_internal.h"

namespace runtime {

namespace detail {
World* current_world = nullptr;
}  // namespace detail

namespace {
using detail::current_world;

// The system's loader on Windows looks under the current World's root too, as our loader
// does elsewhere, so that the names a module gives ("Modules\\cvelmessage") resolve in the
// simulator's folder wherever the process stands.
void make_current(World* w) {
    current_world = w;
#if defined(_WIN32)
    SetDllDirectoryA(w != nullptr && w->root() != "." ? w->root().c_str() : nullptr);
#endif
}

// The vessel object of a vessel without a module: every callback keeps the host default.
class PlainVessel : public VESSEL2 {
public:
    using VESSEL2::VESSEL2;
};
}  // namespace

namespace detail {
VesselRecord* vessel_record(OBJHANDLE h) {
    return current().record(h);
}
}  // namespace detail

namespace {
// What last_handle_ holds while no vessel was found last: an address the World hands to no one.
char no_vessel_found;

// Without a World of the caller's, the API answers from an empty one, so that a stray call
// never dereferences null: made current when the library is loaded (so current_world is never
// null) and never destroyed, so that a call while the process exits still finds it.
World* const fallback_world = new World;
}  // namespace

World::World() : last_handle_(&no_vessel_found) {
    make_current(this);
}

World::~World() {
    // Vessels may call the host API while they are destroyed, so the World stays current
    // until the last one is gone.
    World* previous = current_world;
    make_current(this);
    destroy_all_vessels();
    make_current(previous == this ? fallback_world : previous);
}

World& World::current() {
    return *current_world;
}

World* World::current_or_null() {
    return current_world != fallback_world ? current_world : nullptr;
}

void World::set_root(const std::string& root) {
    root_ = root.empty() ? std::string(".") : root;
    if (current_world == this) make_current(this);
}

bool World::answer_input_box(const std::string& text) {
    if (!input_box.open) return false;
    // The box closes before its handler runs, so a handler that opens a new box keeps it.
    const InputBox box = input_box;
    input_box.open = false;
    if (box.handler != nullptr) {
        constexpr size_t min_buffer = 256;  // room for a handler that edits the text in place
        std::vector<char> buffer(std::max(min_buffer, text.size() + 1), '\0');
        std::memcpy(buffer.data(), text.data(), text.size());
        box.handler(nullptr, buffer.data(), box.usrdata);
    }
    return true;
}

void World::note(const std::string& line) {
    log.push_back(line);
}

double World::body_rotation_angle() const {
    return earth.rotation_offset + body_rotation_rate() * sim_time;
}

double World::body_rotation_rate() const {
    return earth.sidereal_period != 0.0 ? PI2 / earth.sidereal_period : 0.0;
}

VesselRecord* World::find_vessel(const std::string& name) const {
    for (const auto& v : vessels_)
        if (v->name == name) return v.get();
    return nullptr;
}

VesselRecord* World::find_record(OBJHANDLE h) const {
    VesselRecord* v = find_in(vessels_, vessel_cursor_, h);
    if (v != nullptr) last_handle_ = h;
    return v;
}

void World::forget_vessel_handles() {
    last_handle_ = &no_vessel_found;
}

VESSEL* World::make_plain_vessel(OBJHANDLE h) {
    return new PlainVessel(h, 1);
}

void ThrusterRecord::set_geometry(const VECTOR3& position, const VECTOR3& direction, double rating) {
    pos_ = position, dir_ = direction, max0_ = rating;
    torque_known_ = false;
}

const VECTOR3& ThrusterRecord::full_torque() const {
    if (!torque_known_) {
        const double n = length(dir_);
        full_torque_ = n <= 0.0 ? _V(0.0, 0.0, 0.0) : crossp(dir_ * (max0_ / n), pos_);
        torque_known_ = true;
    }
    return full_torque_;
}

ThrusterGroupRecord* World::group(VesselRecord& v, THGROUP_TYPE type) const {
    if (type < 0 || type >= THGROUP_TYPE_COUNT) return nullptr;
    return v.def.group_of_type[type];
}

double World::group_level(const VesselRecord& v, THGROUP_TYPE type) const {
    const ThrusterGroupRecord* g = group(const_cast<VesselRecord&>(v), type);
    if (g == nullptr || g->thrusters.empty()) return 0.0;
    double sum = 0.0;
    for (const ThrusterRecord* t : g->thrusters) sum += t->level_;
    return sum / static_cast<double>(g->thrusters.size());
}

void World::set_group_level(VesselRecord& v, THGROUP_TYPE type, double level) {
    ThrusterGroupRecord* g = group(v, type);
    if (g == nullptr) return;
    for (ThrusterRecord* t : g->thrusters) set_thruster_level(v, *t, level);
}

// A thruster fires while its level is above 0 (the physics skips the others), and joins or
// leaves the firing list in its place of the definition order.
void World::update_firing(VesselRecord& v, ThrusterRecord& t, bool firing) {
    std::vector<ThrusterRecord*>& list = v.def.firing;
    const auto at = std::lower_bound(list.begin(), list.end(), t.index,
                                     [](const ThrusterRecord* a, std::size_t index) { return a->index < index; });
    if (firing)
        list.insert(at, &t);
    else if (at != list.end() && *at == &t)
        list.erase(at);
}

}  // namespace runtime
