// A file written under a temporary name beside its destination and renamed
// into place only when complete, so that a failed or interrupted run leaves
// the destination as it was and no partial file behind.
#pragma once

#include <string>

class AtomicFile {
public:
    // Creates the temporary file (mode 0600 until commit). Throws RenderFailure,
    // also when the destination is a directory.
    explicit AtomicFile(const std::string& destination);
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    const std::string& tempPath() const { return tempPath_; }
    const std::string& destination() const { return destination_; }
    // Gives the file the destination's mode (or the default for new files)
    // and renames it over the destination. Throws RenderFailure.
    void commit();

private:
    std::string destination_;
    std::string tempPath_;
    int slot_ = -1;
    bool committed_ = false;
};

// Writes `bytes` to `path` through an AtomicFile.
void writeFileAtomically(const std::string& path, const std::string& bytes);

// Throws RenderFailure when `path` names an existing directory, so that a
// file cannot be written there.
void checkNotDirectory(const std::string& path);

// Makes every signal that would end the process (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT, SIGPIPE and the rest, crashes included) first remove the pending
// temporary files. The process then ends by that same signal, so a shell
// sees 128 + its number: 130 for SIGINT, 143 for SIGTERM. A signal ignored
// at start-up stays ignored.
void installSignalCleanup();

// True when both names exist and are the same file.
bool sameFile(const std::string& a, const std::string& b);
