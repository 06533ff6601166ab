#pragma once

// The program's command line: --help and --version are answered before any window is made, so
// they work without a display and leave the program folder alone.

#include <optional>

namespace CommandLine
{

// Before the application object: answers --help and --version on standard output and returns
// the exit status; empty when the program should start.
std::optional<int> AnswerBeforeStart(int argc, char **argv);

// Whether the run is a logging station without a screen (--headless): decided before any
// application object is made, since a station must not make a graphical one.
bool AsksForHeadless(int argc, char **argv);

// With the application object, whose construction took Qt's own options away: an option the
// program does not know gets the usage on standard error and a failing exit status; empty when
// the program should start.
std::optional<int> RefuseUnknownOptions();

} // namespace CommandLine
