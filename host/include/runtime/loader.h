// The platform loader's name mapping, shared by LoadLibraryA and GetModuleHandleA.
#pragma once

#include <string>

namespace runtime {

// '\' becomes '/', ".dll" becomes the platform's library suffix, and a name whose file part
// has no extension gets that suffix: "Modules\\cvelmessage" -> "Modules/cvelmessage.so".
std::string map_library_name(const std::string& name);

}  // namespace runtime
