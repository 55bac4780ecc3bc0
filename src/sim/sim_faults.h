#pragma once

namespace tavlin::sim {

// Faults the virtual instrument can be told to show, for tests of the
// program's error paths. Counts: 0 = off, n > 0 = the next n occurrences,
// -1 = every occurrence.
struct SimFaults {
    enum class Listing {
        Normal,               // "Tavlin A" then "Tavlin B"
        NoDevice,             // the converter is not on the bus: count 0
        OnlyDataChannel,      // only the A interface is listed
        ForeignDescriptions,  // both interfaces, described as neither name
    };

    Listing listing = Listing::Normal;
    bool dataChannelAlreadyOpen = false;  // another process holds interface A
    int dataOpenFailures = 0;             // opens of interface A that fail
    int commandOpenFailures = 0;          // opens of interface B that fail
    int failedWrites = 0;                 // writes refused by the converter
    int shortCaptures = 0;                // "S" answers one pair short
    int wrongHeaders = 0;                 // "S" answers whose header starts wrong
    int missingStepBlock = -1;            // block index left out of every step list
    bool noTrigger = false;               // TRIG IN never sees an edge
    // The cable is pulled after this many command frames (0: never), and put
    // back this many ms of the unit's clock later (-1: never). Once only.
    int unplugAfterCommands = 0;
    // The cable is pulled as the unit is asked for samples ("S", "N" or "T")
    // for the n-th time (0: never), once: the same sweep of the program
    // however many commands its start-up took.
    int unplugAtDataRequest = 0;
    int replugAfterMs = -1;
};

// Uses up one occurrence of a counted fault; true when the fault strikes.
inline bool TakeFault(int& count) {
    if (count == 0) {
        return false;
    }
    if (count > 0) {
        --count;
    }
    return true;
}

}  // namespace tavlin::sim
