#pragma once

// The two character sets at the edge between the byte-oriented core and Qt's Unicode widgets.

#include <QString>

#include <optional>
#include <string>
#include <string_view>

// The log view: each byte as its DOS (code page 437) glyph, the control codes included (0x01 ☺
// ... 0x1F ▼, 0x7F ⌂), so every received byte is visible; 0x00 shows as a blank.
QString FromCp437(std::string_view bytes);

// Settings texts to widgets. The five codes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the C1 characters of the same value, so the round trip keeps every byte.
QString FromWindows1252(std::string_view bytes);

// Widgets to bytes; a character that Windows-1252 cannot hold becomes '?'.
std::string ToWindows1252(const QString &text);

// The first character of `text` that Windows-1252 cannot hold; none when it holds them all.
std::optional<char32_t> FirstNotInWindows1252(const QString &text);
