// brindlewave-validate PLUGIN.so [--strictness 1..10] [--seed N] [--only a,b] [--no-fork]
// Runs each check in a child process of its own, so that a crash or a hang is
// reported as that check's failure and the other checks still run. The
// plug-in's own messages on standard error are counted and summarised.
#include <sys/stat.h>

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "PluginMessages.h"
#include "Runner.h"
#include "SharedLibrary.h"
#include "Validator.h"

namespace {

constexpr const char* kTool = "brindlewave-validate";

struct Check {
    const char* name;
    void (*run)(Validator&);
    const char* what;
};

constexpr Check kChecks[] = {
    {"lifecycle", checkLifecycle, "cold loads, open and close, many instances at once"},
    {"info", checkInfo, "record fields, names and parameter texts"},
    {"opcodes", checkOpcodes, "every opcode with harmless arguments"},
    {"processing", checkProcessing, "rates, block sizes, tails, both process calls"},
    {"fuzz", checkParameterFuzz, "random and invalid knob positions while processing"},
    {"state", checkState, "chunk round trips, loads while processing"},
    {"threads", checkThreads, "audio, parameter and state threads at once"},
    {"realtime", checkRealtime, "no allocation or lock inside process calls"},
    {"denormals", checkDenormals, "silence after a loud passage stays cheap"},
    {"locale", checkLocale, "a decimal-comma locale in the host"},
    {"badchunks", checkBadChunks, "malformed and random chunks"},
    {"negative-chunk-size", checkNegativeChunkSize, "a negative chunk size"},
};

std::string checkNames() {
    std::string names;
    for (const Check& c : kChecks) names += (names.empty() ? "" : ", ") + std::string(c.name);
    return names;
}

bool knownCheck(const std::string& name) {
    for (const Check& c : kChecks)
        if (name == c.name) return true;
    return false;
}

bool selected(const std::vector<std::string>& only, const char* name) {
    if (only.empty()) return true;
    for (const std::string& o : only)
        if (o == name) return true;
    return false;
}

// Why the plug-in cannot be validated at all, in one phrase, or "".
std::string loadProblem(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return errno == ENOENT ? "no such file" : std::string("cannot read it (") + std::strerror(errno) + ")";
    if (S_ISDIR(info.st_mode)) return "it is a directory, not a plug-in library";
    std::string error;
    auto library = hostkit::Library::open(path, &error);
    if (!library) {
        // dlerror starts with the path; the line already names it.
        if (error.compare(0, path.size() + 2, path + ": ") == 0) error.erase(0, path.size() + 2);
        return "not a loadable shared library (" + error + ")";
    }
    if (!library->entry()) return "no VSTPluginMain or main entry point: not a VST 2 plug-in";
    hostkit::Host host;
    auto plugin = hostkit::Plugin::create(*library, host, &error);
    if (!plugin) return error;
    plugin->close();
    return {};
}

// loadProblem in a child, so that an entry point that crashes or hangs is
// reported too (and each check still loads the library cold).
std::string loadProblemIsolated(const std::string& path, PluginMessages& messages) {
    constexpr int kTimeout = 60;
    const ChildOutcome o = runInChild([&](int fd) { writeAll(fd, loadProblem(path)); }, kTimeout, messages, "load");
    if (o.timedOut) return format("its entry point did not return within %d s", kTimeout);
    if (o.signal)
        return format("it crashed while loading (signal %d, %s)", o.signal, platform::signalName(o.signal).c_str());
    if (o.exitCode != 0) return format("loading it ended the process with status %d", o.exitCode);
    return o.report;
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
void runForked(const Options& options, const Check& check, int timeoutSeconds, PluginMessages& messages,
               int& passed, int& failed) {
    const ChildOutcome o = runInChild(
        [&](int fd) {
            int p = 0, f = 0;
            runHere(options, check, p, f);
            writeAll(fd, format("%d %d", p, f));
        },
        timeoutSeconds, messages, check.name);
    passed = failed = 0;
    const bool reported = std::sscanf(o.report.c_str(), "%d %d", &passed, &failed) == 2;
    std::string problem;
    if (o.timedOut)
        problem = format("hung: killed after %d s", timeoutSeconds);
    else if (o.signal)
        problem = format("crashed with signal %d (%s)", o.signal, platform::signalName(o.signal).c_str());
    else if (o.exitCode != 0)
        problem = format("exited with status %d (sanitizer or leak report above?)", o.exitCode);
    else if (!reported)
        problem = "ended without reporting";
    if (!problem.empty()) {
        ++failed;
        std::printf("FAIL  %s: %s\n", check.name, problem.c_str());
        std::fflush(stdout);
    }
}

std::string footer() {
    std::string text = "Checks (all by default):\n";
    for (const Check& c : kChecks) text += format("  %-21s %s\n", c.name, c.what);
    text +=
        "\nEach check runs in a child process; a crash or a hang fails that check only.\n"
        "Messages the plug-in prints on standard error are counted and summarised\n"
        "before the last line, \"N passed, M failed\".\n"
        "\nExit status: 0 when every check passed, 1 when one failed or the plug-in\n"
        "cannot be loaded, 2 for a command-line error.";
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::vector<std::string> only;
    bool noFork = false;

    CLI::App app{"Drives a Brindlewave plug-in through its VST 2 interface the way hostile\n"
                 "hosts do, and reports each check as PASS, FAIL or SKIP.\n",
                 kTool};
    app.footer(footer());
    app.get_formatter()->column_width(26);
    app.allow_windows_style_options(false);  // a path may start with '/' on Windows too (under wine)
    app.add_option("PLUGIN", options.pluginPath, "The plug-in library to validate")->required()->type_name("");
    app.add_option("--strictness", options.strictness, "Scales counts and durations (3 is quick)")
        ->type_name("1..10")
        ->check(CLI::Range(1, 10).description(""))
        ->capture_default_str();
    app.add_option("--seed", options.seed, "Seed of the random inputs and knob moves")
        ->type_name("N")
        ->capture_default_str();
    app.add_option("--only", only, "Run only these checks")
        ->type_name("CHECK,...")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->delimiter(',')
        ->check(CLI::Validator(
            [](std::string& name) {
                return knownCheck(name) ? std::string()
                                        : "unknown check \"" + name + "\"; the checks are " + checkNames();
            },
            ""));
    app.add_flag("--no-fork", noFork, "Run every check in this process (for a debugger);\na crash ends the run");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "%s: %s (see --help)\n", kTool, e.what());
        return 2;
    }

