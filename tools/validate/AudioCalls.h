// Counts heap and lock calls made on a thread while it is inside an audio call.
// The validator defines the allocation and lock functions itself (and exports
// them), so the loaded plug-in's calls land here too.
#pragma once

struct AudioCallCounts {
    long allocations = 0;
    long frees = 0;
    long locks = 0;
};

// Whether the counting functions are compiled in (not under sanitizers, not
// on Windows); if not, why not.
bool audioCallCountingAvailable();
const char* audioCallCountingMissing();
// Marks the current thread as inside an audio call, or not.
void setInAudioCall(bool inside);
AudioCallCounts audioCallCounts();
