// Vessel class configs through the host's reader; a plain class it accepts is then flown for
// a few steps: one vessel resting on the runway, one in the air at 10 km, one holding
// another at its attachment point.
//
// Oracles: a refused config names its file and line; an accepted one never flies into a
// non-finite state.
#include <string>

#include "fuzz_support.h"
#include "physics/physics.h"
#include "runtime/world.h"

namespace {

constexpr const char* kSource = "Config/Vessels/Fuzzed.cfg";
constexpr int kSteps = 20;
constexpr double kStep = 0.01;              // s
constexpr double kAirAltitude = 10000.0;    // m
constexpr double kAirSpeed = 250.0;         // m/s
constexpr double kRunwayLatitude = 28.5 * RAD;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    runtime::VesselClass cls;
    cls.name = "Fuzzed";
    std::string error;
    if (!runtime::parse_vessel_class(fuzz::text_of(data, size), kSource, cls, &error)) {
        fuzz::check(error.rfind(std::string(kSource) + ":", 0) == 0, "no file and line: " + error);
        return 0;
    }
    if (!cls.module.empty()) return 0;  // a module's vessel takes its figures from the module
    cls.name = "Fuzzed";                 // known by its file's name, whatever ClassName says

    runtime::World world;
    world.set_root(KORVAN_RUN_TREE);
    world.add_class(cls);
    runtime::VesselRecord* resting = world.create_vessel("Resting", "Fuzzed", nullptr, &error);
    runtime::VesselRecord* flying = world.create_vessel("Flying", "Fuzzed", nullptr, &error);
    runtime::VesselRecord* held = world.create_vessel("Held", "Fuzzed", nullptr, &error);
    fuzz::check(resting != nullptr && flying != nullptr && held != nullptr, "an accepted class makes no vessel: " + error);
    physics::rest_on_ground(world, *resting, 0.0, kRunwayLatitude, 0.0);
    const double r = world.earth.radius + kAirAltitude;
    world.move(*flying).pos = _V(r, 0.0, 0.0);
    world.move(*flying).vel = _V(0.0, 0.0, kAirSpeed);
    world.move(*held).pos = _V(-r, 0.0, 0.0);  // in the air too, unless its parent holds it
    runtime::AttachmentRecord* parent_point = nullptr;
    runtime::AttachmentRecord* child_point = nullptr;
    for (auto& a : resting->def.attachments)
        if (!a->to_parent && parent_point == nullptr) parent_point = a.get();
    for (auto& a : held->def.attachments)
        if (a->to_parent && child_point == nullptr) child_point = a.get();
    if (parent_point != nullptr && child_point != nullptr) world.attach(resting, parent_point, held, child_point);

    physics::Physics physics(world);
    for (int i = 0; i < kSteps; ++i) {
        physics.step(kStep);
        for (size_t v = 0; v < world.vessel_count(); ++v)
            fuzz::check(physics::state_is_finite(*world.vessel(v)),
                        "vessel \"" + world.vessel(v)->name + "\" of an accepted class is not finite");
    }
    return 0;
}
