#include "ChunkIo.h"

#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "EngineForm.h"
#include "VectorLanes.h"

// The wide vectors never cross a call boundary.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// The seed recurrence taken n steps at once.
constexpr uint32_t multiplierOf(int n) { return n == 0 ? 1u : kNoiseA * multiplierOf(n - 1); }
constexpr uint32_t incrementOf(int n) { return n == 0 ? 0u : incrementOf(n - 1) * kNoiseA + kNoiseC; }

inline double noiseOf(uint32_t seed) {
    return static_cast<double>(static_cast<int32_t>(seed)) * kNoiseScale;
}

inline float finiteOrSilence(float x) { return std::isfinite(x) ? x : 0.0f; }

// The seed `steps` steps on. The step composed with itself is again a step
// (seed * a + c twice is seed * a^2 + (c * a + c)), so the steps are taken in
// powers of two.
uint32_t seedAfter(uint32_t seed, uint32_t steps) {
    uint32_t a = kNoiseA, c = kNoiseC;
    for (; steps != 0; steps >>= 1) {
        if (steps & 1) seed = seed * a + c;
        c = c * a + c;
        a *= a;
    }
    return seed;
}

// The noise (at most 1.0e-15 in magnitude) is less than half the spacing of
// floats anywhere from 2^-20 up (2^-45 just below 2^-20), so a sample that
// loud plus the noise, rounded to single precision, is the sample itself.
// These are the magnitude bits from which a sample is that loud, and from
// which it is not finite.
constexpr uint32_t kLoudBits = 0x35800000u;  // 2^-20
constexpr uint32_t kNonFiniteBits = 0x7F800000u;
static_assert(2147483648.0 * kNoiseScale < 0x1p-45);
inline bool loud(float x) {
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits &= 0x7FFFFFFFu;
    return bits >= kLoudBits && bits < kNonFiniteBits;
}

// The inputs of a chunk whose samples are all loud and finite: the samples
// themselves, the channels put together. Returns false, having written some
// or all frames, when a sample is not (or a channel is missing); the caller
// then works the chunk out with the noise.
template <int N>
[[gnu::always_inline]] inline bool copyLoud(const BlockIo& io, int32_t start, int32_t count, StereoFrame* inputs) {
    using L = Lanes<N>;
    if (!io.inL || !io.inR) return false;
    const float* const inL = io.inL + start;
    const float* const inR = io.inR + start;
    typename L::Unsigned lowest = ~typename L::Unsigned{}, highest{};
    int32_t j = 0;
    for (; j + N <= count; j += N) {
        typename L::Unsigned l, r;
        std::memcpy(&l, inL + j, sizeof l);
        std::memcpy(&r, inR + j, sizeof r);
        l &= 0x7FFFFFFFu;
        r &= 0x7FFFFFFFu;
        lowest = l < lowest ? l : lowest;
        lowest = r < lowest ? r : lowest;
        highest = l > highest ? l : highest;
        highest = r > highest ? r : highest;
        for (int k = 0; k < N; ++k) inputs[j + k] = {inL[j + k], inR[j + k]};
    }
    bool all = true;
    for (int k = 0; k < N; ++k) all &= lowest[k] >= kLoudBits && highest[k] < kNonFiniteBits;
    for (; j < count; ++j) {
        all &= loud(inL[j]) && loud(inR[j]);
        inputs[j] = {inL[j], inR[j]};
    }
    return all;
}

