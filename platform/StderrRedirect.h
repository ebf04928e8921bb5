// Sending this process's standard error (descriptor 2) into a pipe read by a
// thread of its own, and putting it back.
#pragma once

#include <cstddef>
#include <functional>
#include <thread>

namespace platform {

class StderrRedirect {
public:
    // From here on, what is written to standard error goes to `onData` (called
    // on the reading thread). Leaves standard error as it is when no pipe can be made.
    explicit StderrRedirect(std::function<void(const char* data, size_t size)> onData);
    // Puts the old standard error back and waits until the pipe is read out.
    ~StderrRedirect();
    StderrRedirect(const StderrRedirect&) = delete;
    StderrRedirect& operator=(const StderrRedirect&) = delete;

    bool active() const { return savedFd_ >= 0; }
    // A descriptor for the standard error from before (while active).
    int savedFd() const { return savedFd_; }

private:
    int savedFd_ = -1;
    std::thread reader_;
};

// Writes all of `size` bytes to descriptor `fd` (stops on an error).
void writeAll(int fd, const char* data, size_t size);

}  // namespace platform
