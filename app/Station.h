#pragma once

// The logging station: a run without a screen, for a service or an ssh session. The same session
// as the window's drives the same port and log; no window, no platform plugin. What the window
// would show in a message box goes to standard error, one line each beginning "tamvi: ". A port
// that cannot be opened at start is waited for, as after a loss. SIGTERM, SIGINT and SIGHUP end
// the run as Quit does.

#include <string>

// Runs the station on the run's folder until a termination signal; returns the exit status: 0
// after a signal, 1 when the settings name no port a device can be, 2 for an unknown option.
int RunStation(int argc, char **argv, const std::string &runFolder);
