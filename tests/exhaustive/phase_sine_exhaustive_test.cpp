// The sine shape's own evaluation against the exact sine at every one of the
// 2^32 phases, on two threads.
#include <gtest/gtest.h>

#include <thread>

#include "SineUlps.h"

TEST(PhaseSineExhaustive, WithinOneUlpAtEveryPhase) {
    constexpr int kThreads = 2;
    double worst[kThreads] = {};
    uint32_t where[kThreads] = {};
    std::thread threads[kThreads];
    for (int t = 0; t < kThreads; ++t)
        threads[t] = std::thread([&, t] {
            constexpr uint32_t kBatch = 4096;
            double values[kBatch];
            for (uint64_t start = static_cast<uint64_t>(t) * kBatch; start < 0x100000000ull;
                 start += kThreads * kBatch) {
                phaseSines(static_cast<uint32_t>(start), 1, kBatch, values);
                for (uint32_t i = 0; i < kBatch; ++i) {
                    const uint32_t p = static_cast<uint32_t>(start + i);
                    const double e = sineErrorUlps(p, values[i]);
                    if (e > worst[t]) worst[t] = e, where[t] = p;
                }
            }
        });
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_LE(worst[t], 1.0) << "phase " << where[t];
    std::printf("worst error %.3f and %.3f ulp\n", worst[0], worst[1]);
}
