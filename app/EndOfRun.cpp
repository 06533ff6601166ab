#include "app/EndOfRun.h"

#include "app/ExitStatus.h"
#include "conversions/Windows1252.h"
#include "session/Session.h"

#include <cstdio>

int EndOfRun(const Session &session)
{
    const std::string unwritten = session.UnwrittenLines();
    if (unwritten.empty())
        return ExitStatus::kOk;
    std::fprintf(stderr, "tamvi: %s\n", Windows1252::NativeFromText(unwritten).c_str());
    return ExitStatus::kFailure;
}
