// Number texts with a full stop on the calling thread, whatever locale the
// process has set: the C library's printf family follows the "C" locale on
// this thread while an object of this class lives.
#pragma once

#include <string>

namespace platform {

class ClassicNumbers {
public:
    ClassicNumbers();
    ~ClassicNumbers();
    ClassicNumbers(const ClassicNumbers&) = delete;
    ClassicNumbers& operator=(const ClassicNumbers&) = delete;

private:
    void* previous_ = nullptr;  // POSIX: the thread's locale_t before
    int previousMode_ = 0;      // Windows: the thread-locale mode before
    std::string previousName_;  // Windows: the numeric locale before
};

}  // namespace platform
