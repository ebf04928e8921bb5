// Forked children with fork, pipes, poll and waitpid; Windows has no fork.
#include "ChildProcess.h"

#if defined(_WIN32)

namespace platform {

bool canRunInChild() { return false; }

ChildResult runInChild(const std::function<void(int)>&, int, const std::function<void(const char*, size_t)>&) {
    ChildResult result;
    result.exitCode = 1;
    return result;
}

std::string signalName(int signal) { return "signal " + std::to_string(signal); }

}  // namespace platform

#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

bool canRunInChild() { return true; }

ChildResult runInChild(const std::function<void(int reportFd)>& body, int timeoutSeconds,
                       const std::function<void(const char* data, size_t size)>& onStderr) {
    int report[2], err[2];
    if (pipe2(report, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    if (pid == 0) {
        close(report[0]);
        close(err[0]);
        dup2(err[1], STDERR_FILENO);  // dup2 leaves the new descriptor open across exec
        close(err[1]);
        body(report[1]);
        close(report[1]);
        std::fflush(stdout);
        std::fflush(stderr);
        std::exit(0);  // a normal exit, so that LeakSanitizer looks at this process
    }
    close(report[1]);
    close(err[1]);

    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);
    ChildResult result;
    int status = 0;
    bool exited = false;
    Clock::time_point exitTime;
    pollfd fds[2] = {{err[0], POLLIN, 0}, {report[0], POLLIN, 0}};
    char buffer[4096];
    for (;;) {
        poll(fds, 2, 20);
        for (pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = read(p.fd, buffer, sizeof buffer);
            if (n > 0) {
                if (p.fd == err[0]) onStderr(buffer, static_cast<size_t>(n));
                else result.report.append(buffer, static_cast<size_t>(n));
            } else {
                close(p.fd);
                p.fd = -1;  // poll skips it from now on
            }
        }
        if (!exited) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                exited = true;
            } else if (Clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                result.timedOut = exited = true;
            }
            if (exited) exitTime = Clock::now();
        }
        // Both pipes end with the child, unless something it started holds them.
        if (exited && ((fds[0].fd < 0 && fds[1].fd < 0) || Clock::now() - exitTime > std::chrono::seconds(2)))
            break;
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    else result.exitCode = WEXITSTATUS(status);
    return result;
}

std::string signalName(int signal) { return strsignal(signal); }

}  // namespace platform

#endif
