#pragma once

// The program's command line, read before Qt sees it: --help/-h, --version/-v and the program's
// own long options are ours; every other word goes to Qt untouched, so that Qt's own options
// (-reverse, -stylesheet FILE, -platform NAME ...) work as Qt documents them.

#include <optional>
#include <string>
#include <vector>

namespace CommandLine
{

struct Options {
    enum class Request { Start, Help, Version, Refuse };
    Request request = Request::Start;
    std::string refusal;               // with Refuse: what is wrong with the command line
    std::optional<std::string> folder; // --folder DIR
    bool headless = false;             // --headless: a logging station without a screen
    std::vector<char *> qtArguments;   // the program's name and Qt's words, then a null
    int qtArgumentCount = 0;           // for QApplication, which keeps a reference to it
};

Options Parse(int argc, char **argv);

// Answers --help and --version on standard output and a refused command line on standard error;
// returns the exit status, or nothing when the program should start. `plainStartFolder` is the
// folder a start without --folder uses.
std::optional<int> Answer(const Options &options, const std::string &plainStartFolder);

} // namespace CommandLine
