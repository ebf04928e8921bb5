#include "AtomicFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "Errors.h"

namespace {

// Pending temporary names, readable from a signal handler. A slot is filled
// and emptied only while the signals are held back (SignalsHeld), so the
// handler never sees half a name.
constexpr int kSlots = 8;
constexpr size_t kPathBytes = 4096;
char pendingPaths[kSlots][kPathBytes];
std::atomic<bool> pendingUsed[kSlots];

// Signals whose default action ends the process. Faults are raised by the
// instruction that failed (or by abort) and are handled apart.
constexpr int kEnding[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM,
                           SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ,   SIGVTALRM, SIGPROF,
                           SIGIO,   SIGPWR,  SIGSTKFLT};
constexpr int kFaults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

struct sigaction previousAction[NSIG];

bool isFault(int sig) {
    for (int f : kFaults)
        if (f == sig) return true;
    return false;
}

// Every ending signal except the faults, which must not be blocked.
sigset_t endingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEnding) sigaddset(&set, sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&set, sig);
    return set;
}

class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set = endingSignals();
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t old_;
};

int claimSlot(const std::string& path) {
    if (path.size() >= kPathBytes) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (pendingUsed[i].load()) continue;
        std::memcpy(pendingPaths[i], path.c_str(), path.size() + 1);
        pendingUsed[i].store(true);
        return i;
    }
    return -1;
}

void releaseSlot(int slot) {
    if (slot >= 0) pendingUsed[slot].store(false);
}

void say(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

extern "C" void onEndingSignal(int sig, siginfo_t* info, void*) {
    bool removed = false;
    for (int i = 0; i < kSlots; ++i)
        if (pendingUsed[i].load()) removed = unlink(pendingPaths[i]) == 0 || removed;
    say(removed ? "brindlewave-render: stopped by a signal; the unfinished output is removed\n"
                : "brindlewave-render: stopped by a signal\n");
    sigaction(sig, &previousAction[sig], nullptr);
    // A fault comes back when the failed instruction runs again, now to the
    // handling it had before (the default, or a sanitizer's report).
    if (isFault(sig) && info && info->si_code > 0) return;
    // Sent by kill or raise: raised again and let through at once.
    raise(sig);
    sigset_t just;
    sigemptyset(&just);
    sigaddset(&just, sig);
    pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    _exit(128 + sig);
}

void install(int sig) {
    struct sigaction current {};
    if (sigaction(sig, nullptr, &current) != 0) return;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) return;
    struct sigaction action {};
    action.sa_sigaction = onEndingSignal;
    action.sa_flags = SA_SIGINFO;
    action.sa_mask = endingSignals();
    if (sigaction(sig, &action, &previousAction[sig]) != 0) previousAction[sig] = current;
}

std::string errnoText() { return std::strerror(errno); }

}  // namespace

AtomicFile::AtomicFile(const std::string& destination) : destination_(destination) {
    checkNotDirectory(destination);
    size_t slash = destination.rfind('/');
    std::string dir = slash == std::string::npos ? "" : destination.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? destination : destination.substr(slash + 1);
    std::string buffer = dir + "." + base + ".tmp-XXXXXX";
    SignalsHeld held;
    int fd = mkstemp(buffer.data());
    if (fd < 0)
        throw RenderFailure("cannot create a file beside " + destination + ": " + errnoText());
    close(fd);
    tempPath_ = buffer;
    slot_ = claimSlot(tempPath_);
}

AtomicFile::~AtomicFile() {
    SignalsHeld held;
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
    SignalsHeld held;
    if (rename(tempPath_.c_str(), destination_.c_str()) != 0)
        throw RenderFailure("cannot rename " + tempPath_ + " to " + destination_ + ": " +
                            errnoText());
    committed_ = true;
    releaseSlot(slot_);
    slot_ = -1;
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

void checkNotDirectory(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        throw RenderFailure("cannot write " + path + ": it is a directory");
}

void installSignalCleanup() {
    for (int sig : kEnding) install(sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) install(sig);
    for (int sig : kFaults) install(sig);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
