#include "Display.h"

#include <cmath>
#include <locale>
#include <sstream>

#include "Diagnostics.h"

namespace {

constinit const PlainDisplay plainInstance;
constinit const MsDisplay msInstance;
constinit const PercentDisplay percentInstance;
constinit const DecibelDisplay decibelInstance;

}  // namespace

const PlainDisplay& plainDisplay() noexcept { return plainInstance; }
const MsDisplay& msDisplay() noexcept { return msInstance; }
const PercentDisplay& percentDisplay() noexcept { return percentInstance; }
const DecibelDisplay& decibelDisplay() noexcept { return decibelInstance; }

std::string formatNumber(double value) {
    std::ostringstream stream;
    stream.imbue(std::locale::classic());
    stream << value;
    return stream.str();
}

std::string PlainDisplay::toText(double value) const { return formatNumber(value); }

std::string ScaledDisplay::toText(double value) const { return formatNumber(value * factor); }

std::string DecibelDisplay::toText(double value) const {
    BW_CHECK(value >= 0.0, "value>=0", "Display");
    if (value == 0.0) return "-oo";
    return formatNumber(20.0 * std::log10(value));
}
