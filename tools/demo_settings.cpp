// tamvi-demo-settings: writes the tamvi.set of a demo or benchmark program folder through the
// program's own settings writer, so the file is exactly what the program itself would save.

#include "conversions/diversen.h"
#include "quicksend/ModSnelkeuze.h"
#include "settings/LeesIniFile.h"
#include "settings/PortLists.h"
#include "settings/SettingsRecord.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

constexpr const char *kUsage = R"(Usage: tamvi-demo-settings --folder DIR [--port N] [--plain]

Writes DIR/tamvi.set for a simulated device (tamvi-device) on port N (default 1):
9600,N,8,1 without handshake, STX as start value, and four quick-send buttons the device
answers: "ENQ" (status), "Versie ?V" (version), "HELLO + BCC" (a framed message with its
checksum: ACK) and "Foute BCC" (a wrong checksum: NAK).
  --plain   log as plain text, lines ending at CR or LF (for the benchmark)
)";

using ModSnelkeuze::Column;
using ModSnelkeuze::QuickRow;

// A row with every byte field switched off ("-1"), as the editor's clear leaves it.
QuickRow Row(std::string caption)
{
    QuickRow row;
    row.fill("-1");
    row[Column::ButtonText] = std::move(caption);
    row[Column::String].clear();
    return row;
}

// STX, text, ETX and the checksum the editor would compute for them (" 65" style).
QuickRow FramedRow(std::string caption, std::string text, bool rightChecksum)
{
    QuickRow row = Row(std::move(caption));
    row[Column::Tx1] = "0x02";
    row[Column::String] = std::move(text);
    row[Column::Tx7] = "0x03";
    const std::int16_t checksum = ModSnelkeuze::ComputeChecksum(row);
    row[Column::Checksum] = " " + diversen::NumberText(rightChecksum ? checksum : checksum ^ 1);
    return row;
}

SettingsRecord DemoSettings(std::int16_t port, bool plain)
{
    SettingsRecord record;
    record.compoort = port;
    // 9600,N,8,1 without handshake.
    record.baudrate = static_cast<std::int16_t>(*PortLists::kBaudRates.IndexOf("9600"));
    record.parity = PortLists::kNoParity;
    record.bits = static_cast<std::int16_t>(*PortLists::kDataBits.IndexOf("8"));
    record.stopbits = static_cast<std::int16_t>(*PortLists::kStopBits.IndexOf("1"));
    record.HandShake = PortLists::kNoHandShake;
    record.Start1 = "2"; // STX begins a line
    record.Start2 = record.Start3 = record.Start4 = record.Start5 = "-1";
    record.AnsiLogMode = plain;

    QuickRow enq = Row("ENQ");
    enq[Column::Tx1] = "5";
    QuickRow version = Row("Versie ?V");
    version[Column::String] = "?V";
    const QuickRow rows[] = {enq, version, FramedRow("HELLO + BCC", "HELLO", true),
                             FramedRow("Foute BCC", "HELLO", false)};
    for (int r = 0; r < ModSnelkeuze::kButtons; ++r)
        ModSnelkeuze::StoreRow(record, r, r < 4 ? rows[r] : Row(""));
    return record;
}

} // namespace

int main(int argc, char **argv)
{
    std::string folder;
    long port = 1;
    bool plain = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--plain") {
            plain = true;
        } else if (name == "--folder" && i + 1 < argc) {
            folder = argv[++i];
        } else if (name == "--port" && i + 1 < argc) {
            port = std::strtol(argv[++i], nullptr, 10);
        } else {
            std::fputs(kUsage, name == "--help" ? stdout : stderr);
            return name == "--help" ? 0 : 2;
        }
    }
    if (folder.empty() || port < 1 || port > 25) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const auto result =
        LeesIniFile::SchrijfIni(DemoSettings(static_cast<std::int16_t>(port), plain), folder);
    if (!result.ok) {
        std::fprintf(stderr, "tamvi-demo-settings: %s: %s\n", result.path.c_str(),
                     result.reason.c_str());
        return 1;
    }
    return 0;
}
