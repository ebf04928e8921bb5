#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "CaptureDiagnostics.h"
#include "Display.h"
#include "GlobalLocale.h"

namespace {

TEST(Display, Texts) {
    struct Case {
        const Display& display;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {plainDisplay(), 0.5, "0.5"},
        {plainDisplay(), 250.0, "250"},
        {plainDisplay(), 98.76543, "98.7654"},
        {plainDisplay(), 0.123456789, "0.123457"},
        {plainDisplay(), 1234567.0, "1.23457e+06"},
        {plainDisplay(), 0.0001, "0.0001"},
        {plainDisplay(), 0.00001234, "1.234e-05"},
        {plainDisplay(), 123456.0, "123456"},
        {plainDisplay(), -90.0, "-90"},
        {msDisplay(), 0.25, "250"},
        {msDisplay(), 0.123456789, "123.457"},
        {msDisplay(), 0.5184, "518.4"},
        {percentDisplay(), 0.5, "50"},
        {decibelDisplay(), 1.0, "0"},
        {decibelDisplay(), 0.5, "-6.0206"},
        {decibelDisplay(), 0.1, "-20"},
        {decibelDisplay(), 0.001, "-60"},
        {decibelDisplay(), 0.0, "-oo"},
        {decibelDisplay(), -0.0, "-oo"},
    };
    CaptureDiagnostics cap;
    for (const auto& c : cases) EXPECT_EQ(c.display.toText(c.value), c.text) << c.value;
    EXPECT_TRUE(cap.take().empty());
}

// Cutting to the host's 8 characters is the parameter list's job.
TEST(Display, DoesNotShortenTexts) { EXPECT_EQ(plainDisplay().toText(-0.000123456), "-0.000123456"); }

TEST(Display, DecibelOfNegativeOrNaNIsReported) {
    CaptureDiagnostics cap;
    for (double v : {-0.5, std::nan("")}) {
        decibelDisplay().toText(v);
        const auto reports = cap.take();
        ASSERT_EQ(reports.size(), 1u);
        EXPECT_EQ(reports[0].expression, "value>=0");
        EXPECT_EQ(reports[0].unit, "Display");
    }
}

TEST(Display, FullStopUnderADecimalCommaLocale) {
    GlobalLocale german("de_DE.UTF-8");
    if (!german.ok()) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    EXPECT_EQ(formatNumber(0.5), "0.5");
    EXPECT_EQ(formatNumber(1234567.0), "1.23457e+06");
    EXPECT_EQ(formatNumber(123456.0), "123456");  // no digit grouping
    EXPECT_EQ(msDisplay().toText(0.123456789), "123.457");
    EXPECT_EQ(decibelDisplay().toText(0.5), "-6.0206");
}

}  // namespace
