#pragma once

// The settings file "tamvi.set" in the program folder: numbered lines "key ->value", CR LF,
// commas written as 0xFB and a trailing blank as 0xFD.

#include "settings/SettingsRecord.h"

#include <optional>
#include <string>
#include <string_view>

namespace logfile
{
class LogWriter;
}

namespace LeesIniFile
{

inline constexpr const char *kFileName = "tamvi.set";

// The program folder and the paths made from it are the system's bytes (see Windows1252.h);
// the record's texts, logfilepath included, are Windows-1252.

// The program folder joined with "logfile", without doubling a trailing separator.
std::string DefaultLogDirectory(const std::string &programFolder);

// The folder the log goes to, as the system's path: the record's logfilepath, a relative one
// inside the program folder, or the default folder when it is empty.
std::string LogDirectoryOf(const SettingsRecord &record, const std::string &programFolder);

// What came of reading "tamvi.set". A missing file is no failure (the first run has none); one
// that is there but cannot be read is: no permission, not a regular file (a pipe would hang the
// start, a device could be endless), larger than any settings file can be.
struct ReadResult {
    bool ok = true;
    std::string path;   // the settings file
    std::string reason; // the system's reason when !ok
};

// Fills `record` from the file (defaults for what it lacks, all defaults when it cannot be read)
// and sets the log writer's folder; logs a DEBUG line when the file cannot be read and one when
// no log folder is configured.
ReadResult LeesIni(SettingsRecord &record, const std::string &programFolder,
                   logfile::LogWriter &log);

// The first byte of a Windows-1252 value that a Save refuses: a control character (below 0x20,
// or 0x7F; a CR or LF would end the value's line and begin another setting), a 0xFB, which reads
// back as a comma, or a 0xFD at the end, which reads back as a blank. None for a value that reads
// back as it is.
std::optional<char> FirstNotStorable(std::string_view value);

struct SaveResult {
    bool ok = true;     // the new settings are in the file
    bool synced = true; // and the folder's entry for it is on the disk
    std::string path;   // the settings file, or the file it links to
    std::string reason; // the system's reason when !ok or !synced
};

// Writes the whole record to a temporary file of its own beside "tamvi.set" (a new name, made
// exclusively, never through a link) and renames it over the old one only when everything was
// written and flushed: a failed save leaves the old file intact, and of two saves at once the
// last rename wins whole. A "tamvi.set" that is a symbolic link stays one: the file it links to
// is replaced. Only a regular file is replaced, and only one without further hard links; the new
// file keeps the old one's permission bits, and its owner and group where the process may.
// A file that `atStart` could not read is left as it is while it is there: the run does not know
// the settings it would overwrite.
SaveResult SchrijfIni(const SettingsRecord &record, const std::string &programFolder,
                      const ReadResult &atStart = {});

} // namespace LeesIniFile
