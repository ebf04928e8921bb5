// A file written under a temporary name beside its destination and renamed
// into place only when complete, so that a failed or interrupted run leaves
// the destination as it was and no partial file behind.
#pragma once

#include <atomic>
#include <string>

class AtomicFile {
public:
    // Creates the temporary file (mode 0600 until commit). Throws RenderFailure.
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

// Set by SIGINT, SIGTERM and SIGHUP; long loops poll it and give up. A second
// signal removes every pending temporary file and ends the process at once.
extern std::atomic<bool> gInterrupted;
void installInterruptHandlers();

// True when both names exist and are the same file.
bool sameFile(const std::string& a, const std::string& b);
