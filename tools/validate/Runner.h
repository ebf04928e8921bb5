// Running a piece of the validator in a child process of its own (so that a
// crash or a hang is only that piece's failure), or in this process, with its
// standard error sorted by PluginMessages either way.
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "PluginMessages.h"

struct ChildOutcome {
    bool timedOut = false;  // killed after the time-out
    int status = 0;         // as waitpid gives it
    std::string report;     // what the child wrote to its report descriptor
};

// Forks; the child runs `body(reportFd)` with its standard error going to
// `messages` under `label`, then exits with status 0. Waits at most
// `timeoutSeconds` before killing it.
ChildOutcome runInChild(const std::function<void(int reportFd)>& body, int timeoutSeconds,
                        PluginMessages& messages, const std::string& label);

// While it lives, this process's standard error goes to `messages` under
// `label` (read by a thread of its own).
class CapturedStderr {
public:
    CapturedStderr(PluginMessages& messages, const std::string& label);
    ~CapturedStderr();
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

private:
    PluginMessages& messages_;
    int savedFd_ = -1;  // the standard error from before
    std::thread reader_;
};
