// The platform loader's helpers for our own code: an entry of a loaded library as the
// function type it has, and (on POSIX) the name mapping shared by LoadLibraryA and
// GetModuleHandleA.
#pragma once

#include <string>

#include "orbiter_api.h"

namespace runtime {

// The entry `name` of `module` as the function type `Func`, or null when the library or the
// entry is missing. GetProcAddress answers a generic function pointer (on Windows one that
// returns an integer); it reaches the entry's own type through void (*)(), the one function
// type every other converts to and from without a mismatch warning.
template <class Func>
Func procedure(HMODULE module, const char* name) {
    if (module == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<Func>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

#if !defined(_WIN32)
// '\' becomes '/', ".dll" becomes the platform's library suffix, and a name whose file part
// has no extension gets that suffix: "Modules\\cvelmessage" -> "Modules/cvelmessage.so".
std::string map_library_name(const std::string& name);
#endif

}  // namespace runtime