// The inputs with the noise added, whatever the samples.
template <int N>
[[gnu::always_inline]] inline uint32_t prepareNoisy(const BlockIo& io, int32_t start, int32_t count,
                                                    uint32_t seed, StereoFrame* inputs) {
    using L = Lanes<N>;
    typename L::Unsigned seeds;
    seeds[0] = seed;
    for (int k = 1; k < N; ++k) seeds[k] = seeds[k - 1] * kNoiseA + kNoiseC;
    const auto channel = [&](const float* samples, int32_t j) {
        typename L::Single x = {};
        if (samples) std::memcpy(&x, samples + start + j, sizeof x);
        // Not finite (exponent all ones) counts as silence.
        const typename L::Unsigned bits = reinterpret_cast<typename L::Unsigned>(x);
        return (bits & 0x7FFFFFFFu) < 0x7F800000u ? x : typename L::Single{};
    };
    int32_t j = 0;
    for (; j + N <= count; j += N) {
        const typename L::Real noise =
            __builtin_convertvector(reinterpret_cast<typename L::Int>(seeds), typename L::Real) *
            static_cast<double>(kNoiseScale);
        seeds = seeds * multiplierOf(N) + incrementOf(N);
        const typename L::Single l = __builtin_convertvector(
            __builtin_convertvector(channel(io.inL, j), typename L::Real) + noise, typename L::Single);
        const typename L::Single r = __builtin_convertvector(
            __builtin_convertvector(channel(io.inR, j), typename L::Real) + noise, typename L::Single);
        for (int k = 0; k < N; ++k) inputs[j + k] = {l[k], r[k]};
    }
    seed = seeds[0];
    for (; j < count; ++j) {
        const double noise = noiseOf(seed);
        seed = seed * kNoiseA + kNoiseC;
        const float l = io.inL ? finiteOrSilence(io.inL[start + j]) : 0.0f;
        const float r = io.inR ? finiteOrSilence(io.inR[start + j]) : 0.0f;
        inputs[j] = {static_cast<float>(l + noise), static_cast<float>(r + noise)};
    }
    return seed;
}

template <int N>
[[gnu::always_inline]] inline void write(const BlockIo& io, int32_t start, int32_t count,
                                         const StereoFrame* inputs, const double* wetSums) {
    using L = Lanes<N>;  // N values: N / 2 frames as (left, right) pairs
    const double dry = io.dryGain;
    int32_t j = 0;
    if (io.replace && io.outL && io.outR) {
        constexpr int kFrames = N / 2;
        for (; j + kFrames <= count; j += kFrames) {
            typename L::Single x;
            typename L::Real wet;
            std::memcpy(&x, inputs + j, sizeof x);
            std::memcpy(&wet, wetSums + 2 * j, sizeof wet);
            const typename L::Real wetRounded =
                __builtin_convertvector(__builtin_convertvector(wet, typename L::Single), typename L::Real);
            const typename L::Single out = __builtin_convertvector(
                dry * __builtin_convertvector(x, typename L::Real) + wetRounded, typename L::Single);
            for (int k = 0; k < kFrames; ++k) {
                io.outL[start + j + k] = out[2 * k];
                io.outR[start + j + k] = out[2 * k + 1];
            }
        }
    }
    for (; j < count; ++j) {
        const double wetL = static_cast<float>(wetSums[2 * j]);
        const double wetR = static_cast<float>(wetSums[2 * j + 1]);
        const double yL = dry * inputs[j].left + wetL;
        const double yR = dry * inputs[j].right + wetR;
        const int32_t i = start + j;
        if (io.replace) {
            if (io.outL) io.outL[i] = static_cast<float>(yL);
            if (io.outR) io.outR[i] = static_cast<float>(yR);
        } else {
            if (io.outL) io.outL[i] = static_cast<float>(io.outL[i] + yL);
            if (io.outR) io.outR[i] = static_cast<float>(io.outR[i] + yR);
        }
    }
}

}  // namespace

namespace chunk_io {

uint32_t prepareBaseline(const BlockIo& io, int32_t start, int32_t count, uint32_t seed,
                         StereoFrame* inputs) {
    if (copyLoud<4>(io, start, count, inputs)) return seedAfter(seed, static_cast<uint32_t>(count));
    return prepareNoisy<4>(io, start, count, seed, inputs);
}
void writeBaseline(const BlockIo& io, int32_t start, int32_t count, const StereoFrame* inputs,
                   const double* wetSums) {
    write<2>(io, start, count, inputs, wetSums);
}

}  // namespace chunk_io

// The AVX2 forms, four frames at a time with the two channels apart.
#pragma GCC push_options
#pragma GCC target("avx2")

