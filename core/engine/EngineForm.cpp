// The engine's one choice of instruction-set form (see EngineForm.h).
#include "EngineForm.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "CpuFeatures.h"

namespace engine_form {

Form choose(bool cpuHasAvx2, const char* engineVariable, const char* noAvx2Variable) {
    const auto builds = [&](Form f) { return f == Form::Portable || (kX86Forms && (f != Form::Avx2 || cpuHasAvx2)); };
    Form best = builds(Form::Avx2) ? Form::Avx2 : builds(Form::Sse2) ? Form::Sse2 : Form::Portable;
    if (noAvx2Variable && best == Form::Avx2) best = Form::Sse2;
    if (engineVariable) {
        for (Form f : {Form::Portable, Form::Sse2, Form::Avx2})
            if (std::strcmp(engineVariable, name(f)) == 0 && builds(f) && (f != Form::Avx2 || !noAvx2Variable))
                return f;
    }
    return best;
}

bool runs(Form form) {
    if (form == Form::Portable) return true;
    if (!kX86Forms) return false;
    return form == Form::Sse2 || platform::cpuHasAvx2();
}

Form chosen() {
    // Decided on first use (while the library loads, by the dispatchers'
    // initialisers), so the audio thread never decides.
    static const Form form =
        choose(platform::cpuHasAvx2(), std::getenv("BRINDLEWAVE_ENGINE"), std::getenv("BRINDLEWAVE_NO_AVX2"));
    return form;
}

const char* name(Form form) {
    switch (form) {
        case Form::Portable: return "portable";
        case Form::Sse2: return "sse2";
        case Form::Avx2: return "avx2";
    }
    return "?";
}

}  // namespace engine_form
