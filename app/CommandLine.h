#pragma once

// The program's command line, read before Qt sees it: --help/-h, --version/-v and the program's
// own long options are ours; Qt's own documented options (-reverse, -stylesheet FILE, -platform
// NAME ...) go to Qt untouched, so that they work as Qt documents them. Any other word (a
// one-dash -folder, a stray word, a bare --) refuses the whole line: Qt would ignore it, and the
// run would silently use a folder that was not asked for.

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
    bool platformNamed = false;        // Qt's -platform is among Qt's words
    std::vector<char *> qtArguments;   // the program's name and Qt's words, then a null
    int qtArgumentCount = 0;           // for QApplication, which keeps a reference to it
};

Options Parse(int argc, char **argv);

// Answers --help and --version on standard output and a refused command line on standard error;
// returns the exit status, or nothing when the program should start. `plainStartFolder` is the
// folder a start without --folder uses.
std::optional<int> Answer(const Options &options, const std::string &plainStartFolder);

} // namespace CommandLine
