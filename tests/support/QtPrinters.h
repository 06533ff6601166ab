#pragma once

// GoogleTest printers for Qt's text types, so that a failed EXPECT_EQ on a QString or a
// QByteArray shows the text, not its bytes: quoted UTF-8, with control characters, quotes and
// backslashes escaped (\r, \n, \t, \x02, \u0085) and bytes that are no UTF-8 as \xNN.
// GoogleTest finds them by argument-dependent lookup: Qt's types live in the global namespace,
// and so do these. Every Qt test gets this header through tamvi_qt_test_main
// (tests/CMakeLists.txt).

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string_view>

namespace tamvi_test
{

// The length of the well-formed UTF-8 sequence at the start of `bytes`, or 0.
inline std::size_t Utf8Length(std::string_view bytes)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t point = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
    } else {
        return 0;
    }
    if (bytes.size() < length)
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return overlong || surrogate || point > 0x10FFFF ? 0 : length;
}

// `bytes` as a quoted string: UTF-8 passes, the rest is escaped.
inline void PrintQuoted(std::string_view bytes, std::ostream *out)
{
    char escape[8];
    *out << '"';
    for (std::size_t pos = 0; pos < bytes.size();) {
        const auto byte = static_cast<unsigned char>(bytes[pos]);
        if (byte >= 0x80) {
            const std::size_t length = Utf8Length(bytes.substr(pos));
            if (length == 0) {
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                *out << escape;
                pos += 1;
            } else if (length == 2 && byte == 0xC2 &&
                       static_cast<unsigned char>(bytes[pos + 1]) < 0xA0) {
                // U+0080..U+009F: the C1 control characters show nothing
                std::snprintf(escape, sizeof escape, "\\u%04X",
                              static_cast<unsigned char>(bytes[pos + 1]));
                *out << escape;
                pos += 2;
            } else {
                *out << bytes.substr(pos, length);
                pos += length;
            }
            continue;
        }
        switch (byte) {
        case '"':
            *out << "\\\"";
            break;
        case '\\':
            *out << "\\\\";
            break;
        case '\r':
            *out << "\\r";
            break;
        case '\n':
            *out << "\\n";
            break;
        case '\t':
            *out << "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                std::snprintf(escape, sizeof escape, "\\x%02X", byte);
                *out << escape;
            } else {
                *out << static_cast<char>(byte);
            }
        }
        ++pos;
    }
    *out << '"';
}

} // namespace tamvi_test

inline void PrintTo(const QString &text, std::ostream *out)
{
    const QByteArray utf8 = text.toUtf8();
    tamvi_test::PrintQuoted(
        std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), out);
}

inline void PrintTo(const QByteArray &bytes, std::ostream *out)
{
    tamvi_test::PrintQuoted(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), out);
}
