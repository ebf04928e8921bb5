// Prints the C library's results for the maths functions the effect calls,
// over dense grids of arguments, one line per value ("function argument(s)
// result" as bit patterns), so that two systems' libraries can be compared:
//   build it with each compiler (-O2 -ffp-contract=off), run both, then
//   tests/windows/compare-math A.txt B.txt
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

uint64_t bits(double x) {
    uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Volatile arguments keep the compiler from evaluating any call itself.
template <typename F>
void one(const char* name, double x, F f) {
    volatile double v = x;
    std::printf("%s %016" PRIx64 " %016" PRIx64 "\n", name, bits(v), bits(f(v)));
}

void two(const char* name, double x, double y) {
    volatile double a = x, b = y;
    std::printf("%s %016" PRIx64 ",%016" PRIx64 " %016" PRIx64 "\n", name, bits(a), bits(b), bits(std::pow(a, b)));
}

}  // namespace

int main() {
    constexpr int kPoints = 100000;
    constexpr double kPi = 3.141592653589793;
    for (int i = 0; i <= kPoints; ++i) {
        const double t = static_cast<double>(i) / kPoints;
        const double angle = -kPi + 2 * kPi * t;
        one("sin", angle, [](double x) { return std::sin(x); });
        one("cos", angle, [](double x) { return std::cos(x); });
        one("tan", 0.5 * kPi * t, [](double x) { return std::tan(x); });
        const double positive = std::ldexp(1.0 + t, (i % 41) - 20);  // 2^-20 .. 2^21
        one("log", positive, [](double x) { return std::log(x); });
        one("log2", positive, [](double x) { return std::log2(x); });
        one("log10", positive, [](double x) { return std::log10(x); });
        one("exp", -40 + 80 * t, [](double x) { return std::exp(x); });
        one("sqrt", positive, [](double x) { return std::sqrt(x); });
        one("fmod", 1000 * angle, [](double x) { return std::fmod(x, 1.0); });
    }
    // pow as the knob mappings and filter designs use it: bases over the
    // parameters' ranges, exponents between -2 and 2.
    for (int i = 0; i <= 400; ++i)
        for (int j = 0; j <= 400; ++j)
            two("pow", std::ldexp(1.0 + (i % 20) / 20.0, i / 20 - 10), -2.0 + 4.0 * j / 400);
    return 0;
}
