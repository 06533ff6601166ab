#pragma once

// One run per folder: a lock on the folder itself that the system holds for this run and
// releases when it ends, however it ends (kill -9, a crash, a power cut). It leaves no file
// behind, needs no write permission, and no stray rm or rename of a file in the folder, nor the
// closing of some other descriptor of the folder, takes it away. A run that finds the lock taken
// writes nothing into the folder.

#include <string>

class FolderLock
{
public:
    // Tries once; Held() says whether it worked, Failure() why not.
    explicit FolderLock(const std::string &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    bool Held() const { return failure_.empty(); }
    // "in use by another Tamvi (process 1234)" or the system's reason.
    const std::string &Failure() const { return failure_; }
    // Another run holds it.
    bool Taken() const { return taken_; }

private:
    int fd_ = -1;
    bool taken_ = false;
    std::string failure_;
};
