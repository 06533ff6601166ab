#pragma once

// One run per folder: a lock on a file in the folder that the system holds for this process and
// releases when it ends, however it ends (kill -9, a crash, a power cut), so no stale lock is ever
// left to remove by hand. A run that finds the lock taken writes nothing into the folder.

#include <string>

class FolderLock
{
public:
    static constexpr const char *kFileName = "tamvi.lock";

    // Tries once; Held() says whether it worked, Failure() why not.
    explicit FolderLock(const std::string &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool Held() const { return failure_.empty(); }
    // "in use by another Tamvi (process 1234)" or the system's reason.
    const std::string &Failure() const { return failure_; }

private:
    int fd_ = -1;
    std::string failure_;
};
