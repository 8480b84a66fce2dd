// Files for watching a run elsewhere: flight.acmi (ACMI 2.2 text, read by Tacview and
// OpenACMI), flight.czml (CesiumJS), and the replay page's data, replay-data.js.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "flight_track.h"
#include "watch_recorder.h"

namespace sim {

struct WatchRun {
    std::string title;                 // the scenario's name
    double start_mjd = 0.0;            // at simulation time 0
    std::vector<VesselTrack> tracks;   // thinned
    std::vector<std::pair<std::string, double>> events;  // name, time (s)
    std::string telemetry_csv;         // header line and rows
    const std::vector<HudRecord>* hud = nullptr;
    const runtime::World* world = nullptr;        // the body and the focus vessel's exhausts
    const runtime::VesselRecord* focus = nullptr;  // at the end of the run, or null
};

// "2000-01-01T12:00:00Z" from a modified Julian date, to the second.
std::string iso_time_from_mjd(double mjd);

std::string acmi_text(const WatchRun& run);
std::string czml_text(const WatchRun& run);
// A script that hands the run's data to the replay page (one call of
// window.korvanRuns.push), so that the page reads it from disk by <script src> alone.
std::string replay_data_js(const WatchRun& run);
// The hull model (a glTF binary) for the page in the same way, in base64; null when empty. A
// run laid over another in compare mode needs only its data, not the model again.
std::string replay_model_js(const std::string& model_glb);

}  // namespace sim
