// Whether a host program can stand in for the C library's allocation and lock
// functions in the libraries it loads (to count a plug-in's calls to them).
#pragma once

// On ELF systems the program's own exported malloc and pthread_mutex_lock are
// the ones a library loaded later binds to. A Windows DLL binds its imports to
// the C runtime and system DLLs themselves, so a host cannot see those calls.
#if defined(_WIN32)
#define BW_CAN_INTERPOSE_LIBRARY_CALLS 0
#define BW_NO_INTERPOSITION_REASON \
    "not possible on Windows: a DLL calls the C runtime's malloc and the system's locks directly, " \
    "so a host program cannot count them"
#else
#define BW_CAN_INTERPOSE_LIBRARY_CALLS 1
#define BW_NO_INTERPOSITION_REASON ""
#endif
