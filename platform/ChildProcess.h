// Running a function in a forked copy of this process under a time limit, so
// that its crash or hang is not this process's; not available on Windows.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace platform {

struct ChildResult {
    bool timedOut = false;  // killed after the time limit
    int exitCode = 0;       // its exit status, when it exited
    int signal = 0;         // the signal that ended it, or 0
    std::string report;     // what it wrote to its report descriptor
};

// False where a process cannot fork a copy of itself (Windows); the caller
// then runs the work in this process.
bool canRunInChild();

// Forks; the child runs body(reportFd) with its standard error going to
// `onStderr` in this process, then exits with status 0. Waits at most
// `timeoutSeconds` before killing it.
ChildResult runInChild(const std::function<void(int reportFd)>& body, int timeoutSeconds,
                       const std::function<void(const char* data, size_t size)>& onStderr);

// The system's name for a signal ("Segmentation fault").
std::string signalName(int signal);

}  // namespace platform
