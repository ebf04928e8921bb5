// Every opcode, known or not, with harmless arguments: nothing crashes, opcodes
// outside the interface's range answer 0, and the effect still works afterwards.
#include <climits>
#include <cstring>

#include "Validator.h"

void checkOpcodes(Validator& v) {
    Findings f;
    hostkit::Host host;
    auto p = v.open(host);
    std::vector<int32_t> opcodes;
    for (int32_t op = -64; op <= 300; ++op) opcodes.push_back(op);
    for (int32_t op : {INT32_MIN, INT32_MIN + 1, INT32_MIN + 24, -1000000, 1000000, INT32_MAX - 1, INT32_MAX})
        opcodes.push_back(op);
    for (int32_t op : opcodes) {
        if (op == effClose) continue;
        alignas(16) char buffer[512] = {};
        void* slot = nullptr;
        // The speaker-arrangement query writes through both value and ptr.
        const intptr_t value = op == effGetSpeakerArrangement ? reinterpret_cast<intptr_t>(&slot) : 0;
        const intptr_t answer = p->dispatch(op, 0, value, buffer, 0.0f);
        if ((op < 0 || op > 76) && answer != 0) f.add(format("opcode %d answers %ld", op, static_cast<long>(answer)));
    }
    p->prepare(44100.0f, 256);
    Stereo in(256, 0.25f), out(256);
    run(*p, in, out, 256);
    if (firstNonFinite(out, 256) >= 0) f.add("non-finite output after the opcode sweep");
    if (p->effectName() != "Brindlewave") f.add("the effect name changed after the opcode sweep");
    v.result(format("opcodes: %zu opcodes with harmless arguments", opcodes.size()), f);
}
