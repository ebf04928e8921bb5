// The engine's one choice of instruction-set form from the processor and the
// environment, and which forms the target builds.
#include <gtest/gtest.h>

#include "EngineForm.h"

using engine_form::choose;
using engine_form::Form;

TEST(EngineForm, FastestFormByDefaultAndWhatTheEnvironmentAsks) {
    if constexpr (engine_form::kX86Forms) {
        EXPECT_EQ(choose(true, nullptr, nullptr), Form::Avx2);
        EXPECT_EQ(choose(false, nullptr, nullptr), Form::Sse2);
        EXPECT_EQ(choose(true, nullptr, "1"), Form::Sse2);  // BRINDLEWAVE_NO_AVX2, set to anything
        EXPECT_EQ(choose(true, nullptr, ""), Form::Sse2);
        EXPECT_EQ(choose(true, "portable", nullptr), Form::Portable);
        EXPECT_EQ(choose(false, "portable", "1"), Form::Portable);
        EXPECT_EQ(choose(true, "sse2", nullptr), Form::Sse2);
        EXPECT_EQ(choose(true, "avx2", nullptr), Form::Avx2);
        // A form the processor cannot run, or the variables at odds, or a
        // name that is not a form: the fastest that may run.
        EXPECT_EQ(choose(false, "avx2", nullptr), Form::Sse2);
        EXPECT_EQ(choose(true, "avx2", "1"), Form::Sse2);
        EXPECT_EQ(choose(true, "AVX2", nullptr), Form::Avx2);
        EXPECT_EQ(choose(true, "neon", nullptr), Form::Avx2);
        EXPECT_EQ(choose(false, "", nullptr), Form::Sse2);
        EXPECT_TRUE(engine_form::runs(Form::Sse2));
    } else {
        // Only the portable form is built, whatever is asked.
        for (bool avx2 : {false, true})
            for (const char* asked : {static_cast<const char*>(nullptr), "portable", "sse2", "avx2"})
                EXPECT_EQ(choose(avx2, asked, nullptr), Form::Portable) << (asked ? asked : "(unset)");
        EXPECT_FALSE(engine_form::runs(Form::Sse2));
        EXPECT_FALSE(engine_form::runs(Form::Avx2));
    }
    EXPECT_TRUE(engine_form::runs(Form::Portable));
    EXPECT_TRUE(engine_form::runs(engine_form::chosen()));
}
