#pragma once

// How the program opens every file of its folder (the settings file, the day's log file): no
// controlling terminal, never blocking (a named pipe with no reader would block an open for ever),
// closed on exec, and checked once open to be a regular file. Anything else at the name is a
// failure of that file, so a planted pipe, device or folder cannot hang the program. A file the
// program writes line by line follows no link at the last step either, so a planted link cannot
// send its lines somewhere else.

#include <string>
#include <sys/types.h>

namespace RegularFile
{

constexpr const char *kNotRegular = "not a regular file";

struct Opened {
    int fd = -1;          // the open file, or -1
    std::string failure;  // why not: the system's reason or kNotRegular
    bool missing = false; // nothing was at the name (and `flags` did not create it)
};

// Whether a symbolic link at the name may lead to the file: only for a file that is read (the
// settings file may be shared between folders through a link; its save replaces the link's
// target).
enum class LastLink { Refuse, Follow };

// `flags` are open(2)'s access and creation flags; the caller closes the descriptor.
Opened Open(const std::string &path, int flags, mode_t mode, LastLink lastLink);

} // namespace RegularFile