    // A bare file name means the file here, not a search of the library path.
    if (!platform::pathHasFolder(options.pluginPath)) options.pluginPath = "./" + options.pluginPath;

    if (!noFork && !platform::canRunInChild()) {
        // No fork on Windows: the checks share this process, so a crash ends the run.
        std::printf("note: no child processes on this system; every check runs in this process\n");
        noFork = true;
    }
    PluginMessages messages;
    std::string problem;
    if (noFork) {
        CapturedStderr capture(messages, "load");
        problem = loadProblem(options.pluginPath);
    } else {
        problem = loadProblemIsolated(options.pluginPath, messages);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: cannot load %s: %s\n", kTool, options.pluginPath.c_str(), problem.c_str());
        return 1;
    }
    std::printf("validating %s at strictness %d, seed %llu\n", options.pluginPath.c_str(),
                options.strictness, static_cast<unsigned long long>(options.seed));

    int passed = 0, failed = 0;
    for (const Check& check : kChecks) {
        if (!selected(only, check.name)) continue;
        int p = 0, f = 0;
        if (noFork) {
            CapturedStderr capture(messages, check.name);
            runHere(options, check, p, f);
        } else {
            runForked(options, check, 60 + 30 * options.strictness, messages, p, f);
        }
        passed += p;
        failed += f;
    }
    messages.printSummary(stdout);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
