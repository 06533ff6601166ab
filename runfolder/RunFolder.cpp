#include "runfolder/RunFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace RunFolder
{

namespace
{

// "/a/b/" and "/a/./b" name the same folder as "/a/b"; messages and log lines show that one.
std::string Tidy(const fs::path &folder)
{
    fs::path tidy = folder.lexically_normal();
    if (!tidy.has_filename() && tidy.has_relative_path())
        tidy = tidy.parent_path();
    return tidy.string();
}

std::string HomeFolder()
{
    if (const char *home = std::getenv("HOME"); home && *home)
        return home;
    // A service may run without HOME; the password database still knows the user's home.
    const passwd *user = ::getpwuid(::getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

} // namespace

DefaultPlace BuiltPlace()
{
#ifdef TAMVI_FOLDER_IN_DATA_HOME
    return DefaultPlace::DataHome;
#else
    return DefaultPlace::ExecutableFolder;
#endif
}

Surroundings OfThisProcess()
{
    Surroundings surroundings;
    std::error_code error;
    surroundings.workingDirectory = fs::current_path(error).string();
    surroundings.executableFolder = fs::read_symlink("/proc/self/exe", error).parent_path();
    if (const char *dataHome = std::getenv("XDG_DATA_HOME"))
        surroundings.xdgDataHome = dataHome;
    surroundings.home = HomeFolder();
    return surroundings;
}

Choice Choose(const std::optional<std::string> &named, DefaultPlace place,
              const Surroundings &surroundings)
{
    if (named) {
        if (named->empty())
            return {"", "--folder needs a folder name"};
        return {Tidy(fs::path(surroundings.workingDirectory) / *named), ""};
    }
    if (place == DefaultPlace::ExecutableFolder)
        return {Tidy(surroundings.executableFolder), ""};
    // By the XDG base directory rules a data home that is empty or relative is ignored.
    if (surroundings.xdgDataHome && fs::path(*surroundings.xdgDataHome).is_absolute())
        return {Tidy(fs::path(*surroundings.xdgDataHome) / "tamvi"), ""};
    if (surroundings.home.empty())
        return {"", "neither XDG_DATA_HOME nor HOME names a folder for Tamvi's files"};
    return {Tidy(fs::path(surroundings.home) / ".local/share/tamvi"), ""};
}

std::string DescribePlainStart()
{
    const DefaultPlace place = BuiltPlace();
    const Choice choice = Choose(std::nullopt, place, OfThisProcess());
    const std::string where = choice.folder.empty() ? "(" + choice.reason + ")" : choice.folder;
    return place == DefaultPlace::DataHome
               ? where + "\n  ($XDG_DATA_HOME/tamvi, or ~/.local/share/tamvi without it)"
               : where + "\n  (the folder of the executable)";
}

std::string Make(const std::string &folder)
{
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error))
        return std::strerror(ENOTDIR);
    fs::create_directories(folder, error);
    return error ? error.message() : "";
}

Claim::Claim(const std::optional<std::string> &named)
{
    const Choice choice = Choose(named, BuiltPlace(), OfThisProcess());
    if (choice.folder.empty()) {
        failure_ = "cannot choose a folder: " + choice.reason;
        return;
    }
    folder_ = choice.folder;
    std::string reason = Make(folder_);
    if (reason.empty()) {
        lock_ = std::make_unique<FolderLock>(folder_);
        reason = lock_->Failure();
    }
    if (!reason.empty())
        failure_ = "cannot use the folder " + folder_ + ": " + reason;
}

} // namespace RunFolder
