// Our options are read before Qt starts; every word of Qt's documented options must reach Qt
// as it was typed, the word after an option that takes a value included.

#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using Request = CommandLine::Options::Request;

struct Parsed {
    Request request;
    std::vector<std::string> qtWords;
    std::optional<std::string> folder;
    std::string refusal;
};

Parsed ParseWords(std::vector<std::string> words)
{
    words.insert(words.begin(), "tamvi");
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    const CommandLine::Options options = CommandLine::Parse(int(argv.size()), argv.data());
    Parsed parsed{options.request, {}, options.folder, options.refusal};
    for (int i = 1; i < options.qtArgumentCount; ++i)
        parsed.qtWords.emplace_back(options.qtArguments[i]);
    return parsed;
}

TEST(CommandLine, QtsOwnOptionsReachQt)
{
    const std::vector<std::vector<std::string>> qtOptions = {
        {"-reverse"},
        {"-visual", "0x21"},
        {"-stylesheet", "look.qss"},
        {"-stylesheet=look.qss"},
        {"-style", "fusion"},
        {"-style=fusion"},
        {"-platform", "offscreen"},
        {"--platform", "offscreen"},
        {"-platformtheme", "gtk3"},
        {"-platformpluginpath", "/opt/plugins"},
        {"-plugin", "evdevtouch"},
        {"-qwindowgeometry", "640x480+0+0"},
        {"-qwindowicon", "icon.png"},
        {"-qwindowtitle", "-v"},
        {"-session", "-h"},
        {"-display", ":1"},
        {"-geometry", "640x480"},
        {"-title", "Line 1"},
        {"-name", "tamvi"},
        {"-widgetcount"},
        {"--reverse"},
        {"-qmljsdebugger=port:1234"},
        {"-nograb"},
        {"-sync"},
    };
    for (const auto &words : qtOptions) {
        SCOPED_TRACE(words.front());
        const Parsed parsed = ParseWords(words);
        EXPECT_EQ(parsed.request, Request::Start);
        EXPECT_EQ(parsed.qtWords, words);
        EXPECT_FALSE(parsed.folder);
    }

    const Parsed mixed = ParseWords({"-reverse", "--folder", "-line1", "-style", "fusion"});
    EXPECT_EQ(mixed.request, Request::Start);
    EXPECT_EQ(mixed.qtWords, std::vector<std::string>({"-reverse", "-style", "fusion"}));
    EXPECT_EQ(mixed.folder, "-line1");
}

// Anything else refuses the whole line, whatever else it asks, naming the first such word.
TEST(CommandLine, OnlyOurOwnWordsAreAnsweredAndAnyOtherIsRefused)
{
    struct Case {
        std::vector<std::string> words;
        Request request;
        std::string named; // in the refusal; empty where there is none
    };
    const std::vector<Case> cases = {
        {{"-h"}, Request::Help, ""},
        {{"-reverse", "--help", "--version"}, Request::Help, ""},
        {{"-v"}, Request::Version, ""},
        {{"--version"}, Request::Version, ""},
        {{"--folder=line1"}, Request::Start, ""},
        {{"--folder"}, Request::Refuse, "'--folder'"},
        {{"--bogus", "--version"}, Request::Refuse, "'--bogus'"},
        {{"--help", "-folder", "/x"}, Request::Refuse, "'-folder'"},
        {{"-hv"}, Request::Refuse, "'-hv'"},
        {{"line1"}, Request::Refuse, "'line1'"},
        {{"--"}, Request::Refuse, "'--'"},
        {{"-"}, Request::Refuse, "'-'"},
    };
    for (const auto &[words, request, named] : cases) {
        SCOPED_TRACE(words.back());
        const Parsed parsed = ParseWords(words);
        EXPECT_EQ(parsed.request, request);
        EXPECT_NE(parsed.refusal.find(named), std::string::npos) << parsed.refusal;
    }
}

} // namespace
