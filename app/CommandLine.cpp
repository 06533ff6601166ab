#include "app/CommandLine.h"

#include "app/ExitStatus.h"

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

bool IsQtOption(std::string_view word)
{
    if (!word.starts_with('-') || word == "-" || word == "--")
        return false;
    const std::string_view name = QtName(word);
    return IsOneOf(name, kQtOptionsWithValue) || IsOneOf(name, kQtFlags);
}

constexpr std::string_view kUsageLine = "Usage: tamvi [options] [Qt's options]";

std::string Usage(const std::string &plainStartFolder)
{
    return std::string(kUsageLine) +
           "\n"
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
    // A refusal wins over everything else on the line, --help and --version included: a slip
    // anywhere must not pass for a run that did what was asked.
    std::optional<Options::Request> answer;
    const auto refuse = [&](std::string reason) {
        if (options.refusal.empty())
            options.refusal = std::move(reason);
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h") {
            answer = answer.value_or(Options::Request::Help);
        } else if (word == "--version" || word == "-v") {
            answer = answer.value_or(Options::Request::Version);
        } else if (word == "--headless") {
            options.headless = true;
        } else if (word == "--folder") {
            if (i + 1 == argc)
                refuse("Missing value after '--folder'.");
            else
                options.folder = argv[++i];
        } else if (word.starts_with("--folder=")) {
            options.folder = std::string(word.substr(9));
        } else if (!IsQtOption(word)) {
            refuse((word.starts_with('-') ? "Unknown option '" : "Unexpected word '") +
                   std::string(word) + "'.");
        } else {
            options.qtArguments.push_back(argv[i]);
            options.platformNamed = options.platformNamed || QtName(word) == "platform";
            if (IsOneOf(QtName(word), kQtOptionsWithValue) &&
                word.find('=') == std::string_view::npos && i + 1 < argc)
                options.qtArguments.push_back(argv[++i]);
        }
    }
    if (!options.refusal.empty())
        options.request = Options::Request::Refuse;
    else if (answer)
        options.request = *answer;
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
        return ExitStatus::kOk;
    case Options::Request::Version:
        std::printf("tamvi %d.%d\n", TAMVI_VERSION_MAJOR, TAMVI_VERSION_MINOR);
        return ExitStatus::kOk;
    case Options::Request::Refuse:
        std::fprintf(stderr, "tamvi: %s %s (tamvi --help tells more)\n", options.refusal.c_str(),
                     kUsageLine.data());
        return ExitStatus::kUsage;
    }
    return ExitStatus::kUsage;
}

} // namespace CommandLine
