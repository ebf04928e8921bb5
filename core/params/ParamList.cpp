// Host-facing parameter registry: index and range checks in front of every
// host request that names a parameter, texts cut to the host's buffers, and
// the state chunk written and read as tab-indented text (PresetText.h).
//
// The list holds no values of its own and takes no lock; it assumes that two
// of its operations never run at the same time. Parameter values themselves
// are safe against the audio thread (Param.h).
#include "ParamList.h"

#include <algorithm>
#include <cstring>
#include <locale>
#include <sstream>

#include "Diagnostics.h"
#include "Param.h"
#include "PresetText.h"

namespace {

constexpr const char* unit = "ParamList";

// Host buffer limits: characters kept before the terminating zero.
constexpr std::size_t maxNameLength = 24;
constexpr std::size_t maxShortTextLength = 8;

// Copies at most maxLength bytes of text into dest, zero-fills the rest up
// to dest[maxLength - 1] and zero-terminates at dest[maxLength].
void copyCut(const std::string& text, char* dest, std::size_t maxLength) {
    const std::size_t length = std::min(text.size(), maxLength);
    std::memcpy(dest, text.data(), length);
    std::memset(dest + length, 0, maxLength + 1 - length);
}

}  // namespace

// ---- registration ----

// The position in the sequence is the host index; a null pointer is not
// registered. Parameters are never removed or reordered.
void ParamList::addParam(Param* param) {
    if (param != nullptr) params.push_back(param);
}

uint32_t ParamList::numParams() const { return static_cast<uint32_t>(params.size()); }

// ---- state chunk: reading ----
//
// loadPreset applies every level-0 "ParameterList" entry in turn and reports
// whether it found one; loadBank looks for the first "Preset" key line and
// loads its value as a preset. A load is not atomic as a whole: it resets
// every parameter to its default and then applies the saved values one by
// one, so the engine may see a mix of old, default and new values for a
// block.
//
// The reader scans the text line by line with one pass per nesting level
// (bank, preset, parameter list), so it takes time linear in the chunk size
// whatever bytes it holds: zero bytes, lone carriage returns and runs of tabs
// are ordinary line content. A carriage return before a line feed stays in
// the line, so a key then matches nothing.
//
// Parameters get their saved values through setValueFromText, which clamps a
// number outside the range and ignores a text it cannot read; the load goes
// on with the next entry either way. A parameter whose key appears twice
// ends with the later value.

bool ParamList::loadPreset(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    bool found = false;
    std::string key;
    std::string value;
    // "Name" and any other level-0 entry are passed over; the name is never applied.
    while (readKey(stream, key) && readValue(stream, value)) {
        if (key != "ParameterList") continue;
        found = true;
        applyParameterList(value);
    }
    return found;
}

// Every parameter first goes back to its default, so one that the document
// does not mention ends up there; a later "ParameterList" starts over again.
void ParamList::applyParameterList(const std::string& document) {
    for (Param* param : params) param->setToDefault();
    // Keys are fixed for a parameter's life; take them once for the whole document.
    std::vector<std::string> keys;
    keys.reserve(params.size());
    for (const Param* param : params) keys.push_back(param->getKey());

    std::istringstream stream(document);
    stream.imbue(std::locale::classic());
    std::string key;
    std::string value;
    while (readKey(stream, key) && readValue(stream, value)) {
        // Every parameter with this key takes the value; an unknown key is
        // passed over, and a value that a parameter cannot use leaves it as it is.
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (keys[i] == key) params[i]->setValueFromText(value);
        }
    }
}

// Only the first "Preset" entry counts; the rest of the text is not read.
bool ParamList::loadBank(const std::string& text) {
    std::istringstream stream(text);
    stream.imbue(std::locale::classic());
    std::string preset;
    if (!findValue(stream, "Preset", preset)) return false;
    return loadPreset(preset);
}

// ---- texts by index ----

// Texts for the host's generic editor, each asked for by index. A bad
// index is reported and gives the empty text, which is what the host then
// shows; a good one gives the parameter's own text, whole: the copy
// operations below cut it to the host's buffer.

// The parameter's name, as the host lists it (for example "Feedback center
// freq"); copyName keeps 24 characters of it.
std::string ParamList::getName(uint32_t index) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (index >= numParams()) return std::string();
    return params[index]->getName();
}

// The current value as the parameter's display shows it, without its unit
// (a delay of 0.5184 s gives "518.4"). Reading it never touches the
// parameter's changed flag, so the engine still sees a pending change.
// copyDisplayText keeps 8 characters of it.
std::string ParamList::getDisplayText(uint32_t index) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (index >= numParams()) return std::string();
    return params[index]->getDisplayText();
}

// The unit label ("ms", "Hz", "dB", "deg", "bpm"), empty for unitless
// parameters. The host asks for it separately from the display text and
// shows it beside the value; copyLabel keeps 8 characters of it.
// Labels are fixed at construction.
std::string ParamList::getLabel(uint32_t index) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (index >= numParams()) return std::string();
    return params[index]->getLabel();
}

