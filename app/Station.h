#pragma once

// The logging station: a run without a screen, for a service or an ssh session. The same session
// as the window's drives the same port and log; no window, no platform plugin. What the window
// would show in a message box, and each STATUS line of the log, goes to standard error, one line
// each beginning "tamvi: ". A port that cannot be opened at start is waited for, as after a loss.
// SIGTERM, SIGINT and SIGHUP end the run as Quit does. Run by systemd, it tells the service
// manager when it is ready and what it does, and pings its watchdog.

#include "app/CommandLine.h"

#include <string>

// Runs the station on the claimed run's folder until a termination signal; returns the exit
// status (see ExitStatus.h): 0 after a signal, 78 when its settings cannot work, 1 when lines
// were not written.
int RunStation(CommandLine::Options &options, const std::string &runFolder);
