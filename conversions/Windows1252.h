#pragma once

// Windows-1252, the character set of every text of the program (settings, dialogs, log lines),
// and the meeting point with the system's own bytes: file names and the system's messages are in
// the locale's 8-bit encoding, UTF-8 (what QFile::encodeName gives on Unix). A path is converted
// where it meets the file system and where it turns into text, and nowhere else.

#include <string>
#include <string_view>

namespace Windows1252
{

// The Unicode character of a byte. The five codes that Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 characters of the same value, so every byte has one.
char32_t CharOf(unsigned char byte);

// The byte of a Unicode character; '?' for a character that Windows-1252 cannot hold.
char ByteOf(char32_t character);

// A text (a typed or stored folder name) as the file system's bytes for it. Every byte has its
// own character, so TextFromNative gives the text back unchanged.
std::string NativeFromText(std::string_view text);

// A path or a message of the system as text: a character that Windows-1252 cannot hold, and
// each byte that starts no valid UTF-8 sequence, becomes '?'. For showing and logging only: the
// path in use stays the system's bytes.
std::string TextFromNative(std::string_view native);

} // namespace Windows1252
