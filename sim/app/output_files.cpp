#include "output_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace sim {

void write_file_atomically(const std::string& path, const std::string& content) {
    // A short temporary name of its own: one derived from the target's would be longer than
    // the target, and fail where the target's name just fits the file system.
    const std::filesystem::path target(path);
    const std::string temp =
        (target.parent_path() / (".korvan-" + std::to_string(::getpid()) + ".tmp")).string();
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << content;
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            throw std::runtime_error(path + ": cannot write the file");
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        throw std::runtime_error(path + ": cannot write the file (" + ec.message() + ")");
    }
}

}  // namespace sim
