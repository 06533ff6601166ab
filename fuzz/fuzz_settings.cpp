// Any bytes as tamvi.set: reading never fails, and what was read survives a write and a second
// read unchanged, log folder included.

#include "FuzzCheck.h"

#include "conversions/Windows1252.h"
#include "logfile/logfile.h"
#include "settings/LeesIniFile.h"
#include "settings/SettingsRecord.h"
#include "support/FakeClock.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{

struct Reading {
    SettingsRecord record;
    std::string logDirectory;
};

Reading Read(const std::string &folder, const FakeClock &clock)
{
    logfile::LogWriter log(clock);
    Reading reading;
    LeesIniFile::LeesIni(reading.record, folder, log);
    reading.logDirectory = log.LogDirectory();
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const FakeClock clock({2026, 12, 8, 14, 5, 9});
    const std::string folder = ProgramFolder().Str();
    const auto file = ProgramFolder().Path() / LeesIniFile::kFileName;
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));

    const Reading first = Read(folder, clock);
    const LeesIniFile::SaveResult saved = LeesIniFile::SchrijfIni(first.record, folder);
    FUZZ_CHECK(saved.ok);
    const Reading second = Read(folder, clock);

    FUZZ_CHECK(second.record == first.record);
    FUZZ_CHECK(second.logDirectory == first.logDirectory);
    FUZZ_CHECK(first.logDirectory == LeesIniFile::LogDirectoryOf(first.record, folder));
    // Whatever bytes the folder setting holds, its path gives the same text back.
    const std::string &text = first.record.logfilepath;
    FUZZ_CHECK(Windows1252::TextFromNative(Windows1252::NativeFromText(text)) == text);

    // The DEBUG line of an empty log folder setting would otherwise grow one file without end.
    std::error_code ignored;
    std::filesystem::remove_all(ProgramFolder().Path() / "logfile", ignored);
    return 0;
}
