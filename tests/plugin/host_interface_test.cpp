// The plug-in shell as a host sees it: the record, every opcode's answer,
// entry-point behaviour and identification.
#include <cstring>
#include <string>
#include <vector>

#include "PluginFixture.h"

using HostInterface = PluginTest;

TEST_F(HostInterface, RecordAfterEntry) {
    AEffect* e = effect();
    EXPECT_EQ(e->magic, 0x56737450);
    EXPECT_EQ(e->numPrograms, 1);
    EXPECT_EQ(e->numInputs, 2);
    EXPECT_EQ(e->numOutputs, 2);
    EXPECT_EQ(e->flags, 0x38);
    EXPECT_EQ(e->uniqueID, 0x7162574C);
    EXPECT_EQ(e->version, 1);
    EXPECT_EQ(e->initialDelay, 0);
    EXPECT_EQ(e->realQualities, 0);
    EXPECT_EQ(e->offQualities, 0);
    EXPECT_EQ(e->ioRatio, 1.0f);
    EXPECT_EQ(e->resvd1, 0);
    EXPECT_EQ(e->resvd2, 0);
    EXPECT_NE(e->object, nullptr);
    EXPECT_NE(e->dispatcher, nullptr);
    EXPECT_NE(e->process, nullptr);
    EXPECT_NE(e->processReplacing, nullptr);
    EXPECT_NE(e->setParameter, nullptr);
    EXPECT_NE(e->getParameter, nullptr);
    for (char byte : e->future) EXPECT_EQ(byte, 0);
    // Exactly one version query during creation.
    EXPECT_EQ(host.callCount(audioMasterVersion), 1);
}

TEST_F(HostInterface, BothEntryPointsCreateInstances) {
    for (const char* name : {"main", "VSTPluginMain"}) {
        auto entry = pluginLibrary().symbol(name);
        ASSERT_NE(entry, nullptr) << name;
        hostkit::Host other;
        auto instance = hostkit::Plugin::create(entry, other);
        ASSERT_TRUE(instance) << name;
        EXPECT_EQ(instance->effect()->uniqueID, 0x7162574C);
        EXPECT_EQ(instance->close(), 1);
    }
}

TEST_F(HostInterface, HostTooOldGetsNothing) {
    hostkit::Host old;
    old.versionAnswer = 0;
    std::string error;
    EXPECT_FALSE(hostkit::Plugin::create(pluginLibrary(), old, &error));
    EXPECT_EQ(old.callCount(audioMasterVersion), 1);
    // A null callback cannot be asked at all.
    EXPECT_EQ(pluginLibrary().entry()(nullptr), nullptr);
}

TEST_F(HostInterface, TwoInstancesAreIndependent) {
    hostkit::Host other;
    auto second = hostkit::Plugin::create(pluginLibrary(), other);
    ASSERT_TRUE(second);
    EXPECT_NE(second->effect(), effect());
    EXPECT_NE(second->effect()->object, effect()->object);
    plugin->dispatch(effSetProgram, 0, -5);
    EXPECT_EQ(plugin->dispatch(effGetProgram), -5);
    EXPECT_EQ(second->dispatch(effGetProgram), 0);
    if (effect()->numParams > 0) {
        plugin->setParameter(0, 1.0f);
        EXPECT_NE(plugin->getParameter(0), second->getParameter(0));
    }
}

TEST_F(HostInterface, CloseAnswersOne) { EXPECT_EQ(plugin->close(), 1); }

