#include "conversions/Windows1252.h"

#include <array>
#include <cstddef>

namespace Windows1252
{

namespace
{

// 0x80..0x9F; the rest of the code page is Latin-1, the byte's own value.
constexpr std::array<char16_t, 32> kC1Range = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendUtf8(std::string &out, char32_t character)
{
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (character < 0x80) {
        out += byte(character);
    } else if (character < 0x800) {
        out += byte(0xC0 | (character >> 6));
        out += byte(0x80 | (character & 0x3F));
    } else {
        // Windows-1252 holds no character beyond the Basic Multilingual Plane.
        out += byte(0xE0 | (character >> 12));
        out += byte(0x80 | ((character >> 6) & 0x3F));
        out += byte(0x80 | (character & 0x3F));
    }
}

struct Utf8Sequence {
    char32_t character = 0;
    std::size_t length = 0; // 0: the first byte starts no valid sequence
};

// The lead bytes of the multi-byte sequences: their range, the sequence's length, the bits of
// the character they carry and the smallest character that needs that length.
struct Utf8Lead {
    unsigned char first;
    unsigned char last;
    std::size_t length;
    unsigned char bits;
    char32_t smallest;
};
constexpr std::array<Utf8Lead, 3> kUtf8Leads = {{
    {0xC2, 0xDF, 2, 0x1F, 0x80},
    {0xE0, 0xEF, 3, 0x0F, 0x800},
    {0xF0, 0xF4, 4, 0x07, 0x10000},
}};

// The well-formed UTF-8 sequence at the start of `bytes`: no overlong form, no surrogate,
// nothing beyond U+10FFFF.
Utf8Sequence ReadUtf8(std::string_view bytes)
{
    const auto first = static_cast<unsigned char>(bytes.front());
    if (first < 0x80)
        return {first, 1};
    for (const Utf8Lead &lead : kUtf8Leads) {
        if (first < lead.first || first > lead.last || bytes.size() < lead.length)
            continue;
        char32_t character = first & lead.bits;
        for (std::size_t i = 1; i < lead.length; ++i) {
            const auto next = static_cast<unsigned char>(bytes[i]);
            if ((next & 0xC0) != 0x80)
                return {};
            character = (character << 6) | (next & 0x3F);
        }
        if (character < lead.smallest || character > 0x10FFFF ||
            (character >= 0xD800 && character <= 0xDFFF))
            return {};
        return {character, lead.length};
    }
    return {};
}

} // namespace

char32_t CharOf(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return kC1Range[byte - 0x80];
    return byte;
}

char ByteOf(char32_t character)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF))
        return static_cast<char>(character);
    for (std::size_t i = 0; i < kC1Range.size(); ++i) {
        if (kC1Range[i] == character)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

std::string NativeFromText(std::string_view text)
{
    std::string native;
    native.reserve(text.size());
    for (char byte : text)
        AppendUtf8(native, CharOf(static_cast<unsigned char>(byte)));
    return native;
}

std::string TextFromNative(std::string_view native)
{
    std::string text;
    text.reserve(native.size());
    while (!native.empty()) {
        const Utf8Sequence sequence = ReadUtf8(native);
        text += sequence.length == 0 ? '?' : ByteOf(sequence.character);
        native.remove_prefix(sequence.length == 0 ? 1 : sequence.length);
    }
    return text;
}

} // namespace Windows1252
