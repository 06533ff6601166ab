#pragma once

// Small conversions shared by the receive display, quick-send, the settings file and the
// dialogs: reading typed byte values, writing numbers and bytes as text, naming control bytes.
// Texts are byte strings: one char per byte 0..255.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace diversen
{

// The decimal reading used for typed numbers and settings-file line numbers: blanks, tabs and
// line feeds are ignored anywhere; optional sign, digits, decimal point, exponent (E or D);
// "&H" / "&O" introduce hexadecimal / octal digits read as a magnitude ("&HFFFF" is 65535, not
// -1); reading stops at the first character that does not fit; no leading number reads as 0;
// rounded half to even, exactly, whatever the number of digits. Empty when the rounded value
// does not fit in 16 bits.
std::optional<std::int16_t> ReadDecimal(std::string_view text);

// "0x" with two hex digits after its first occurrence (case-sensitive), else ReadDecimal;
// a value outside the 16-bit range gives -1.
std::int16_t ParseNumber(std::string_view text);
// The value of the first character as a hexadecimal digit; 0 for anything else.
std::int16_t HexDigitValue(std::string_view text);
// The decimal digits of the magnitude, no sign: -5 gives "5".
std::string NumberText(std::int16_t n);
// "0x" and two upper-case digits; "0xxx" outside 0..255.
std::string FormatHexByte(std::int16_t n);
// "0".."9", "A".."F"; "?" outside 0..15.
std::string HexDigit(std::int16_t n);
// "[STX]", "[SPATIE]", "[RUBOUT]" ... for 0..32 and 127, else the byte itself; "?" outside
// 0..255.
std::string CharDisplayName(std::int16_t c);

} // namespace diversen
