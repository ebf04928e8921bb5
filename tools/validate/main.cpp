// brindlewave-validate PLUGIN.so [--strictness 1..10] [--seed N] [--only a,b] [--no-fork]
// Runs each check in a child process of its own, so that a crash or a hang is
// reported as that check's failure and the other checks still run.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <thread>

#include "Validator.h"

namespace {

struct Check {
    const char* name;
    void (*run)(Validator&);
};

constexpr Check kChecks[] = {
    {"lifecycle", checkLifecycle},   {"info", checkInfo},
    {"opcodes", checkOpcodes},       {"processing", checkProcessing},
    {"fuzz", checkParameterFuzz},
    {"state", checkState},           {"threads", checkThreads},
    {"realtime", checkRealtime},     {"denormals", checkDenormals},
    {"locale", checkLocale},         {"badchunks", checkBadChunks},
    {"negative-chunk-size", checkNegativeChunkSize},
};

bool selected(const std::string& only, const char* name) {
    if (only.empty()) return true;
    const std::string list = "," + only + ",";
    return list.find("," + std::string(name) + ",") != std::string::npos;
}

// Runs one check in this process; returns its counts.
void runHere(const Options& options, const Check& check, int& passed, int& failed) {
    Validator v(options);
    try {
        check.run(v);
    } catch (const std::exception& e) {
        Findings f;
        f.add(std::string("aborted: ") + e.what());
        v.result(check.name, f);
    }
    passed = v.passed();
    failed = v.failed();
}

// Runs one check in a child; a crash, a non-zero exit (a sanitizer report) or a
// time-out counts as one more failure.
void runForked(const Options& options, const Check& check, int timeoutSeconds, int& passed,
               int& failed) {
    int fds[2];
    if (pipe(fds) != 0) {
        runHere(options, check, passed, failed);
        return;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        int p = 0, f = 0;
        runHere(options, check, p, f);
        const int counts[2] = {p, f};
        if (write(fds[1], counts, sizeof counts) != sizeof counts) std::exit(3);
        close(fds[1]);
        std::fflush(stdout);
        std::exit(0);  // a normal exit, so that LeakSanitizer looks at this process
    }
    close(fds[1]);
    passed = failed = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    bool timedOut = false;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int counts[2] = {0, 0};
    const bool reported = read(fds[0], counts, sizeof counts) == sizeof counts;
    close(fds[0]);
    passed = counts[0];
    failed = counts[1];
    std::string problem;
    if (timedOut)
        problem = format("hung: killed after %d s", timeoutSeconds);
    else if (WIFSIGNALED(status))
        problem = format("crashed with signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status)));
    else if (WEXITSTATUS(status) != 0)
        problem = format("exited with status %d (sanitizer or leak report above?)", WEXITSTATUS(status));
    else if (!reported)
        problem = "ended without reporting";
    if (!problem.empty()) {
        ++failed;
        std::printf("FAIL  %s: %s\n", check.name, problem.c_str());
        std::fflush(stdout);
    }
}

int usage() {
    std::fprintf(stderr,
                 "usage: brindlewave-validate PLUGIN.so [--strictness 1..10] [--seed N] "
                 "[--only check,check] [--no-fork]\nchecks:");
    for (const Check& c : kChecks) std::fprintf(stderr, " %s", c.name);
    std::fprintf(stderr, "\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string only;
    bool fork = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--strictness" && i + 1 < argc) {
            options.strictness = std::atoi(argv[++i]);
            if (options.strictness < 1 || options.strictness > 10) return usage();
        } else if (arg == "--seed" && i + 1 < argc) {
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--no-fork") {
            fork = false;
        } else if (!arg.empty() && arg[0] != '-' && options.pluginPath.empty()) {
            options.pluginPath = arg;
        } else {
            return usage();
        }
    }
    if (options.pluginPath.empty()) return usage();
    std::printf("validating %s at strictness %d, seed %llu\n", options.pluginPath.c_str(),
                options.strictness, static_cast<unsigned long long>(options.seed));

    int passed = 0, failed = 0;
    for (const Check& check : kChecks) {
        if (!selected(only, check.name)) continue;
        int p = 0, f = 0;
        if (fork)
            runForked(options, check, 60 + 30 * options.strictness, p, f);
        else
            runHere(options, check, p, f);
        passed += p;
        failed += f;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
