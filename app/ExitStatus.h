#pragma once

// The statuses the program ends with, for scripts and for the station's unit, which must tell a
// run that a restart may mend from one that only a changed configuration can.

namespace ExitStatus
{

constexpr int kOk = 0;
// The run ended with lines that no log file took, or a window could not start on its folder.
constexpr int kFailure = 1;
// The command line holds a word that is not an option of Tamvi's or of Qt's.
constexpr int kUsage = 2;
// A station whose settings or folder cannot work (no port a device can be, an unreadable
// settings file, a folder it cannot use): restarting it changes nothing (sysexits' EX_CONFIG).
constexpr int kConfig = 78;

} // namespace ExitStatus
