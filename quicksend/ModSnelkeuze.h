#pragma once

// The eight quick-send definitions: what they send, their checksum, the buttons' captions.

#include "settings/SettingsRecord.h"

#include <array>
#include <cstdint>
#include <string>

class RSinput;

namespace ModSnelkeuze
{

inline constexpr int kButtons = 8;

// The editor's eleven columns, left to right, and the table each one edits.
enum Column { ButtonText, Tx1, Tx2, Tx3, Tx4, Tx5, String, Tx7, Tx8, Tx9, Checksum, kColumns };
inline constexpr std::array<QuickTable SettingsRecord::*, kColumns> kColumnTables = {
    &SettingsRecord::Sneltekst, &SettingsRecord::TxChar1, &SettingsRecord::TxChar2,
    &SettingsRecord::TxChar3,   &SettingsRecord::TxChar4, &SettingsRecord::TxChar5,
    &SettingsRecord::TxString6, &SettingsRecord::TxChar7, &SettingsRecord::TxChar8,
    &SettingsRecord::TxChar9,   &SettingsRecord::Check};

// One definition's texts in column order.
using QuickRow = std::array<std::string, kColumns>;
QuickRow RowOf(const SettingsRecord &record, int row);
void StoreRow(SettingsRecord &record, int row, const QuickRow &texts);

void SendQuickButton(std::int16_t index, const SettingsRecord &record, RSinput &rs);
// Over the texts as they stand in the editor, saved or not.
std::int16_t ComputeChecksum(const QuickRow &row);

} // namespace ModSnelkeuze
