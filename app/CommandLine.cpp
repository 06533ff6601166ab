#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace CommandLine
{

namespace
{

// Qt's documented options that take the next word as their value: that word is Qt's too, even
// when it looks like one of ours. Qt accepts each with one dash or two.
constexpr std::array<std::string_view, 19> kQtOptionsWithValue = {
    "platform",
    "platformpluginpath",
    "platformtheme",
    "plugin",
    "qwindowgeometry",
    "qwindowicon",
    "qwindowtitle",
    "session",
    "style",
    "stylesheet",
    "display",
    "geometry",
    "title",
    "name",
    "icon",
    "visual",
    "ncols",
    "im",
    "inputstyle",
};
// Qt's documented options without a value, which Qt also accepts with two dashes.
constexpr std::array<std::string_view, 7> kQtFlags = {
    "reverse", "widgetcount", "nograb", "dograb", "sync", "cmap", "qmljsdebugger",
};

bool IsOneOf(std::string_view name, const auto &names)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The option's name without its dashes and without an "=value".
std::string_view QtName(std::string_view word)
{
    word.remove_prefix(word.starts_with("--") ? 2 : 1);
    return word.substr(0, word.find('='));
}

std::string Usage(const std::string &plainStartFolder)
{
    return "Usage: tamvi [options] [Qt's options]\n"
           "Watches, logs and drives one serial line.\n"
           "\n"
           "Options:\n"
           "  -h, --help       Shows this text.\n"
           "  -v, --version    Shows the version.\n"
           "  --folder DIR     Keeps this run's files in DIR, made when missing: tamvi.set,\n"
           "                   logfile/ and ports/. One run per folder.\n"
           "  --headless       Runs as a logging station without a screen: no window,\n"
           "                   messages on standard error, a missing device waited for;\n"
           "                   SIGTERM, SIGINT and SIGHUP end it as Quit does.\n"
           "\n"
           "A start without --folder keeps its files in\n  " +
           plainStartFolder +
           "\n\n"
           "Qt's own options (-platform NAME, -reverse, -stylesheet FILE ...) go to Qt.\n";
}

} // namespace

Options Parse(int argc, char **argv)
{
    Options options;
    options.qtArguments.push_back(argc > 0 ? argv[0] : nullptr);
    const auto refuse = [&](std::string reason) {
        if (options.request == Options::Request::Start)
            options.refusal = std::move(reason);
        options.request = Options::Request::Refuse;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h") {
            options.request = Options::Request::Help;
            return options;
        }
        if (word == "--version" || word == "-v") {
            options.request = Options::Request::Version;
            return options;
        }
        if (word == "--headless") {
            options.headless = true;
        } else if (word == "--folder") {
            if (i + 1 == argc)
                refuse("Missing value after '--folder'.");
            else
                options.folder = argv[++i];
        } else if (word.starts_with("--folder=")) {
            options.folder = std::string(word.substr(9));
        } else if (word.starts_with('-') && word.size() > 1) {
            const std::string_view name = QtName(word);
            const bool qtHasValue = IsOneOf(name, kQtOptionsWithValue);
            if (word.starts_with("--") && !qtHasValue && !IsOneOf(name, kQtFlags)) {
                refuse("Unknown option '" + std::string(word.substr(2)) + "'.");
                continue;
            }
            options.qtArguments.push_back(argv[i]);
            if (qtHasValue && word.find('=') == std::string_view::npos && i + 1 < argc)
                options.qtArguments.push_back(argv[++i]);
        } else {
            options.qtArguments.push_back(argv[i]);
        }
    }
    options.qtArgumentCount = int(options.qtArguments.size());
    options.qtArguments.push_back(nullptr);
    return options;
}

std::optional<int> Answer(const Options &options, const std::string &plainStartFolder)
{
    switch (options.request) {
    case Options::Request::Start:
        return std::nullopt;
    case Options::Request::Help:
        std::fputs(Usage(plainStartFolder).c_str(), stdout);
        return 0;
    case Options::Request::Version:
        std::printf("tamvi %d.%d\n", TAMVI_VERSION_MAJOR, TAMVI_VERSION_MINOR);
        return 0;
    case Options::Request::Refuse:
        std::fputs((options.refusal + "\n\n" + Usage(plainStartFolder)).c_str(), stderr);
        return 2;
    }
    return 2;
}

} // namespace CommandLine
