// Where a run keeps its files, and one run per folder with real processes.

#include "runfolder/FolderLock.h"
#include "runfolder/RunFolder.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

using RunFolder::DefaultPlace;

TEST(RunFolder, TheFolderIsChosenByTheCommandLineOrTheBuildsRule)
{
    const RunFolder::Surroundings home{"/work/bench", "/opt/tamvi/", std::nullopt, "/home/eva"};
    auto withDataHome = [&](std::optional<std::string> dataHome) {
        RunFolder::Surroundings surroundings = home;
        surroundings.xdgDataHome = std::move(dataHome);
        return surroundings;
    };
    struct Case {
        const char *what;
        std::optional<std::string> named;
        DefaultPlace place;
        RunFolder::Surroundings surroundings;
        std::string folder;
    };
    const Case cases[] = {
        {"explicit", "/srv/line1/", DefaultPlace::DataHome, home, "/srv/line1"},
        {"relative", "line2/../line1", DefaultPlace::ExecutableFolder, home, "/work/bench/line1"},
        {"portable", std::nullopt, DefaultPlace::ExecutableFolder, home, "/opt/tamvi"},
        {"data home", std::nullopt, DefaultPlace::DataHome, withDataHome("/data"), "/data/tamvi"},
        {"data home unset", std::nullopt, DefaultPlace::DataHome, home,
         "/home/eva/.local/share/tamvi"},
        {"data home empty", std::nullopt, DefaultPlace::DataHome, withDataHome(""),
         "/home/eva/.local/share/tamvi"},
        {"data home relative", std::nullopt, DefaultPlace::DataHome, withDataHome("data"),
         "/home/eva/.local/share/tamvi"},
        {"no home", std::nullopt, DefaultPlace::DataHome, {"/", "/opt", std::nullopt, ""}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const RunFolder::Choice choice = RunFolder::Choose(c.named, c.place, c.surroundings);
        EXPECT_EQ(choice.folder, c.folder);
        EXPECT_EQ(choice.reason.empty(), !c.folder.empty());
    }
}

TEST(RunFolder, MissingLevelsAreMadeAndAFolderThatCannotBeIsRefused)
{
    TempFolder temporary;
    const fs::path deep = temporary.Path() / "a" / "b" / "c";
    EXPECT_EQ(RunFolder::Make(deep.string()), "");
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(RunFolder::Make(deep.string()), "");

    std::ofstream(temporary.Path() / "file") << "x";
    EXPECT_EQ(RunFolder::Make((temporary.Path() / "file").string()), "Not a directory");
    EXPECT_EQ(RunFolder::Make((temporary.Path() / "file" / "sub").string()), "Not a directory");
    if (::geteuid() != 0) {
        fs::permissions(temporary.Path() / "a", fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_EQ(RunFolder::Make((temporary.Path() / "a" / "new").string()), "Permission denied");
    }
}

// A child process that takes the lock and waits to be killed; the pipe says when it holds it.
// Before it says so it opens and closes the folder once more, as a port link planted to point at
// the folder would make it do: that must not release the lock.
pid_t HoldInChild(const std::string &folder)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        FolderLock lock(folder);
        ::close(::open(folder.c_str(), O_RDONLY | O_CLOEXEC));
        const char held = lock.Held() ? 1 : 0;
        [[maybe_unused]] const auto ignored = ::write(ready[1], &held, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    const bool told = ::read(ready[0], &held, 1) == 1;
    ::close(ready[0]);
    return told && held ? child : -1;
}

TEST(FolderLock, OneProcessHoldsAFolderUntilItDiesHoweverItDies)
{
    TempFolder folder;
    const pid_t first = HoldInChild(folder.Str());
    ASSERT_GT(first, 0);

    {
        const FolderLock second(folder.Str());
        EXPECT_FALSE(second.Held());
        EXPECT_EQ(second.Failure(),
                  "in use by another Tamvi (process " + std::to_string(first) + ")");
    }
    // No file in the folder holds the lock, so no rm can take it away.
    EXPECT_TRUE(fs::is_empty(folder.Path()));

    ::kill(first, SIGKILL);
    ::waitpid(first, nullptr, 0);
    const FolderLock after(folder.Str());
    EXPECT_TRUE(after.Held()) << after.Failure();
}

} // namespace
