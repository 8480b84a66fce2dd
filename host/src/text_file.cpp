#include "runtime/text_file.h"

#include <cstdio>
#include <memory>

namespace runtime {

TextFileRead read_text_file(const std::string& path, std::string& text, std::size_t limit) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) return TextFileRead::cannot_read;
    text.clear();
    char chunk[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n > limit - text.size()) return TextFileRead::too_large;
        text.append(chunk, n);
        if (n < sizeof chunk) return std::ferror(file.get()) ? TextFileRead::cannot_read : TextFileRead::ok;
    }
}

std::string text_file_error(const std::string& path, const std::string& what, TextFileRead result, std::size_t limit) {
    if (result == TextFileRead::too_large)
        return path + ": " + what + " is larger than " + std::to_string(limit >> 20) + " MiB";
    return path + ": cannot read " + what;
}

}  // namespace runtime
