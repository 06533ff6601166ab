#pragma once

// The run's folder: where tamvi.set, the default log folder and ports/ live. It is chosen once at
// start, made when missing, and held by one run at a time.

#include "runfolder/FolderLock.h"

#include <memory>
#include <optional>
#include <string>

namespace RunFolder
{

// Where a plain start (no --folder) keeps its folder. A program folder that runs from wherever it
// is copied keeps it beside the executable; an installed program, whose executable lies where no
// user may write, keeps it in the user's data home.
enum class DefaultPlace { ExecutableFolder, DataHome };

// The place this build uses: the data home in the build for the Debian package.
DefaultPlace BuiltPlace();

// The process's circumstances that the choice depends on.
struct Surroundings {
    std::string workingDirectory;
    std::string executableFolder;
    std::optional<std::string> xdgDataHome; // unset when the variable is not set
    std::string home;                       // empty when unknown
};

// This process's surroundings, from its environment and /proc.
Surroundings OfThisProcess();

// The folder a run uses, or the reason there is none (empty folder).
struct Choice {
    std::string folder;
    std::string reason;
};

// `named` is --folder's value, relative to the working directory when it is relative.
Choice Choose(const std::optional<std::string> &named, DefaultPlace place,
              const Surroundings &surroundings);

// Where a start without --folder keeps its files, and by which rule, for the usage text.
std::string DescribePlainStart();

// Makes the folder with every missing level; an empty text when it is a usable folder, otherwise
// the reason.
std::string Make(const std::string &folder);

// The run's folder chosen by this build's rule, made and locked for as long as this object lives.
class Claim
{
public:
    explicit Claim(const std::optional<std::string> &named);

    bool Ok() const { return failure_.empty(); }
    const std::string &Folder() const { return folder_; }
    // Names the folder and the reason, for a message on its own.
    const std::string &Failure() const { return failure_; }
    // The folder is usable but another run holds it.
    bool InUse() const { return lock_ && lock_->Taken(); }

private:
    std::string folder_;
    std::unique_ptr<FolderLock> lock_;
    std::string failure_;
};

} // namespace RunFolder
