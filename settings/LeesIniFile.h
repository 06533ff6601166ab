#pragma once

// The settings file "tamvi.set" in the program folder: numbered lines "key ->value", CR LF,
// commas written as 0xFB and a trailing blank as 0xFD.

#include "settings/SettingsRecord.h"

#include <string>

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

// Fills `record` from the file (defaults for what it lacks) and sets the log writer's folder;
// logs the DEBUG line when no log folder is configured.
void LeesIni(SettingsRecord &record, const std::string &programFolder, logfile::LogWriter &log);

struct SaveResult {
    bool ok = true;
    std::string path;   // the settings file, or the file it links to
    std::string reason; // the system's reason when !ok
};

// Writes the whole record to a temporary file beside "tamvi.set" and renames it over the old
// one only when everything was written and flushed; a failed save leaves the old file intact.
// A "tamvi.set" that is a symbolic link stays one: the file it links to is replaced. The file
// keeps its permission bits.
SaveResult SchrijfIni(const SettingsRecord &record, const std::string &programFolder);

} // namespace LeesIniFile
