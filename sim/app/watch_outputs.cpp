// The run's files for watching it: flight.acmi, flight.czml, and the replay page with its data.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "simulation.h"
#include "watch_exports.h"
#include "watch_recorder.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

// The build places the page, bundled, in the run tree; korvan-sim copies it beside the data.
constexpr const char* kReplayPage = "Replay/replay.html";

std::string read_binary(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : std::string();
}

// The glTF copy of the focus vessel's first mesh (Meshes/<name>.glb), when the run tree has one.
std::string focus_model(const runtime::World& world, const runtime::VesselRecord* focus) {
    if (focus == nullptr || focus->def.meshes.empty() || focus->def.meshes[0].handle == nullptr) return {};
    const auto* mesh = static_cast<const runtime::MeshResource*>(focus->def.meshes[0].handle);
    const std::string path = world.find_resource("Meshes", mesh->name, ".glb");
    return path.empty() ? std::string() : read_binary(path);
}

}  // namespace

void Simulation::write_watch_outputs() {
    if (!outputs_.writes_files() || watch_ == nullptr) return;
    if (!options_.write_acmi && !options_.write_czml && !options_.write_replay) return;
    WatchRun run;
    run.title = options_.scenario_path.empty() ? scenario_.source : options_.scenario_path;
    run.start_mjd = watch_->track().start_mjd();
    run.tracks = watch_->track().thinned();
    for (const EventRecord& e : events_) run.events.emplace_back(e.name, e.time);
    if (options_.write_acmi) write_output("flight.acmi", acmi_text(run));
    if (options_.write_czml) write_output("flight.czml", czml_text(run));
    if (!options_.write_replay) return;
    const fs::path page = fs::path(root_) / kReplayPage;
    std::error_code ec;
    if (!fs::is_regular_file(page, ec)) {
        warn("no replay page " + page.string() + " in the run tree (the build makes it with npm): replay.html not written");
        return;
    }
    run.telemetry_csv = telemetry_csv();
    run.hud = &watch_->hud();
    run.world = world_.get();
    run.focus = focus_vessel();
    write_output("replay-data.js", replay_data_js(run));
    write_output("replay-model.js", replay_model_js(focus_model(*world_, run.focus)));
    write_output("replay.html", read_binary(page));
}

}  // namespace sim
