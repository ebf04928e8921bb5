// Pipes and descriptor copies through POSIX calls, or the C runtime's _pipe and _dup on Windows.
#include "StderrRedirect.h"

#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

constexpr int kStderr = 2;

// A pipe whose descriptors are not inherited by programs this one starts.
bool makePipe(int fds[2]) {
#if defined(_WIN32)
    return _pipe(fds, 65536, _O_BINARY | _O_NOINHERIT) == 0;
#else
    return pipe2(fds, O_CLOEXEC) == 0;
#endif
}

int copyOf(int fd) {
#if defined(_WIN32)
    return _dup(fd);
#else
    return fcntl(fd, F_DUPFD_CLOEXEC, 3);
#endif
}

long readSome(int fd, char* buffer, size_t size) {
#if defined(_WIN32)
    return _read(fd, buffer, static_cast<unsigned>(size));
#else
    return read(fd, buffer, size);
#endif
}

long writeSome(int fd, const char* data, size_t size) {
#if defined(_WIN32)
    return _write(fd, data, static_cast<unsigned>(size));
#else
    return write(fd, data, size);
#endif
}

void replace(int from, int to) {
#if defined(_WIN32)
    _dup2(from, to);
#else
    dup2(from, to);
#endif
}

void closeFd(int fd) {
#if defined(_WIN32)
    _close(fd);
#else
    close(fd);
#endif
}

}  // namespace

StderrRedirect::StderrRedirect(std::function<void(const char*, size_t)> onData) {
    int fds[2];
    std::fflush(stderr);
    if (!makePipe(fds)) return;  // left as it is
    savedFd_ = copyOf(kStderr);
    replace(fds[1], kStderr);
    closeFd(fds[1]);
    const int readFd = fds[0];
    reader_ = std::thread([readFd, onData = std::move(onData)] {
        char buffer[4096];
        long n;
        while ((n = readSome(readFd, buffer, sizeof buffer)) > 0) onData(buffer, static_cast<size_t>(n));
        closeFd(readFd);
    });
}

StderrRedirect::~StderrRedirect() {
    if (savedFd_ < 0) return;
    std::fflush(stderr);
    replace(savedFd_, kStderr);  // the pipe's last writer closes: the reader sees its end
    reader_.join();
    closeFd(savedFd_);
}

void writeAll(int fd, const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const long n = writeSome(fd, data + done, size - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

}  // namespace platform
