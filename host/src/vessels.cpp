// Creating and destroying vessels by class: module classes through their ovcInit, plain
// classes with a host-side vessel object and the figures of their config.
#include <algorithm>

#include "host_internal.h"
#include "runtime/loader.h"

namespace runtime {

namespace {

void fill_plain_definition(VesselRecord& v, const VesselClass& cls) {
    VesselDefinition& d = v.def;
    d.size = cls.size;
    d.empty_mass = cls.empty_mass;
    d.pmi = cls.pmi;
    d.cross_sections = cls.cross_sections;
    d.cw_z_pos = cls.cw_z_pos, d.cw_z_neg = cls.cw_z_neg, d.cw_x = cls.cw_x, d.cw_y = cls.cw_y;
    // A class without fuel gets no tank, so that a vessel object put in its place later
    // makes its own first tank the default one.
    if (cls.max_fuel > 0.0) {
        auto tank = std::make_unique<PropellantRecord>();
        tank->max_mass = cls.max_fuel;
        tank->mass = cls.max_fuel;
        d.default_propellant = tank.get();
        d.propellants.push_back(std::move(tank));
    }
    for (const AttachmentSpec& point : cls.attachments) {
        auto a = std::make_unique<AttachmentRecord>();
        a->owner = &v;
        a->to_parent = point.to_parent;
        a->pos = point.pos, a->dir = point.dir, a->rot = point.rot;
        a->id = point.id;
        d.attachments.push_back(std::move(a));
    }
}

}  // namespace

VesselRecord* World::instantiate_vessel(const std::string& name, const std::string& class_name, std::string* error) {
    std::string why;
    auto fail = [&](const std::string& reason) -> VesselRecord* {
        note("cannot create vessel \"" + name + "\": " + reason);
        if (error != nullptr) *error = reason;
        return nullptr;
    };
    // Only a vessel a scenario can hold: its block starts "name:class" and names are unique.
    if (name.empty() || name.find_first_of(" \t\r\n\v\f:") != std::string::npos)
        return fail("a vessel name is one word without ':'");
    // The reader takes a line starting with ';' for a comment, the vessel's block with it.
    if (name.front() == ';') return fail("a vessel name does not start with ';'");
    if (find_vessel(name) != nullptr) return fail("a vessel of that name exists");
    const VesselClass* cls = find_class(class_name, &why);
    if (cls == nullptr) return fail(why);

    ModuleRecord* module = nullptr;
    if (!cls->module.empty()) {
        const std::string path = "Modules/" + cls->module;
        auto it = modules_.find(path);
        if (it == modules_.end()) {
            // Named as the simulator names it: every platform's loader reads the backslash.
            const std::string file = "Modules\\" + cls->module;
            HMODULE h = LoadLibraryA(file.c_str());
            if (h == nullptr) return fail("missing module file " + path + " of class \"" + class_name + "\"");
            auto init = procedure<OvcInitFunc>(h, "ovcInit");
            if (init == nullptr) {
                FreeLibrary(h);
                return fail("module " + path + " of class \"" + class_name + "\" has no ovcInit");
            }
            auto rec = std::make_unique<ModuleRecord>();
            rec->path = path;
            rec->handle = h;
            rec->init = init;
            rec->exit = procedure<OvcExitFunc>(h, "ovcExit");
            it = modules_.emplace(path, std::move(rec)).first;
        }
        module = it->second.get();
    }

    auto owned = std::make_unique<VesselRecord>();
    VesselRecord* v = owned.get();
    v->name = name;
    v->class_name = class_name;
    v->module = module;
    vessels_.push_back(std::move(owned));
    if (module != nullptr) {
        ++module->users;
        v->iface = module->init(v, 1);
        if (v->iface == nullptr) {
            vessels_.erase(std::find_if(vessels_.begin(), vessels_.end(), [v](const auto& p) { return p.get() == v; }));
            forget_vessel_handles();
            release_module(module);
            return fail("ovcInit of class \"" + class_name + "\" returned no vessel");
        }
    } else {
        fill_plain_definition(*v, *cls);
        v->iface = make_plain_vessel(v);
    }
    return v;
}

VesselRecord* World::create_vessel(const std::string& name, const std::string& class_name, const VESSELSTATUS* status,
                                   std::string* error) {
    if (status != nullptr && !(length(status->rpos) >= earth.radius - kMaxDepthBelowSurface)) {
        const std::string why = "it would be placed deep below the surface";
        note("cannot create vessel \"" + name + "\": " + why);
        if (error != nullptr) *error = why;
        return nullptr;
    }
    VesselRecord* v = instantiate_vessel(name, class_name, error);
    if (v == nullptr) return nullptr;
    v->iface->clbkSetClassCaps(nullptr);
    if (status != nullptr) set_status(*v, *status);
    if (on_vessel_created) on_vessel_created(*v);
    return v;
}

void World::release_module(ModuleRecord* module) {
    if (module == nullptr || --module->users > 0) return;
    FreeLibrary(module->handle);
    modules_.erase(module->path);
}

void World::destroy_vessel(VesselRecord* v) {
    if (record(v) == nullptr) return;
    // The vessel object goes first: its destructor may still call the host about itself.
    VESSEL* iface = v->iface;
    v->iface = nullptr;
    if (iface != nullptr) {
        if (v->module != nullptr) {
            if (v->module->exit != nullptr) v->module->exit(iface);
        } else {
            delete iface;
        }
    }
    for (auto& a : v->def.attachments) {
        VesselRecord* other = a->linked;
        if (a->linked_point != nullptr) {
            a->linked_point->linked = nullptr;
            a->linked_point->linked_point = nullptr;
        }
        a->linked = nullptr;
        a->linked_point = nullptr;
        if (other != nullptr) find_links(*other);
    }
    if (focus == v) focus = nullptr;
    ModuleRecord* module = v->module;
    auto it = std::find_if(vessels_.begin(), vessels_.end(), [v](const auto& p) { return p.get() == v; });
    if (it != vessels_.end()) vessels_.erase(it);
    forget_vessel_handles();
    release_module(module);
}

void World::destroy_all_vessels() {
    while (!vessels_.empty()) destroy_vessel(vessels_.back().get());
}

void World::destroy_pending_vessels() {
    for (size_t i = 0; i < vessels_.size();) {
        if (vessels_[i]->pending_delete)
            destroy_vessel(vessels_[i].get());
        else
            ++i;
    }
}

}  // namespace runtime
