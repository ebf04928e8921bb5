// Exporting a plug-in's entry points: the export attribute, and the VST 2
// entry that must be exported under the symbol name "main".
#pragma once

// Marks a function as one of the library's exports. On Windows the exports are
// listed in the module-definition file (formats/vst2/exports.def) instead, so
// the attribute is empty there; elsewhere a version script keeps the rest local.
#if defined(_WIN32)
#define BW_EXPORT extern "C"
#else
#define BW_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Declares the entry function `function` that hosts find as "main". A C++
// function cannot be called main and return a pointer, so on ELF systems the
// asm label gives it that symbol; on Windows the .def file exports it as
// main=function.
#if defined(_WIN32)
#define BW_DECLARE_MAIN_ENTRY(returnType, function, parameters) BW_EXPORT returnType function parameters
#else
#define BW_DECLARE_MAIN_ENTRY(returnType, function, parameters) \
    BW_EXPORT returnType function parameters __asm__("main")
#endif
