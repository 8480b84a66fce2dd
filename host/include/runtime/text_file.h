// Input text files read whole, within a limit: a file beyond it, or an endless stream such as
// /dev/zero, is refused once the limit is passed, before it fills the memory.
#pragma once

#include <cstddef>
#include <string>

namespace runtime {

// Scenarios, scripts and class configs are a few kilobytes; this is far beyond any of them.
inline constexpr std::size_t kMaxInputFileBytes = std::size_t{16} << 20;  // 16 MiB

enum class TextFileRead { ok, cannot_read, too_large };

// Reads the file at `path` into `text`: cannot_read when it does not open or a read fails (a
// folder), too_large after `limit` + 1 bytes.
TextFileRead read_text_file(const std::string& path, std::string& text, std::size_t limit = kMaxInputFileBytes);

// "<path>: <what> is larger than 16 MiB" or "<path>: cannot read <what>", for a result other than ok.
std::string text_file_error(const std::string& path, const std::string& what, TextFileRead result,
                            std::size_t limit = kMaxInputFileBytes);

}  // namespace runtime
