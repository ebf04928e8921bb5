// Switches the process's global C and C++ locales for the lifetime of the
// object and restores both afterwards, so a test can check that number texts
// do not follow a host's decimal comma.
#pragma once

#include <clocale>
#include <locale>
#include <stdexcept>
#include <string>

class GlobalLocale {
public:
    explicit GlobalLocale(const char* name) : previousCpp_(std::locale()) {
        const char* c = std::setlocale(LC_ALL, nullptr);
        previousC_ = c ? c : "C";
        try {
            std::locale::global(std::locale(name));
            ok_ = std::setlocale(LC_ALL, name) != nullptr;
        } catch (const std::runtime_error&) {
            ok_ = false;
        }
    }
    ~GlobalLocale() {
        std::locale::global(previousCpp_);
        std::setlocale(LC_ALL, previousC_.c_str());
    }
    GlobalLocale(const GlobalLocale&) = delete;
    GlobalLocale& operator=(const GlobalLocale&) = delete;

    // False when the locale is not installed; the test should then skip.
    bool ok() const { return ok_; }

private:
    std::locale previousCpp_;
    std::string previousC_;
    bool ok_ = false;
};
