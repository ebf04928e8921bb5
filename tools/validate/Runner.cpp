// Child processes and standard-error capture for the checks, over the platform layer.
#include "Runner.h"

ChildOutcome runInChild(const std::function<void(int reportFd)>& body, int timeoutSeconds,
                        PluginMessages& messages, const std::string& label) {
    ChildOutcome outcome = platform::runInChild(
        body, timeoutSeconds, [&](const char* data, size_t size) { messages.take(data, size, label); });
    messages.end(label);
    return outcome;
}

CapturedStderr::CapturedStderr(PluginMessages& messages, const std::string& label)
    : messages_(messages), label_(label) {
    redirect_ = std::make_unique<platform::StderrRedirect>(
        [this](const char* data, size_t size) { messages_.take(data, size, label_); });
    if (redirect_->active()) messages_.setForwardFd(redirect_->savedFd());
}

CapturedStderr::~CapturedStderr() {
    const bool wasActive = redirect_->active();
    redirect_.reset();  // standard error as before, the pipe read out
    if (!wasActive) return;
    messages_.setForwardFd(2);  // standard error
    messages_.end(label_);
}
