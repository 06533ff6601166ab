#pragma once

// A line with parity checking marks every byte received with a parity (or framing) error as the
// three bytes 0xFF 0x00 X, and a true 0xFF byte as 0xFF 0xFF, so that the two can be told apart.
// ParityMarks turns that stream back into the received bytes, with the program's replacement
// character for each byte that arrived damaged. A mark cut off at the end of one read is kept and
// finished by the next, so a stream decodes the same however it was split.

#include <string>
#include <string_view>

class ParityMarks
{
public:
    // What a byte with a parity error is delivered as.
    static constexpr char kReplacement = '?';

    // Appends the bytes `received` stands for to `decoded`.
    void Decode(std::string_view received, std::string &decoded);
    // Forgets a mark begun in an earlier read (the line was closed or its settings changed).
    void Reset() { pending_.clear(); }

private:
    std::string pending_; // the start of a mark: 0xFF, or 0xFF 0x00
};
