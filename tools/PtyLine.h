#pragma once

// The device's end of a pseudo-terminal pair, linked as <program folder>/ports/com<n> so that the
// program opens it as port n. The device keeps one slave descriptor open for its whole life: a
// pty whose slave was never opened, or whose slave descriptors are all closed, answers the master
// with EIO, so the line would break whenever the program closes the port.

#include <filesystem>
#include <string>

class PtyLine
{
public:
    // Opens the pair (raw, the master non-blocking); Ok() tells whether that worked.
    PtyLine();
    ~PtyLine(); // removes the link if it is still ours
    PtyLine(const PtyLine &) = delete;
    PtyLine &operator=(const PtyLine &) = delete;

    bool Ok() const { return master_ >= 0; }
    int MasterFd() const { return master_; }
    const std::string &SlavePath() const { return slavePath_; }

    // Makes <folder>/ports/com<n> point at the slave. An existing link into /dev/pts (left by a
    // device that was killed) is replaced; anything else there is the user's and is kept: then
    // the result is false and `error` says why.
    bool Link(const std::filesystem::path &folder, int n, std::string &error);
    void Unlink();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
    std::filesystem::path link_;
};