namespace {

// Four samples of a channel with the noise added, rounded to single precision.
inline __m128 withNoise(const float* samples, __m256d noise) {
    __m128 x = _mm_setzero_ps();
    if (samples) {
        x = _mm_loadu_ps(samples);
        // Not finite (exponent all ones) counts as silence.
        const __m128i magnitude = _mm_and_si128(_mm_castps_si128(x), _mm_set1_epi32(0x7FFFFFFF));
        const __m128i finite = _mm_cmpgt_epi32(_mm_set1_epi32(0x7F800000), magnitude);
        x = _mm_and_ps(x, _mm_castsi128_ps(finite));
    }
    return _mm256_cvtpd_ps(_mm256_add_pd(_mm256_cvtps_pd(x), noise));
}

// Four frames' outputs of one channel: dry * input + the wet sum rounded to
// single precision, written or added.
inline void outputs(float* out, __m128 inputs, __m128 wet, __m256d dry, bool replace) {
    const __m256d y = _mm256_add_pd(_mm256_mul_pd(dry, _mm256_cvtps_pd(inputs)), _mm256_cvtps_pd(wet));
    _mm_storeu_ps(out, _mm256_cvtpd_ps(replace ? y : _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(out)), y)));
}

}  // namespace

namespace chunk_io {

// What copyLoudAvx2 found: every sample loud and finite (the inputs are
// done), every sample a zero, or neither.
enum class Found { kLoud, kSilence, kOther };

// copyLoud, eight frames at a time; it also tells silence apart.
Found copyLoudAvx2(const BlockIo& io, int32_t start, int32_t count, StereoFrame* inputs) {
    if (!io.inL || !io.inR) return Found::kOther;
    const float* const inL = io.inL + start;
    const float* const inR = io.inR + start;
    const __m256i magnitude = _mm256_set1_epi32(0x7FFFFFFF);
    __m256i lowest = _mm256_set1_epi32(-1), highest = _mm256_setzero_si256();
    int32_t j = 0;
    for (; j + 8 <= count; j += 8) {
        const __m256 l = _mm256_loadu_ps(inL + j), r = _mm256_loadu_ps(inR + j);
        const __m256i ml = _mm256_and_si256(_mm256_castps_si256(l), magnitude);
        const __m256i mr = _mm256_and_si256(_mm256_castps_si256(r), magnitude);
        lowest = _mm256_min_epu32(lowest, _mm256_min_epu32(ml, mr));
        highest = _mm256_max_epu32(highest, _mm256_max_epu32(ml, mr));
        // Frames 0, 1, 4, 5 and 2, 3, 6, 7.
        const __m256 low = _mm256_unpacklo_ps(l, r), high = _mm256_unpackhi_ps(l, r);
        _mm_storeu_ps(&inputs[j].left, _mm256_castps256_ps128(low));
        _mm_storeu_ps(&inputs[j + 2].left, _mm256_castps256_ps128(high));
        _mm_storeu_ps(&inputs[j + 4].left, _mm256_extractf128_ps(low, 1));
        _mm_storeu_ps(&inputs[j + 6].left, _mm256_extractf128_ps(high, 1));
    }
    // Loud and finite everywhere: the lowest at least kLoudBits, the highest
    // below kNonFiniteBits.
    const __m256i loudEnough = _mm256_cmpeq_epi32(_mm256_max_epu32(lowest, _mm256_set1_epi32(kLoudBits)), lowest);
    const __m256i finite = _mm256_cmpeq_epi32(_mm256_min_epu32(highest, _mm256_set1_epi32(kNonFiniteBits - 1)), highest);
    bool all = _mm256_movemask_epi8(_mm256_and_si256(loudEnough, finite)) == -1;
    bool silence = _mm256_testz_si256(highest, highest);
    for (; j < count; ++j) {
        all &= loud(inL[j]) && loud(inR[j]);
        silence &= inL[j] == 0.0f && inR[j] == 0.0f;
        inputs[j] = {inL[j], inR[j]};
    }
    return all ? Found::kLoud : silence ? Found::kSilence : Found::kOther;
}

uint32_t prepareAvx2(const BlockIo& io, int32_t start, int32_t count, uint32_t seed,
                     StereoFrame* inputs) {
    const Found found = copyLoudAvx2(io, start, count, inputs);
    if (found == Found::kLoud) return seedAfter(seed, static_cast<uint32_t>(count));
    // A zero of either sign plus the noise is the noise, the same for both
    // channels.
    const bool silence = found == Found::kSilence;
    // Eight frames' seeds at a time: the multiply's latency, which chains one
    // step to the next, is then paid once for eight frames.
    const auto lanes = [](auto of) {
        return _mm256_setr_epi32(static_cast<int32_t>(of(0)), static_cast<int32_t>(of(1)), static_cast<int32_t>(of(2)),
                                 static_cast<int32_t>(of(3)), static_cast<int32_t>(of(4)), static_cast<int32_t>(of(5)),
                                 static_cast<int32_t>(of(6)), static_cast<int32_t>(of(7)));
    };
    // Lane k holds the seed k steps on.
    constexpr auto multiplierOfLane = [](int k) { return multiplierOf(k); };
    constexpr auto incrementOfLane = [](int k) { return incrementOf(k); };
    __m256i seeds = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int32_t>(seed)), lanes(multiplierOfLane)),
        lanes(incrementOfLane));
    const __m256i multiplier = _mm256_set1_epi32(static_cast<int32_t>(multiplierOf(8)));
    const __m256i increment = _mm256_set1_epi32(static_cast<int32_t>(incrementOf(8)));
    const __m256d scale = _mm256_set1_pd(static_cast<double>(kNoiseScale));
    // The host's pointers in locals, so the stores cannot be taken to change them.
    const float* const inL = io.inL ? io.inL + start : nullptr;
    const float* const inR = io.inR ? io.inR + start : nullptr;
    const auto four = [&](int32_t j, __m128i fourSeeds) {
        const __m256d noise = _mm256_mul_pd(_mm256_cvtepi32_pd(fourSeeds), scale);
        const __m128 l = silence ? _mm256_cvtpd_ps(noise) : withNoise(inL ? inL + j : nullptr, noise);
        const __m128 r = silence ? l : withNoise(inR ? inR + j : nullptr, noise);
        _mm_storeu_ps(&inputs[j].left, _mm_unpacklo_ps(l, r));
        _mm_storeu_ps(&inputs[j + 2].left, _mm_unpackhi_ps(l, r));
    };
    int32_t j = 0;
    for (; j + 8 <= count; j += 8) {
        four(j, _mm256_castsi256_si128(seeds));
        four(j + 4, _mm256_extracti128_si256(seeds, 1));
        seeds = _mm256_add_epi32(_mm256_mullo_epi32(seeds, multiplier), increment);
    }
    seed = static_cast<uint32_t>(_mm256_cvtsi256_si32(seeds));
    if (j == count) return seed;
    const BlockIo rest{io.inL, io.inR, nullptr, nullptr, 0, true, 0.0};
    return prepareNoisy<4>(rest, start + j, count - j, seed, inputs + j);
}