// ---- state chunk: writing, and the host's side ----
//
// The preset form, for parameter keys delayTime and delayModDepth:
//
//     Name
//     <tab>unnamed
//     ParameterList
//     <tab>delayTime
//     <tab><tab>0.25
//     <tab>delayModDepth
//     <tab><tab>0.5
//
// Lines end in a single line feed, the last one in none: 66 bytes. The bank
// form is a single "Preset" entry holding this text, every line one tab
// deeper: 80 bytes. A list without parameters saves 29 bytes in preset form
// (Name, a tab and unnamed, ParameterList, and a last line of one tab) and
// 40 in bank form. The writer has no other name than "unnamed".
//
// A value text keeps 6 significant digits (Param.h), so a save and load
// round trip restores every value that its text reads back as: 0.123456789
// is saved as 0.123457 and loads back as that.
//
// getChunk and setChunk are the host's only way to the state: the effect
// declares chunk-based programs, and the host stores the bytes without
// looking into them.

std::string ParamList::savePreset() const {
    std::string parameters;
    for (const Param* param : params) addEntry(parameters, param->getKey(), param->getValueText());
    std::string result;
    addEntry(result, "Name", "unnamed");
    addEntry(result, "ParameterList", parameters);
    return result;
}

std::string ParamList::saveBank() const { return makeEntry("Preset", savePreset()); }

// The text stays in chunkText, zero-terminated in storage; the count excludes
// that zero. The address is valid until the next chunk call on this list.
int32_t ParamList::getChunk(void** data, bool isPreset) {
    chunkText = isPreset ? savePreset() : saveBank();
    if (data != nullptr) *data = chunkText.data();
    return static_cast<int32_t>(chunkText.size());
}

// The host's contract forbids a negative count and a null pointer with bytes
// behind it; both are refused before anything changes, chunkText included.
// An empty chunk is accepted as text, loads nothing and yields 0.
// The received bytes stay in chunkText, as getChunk's text would.
int32_t ParamList::setChunk(const void* data, int32_t byteSize, bool isPreset) {
    if (byteSize < 0 || (data == nullptr && byteSize != 0)) return 0;
    // Build the copy before replacing chunkText: a host may hand back the very
    // buffer that getChunk gave out. Zero bytes are copied like any other.
    std::string received;
    if (byteSize > 0) received.assign(static_cast<const char*>(data), static_cast<std::size_t>(byteSize));
    chunkText = std::move(received);
    const bool loaded = isPreset ? loadPreset(chunkText) : loadBank(chunkText);
    return loaded ? 1 : 0;
}

// ---- knob positions ----

// Constant work, no allocation: called for every knob move of the host.
void ParamList::setKnobPos(uint32_t index, float knobPos) {
    BW_CHECK(0.0f <= knobPos, "0.0<=knobPos", unit);
    BW_CHECK(knobPos <= 1.0f, "knobPos<=1.0", unit);
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    // A position outside 0..1 (or NaN) is ignored, not clamped.
    if (index < numParams() && 0.0f <= knobPos && knobPos <= 1.0f)
        params[index]->setKnobPos(static_cast<double>(knobPos));
}

// The host receives the position as a 32-bit float; narrowing is its side's
// business.
double ParamList::getKnobPos(uint32_t index) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (index >= numParams()) return 0.0;
    // A position outside 0..1 is reported and still handed on unchanged.
    const double knobPos = params[index]->getKnobPos();
    BW_CHECK(0.0 <= knobPos, "0.0<=knobPos", unit);
    BW_CHECK(knobPos <= 1.0, "knobPos<=1.0", unit);
    return knobPos;
}

// Host buffers hold at least 25 bytes for a name and 9 for a label or a
// display text; the host does not pass their size.
void ParamList::copyName(uint32_t index, char* dest) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (dest == nullptr) return;
    // dest[0] is cleared for every index, so a bad one leaves the empty text.
    dest[0] = '\0';
    if (index >= numParams()) return;
    copyCut(getName(index), dest, maxNameLength);
}

// As copyName, with the 8-character limit: exactly 9 bytes are written for a
// good index, the label's first 8 characters or all of a shorter one,
// zero-filled behind it and zero-terminated.
void ParamList::copyLabel(uint32_t index, char* dest) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (dest == nullptr) return;
    // dest[0] is cleared for every index, as for the name.
    dest[0] = '\0';
    if (index >= numParams()) return;
    copyCut(getLabel(index), dest, maxShortTextLength);
}

// As copyLabel, for the display text. A long number is cut after 8
// characters, not rounded: the host shows "1.23457e" for 1234567, and
// "snowflak" for every "snowflakeN" shape of the choice parameter.
void ParamList::copyDisplayText(uint32_t index, char* dest) const {
    BW_CHECK(index < numParams(), "index<numParams()", unit);
    if (dest == nullptr) return;
    // dest[0] is cleared for every index, as for the name.
    dest[0] = '\0';
    if (index >= numParams()) return;
    copyCut(getDisplayText(index), dest, maxShortTextLength);
}
