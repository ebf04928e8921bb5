// Child processes and standard-error capture for the checks.
#include "Runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

ChildOutcome runInChild(const std::function<void(int reportFd)>& body, int timeoutSeconds,
                        PluginMessages& messages, const std::string& label) {
    int report[2], err[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        std::perror("brindlewave-validate: pipe");
        std::exit(1);
    }
    if (pipe2(err, O_CLOEXEC) != 0) {
        std::perror("brindlewave-validate: pipe");
        std::exit(1);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("brindlewave-validate: fork");
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
    ChildOutcome outcome;
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
                if (p.fd == err[0]) messages.take(buffer, static_cast<size_t>(n), label);
                else outcome.report.append(buffer, static_cast<size_t>(n));
            } else {
                close(p.fd);
                p.fd = -1;  // poll skips it from now on
            }
        }
        if (!exited) {
            if (waitpid(pid, &outcome.status, WNOHANG) == pid) {
                exited = true;
            } else if (Clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &outcome.status, 0);
                outcome.timedOut = exited = true;
            }
            if (exited) exitTime = Clock::now();
        }
        // Both pipes end with the child, unless something it started holds them.
        if (exited && ((fds[0].fd < 0 && fds[1].fd < 0) || Clock::now() - exitTime > std::chrono::seconds(2)))
            break;
    }
    for (pollfd& p : fds)
        if (p.fd >= 0) close(p.fd);
    messages.end(label);
    return outcome;
}

CapturedStderr::CapturedStderr(PluginMessages& messages, const std::string& label)
    : messages_(messages) {
    int fds[2];
    std::fflush(stderr);
    if (pipe2(fds, O_CLOEXEC) != 0) return;  // left as it is
    savedFd_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
    messages_.setForwardFd(savedFd_);
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);
    const int readFd = fds[0];
    reader_ = std::thread([this, readFd, label] {
        char buffer[4096];
        ssize_t n;
        while ((n = read(readFd, buffer, sizeof buffer)) > 0) messages_.take(buffer, static_cast<size_t>(n), label);
        messages_.end(label);
        close(readFd);
    });
}

CapturedStderr::~CapturedStderr() {
    if (savedFd_ < 0) return;
    std::fflush(stderr);
    dup2(savedFd_, STDERR_FILENO);  // the pipe's last writer closes: the reader sees its end
    reader_.join();
    messages_.setForwardFd(STDERR_FILENO);
    close(savedFd_);
}