void writeAvx2(const BlockIo& io, int32_t start, int32_t count, const StereoFrame* inputs,
               const double* wetSums) {
    int32_t j = 0;
    if (io.outL && io.outR) {
        const __m256d dry = _mm256_set1_pd(io.dryGain);
        for (; j + 4 <= count; j += 4) {
            // Two frames per register as (left, right) pairs; the shuffles
            // part the channels.
            const __m128 x01 = _mm_loadu_ps(&inputs[j].left), x23 = _mm_loadu_ps(&inputs[j + 2].left);
            const __m128 w01 = _mm256_cvtpd_ps(_mm256_loadu_pd(wetSums + 2 * j));
            const __m128 w23 = _mm256_cvtpd_ps(_mm256_loadu_pd(wetSums + 2 * j + 4));
            outputs(io.outL + start + j, _mm_shuffle_ps(x01, x23, 0x88), _mm_shuffle_ps(w01, w23, 0x88),
                    dry, io.replace);
            outputs(io.outR + start + j, _mm_shuffle_ps(x01, x23, 0xDD), _mm_shuffle_ps(w01, w23, 0xDD),
                    dry, io.replace);
        }
    }
    write<2>(io, start + j, count - j, inputs + j, wetSums + 2 * j);
}

}  // namespace chunk_io

#pragma GCC pop_options

namespace {
// Chosen once, when the library loads, so the audio thread never decides.
const bool useAvx2 = engine_form::chosen() == engine_form::Form::Avx2;
}  // namespace

uint32_t prepareInputs(const BlockIo& io, int32_t start, int32_t count, uint32_t seed,
                       StereoFrame* inputs) {
    return useAvx2 ? chunk_io::prepareAvx2(io, start, count, seed, inputs)
                   : chunk_io::prepareBaseline(io, start, count, seed, inputs);
}

void writeOutputs(const BlockIo& io, int32_t start, int32_t count, const StereoFrame* inputs,
                  const double* wetSums) {
    useAvx2 ? chunk_io::writeAvx2(io, start, count, inputs, wetSums)
            : chunk_io::writeBaseline(io, start, count, inputs, wetSums);
}
