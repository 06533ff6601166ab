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
};

Parsed ParseWords(std::vector<std::string> words)
{
    words.insert(words.begin(), "tamvi");
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    const CommandLine::Options options = CommandLine::Parse(int(argv.size()), argv.data());
    Parsed parsed{options.request, {}, options.folder};
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

TEST(CommandLine, OnlyOurOwnWordsAreAnsweredOrRefused)
{
    const std::vector<std::pair<std::vector<std::string>, Request>> cases = {
        {{"-h"}, Request::Help},
        {{"-reverse", "--help"}, Request::Help},
        {{"-v"}, Request::Version},
        {{"--version"}, Request::Version},
        {{"--folder=line1"}, Request::Start},
        {{"--folder"}, Request::Refuse},
        {{"--bogus"}, Request::Refuse},
        {{"-hv"}, Request::Start}, // not ours: Qt ignores what it does not know
    };
    for (const auto &[words, request] : cases) {
        SCOPED_TRACE(words.back());
        EXPECT_EQ(ParseWords(words).request, request);
    }
}

} // namespace
