#pragma once

// The end of a run, for both front ends: lines that no log file took are not a success.

class Session;

// After the session's Quit: the status the run ends with. Lines kept for a log file that could
// not be written are said on standard error, with their number and the file, and fail the run.
int EndOfRun(const Session &session);
