#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

namespace CommandLine
{

namespace
{

void Describe(QCommandLineParser &parser)
{
    QCoreApplication::setApplicationName(QStringLiteral("tamvi"));
    QCoreApplication::setApplicationVersion(
        QStringLiteral("%1.%2").arg(TAMVI_VERSION_MAJOR).arg(TAMVI_VERSION_MINOR));
    parser.setApplicationDescription(QStringLiteral(
        "Watches, logs and drives one serial line. Settings, logs and port links live in the "
        "folder of the executable."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("headless"),
        QStringLiteral("Run as a logging station without a screen: no window, messages on "
                       "standard error, a missing device waited for; SIGTERM ends it.")));
}

void Print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
}

} // namespace

std::optional<int> AnswerBeforeStart(int argc, char **argv)
{
    // A core application needs no display; Qt's own options are unknown to it and are judged
    // once the real application has taken them away.
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    Describe(parser);
    static_cast<void>(parser.parse(QCoreApplication::arguments()));
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        Print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        Print(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                    QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

bool AsksForHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

std::optional<int> RefuseUnknownOptions()
{
    QCommandLineParser parser;
    Describe(parser);
    if (parser.parse(QCoreApplication::arguments()))
        return std::nullopt;
    Print(stderr, parser.errorText() + QStringLiteral("\n\n") + parser.helpText());
    return 2;
}

} // namespace CommandLine
