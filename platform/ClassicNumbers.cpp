// The "C" locale for one thread: uselocale on POSIX systems, a per-thread
// locale of the C runtime on Windows.
#include "ClassicNumbers.h"

#include <clocale>

#if defined(_WIN32)

namespace platform {

ClassicNumbers::ClassicNumbers() {
    previousMode_ = _configthreadlocale(_ENABLE_PER_THREAD_LOCALE);
    const char* name = std::setlocale(LC_NUMERIC, nullptr);
    previousName_ = name ? name : "C";
    std::setlocale(LC_NUMERIC, "C");
}

ClassicNumbers::~ClassicNumbers() {
    std::setlocale(LC_NUMERIC, previousName_.c_str());
    _configthreadlocale(previousMode_);
}

}  // namespace platform

#else

#include <locale.h>

namespace platform {

ClassicNumbers::ClassicNumbers() {
    static const locale_t classic = newlocale(LC_ALL_MASK, "C", nullptr);
    previous_ = uselocale(classic);
}

ClassicNumbers::~ClassicNumbers() { uselocale(static_cast<locale_t>(previous_)); }

}  // namespace platform

#endif
