// A World with Korvan vessels in it, for the vessel's tests and fuzz targets.
//
// Each vessel is made through a class registered with the World, so it has a record, a
// handle, a class name and a place in the vessel list like any other. The vessel object
// itself is this program's own Korvan (not one from the loaded module file), so a caller may
// read every field and call every member; the module file is loaded by its own test.
#pragma once

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtime/world.h"
#include "vessel/korvan.h"

namespace korvan_test {

inline constexpr double kDefaultStep = 0.01;     // s
inline constexpr double kOrbitAltitude = 300e3;  // m

class KorvanWorld {
public:
    explicit KorvanWorld(const std::string& root = KORVAN_RUN_TREE) { world.set_root(root); }

    runtime::World world;

    // A Korvan named `name` of class `class_name` ("KorvanB..." for the B variant). With
    // `set_class_caps` the host's first callback runs, as it does after ovcInit. Throws when
    // the World makes no record.
    Korvan* make(const std::string& name = "K1", const std::string& class_name = "Korvan",
                 bool set_class_caps = true) {
        runtime::VesselClass cls;
        cls.name = class_name;  // no module: the object is placed below
        world.add_class(cls);
        std::string error;
        runtime::VesselRecord* rec = world.instantiate_vessel(name, class_name, &error);
        if (rec == nullptr) throw std::runtime_error("no vessel record for " + name + ": " + error);
        delete rec->iface;
        rec->iface = nullptr;
        auto* korvan = new Korvan(static_cast<OBJHANDLE>(rec));
        rec->iface = korvan;
        if (set_class_caps) korvan->clbkSetClassCaps(nullptr);
        return korvan;
    }

    void give_focus(const Korvan* k) { world.focus = k->GetHandle(); }

    // Puts the vessel in a circular orbit 300 km up, where what it releases may be created
    // (a vessel is never made below the surface, and a new World's vessels sit at its centre).
    void place_in_orbit(const Korvan* k) {
        runtime::VesselRecord* rec = world.record(k->GetHandle());
        const double r = world.earth.radius + kOrbitAltitude;
        world.move(*rec).pos = _V(r, 0.0, 0.0);
        world.move(*rec).vel = _V(0.0, 0.0, std::sqrt(world.earth.mu / r));
    }

    // Advances the clock by dt and runs the vessel's post-step once.
    void step(Korvan* k, double dt = kDefaultStep) {
        world.sim_step = dt;
        world.sim_time += dt;
        k->clbkPostStep(world.sim_time, dt, world.mjd);
    }
    void steps(Korvan* k, int n, double dt = kDefaultStep) {
        for (int i = 0; i < n; ++i) step(k, dt);
    }

    // Reads `lines` as the vessel's scenario block.
    void load(Korvan* k, const std::vector<std::string>& lines) {
        FILEHANDLE f = world.open_reader(lines);
        k->clbkLoadStateEx(f, nullptr);
        world.close_stream(f);
    }
    // The vessel's scenario block as it saves it.
    std::vector<std::string> save(Korvan* k) {
        return written_lines([&](FILEHANDLE f) { k->clbkSaveState(f); });
    }

    // Scenario lines written by `write`, e.g. [&](FILEHANDLE f) { k->WriteItems(f); }.
    template <class Write>
    std::vector<std::string> written_lines(Write write) {
        FILEHANDLE f = world.open_writer();
        write(f);
        std::vector<std::string> lines = world.writer(f)->lines;
        world.close_stream(f);
        return lines;
    }
};

}  // namespace korvan_test
