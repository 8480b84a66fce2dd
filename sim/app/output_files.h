// Output files are written whole: to a temporary file in the target's folder, then renamed,
// so that a reader never sees a half-written file.
#pragma once

#include <string>

namespace sim {

// Throws std::runtime_error naming the file when it cannot be written.
void write_file_atomically(const std::string& path, const std::string& content);

}  // namespace sim
