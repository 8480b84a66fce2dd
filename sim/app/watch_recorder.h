// Records what a run needs to be watched afterwards, beside the telemetry: the track of every
// vessel (flight_track.h) and, at each telemetry row, what the focus vessel's HUD callback
// draws with the standard HUD's own values. It observes the World and changes nothing.
#pragma once

#include <string>
#include <vector>

#include "flight_track.h"
#include "runtime/recording_sketchpad.h"
#include "standard_hud.h"

namespace sim {

struct HudRecord {
    double t = 0.0;
    StandardHudInput standard;
    std::vector<runtime::RecordingSketchpad::Call> items;  // the vessel's own, in order
};

class WatchRecorder {
public:
    explicit WatchRecorder(double track_interval_s) : track_(track_interval_s) {}

    void on_frame(const runtime::World& world, bool force) { track_.sample(world, force); }
    void on_telemetry_row(const runtime::World& world, runtime::VesselRecord& focus);

    const FlightTrack& track() const { return track_; }
    const std::vector<HudRecord>& hud() const { return hud_; }

private:
    FlightTrack track_;
    std::vector<HudRecord> hud_;
};

// The picture the host draws for a HUD frame: the standard HUD of the focus vessel's moment,
// then the vessel's own items on top, as the simulator layers them.
void draw_focus_hud(const runtime::World& world, runtime::VesselRecord& focus, oapi::Sketchpad& skp);

}  // namespace sim
