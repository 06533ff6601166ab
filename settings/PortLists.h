#pragma once

// What the settings record's list indexes mean: one table per list, its items in the order the
// settings dialog shows them (an item's position is the index stored), with the item the port
// uses and the item the dialog shows for an index outside the list. The port settings text
// ("9600,N,8,1") is made of the items' texts and read back through the same tables.

#include "settings/SettingsRecord.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace PortLists
{

struct Item {
    std::string_view text;
    int value; // baud rate, data bits or stop bits; for parity and handshake the index itself
};

template <std::size_t N> struct List {
    std::array<Item, N> items;
    int portDefault;  // the item the port uses for an index outside the list
    int shownDefault; // the item the dialog shows for it

    int Count() const { return static_cast<int>(N); }
    bool Holds(std::int16_t index) const { return index >= 0 && index < Count(); }
    const Item &ForPort(std::int16_t index) const
    {
        return items[static_cast<std::size_t>(Holds(index) ? index : portDefault)];
    }
    int ShownIndex(std::int16_t index) const { return Holds(index) ? index : shownDefault; }
    std::optional<int> IndexOf(std::string_view text) const
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (items[i].text == text)
                return static_cast<int>(i);
        }
        return std::nullopt;
    }
};

enum Parity { kNoParity = 0, kEvenParity = 1, kOddParity = 2 };
enum HandShake { kNoHandShake = 0, kRtsHandShake = 1, kRtsOn = 2 };

inline constexpr List<9> kBaudRates{{{{"300", 300},
                                      {"1200", 1200},
                                      {"2400", 2400},
                                      {"4800", 4800},
                                      {"9600", 9600},
                                      {"19200", 19200},
                                      {"38400", 38400},
                                      {"57600", 57600},
                                      {"115200", 115200}}},
                                    5,
                                    5};
inline constexpr List<3> kParities{
    {{{"N", kNoParity}, {"E", kEvenParity}, {"O", kOddParity}}}, 0, 0};
// Any index but 0 gives the port 8 data bits; the dialog shows "8" only for index 1.
inline constexpr List<2> kDataBits{{{{"7", 7}, {"8", 8}}}, 1, 0};
inline constexpr List<2> kStopBits{{{{"1", 1}, {"2", 2}}}, 0, 0};
// An index outside this list opens the port with none of the three modes applied.
inline constexpr List<3> kHandShakes{
    {{{"No  HandShake", kNoHandShake}, {"RTS HandShake", kRtsHandShake}, {"RTS ON", kRtsOn}}},
    0,
    0};

// The port settings text of a record: baud rate, parity letter, data bits, stop bits.
inline std::string PortSettingsText(const SettingsRecord &record)
{
    std::string text(kBaudRates.ForPort(record.baudrate).text);
    for (const std::string_view part :
         {kParities.ForPort(record.parity).text, kDataBits.ForPort(record.bits).text,
          kStopBits.ForPort(record.stopbits).text}) {
        text += ',';
        text += part;
    }
    return text;
}

// A port settings text read back through the lists; empty when a part is in none of them.
struct LineSettings {
    int baudRate = 9600;
    Parity parity = kNoParity;
    int dataBits = 8;
    int stopBits = 1;
};
std::optional<LineSettings> ParseLineSettings(std::string_view text);

} // namespace PortLists
