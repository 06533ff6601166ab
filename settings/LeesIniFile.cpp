#include "settings/LeesIniFile.h"

#include "conversions/Windows1252.h"
#include "conversions/diversen.h"
#include "logfile/RegularFile.h"
#include "logfile/logfile.h"
#include "settings/SyncFolder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
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

// Far beyond any settings file: the reading stops there rather than fill the memory.
constexpr std::size_t kMaxFileSize = 1 << 20;
constexpr const char *kTooLarge = "larger than 1 MiB";

struct FileBytes {
    std::string bytes;
    std::optional<std::string> failure; // the file is there but cannot be read
};

std::string SystemReason()
{
    return std::strerror(errno);
}

// Reads the file open as `fd` up to the size limit.
FileBytes ReadLimited(int fd)
{
    FileBytes read;
    std::array<char, 65536> buffer{};
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count == 0)
            return read;
        if (count < 0 && errno != EINTR)
            return {{}, SystemReason()};
        if (count > 0)
            read.bytes.append(buffer.data(), static_cast<std::size_t>(count));
        if (read.bytes.size() > kMaxFileSize)
            return {{}, kTooLarge};
    }
}

// The file's bytes; none for a missing file.
FileBytes ReadSettingsBytes(const fs::path &file)
{
    const RegularFile::Opened opened =
        RegularFile::Open(file.string(), O_RDONLY, 0, RegularFile::LastLink::Follow);
    if (opened.fd < 0)
        return opened.missing ? FileBytes{} : FileBytes{{}, opened.failure};
    FileBytes read = ReadLimited(opened.fd);
    ::close(opened.fd);
    return read;
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

Slots ReadSlots(const std::string &content)
{
    Slots slots;
    std::size_t start = 0;
    while (start < content.size()) {
        // A comment runs to the line's end, commas and all: a file written by hand (a station's)
        // says there what its lines mean.
        const std::size_t first = content.find_first_not_of(' ', start);
        const bool comment = first != std::string::npos && content[first] == '#';
        std::size_t end = content.find_first_of(comment ? "\r\n" : "\r\n,", start);
        if (end == std::string::npos)
            end = content.size();
        if (comment) {
            start = end + 1;
            continue;
        }
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

// The file a save replaces, when there is one: a regular file with no other hard link, whose
// owner, group and permission bits the new one takes over.
struct OldFile {
    std::optional<struct stat> status; // none for a file that is not there yet
    std::optional<std::string> failure;
};

OldFile OldFileAt(const fs::path &file)
{
    struct stat status = {};
    if (::lstat(file.c_str(), &status) != 0)
        return errno == ENOENT ? OldFile{} : OldFile{std::nullopt, SystemReason()};
    if (!S_ISREG(status.st_mode))
        return {std::nullopt, RegularFile::kNotRegular};
    // A new file would be a different file from the ones the other names stand for.
    if (status.st_nlink > 1)
        return {std::nullopt, std::to_string(status.st_nlink) +
                                  " hard links, which a save would part (a symbolic link "
                                  "would not)"};
    return {status, std::nullopt};
}

// A new file beside `file` under a name nobody can guess, made by this call alone: never an
// existing file, never one that a link planted at the name leads to. Two saves at once get two
// files.
struct Temporary {
    int fd = -1; // -1: not made, for `failure`
    fs::path path;
    std::string failure;
};

Temporary CreateTemporary(const fs::path &file)
{
    constexpr std::string_view kLetters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    Temporary temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string suffix = ".";
        for (int i = 0; i < 12; ++i)
            suffix += kLetters[pick(random)];
        temporary.path = file;
        temporary.path += suffix + ".tmp";
        temporary.fd = ::open(temporary.path.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (temporary.fd >= 0 || errno != EEXIST)
            break;
    }
    if (temporary.fd < 0)
        temporary.failure = SystemReason();
    return temporary;
}

// The new file takes the old one's owner and group where the process may (root may; a user
// may keep a group of theirs), then its permission bits, which a change of owner may clear.
bool KeepOwnerAndPermissions(int fd, const std::optional<struct stat> &old)
{
    if (!old)
        return true;
    const bool ownerKept = ::fchown(fd, old->st_uid, old->st_gid) == 0 ||
                           ::fchown(fd, static_cast<uid_t>(-1), old->st_gid) == 0;
    static_cast<void>(ownerKept); // otherwise the file is the saving user's, as any new file
    return ::fchmod(fd, old->st_mode & 07777) == 0;
}

// Gives the file open as `fd` the old file's owner and permissions, writes `text` to it, forces
// it to the disk and closes it; the system's reason when that fails.
std::optional<std::string> WriteDurably(int fd, const std::string &text,
                                        const std::optional<struct stat> &old)
{
    std::FILE *out = nullptr;
    if (!KeepOwnerAndPermissions(fd, old) || !(out = ::fdopen(fd, "wb"))) {
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
        return SystemReason();
    return std::nullopt;
}

SaveResult NotSaved(std::string reason)
{
    return {false, true, {}, std::move(reason)};
}

// Replaces `file` by way of a temporary file beside it, so that a failure at any step before
// the rename leaves the old file whole. Once renamed the new settings are in place, also when
// the folder cannot be synced after it.
SaveResult ReplaceDurably(const fs::path &file, const std::string &text)
{
    const OldFile old = OldFileAt(file);
    if (old.failure)
        return NotSaved(*old.failure);
    const Temporary temporary = CreateTemporary(file);
    if (temporary.fd < 0)
        return NotSaved(temporary.failure);
    std::optional<std::string> failure = WriteDurably(temporary.fd, text, old.status);
    if (!failure) {
        std::error_code renameError;
        fs::rename(temporary.path, file, renameError);
        if (!renameError) {
            const std::optional<std::string> unsynced = SyncFolder(file.parent_path());
            return {true, !unsynced, {}, unsynced.value_or("")};
        }
        failure = renameError.message();
    }
    std::error_code ignored;
    fs::remove(temporary.path, ignored);
    return NotSaved(*failure);
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

ReadResult LeesIni(SettingsRecord &record, const std::string &programFolder,
                   logfile::LogWriter &log)
{
    const fs::path file = SettingsPath(programFolder);
    const FileBytes read = ReadSettingsBytes(file);
    AssignFields(record, ReadSlots(read.bytes));
    log.SetLogDirectory(LogDirectoryOf(record, programFolder));
    ReadResult result;
    if (read.failure) {
        result = {false, file.string(), *read.failure};
        log.WriteLogLine(
            "DEBUG: Instellingen niet te lezen: " + Windows1252::TextFromNative(result.path) +
            ": " + Windows1252::TextFromNative(result.reason) +
            "; standaardinstellingen in gebruik");
    }
    if (record.logfilepath.empty())
        log.WriteLogLine("DEBUG: Bij instellingen geen logfilepath ingevuld, default: " +
                         Windows1252::TextFromNative(log.LogDirectory()));
    else if (HoldsNul(record.logfilepath))
        log.WriteLogLine(
            "DEBUG: Bij instellingen logfilepath met een NUL-byte, geen pad, default: " +
            Windows1252::TextFromNative(log.LogDirectory()));
    return result;
}

std::optional<char> FirstNotStorable(std::string_view value)
{
    for (const char c : value) {
        const bool control = static_cast<unsigned char>(c) < 0x20 || c == '\x7F';
        if (control || c == kCommaEscape)
            return c;
    }
    if (value.ends_with(kTrailingBlankEscape))
        return kTrailingBlankEscape;
    return std::nullopt;
}

SaveResult SchrijfIni(const SettingsRecord &record, const std::string &programFolder,
                      const ReadResult &atStart)
{
    SaveResult result;
    try {
        const fs::path settings = SettingsPath(programFolder);
        std::error_code absent;
        if (!atStart.ok && fs::exists(fs::symlink_status(settings, absent))) {
            result = NotSaved("could not be read at start (" + atStart.reason +
                              "), so it is left as it is");
            result.path = atStart.path;
            return result;
        }
        std::error_code linkError;
        const fs::path file = FileToReplace(settings, linkError);
        result = linkError ? NotSaved(linkError.message()) : ReplaceDurably(file, FileText(record));
        result.path = file.string();
    } catch (const std::exception &error) {
        result.ok = false;
        result.reason = error.what();
    }
    return result;
}

} // namespace LeesIniFile
