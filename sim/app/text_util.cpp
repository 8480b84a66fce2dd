#include "text_util.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "input_error.h"
#include "runtime/text_file.h"

namespace sim {

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::vector<std::string> split_words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string to_lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string to_upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool iequals(const std::string& a, const std::string& b) { return to_lower(a) == to_lower(b); }

bool parse_double(const std::string& word, double& out) {
    if (word.empty()) return false;
    const char* begin = word.c_str();
    const char* end = begin + word.size();
    if (*begin == '+') ++begin;  // from_chars takes no leading plus
    double d = 0.0;
    const auto res = std::from_chars(begin, end, d);
    if (res.ec != std::errc() || res.ptr != end || !std::isfinite(d)) return false;
    out = d;
    return true;
}

bool parse_int(const std::string& word, int& out) {
    if (word.empty()) return false;
    const char* end = word.c_str() + word.size();
    int i = 0;
    const auto res = std::from_chars(word.c_str(), end, i);
    if (res.ec != std::errc() || res.ptr != end) return false;
    out = i;
    return true;
}

std::string number_text(double d) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", d);
    return text;
}

// A folder opens as a stream on some systems and reads as nothing: said plainly instead. The
// file is read within a bounded size, so that an endless one (/dev/zero) is refused.
std::string read_input_file(const std::string& path, const std::string& kind) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw InputError(path + ": is a folder, not a " + kind);
    std::string text;
    if (const auto read = runtime::read_text_file(path, text); read != runtime::TextFileRead::ok)
        throw InputError(runtime::text_file_error(path, "the " + kind, read));
    return text;
}

}  // namespace sim
