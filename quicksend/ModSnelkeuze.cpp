#include "quicksend/ModSnelkeuze.h"

#include "conversions/diversen.h"
#include "serial/RSinput.h"

namespace ModSnelkeuze
{

namespace
{

constexpr int kDefinitions = std::tuple_size_v<QuickTable>;

bool IsDefinition(int row)
{
    return row >= 0 && row < kDefinitions;
}

// Walks a definition's fields from "Tx 1" to `last` in sending order: a byte field gives its
// value unless it is switched off (negative), the text gives itself.
template <typename OnByte, typename OnText>
void ForEachField(const QuickRow &row, Column last, OnByte onByte, OnText onText)
{
    for (int column = Tx1; column <= last; ++column) {
        if (column == String) {
            onText(row[column]);
            continue;
        }
        const std::int16_t value = diversen::ParseNumber(row[column]);
        if (value >= 0)
            onByte(value);
    }
}

} // namespace

QuickRow RowOf(const SettingsRecord &record, int row)
{
    QuickRow texts;
    if (!IsDefinition(row))
        return texts;
    for (int column = 0; column < kColumns; ++column)
        texts[column] = (record.*kColumnTables[column])[row];
    return texts;
}

void StoreRow(SettingsRecord &record, int row, const QuickRow &texts)
{
    if (!IsDefinition(row))
        return;
    for (int column = 0; column < kColumns; ++column)
        (record.*kColumnTables[column])[row] = texts[column];
}

void SendQuickButton(std::int16_t index, const SettingsRecord &record, RSinput &rs)
{
    if (!IsDefinition(index))
        return;
    ForEachField(
        RowOf(record, index), Checksum, [&](std::int16_t value) { rs.SendChar(value); },
        [&](const std::string &text) { rs.SendString(text); });
}

std::int16_t ComputeChecksum(const QuickRow &row)
{
    std::int16_t cs = 0;
    ForEachField(
        row, Tx9, [&](std::int16_t value) { cs ^= value; },
        [&](const std::string &text) {
            for (const char c : text)
                cs ^= static_cast<unsigned char>(c);
        });
    // Clears the top bit of a byte-sized sum; a value of 256 or more that entered the sum
    // keeps its higher bits.
    if (cs > 127)
        cs -= 128;
    return cs;
}

} // namespace ModSnelkeuze
