// What every fuzz target shares: the engine's entry points, the oracle's verdict, the input
// as text and lines, the build's run tree, and the modules kept loaded for the whole process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "orbiter_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fuzz {

// An oracle that does not hold: the engine, or the replay driver, reports the input.
[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(stderr, "fuzz oracle failed: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

inline void check(bool holds, const std::string& what) {
    if (!holds) fail(what);
}

inline std::string text_of(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// The input's lines, split at '\n' only: carriage returns and every other byte stay.
inline std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Loads a run-tree module for the rest of the process. Vessels load and free their modules
// as they come and go; the engine's coverage counters live in the module's memory, so it
// must never be unmapped while the process runs.
inline void keep_loaded(const char* module_in_run_tree) {
    const std::string path = std::string(KORVAN_RUN_TREE) + "/" + module_in_run_tree;
    if (LoadLibraryA(path.c_str()) == nullptr) fail("cannot load " + path);
}

// The vessel module and the message link, for targets that fly Korvans from the run tree.
inline void keep_flight_modules_loaded() {
    keep_loaded("Modules/Korvan");
    keep_loaded("Modules/cvelmessage");
}

}  // namespace fuzz
