#include "AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "Errors.h"

std::atomic<bool> gInterrupted{false};

namespace {

// Pending temporary names, readable from a signal handler.
constexpr int kSlots = 8;
constexpr size_t kPathBytes = 4096;
char pendingPaths[kSlots][kPathBytes];
std::atomic<bool> pendingUsed[kSlots];

int claimSlot(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (pendingUsed[i].compare_exchange_strong(expected, true)) {
            std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
            return i;
        }
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) pendingUsed[slot].store(false);
}

extern "C" void onInterrupt(int) {
    if (gInterrupted.exchange(true)) {
        for (int i = 0; i < kSlots; ++i)
            if (pendingUsed[i].load()) unlink(pendingPaths[i]);
        _exit(1);
    }
}

std::string errnoText() { return std::strerror(errno); }

}  // namespace

AtomicFile::AtomicFile(const std::string& destination) : destination_(destination) {
    size_t slash = destination.rfind('/');
    std::string dir = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? destination : destination.substr(slash + 1);
    std::string pattern = dir + "." + base + ".tmp-XXXXXX";
    std::string buffer = pattern;
    int fd = mkstemp(buffer.data());
    if (fd < 0)
        throw RenderFailure("cannot create a file beside " + destination + ": " + errnoText());
    close(fd);
    tempPath_ = buffer;
    slot_ = claimSlot(tempPath_);
}

AtomicFile::~AtomicFile() {
    if (!committed_) unlink(tempPath_.c_str());
    releaseSlot(slot_);
}

void AtomicFile::commit() {
    struct stat existing {};
    mode_t mode;
    if (stat(destination_.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    chmod(tempPath_.c_str(), mode);
    if (rename(tempPath_.c_str(), destination_.c_str()) != 0)
        throw RenderFailure("cannot rename " + tempPath_ + " to " + destination_ + ": " +
                            errnoText());
    committed_ = true;
}

void writeFileAtomically(const std::string& path, const std::string& bytes) {
    AtomicFile file(path);
    {
        std::ofstream out(file.tempPath(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw RenderFailure("cannot write " + path);
    }
    file.commit();
}

void installInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
