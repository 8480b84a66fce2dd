// The files the script's commands write, the output folder, and the outputs that failed.
#include "run_outputs.h"

#include <filesystem>
#include <stdexcept>
#include <unistd.h>

#include "input_error.h"
#include "output_files.h"

namespace sim {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
constexpr size_t kWindowsPathMax = 260;  // MAX_PATH: a whole path through the system's narrow calls
#else
constexpr size_t kCommonPathMax = 4096;  // bytes in a whole path, where the folder does not say
#endif

enum class FolderLimit { name, path };

// A limit of the output folder's file system in bytes: a file's name or a whole path.
size_t folder_limit([[maybe_unused]] const std::string& dir, FolderLimit which) {
#if defined(_WIN32)
    return which == FolderLimit::name ? kMaxFileNameBytes : kWindowsPathMax;
#else
    // pathconf answers for the folder's own file system; the common limits where it does not.
    const bool name = which == FolderLimit::name;
    const long n = ::pathconf(dir.c_str(), name ? _PC_NAME_MAX : _PC_PATH_MAX);
    return n > 0 ? static_cast<size_t>(n) : name ? kMaxFileNameBytes : kCommonPathMax;
#endif
}

}  // namespace

// Every file a script command writes must fit the output folder: a name the file system
// refuses would otherwise only show when the command runs, late in the flight.
void RunOutputs::prepare(const Script& script) const {
    if (folder_.empty()) return;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec || !fs::is_directory(folder_)) throw InputError(folder_ + ": cannot create the output folder");
    const size_t name_max = folder_limit(folder_, FolderLimit::name);
    const size_t path_max = folder_limit(folder_, FolderLimit::path);
    for (const ScriptEntry& e : script.entries) {
        const std::string extension = output_extension(e.command.kind);
        if (extension.empty()) continue;
        const std::string file = e.command.text + extension;
        const size_t path_length = (fs::path(folder_) / file).string().size();
        if (file.size() > name_max || path_length >= path_max)
            throw InputError(at_line(script.source, e.line,
                                     "name \"" + e.command.text.substr(0, 16) + "...\" is too long for a file in " +
                                         folder_ + " (at most " + std::to_string(name_max - extension.size()) +
                                         " characters before \"" + extension + "\", and " + std::to_string(path_max - 1) +
                                         " in the whole path)"));
    }
}

std::optional<std::string> RunOutputs::write(const std::string& file, const std::string& content) {
    if (folder_.empty()) return std::nullopt;
    try {
        write_file_atomically((fs::path(folder_) / file).string(), content);
    } catch (const std::exception& e) {
        errors_.emplace_back(e.what());
        return errors_.back();
    }
    return std::nullopt;
}

std::optional<std::string> RunOutputs::save_scenario(const std::string& name, const std::string& text) {
    saved_scenarios_[name] = text;
    return write(name + output_extension(CommandKind::Save), text);
}

std::optional<std::string> RunOutputs::add_hud_frame(const std::string& name, const std::string& svg) {
    hud_frames_[name] = svg;
    return write(name + output_extension(CommandKind::Hud), svg);
}

}  // namespace sim
