#pragma once

#include <cstdint>

// The main window's shared state, reset at start-up. Booleans keep the 0 / -1 convention.
struct RunState {
    std::int16_t DisplayMode = 0; // -1: hexadecimal view
    std::int16_t LogHold = 0;     // -1: nothing is read from the port
    std::int16_t TxActivity = 0;  // set to 3 per transmitted byte, counted down by the lamp tick
    std::int16_t RxActivity = 0;  // set to 3 per receive poll that finds input
};
