// The registry through which the host sees the parameters: element i is the
// parameter with host index i. It checks indexes and knob ranges, cuts texts
// to the host's buffer sizes, and reads and writes the state chunk.
// It owns neither the parameters nor anything of theirs, takes no lock and
// assumes that two of its operations never run at the same time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Param;

class ParamList {
public:
    ParamList() = default;
    ParamList(const ParamList&) = delete;
    ParamList& operator=(const ParamList&) = delete;

    // Called by the Param base constructor; the position is the host index.
    void addParam(Param* param);
    uint32_t numParams() const;
    // The parameter with host index `index`, null for a bad index.
    Param* param(uint32_t index) const { return index < params.size() ? params[index] : nullptr; }

    // Ignores a bad index and a position outside 0..1 (both reported).
    void setKnobPos(uint32_t index, float knobPos);
    // 0.0 for a bad index.
    double getKnobPos(uint32_t index) const;

    // Empty texts for a bad index.
    std::string getName(uint32_t index) const;
    std::string getDisplayText(uint32_t index) const;
    std::string getLabel(uint32_t index) const;

    // Write exactly 25 (name) or 9 (label, display text) bytes: the text cut
    // after 24 or 8 characters, zero-padded. A bad index writes dest[0] only.
    void copyName(uint32_t index, char* dest) const;
    void copyLabel(uint32_t index, char* dest) const;
    void copyDisplayText(uint32_t index, char* dest) const;

    // The state as text: preset form ("Name", "ParameterList") or bank form
    // (one "Preset" entry holding the preset form).
    std::string savePreset() const;
    std::string saveBank() const;
    // True when a level-0 "ParameterList" (inside "Preset" for a bank) was
    // found; every parameter is then reset to its default before the saved
    // values are applied.
    bool loadPreset(const std::string& text);
    bool loadBank(const std::string& text);

    // The saved text stays owned by the list and valid until the next chunk call.
    int32_t getChunk(void** data, bool isPreset);
    // 1 when the load found what it needed, else 0; a negative count, or a null
    // pointer with a non-zero count, is refused without touching anything.
    int32_t setChunk(const void* data, int32_t byteSize, bool isPreset);

private:
    void applyParameterList(const std::string& document);

    std::vector<Param*> params;
    std::string chunkText;
};