TEST_F(HostInterface, SetProgramTakesOnlyValuesBelowTheCount) {
    plugin->dispatch(effSetProgram, 0, 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    plugin->dispatch(effSetProgram, 0, 1);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
    plugin->dispatch(effSetProgram, 0, -3);
    EXPECT_EQ(plugin->dispatch(effGetProgram), -3);
}

TEST_F(HostInterface, BasicOpcodesAnswerTheirDefaults) {
    char text[64];
    // The host's name is its own text: read, never written.
    std::memset(text, 'x', sizeof text);
    text[sizeof text - 1] = 0;
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, text), 0);
    EXPECT_EQ(std::string(text), std::string(sizeof text - 1, 'x'));
    static const char kReadOnly[] = "Host's own";
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, const_cast<char*>(kReadOnly)), 0);
    EXPECT_EQ(plugin->dispatch(effSetProgramName, 0, 0, nullptr), 0);
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(plugin->dispatch(effGetProgramName, 0, 0, text), 0);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(plugin->dispatch(effIdentify, 7, 99, text, 3.0f), 0x4E764566);
    EXPECT_EQ(plugin->dispatch(effGetVu), 0);
    EXPECT_EQ(plugin->dispatch(effEditGetRect, 0, 0, text), 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, text), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 0), 0);
    EXPECT_EQ(plugin->dispatch(effMainsChanged, 0, 1), 0);
    EXPECT_EQ(plugin->dispatch(effSetSampleRate, 0, 0, nullptr, 48000.0f), 0);
    EXPECT_EQ(plugin->dispatch(effSetBlockSize, 0, 512), 0);
    EXPECT_EQ(plugin->dispatch(effOpen), 0);
    for (int32_t op : {16, 17, 18, 20, 21, 77, 78, 1000, 0x7FFFFFFF, -1, -25, INT32_MIN})
        EXPECT_EQ(plugin->dispatch(op, 1, 2, text, 1.0f), 0) << "opcode " << op;
}

TEST_F(HostInterface, ExtendedOpcodesAnswerTheirTable) {
    char text[256] = {};
    struct Case {
        int32_t opcode;
        intptr_t value;
        intptr_t expected;
    };
    const std::vector<Case> cases = {
        {effCanBeAutomated, 0, 1},       {effGetNumProgramCategories, 0, 1},
        {effConnectInput, 1, 1},         {effConnectOutput, 0, 1},
        {effGetPlugCategory, 0, 0},      {effGetVendorVersion, 0, 0},
        {effKeysRequired, 0, 1},         {effGetVstVersion, 0, 2300},
        {effGetCurrentMidiProgram, 0, -1}, {effSetTotalSampleToProcess, 1234, 1234},
        {effSetBypass, 1, 0},            {effGetTailSize, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(plugin->dispatch(c.opcode, 3, c.value, text), c.expected) << "opcode " << c.opcode;
    const std::vector<int32_t> zeroes = {25, 27, 29, 30, 33, 34, 36, 37, 38, 39, 40, 41, 42, 46, 50,
                                         53, 54, 55, 56, 59, 60, 61, 62, 64, 65, 66, 67, 68, 70,
                                         71, 72, 74, 75, 76};
    for (int32_t op : zeroes) {
        std::memset(text, 0, sizeof text);
        EXPECT_EQ(plugin->dispatch(op, 0, 0, text), 0) << "opcode " << op;
    }
}

TEST_F(HostInterface, SpeakerArrangementWritesNullIntoBoth) {
    void* input = &input;
    void* output = &output;
    EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<intptr_t>(&input),
                               &output),
              0);
    EXPECT_EQ(input, nullptr);
    EXPECT_EQ(output, nullptr);
}

TEST_F(HostInterface, BlockSizeAndSampleRate) {
    EXPECT_EQ(plugin->dispatch(effSetBlockSizeAndSampleRate, 0, 512, nullptr, 48000.0f), 1);
}

TEST_F(HostInterface, Identification) {
    EXPECT_EQ(plugin->effectName(), "Brindlewave");
    EXPECT_EQ(plugin->productString(), "Brindlewave");
    EXPECT_EQ(plugin->vendorString(), "Tobin @ Quarrylane");
    char text[64];
    EXPECT_EQ(plugin->dispatch(effGetEffectName, 0, 0, text), 1);
    EXPECT_EQ(plugin->dispatch(effGetVendorString, 0, 0, text), 1);
    EXPECT_EQ(plugin->dispatch(effGetProductString, 0, 0, text), 1);
}

TEST_F(HostInterface, CapabilityQuery) {
    EXPECT_EQ(plugin->canDo("receiveVstTimeInfo"), 1);
    for (const char* other : {"bypass", "sendVstTimeInfo", "", "receiveVstTimeInfoX",
                              "receiveVstTimeInf", "ReceiveVstTimeInfo", "receiveVstTimeInfo "})
        EXPECT_EQ(plugin->canDo(other), 0) << other;
    // A one-byte text is read no further than its first difference.
    char shortText[1] = {'x'};
    EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, shortText), 0);
}
