// The pilot of the headless host: applies what the World records of the pilot's inputs
// (attitude thrusters in the RCS mode, aerodynamic controls) and flies the active attitude
// autopilot of every vessel. It runs around each physics step and writes thruster and
// control-surface levels through the same fields the vessel writes, so the physics reads
// levels and nothing else. How inputs and the vessel's own levels combine: docs/host.md.
//
//   pilot.before_step(dt);   // inputs and autopilots on top of the vessels' own levels
//   physics.step(dt);
//   pilot.after_step();      // the vessels' own levels back
#pragma once

#include <array>
#include <vector>

#include "orbiter_api.h"
#include "pilot/attitude_autopilot.h"
#include "runtime/world.h"

namespace pilot {

class Pilot {
public:
    explicit Pilot(runtime::World& world);

    // Adds the focus vessel's attitude inputs (in its RCS mode) and control-surface inputs,
    // and every vessel's autopilot levels, to the levels the vessels set themselves. Kill
    // rotation ends itself here once the vessel has stopped turning.
    void before_step();
    // Puts back the levels the vessels had set, so that an input lasts one step and never
    // adds up over steps.
    void after_step();

private:
    struct Saved {
        runtime::VesselRecord* vessel = nullptr;
        struct KeptLevel {
            runtime::ThrusterRecord* thruster;
            double level;
        };
        std::vector<KeptLevel> thruster_levels;  // in the order the step changed them
        std::array<double, AIRCTRL_TYPE_COUNT> surface_levels{};
        bool active = false;
    };
    void apply(runtime::VesselRecord& v, bool focus, Saved& saved);

    runtime::World& world_;
    std::vector<Saved> saved_;
    bool applied_ = false;  // some Saved is active: before_step changed levels after_step puts back
};

// The throttle of the main, retro or hover engines, as a pilot moves it: the group takes the
// level at once (until the pilot or the vessel sets another), and GetManualControlLevel
// answers it. Any other group type records the input for before_step.
void set_thruster_input(runtime::World& world, runtime::VesselRecord& v, THGROUP_TYPE type, double level);
// An elevator, aileron or rudder input (-1..1), added to the vessel's own level each step.
void set_surface_input(runtime::VesselRecord& v, AIRCTRL_TYPE type, double level);

}  // namespace pilot
