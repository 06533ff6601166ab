#pragma once

// The one record of configuration: filled from "tamvi.set" at start-up, changed only by the two
// editing dialogs. Texts are byte strings in Windows-1252.

#include <array>
#include <cstdint>
#include <string>

// The eleven quick-send tables; elements 0..7 belong to the buttons, 0..9 are stored in the file.
using QuickTable = std::array<std::string, 11>;

struct SettingsRecord {
    std::int16_t compoort = 0;
    std::string logfilepath;
    std::int16_t baudrate = 0;
    std::int16_t parity = 0;
    std::int16_t bits = 0;
    std::int16_t stopbits = 0;
    std::int16_t HandShake = 0;
    std::string Start1;
    std::string Start2;
    std::string Start3;
    std::string Start4;
    std::string Start5;
    bool AnsiLogMode = false;

    QuickTable Sneltekst;
    QuickTable TxChar1;
    QuickTable TxChar2;
    QuickTable TxChar3;
    QuickTable TxChar4;
    QuickTable TxChar5;
    QuickTable TxString6;
    QuickTable TxChar7;
    QuickTable TxChar8;
    QuickTable TxChar9;
    QuickTable Check;

    // The five start values in order, for the code that treats them alike.
    std::array<std::string *, 5> Starts() { return {&Start1, &Start2, &Start3, &Start4, &Start5}; }
    std::array<const std::string *, 5> Starts() const
    {
        return {&Start1, &Start2, &Start3, &Start4, &Start5};
    }

    bool operator==(const SettingsRecord &) const = default;
};
