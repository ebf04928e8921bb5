// Libraries through dlopen/dlsym on POSIX systems and LoadLibraryW/GetProcAddress on Windows.
#include "SharedLibrary.h"

#if defined(_WIN32)

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace platform {

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// The system's text for an error code, without its trailing line break.
std::string systemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace

void* openLibrary(const std::string& path, std::string* error) {
    // No dialog box when the file is not a loadable library.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryW(widen(path).c_str());
    const DWORD code = GetLastError();
    SetErrorMode(previousMode);
    if (!module && error) {
        std::string message = systemMessage(code);
        // Some texts have a place for the file's name ("Bad EXE format for %1.").
        if (const size_t at = message.find("%1"); at != std::string::npos) message.replace(at, 2, "the file");
        *error = path + ": " + message;
    }
    return reinterpret_cast<void*>(module);
}

void* librarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

bool pathHasFolder(const std::string& path) { return path.find_first_of("/\\:") != std::string::npos; }

}  // namespace platform

#else

#include <dlfcn.h>

namespace platform {

void* openLibrary(const std::string& path, std::string* error) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle && error) {
        const char* text = dlerror();
        *error = text ? text : ("cannot load " + path);
    }
    return handle;
}

void* librarySymbol(void* library, const char* name) { return dlsym(library, name); }

void closeLibrary(void* library) { dlclose(library); }

bool pathHasFolder(const std::string& path) { return path.find('/') != std::string::npos; }

}  // namespace platform

#endif
