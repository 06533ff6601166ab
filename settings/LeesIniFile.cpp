#include "settings/LeesIniFile.h"

#include "conversions/Windows1252.h"
#include "conversions/diversen.h"
#include "logfile/logfile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LeesIniFile
{

namespace
{

namespace fs = std::filesystem;

// One text per line number; the reader keeps values, the writer whole lines.
using Slots = std::array<std::string, 300>;

// Line numbers from this one on carry no setting and are not stored.
constexpr int kFirstIgnoredLine = 299;

constexpr char kCommaEscape = '\xFB';
constexpr char kTrailingBlankEscape = '\xFD';

struct NumberLine {
    int line;
    const char *prefix;
    std::int16_t SettingsRecord::*field;
};

constexpr std::array<NumberLine, 5> kNumberLines = {{
    {0, "0        compoort ->", &SettingsRecord::compoort},
    {2, "2        baudrate ->", &SettingsRecord::baudrate},
    {3, "3        parity ->", &SettingsRecord::parity},
    {4, "4        stopbits ->", &SettingsRecord::stopbits},
    {5, "5        bits ->", &SettingsRecord::bits},
}};

struct TextLine {
    int line;
    const char *prefix;
    std::string SettingsRecord::*field;
};

constexpr std::array<TextLine, 5> kStartLines = {{
    {6, "6        Start1 ->", &SettingsRecord::Start1},
    {7, "7        Start2 ->", &SettingsRecord::Start2},
    {8, "8        Start3 ->", &SettingsRecord::Start3},
    {9, "9        Start4 ->", &SettingsRecord::Start4},
    {10, "10       Start5 ->", &SettingsRecord::Start5},
}};

constexpr TextLine kLogfilepathLine = {1, "1        logfilepath ->", &SettingsRecord::logfilepath};
constexpr int kHandShakeLine = 11;
constexpr const char *kHandShakePrefix = "11       HandShake ->";
constexpr int kAnsiLogModeLine = 12;
constexpr const char *kAnsiLogModePrefix = "12      AnsiLogMode->";

// Element e of a quick-send table lives on line base + e.
struct QuickLines {
    int base;
    const char *key;
    QuickTable SettingsRecord::*table;
};

constexpr std::array<QuickLines, 11> kQuickLines = {{
    {100, "Sneltekst", &SettingsRecord::Sneltekst},
    {110, "TxChar1", &SettingsRecord::TxChar1},
    {120, "TxChar2", &SettingsRecord::TxChar2},
    {130, "TxChar3", &SettingsRecord::TxChar3},
    {140, "TxChar4", &SettingsRecord::TxChar4},
    {150, "TxChar5", &SettingsRecord::TxChar5},
    {160, "TxString6", &SettingsRecord::TxString6},
    {170, "TxChar7", &SettingsRecord::TxChar7},
    {180, "TxChar8", &SettingsRecord::TxChar8},
    {190, "TxChar9", &SettingsRecord::TxChar9},
    {200, "Check", &SettingsRecord::Check},
}};

// Elements 0..9 of each table are stored; element 10 lives in memory only.
constexpr std::size_t kStoredElements = 10;

fs::path SettingsPath(const std::string &programFolder)
{
    return fs::path(programFolder) / kFileName;
}

// ---- reading ----

std::string ReadWholeFile(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string_view TrimBlanks(std::string_view item)
{
    const auto first = item.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return item.substr(first, item.find_last_not_of(' ') - first + 1);
}

// Stores one item's value by its line number; false when the item ends the reading.
bool StoreItem(std::string_view item, Slots &slots)
{
    const auto line = diversen::ReadDecimal(item.substr(0, 4));
    if (!line || *line < 0)
        return false;
    const auto arrow = item.find("->");
    if (arrow != std::string_view::npos && *line < kFirstIgnoredLine)
        slots[static_cast<std::size_t>(*line)] = item.substr(arrow + 2);
    return true;
}

void UndoEscapes(std::string &value)
{
    std::replace(value.begin(), value.end(), kCommaEscape, ',');
    if (!value.empty() && value.back() == kTrailingBlankEscape)
        value.back() = ' ';
}

Slots ReadSlots(const fs::path &file)
{
    Slots slots;
    const std::string content = ReadWholeFile(file);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n,", start);
        if (end == std::string::npos)
            end = content.size();
        const std::string_view item =
            TrimBlanks(std::string_view(content).substr(start, end - start));
        start = end + 1;
        if (!item.empty() && !StoreItem(item, slots))
            break;
    }
    for (std::string &value : slots)
        UndoEscapes(value);
    return slots;
}

// A number too large for 16 bits reads as 0, like an empty slot.
std::int16_t SlotNumber(const std::string &value)
{
    return diversen::ReadDecimal(value).value_or(0);
}

void AssignFields(SettingsRecord &record, const Slots &slots)
{
    for (const NumberLine &entry : kNumberLines)
        record.*entry.field = SlotNumber(slots[entry.line]);
    record.logfilepath = slots[kLogfilepathLine.line];
    for (const TextLine &entry : kStartLines) {
        const std::string &value = slots[entry.line];
        record.*entry.field = value.empty() ? "-1" : value;
    }
    record.HandShake = SlotNumber(slots[kHandShakeLine]);
    record.AnsiLogMode = SlotNumber(slots[kAnsiLogModeLine]) != 0;
    for (const QuickLines &entry : kQuickLines) {
        for (std::size_t e = 0; e < kStoredElements; ++e)
            (record.*entry.table)[e] = slots[entry.base + e];
    }
}

// ---- writing ----

// Negative numbers keep their sign, so that a list without a selection (-1) comes back as -1.
std::string SignedText(std::int16_t n)
{
    return (n < 0 ? "-" : "") + diversen::NumberText(n);
}

Slots BuildLines(const SettingsRecord &record)
{
    Slots lines;
    for (const NumberLine &entry : kNumberLines)
        lines[entry.line] = entry.prefix + SignedText(record.*entry.field);
    lines[kLogfilepathLine.line] = kLogfilepathLine.prefix + record.logfilepath;
    for (const TextLine &entry : kStartLines)
        lines[entry.line] = entry.prefix + record.*entry.field;
    lines[kHandShakeLine] = kHandShakePrefix + std::string(record.HandShake < 0 ? "" : " ") +
                            SignedText(record.HandShake);
    lines[kAnsiLogModeLine] = kAnsiLogModePrefix + std::string(record.AnsiLogMode ? "1" : "0");
    for (const QuickLines &entry : kQuickLines) {
        for (std::size_t e = 0; e < kStoredElements; ++e) {
            const std::string number = std::to_string(entry.base + static_cast<int>(e));
            lines[entry.base + e] =
                " " + number + "        " + entry.key + " ->" + (record.*entry.table)[e];
        }
    }
    return lines;
}

void ApplyEscapes(std::string &line)
{
    std::replace(line.begin(), line.end(), ',', kCommaEscape);
    if (!line.empty() && line.back() == ' ')
        line.back() = kTrailingBlankEscape;
}

std::string FileText(const SettingsRecord &record)
{
    std::string text;
    for (std::string &line : BuildLines(record)) {
        if (line.empty())
            continue;
        ApplyEscapes(line);
        text += line;
        text += "\r\n";
    }
    return text;
}

// The file a save replaces: "tamvi.set" itself, or the file at the end of its symbolic links, so
// that a link the user made stays a link.
fs::path FileToReplace(fs::path file, std::error_code &error)
{
    constexpr int kMaxLinks = 40; // the system's own limit on following links
    for (int links = 0;; ++links) {
        const fs::file_status status = fs::symlink_status(file, error);
        if (status.type() == fs::file_type::not_found) {
            error.clear(); // the first save creates it
            return file;
        }
        if (error || !fs::is_symlink(status))
            return file;
        if (links == kMaxLinks) {
            error = std::make_error_code(std::errc::too_many_symbolic_link_levels);
            return file;
        }
        const fs::path target = fs::read_symlink(file, error);
        if (error)
            return file;
        file = file.parent_path() / target; // an absolute target replaces the folder
    }
}

// The permission bits of an existing regular file.
std::optional<mode_t> PermissionsOf(const fs::path &file)
{
    struct stat status = {};
    if (::stat(file.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    return status.st_mode & 07777;
}

// Gives the file open as `fd` the permission bits of the file it replaces. Only a regular file:
// never the device or file that a link at the temporary name leads to.
bool KeepPermissions(int fd, std::optional<mode_t> permissions)
{
    struct stat status = {};
    if (!permissions || ::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        return true;
    return ::fchmod(fd, *permissions) == 0;
}

// Writes `text` to `file` with `permissions` (else those of any new file) and forces it to the
// disk; the system's reason when that fails.
std::optional<std::string> WriteDurably(const fs::path &file, const std::string &text,
                                        std::optional<mode_t> permissions)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::strerror(errno);
    std::FILE *out = nullptr;
    if (!KeepPermissions(fd, permissions) || !(out = ::fdopen(fd, "wb"))) {
        const int error = errno;
        ::close(fd);
        return std::strerror(error);
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                         std::fflush(out) == 0 && ::fsync(::fileno(out)) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(out) == 0;
    if (!written)
        return std::strerror(writeError);
    if (!closed)
        return std::strerror(errno);
    return std::nullopt;
}

// A rename lives in the folder's entries: only a synced folder keeps it through a power cut.
std::optional<std::string> SyncFolder(const fs::path &folder)
{
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    // EINVAL: a file system that cannot sync a folder, and needs not.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    if (!synced)
        return std::strerror(error);
    return std::nullopt;
}

// Replaces `file` by way of a temporary file beside it, so that a failure at any step leaves
// the old file whole; the new file keeps the old one's permission bits.
std::optional<std::string> ReplaceDurably(const fs::path &file, const std::string &text)
{
    fs::path temporary = file;
    temporary += ".tmp";
    std::optional<std::string> failure = WriteDurably(temporary, text, PermissionsOf(file));
    if (!failure) {
        std::error_code renameError;
        fs::rename(temporary, file, renameError);
        if (!renameError)
            return SyncFolder(file.parent_path());
        failure = renameError.message();
    }
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return failure;
}

} // namespace

std::string DefaultLogDirectory(const std::string &programFolder)
{
    return (fs::path(programFolder) / "logfile").string();
}

namespace
{

// The system would cut such a path short at its NUL (a hand-edited file) and log elsewhere.
bool HoldsNul(const std::string &path)
{
    return path.find('\0') != std::string::npos;
}

} // namespace

std::string LogDirectoryOf(const SettingsRecord &record, const std::string &programFolder)
{
    if (record.logfilepath.empty() || HoldsNul(record.logfilepath))
        return DefaultLogDirectory(programFolder);
    // Wherever the program was started from, the same settings log into the same folder.
    const fs::path folder = Windows1252::NativeFromText(record.logfilepath);
    return folder.is_absolute() ? folder.string() : (fs::path(programFolder) / folder).string();
}

void LeesIni(SettingsRecord &record, const std::string &programFolder, logfile::LogWriter &log)
{
    AssignFields(record, ReadSlots(SettingsPath(programFolder)));
    log.SetLogDirectory(LogDirectoryOf(record, programFolder));
    if (record.logfilepath.empty())
        log.WriteLogLine("DEBUG: Bij instellingen geen logfilepath ingevuld, default: " +
                         Windows1252::TextFromNative(log.LogDirectory()));
    else if (HoldsNul(record.logfilepath))
        log.WriteLogLine(
            "DEBUG: Bij instellingen logfilepath met een NUL-byte, geen pad, default: " +
            Windows1252::TextFromNative(log.LogDirectory()));
}

SaveResult SchrijfIni(const SettingsRecord &record, const std::string &programFolder)
{
    SaveResult result;
    try {
        std::error_code linkError;
        const fs::path file = FileToReplace(SettingsPath(programFolder), linkError);
        result.path = file.string();
        const std::optional<std::string> failure =
            linkError ? linkError.message() : ReplaceDurably(file, FileText(record));
        if (failure) {
            result.ok = false;
            result.reason = *failure;
        }
    } catch (const std::exception &error) {
        result.ok = false;
        result.reason = error.what();
    }
    return result;
}

} // namespace LeesIniFile
