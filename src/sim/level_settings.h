#pragma once

namespace tavlin::sim {

// The receiver settings the unit's level response depends on.
struct LevelSettings {
    int attenIndex = 2;  // 0..3 for 0, 5, 10, 15 dB
    int gainState = 1;   // 0 low gain, 1 normal, 2 high gain
    bool preampFitted = true;
    bool preampOn = false;
    bool highBand = true;  // band route: high ("D" 4) or low
};

}  // namespace tavlin::sim
