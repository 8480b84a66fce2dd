// The files a run writes into its output folder beside telemetry.csv and summary.json: what
// the script's commands save and draw, kept by name in memory as well, and every output that
// could not be written. It owns the output folder (none: outputs stay in memory) and the
// check that each file the script names fits it; a test drives it alone.
//
//   sim::RunOutputs outputs("/tmp/run");
//   outputs.prepare(script);                      // the folder made, the script's names checked
//   outputs.save_scenario("one_minute", text);    // kept, and written as one_minute.scn
//   if (auto error = outputs.write("final.scn", text)) warn(*error);
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "script.h"

namespace sim {

class RunOutputs {
public:
    // folder: an absolute path, or empty for outputs kept in memory only.
    explicit RunOutputs(std::string folder = {}) : folder_(std::move(folder)) {}

    const std::string& folder() const { return folder_; }
    bool writes_files() const { return !folder_.empty(); }
    // Makes the folder and checks that every file a script command writes fits it (name and
    // whole path within the file system's limits). Throws InputError, with the script's line.
    void prepare(const Script& script) const;

    // Writes one file into the folder. One that cannot be written takes no other with it: the
    // error ("file: what went wrong") is kept and returned, and the run goes on.
    std::optional<std::string> write(const std::string& file, const std::string& content);
    // A scenario the script saved and a HUD frame it drew: kept by name, written with their
    // command's extension.
    std::optional<std::string> save_scenario(const std::string& name, const std::string& text);
    std::optional<std::string> add_hud_frame(const std::string& name, const std::string& svg);

    const std::map<std::string, std::string>& saved_scenarios() const { return saved_scenarios_; }
    const std::map<std::string, std::string>& hud_frames() const { return hud_frames_; }
    // "file: what went wrong" for each output that could not be written, in order.
    const std::vector<std::string>& errors() const { return errors_; }

private:
    std::string folder_;
    std::map<std::string, std::string> saved_scenarios_;
    std::map<std::string, std::string> hud_frames_;
    std::vector<std::string> errors_;
};

}  // namespace sim
