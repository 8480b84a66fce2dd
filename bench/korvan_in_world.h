// A Korvan built by its module in a World of its own, as the benchmarks measure it: the class
// registered, the vessel made, its interface replaced by the module's and its capabilities set.
#pragma once

#include "runtime/world.h"
#include "vessel/korvan.h"

inline Korvan* make_korvan(runtime::World& world) {
    world.set_root(KORVAN_RUN_TREE);
    runtime::VesselClass cls;
    cls.name = "Korvan";
    world.add_class(cls);
    runtime::VesselRecord* rec = world.instantiate_vessel("K", "Korvan");
    delete rec->iface;
    auto* korvan = new Korvan(static_cast<OBJHANDLE>(rec));
    rec->iface = korvan;
    korvan->clbkSetClassCaps(nullptr);
    return korvan;
}
