// Identification and parameter texts: zero-terminated inside the window the
// interface gives them, printable, and no byte past the window touched.
#include <cstring>

#include "Validator.h"

namespace {

constexpr unsigned char kSentinel = 0xA5;
constexpr size_t kBuffer = 256;

// Asks `opcode` to write into a sentinel-filled buffer and checks the text.
void expectText(Findings& f, hostkit::Plugin& p, int32_t opcode, int32_t index, size_t window,
                const std::string& what, bool mayBeEmpty = true) {
    unsigned char buffer[kBuffer];
    std::memset(buffer, kSentinel, sizeof buffer);
    p.dispatch(opcode, index, 0, buffer);
    const void* zero = std::memchr(buffer, 0, window);
    if (!zero) {
        f.add(what + format(": no terminating zero in the first %zu bytes", window));
        return;
    }
    const size_t length = static_cast<const unsigned char*>(zero) - buffer;
    for (size_t i = 0; i < length; ++i)
        if (buffer[i] < 0x20 || buffer[i] > 0x7E) {
            f.add(what + format(": byte %zu is 0x%02X, not printable", i, buffer[i]));
            break;
        }
    for (size_t i = window; i < kBuffer; ++i)
        if (buffer[i] != kSentinel) {
            f.add(what + format(": byte %zu written, past the %zu-byte window", i, window));
            break;
        }
    if (!mayBeEmpty && length == 0) f.add(what + ": empty");
}

}  // namespace

void checkInfo(Validator& v) {
    hostkit::Host host;
    auto p = v.open(host);
    AEffect* e = p->effect();
    {
        Findings f;
        if (e->numPrograms != 1) f.add(format("numPrograms %d", e->numPrograms));
        if (e->flags != 0x38) f.add(format("flags 0x%X, want 0x38", e->flags));
        if (e->uniqueID != 0x7162574C) f.add(format("uniqueID 0x%08X", static_cast<unsigned>(e->uniqueID)));
        if (e->version != 1) f.add(format("version %d", e->version));
        if (e->initialDelay != 0) f.add(format("initialDelay %d", e->initialDelay));
        if (e->ioRatio != 1.0f) f.add(format("ioRatio %g", e->ioRatio));
        if (e->resvd1 != 0 || e->resvd2 != 0) f.add("resvd1/resvd2 not 0");
        if (!e->dispatcher || !e->process || !e->processReplacing || !e->setParameter || !e->getParameter)
            f.add("a function pointer is null");
        v.result("info: record fields", f);
    }
    {
        Findings f;
        expectText(f, *p, effGetEffectName, 0, 32, "effect name", false);
        expectText(f, *p, effGetVendorString, 0, 64, "vendor string", false);
        expectText(f, *p, effGetProductString, 0, 64, "product string", false);
        expectText(f, *p, effGetProgramName, 0, 25, "program name");
        if (p->effectName() != "Brindlewave") f.add("effect name \"" + p->effectName() + "\"");
        if (p->vendorString() != "Tobin @ Quarrylane") f.add("vendor \"" + p->vendorString() + "\"");
        v.result("info: identification strings", f);
    }
    {
        // Every parameter's texts at several knob positions, and bad indexes.
        Findings f;
        const float positions[] = {0.0f, 0.25f, 0.5f, 0.999f, 1.0f, 0.123456f};
        for (int32_t i = 0; i < e->numParams; ++i) {
            expectText(f, *p, effGetParamName, i, 25, format("name of %d", i), false);
            expectText(f, *p, effGetParamLabel, i, 9, format("label of %d", i));
            for (float knob : positions) {
                p->setParameter(i, knob);
                expectText(f, *p, effGetParamDisplay, i, 9, format("display of %d at %g", i, knob), false);
            }
        }
        for (int32_t bad : {22, 23, -1, 1000}) {
            for (int32_t opcode : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
                unsigned char buffer[kBuffer];
                std::memset(buffer, kSentinel, sizeof buffer);
                p->dispatch(opcode, bad, 0, buffer);
                if (buffer[0] != 0 || buffer[1] != kSentinel)
                    f.add(format("opcode %d, bad index %d: want one zero byte written", opcode, bad));
            }
            if (p->getParameter(bad) != 0.0f) f.add(format("getParameter(%d) is not 0", bad));
        }
        v.result("info: parameter names, labels and display texts", f);
    }
    {
        // The host owns resvd1 (Ardour keeps its own pointer there).
        Findings f;
        e->resvd1 = static_cast<intptr_t>(0x5EED5EED);
        p->prepare(48000.0f, 128);
        Stereo in(128), out(128);
        fillNoise(in, v.rng(), 0.5f);
        run(*p, in, out, 128);
        p->getChunk(true);
        p->setChunk(p->getChunk(false), false);
        for (int32_t i = 0; i < e->numParams; ++i) p->setParameter(i, 0.5f);
        run(*p, in, out, 128, false);
        if (e->resvd1 != static_cast<intptr_t>(0x5EED5EED)) f.add("the plug-in overwrote resvd1");
        v.result("info: the host's resvd1 is left alone", f);
    }
}
