// The platform loader on POSIX: LoadLibraryA, GetProcAddress, FreeLibrary and
// GetModuleHandleA over dlopen, with the Windows names mapped to this platform's files.
#if !defined(_WIN32)
#include "runtime/loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "host_internal.h"

#ifndef KORVAN_LIBRARY_SUFFIX
#define KORVAN_LIBRARY_SUFFIX ".so"
#endif

namespace {

struct LoadedLibrary {
    std::string base_name;  // file name of the mapped library, e.g. "cvelmessage.so"
    int references = 0;
};

// Lives as long as the process: Worlds released at exit still free their modules here.
std::map<void*, LoadedLibrary>& loaded_libraries() {
    static auto* libraries = new std::map<void*, LoadedLibrary>();
    return *libraries;
}

std::mutex& loader_mutex() {
    static auto* m = new std::mutex();
    return *m;
}

// GetProcAddress answers from a small cache: the vessel looks its message functions up at
// every use, every step. Each thread keeps its own entries, so a look-up takes no lock; any
// FreeLibrary makes every entry of every thread stale, because a library may then be gone and
// another one mapped at the same handle.
std::atomic<std::uint64_t> library_generation{0};

struct CachedSymbol {
    static constexpr std::size_t kNameSize = 64;  // longer names are looked up every time
    HMODULE module = nullptr;
    std::uint64_t generation = 0;
    FARPROC proc = nullptr;
    char name[kNameSize] = {};
};
constexpr std::size_t kCachedSymbols = 8;
struct SymbolCache {
    std::array<CachedSymbol, kCachedSymbols> entries;
    std::size_t last_hit = 0;  // asked again first: one name is usually asked many times in a row
    std::size_t next = 0;      // the entry a new name takes
};
thread_local SymbolCache symbol_cache;

// The C library's comparison reads whole words where it safely can: the names are asked
// every step.
bool names_match(const char* cached, const char* name) {
    return std::strcmp(cached, name) == 0;
}

bool answers(const CachedSymbol& c, HMODULE module, std::uint64_t generation, const char* name) {
    return c.module == module && c.generation == generation && names_match(c.name, name);
}

bool ends_with_ci(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
}

std::string base_name_of(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool file_exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

// The places a name may stand for, in the order they are tried.
std::vector<std::string> candidate_paths(const std::string& mapped) {
    std::vector<std::string> paths;
    if (!mapped.empty() && mapped[0] == '/') {
        paths.push_back(mapped);
        return paths;
    }
    paths.push_back("./" + mapped);
    if (const runtime::World* w = runtime::World::current_or_null(); w != nullptr && w->root() != ".")
        paths.push_back(w->root() + "/" + mapped);
    return paths;
}

}  // namespace

namespace runtime {

// '\' becomes '/', ".dll" becomes the platform's suffix, a name without extension gets it.
std::string map_library_name(const std::string& name) {
    std::string mapped = name;
    std::replace(mapped.begin(), mapped.end(), '\\', '/');
    const std::string suffix = KORVAN_LIBRARY_SUFFIX;
    if (ends_with_ci(mapped, ".dll")) {
        mapped.replace(mapped.size() - 4, 4, suffix);
    } else if (base_name_of(mapped).find('.') == std::string::npos) {
        mapped += suffix;
    }
    return mapped;
}

}  // namespace runtime

HMODULE LoadLibraryA(const char* name) {
    if (name == nullptr || *name == '\0') return nullptr;
    const std::string mapped = runtime::map_library_name(name);
    void* handle = nullptr;
    for (const std::string& path : candidate_paths(mapped)) {
        if (!file_exists(path)) continue;
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) break;
    }
    // A bare file name may also be one the system's loader knows.
    if (handle == nullptr && mapped.find('/') == std::string::npos)
        handle = ::dlopen(mapped.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    std::lock_guard lock(loader_mutex());
    LoadedLibrary& lib = loaded_libraries()[handle];
    if (lib.base_name.empty()) lib.base_name = base_name_of(mapped);
    ++lib.references;
    return handle;
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    const std::uint64_t generation = library_generation.load(std::memory_order_acquire);
    SymbolCache& cache = symbol_cache;
    if (answers(cache.entries[cache.last_hit], module, generation, name)) return cache.entries[cache.last_hit].proc;
    for (std::size_t i = 0; i < kCachedSymbols; ++i) {
        if (answers(cache.entries[i], module, generation, name)) {
            cache.last_hit = i;
            return cache.entries[i].proc;
        }
    }
    const auto proc = reinterpret_cast<FARPROC>(::dlsym(module, name));
    const std::size_t length = std::strlen(name);
    if (length < CachedSymbol::kNameSize) {
        cache.last_hit = cache.next;
        CachedSymbol& c = cache.entries[cache.next];
        cache.next = (cache.next + 1) % kCachedSymbols;
        c.module = module;
        c.generation = generation;
        c.proc = proc;
        std::memcpy(c.name, name, length + 1);
    }
    return proc;
}

bool FreeLibrary(HMODULE module) {
    if (module == nullptr) return false;
    {
        std::lock_guard lock(loader_mutex());
        auto it = loaded_libraries().find(module);
        if (it == loaded_libraries().end()) return false;
        if (--it->second.references == 0) loaded_libraries().erase(it);
        library_generation.fetch_add(1, std::memory_order_release);
    }
    return ::dlclose(module) == 0;
}

HMODULE GetModuleHandleA(const char* name) {
    if (name == nullptr || *name == '\0') return nullptr;
    const std::string mapped = runtime::map_library_name(name);
    const std::string base = base_name_of(mapped);
    {
        std::lock_guard lock(loader_mutex());
        for (const auto& [handle, lib] : loaded_libraries())
            if (lib.base_name == base) return handle;
    }
    // Loaded some other way (by the host process itself): ask without loading, and give the
    // reference RTLD_NOLOAD took straight back; the library stays mapped by its owner.
    std::vector<std::string> tries = candidate_paths(mapped);
    if (mapped.find('/') == std::string::npos) tries.push_back(mapped);
    for (const std::string& path : tries) {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr) {
            ::dlclose(handle);
            return handle;
        }
    }
    return nullptr;
}
#endif
