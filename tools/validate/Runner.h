// Running a piece of the validator in a child process of its own (so that a
// crash or a hang is only that piece's failure), or in this process, with its
// standard error sorted by PluginMessages either way.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ChildProcess.h"
#include "PluginMessages.h"
#include "StderrRedirect.h"

using ChildOutcome = platform::ChildResult;

// Forks; the child runs `body(reportFd)` with its standard error going to
// `messages` under `label`, then exits with status 0. Waits at most
// `timeoutSeconds` before killing it. Only where platform::canRunInChild().
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
    std::string label_;
    std::unique_ptr<platform::StderrRedirect> redirect_;
};
