#include "watch_recorder.h"

#include "svg_sketchpad.h"

namespace sim {

void WatchRecorder::on_telemetry_row(const runtime::World& world, runtime::VesselRecord& focus) {
    HudRecord record;
    record.t = world.sim_time;
    record.standard = standard_hud_input(world, focus);
    if (focus.iface != nullptr) {
        const HUDPAINTSPEC hps = hud_paint_spec();
        runtime::RecordingSketchpad skp;
        focus.iface->clbkDrawHUD(record.standard.mode, &hps, &skp);
        record.items = std::move(skp.calls);
    }
    hud_.push_back(std::move(record));
}

void draw_focus_hud(const runtime::World& world, runtime::VesselRecord& focus, oapi::Sketchpad& skp) {
    const HUDPAINTSPEC hps = hud_paint_spec();
    const StandardHudInput in = standard_hud_input(world, focus);
    draw_standard_hud(skp, hps, in);
    if (focus.iface != nullptr) focus.iface->clbkDrawHUD(in.mode, &hps, &skp);
}

}  // namespace sim
