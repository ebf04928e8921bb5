// Loading a shared library (a .so or a .dll) and looking up a symbol in it.
#pragma once

#include <string>

namespace platform {

// Loads the library at `path` (UTF-8), resolving everything now. Returns null
// and fills `error` (when given) with the system's reason on failure.
void* openLibrary(const std::string& path, std::string* error);
// The address of the exported symbol `name`, or null.
void* librarySymbol(void* library, const char* name);
void closeLibrary(void* library);

// Whether `path` names a folder; a bare file name makes the loader search
// the system's library path instead of the current folder.
bool pathHasFolder(const std::string& path);

}  // namespace platform
