#include "serial/ParityMarks.h"

namespace
{

constexpr char kMark = '\xFF';

} // namespace

void ParityMarks::Decode(std::string_view received, std::string &decoded)
{
    for (const char byte : received) {
        if (pending_.empty()) {
            if (byte == kMark)
                pending_.push_back(byte);
            else
                decoded.push_back(byte);
        } else if (pending_.size() == 2) {
            decoded.push_back(kReplacement); // 0xFF 0x00 X: X arrived damaged
            pending_.clear();
        } else if (byte == kMark) {
            decoded.push_back(kMark); // 0xFF 0xFF: one true 0xFF
            pending_.clear();
        } else if (byte == '\0') {
            pending_.push_back(byte);
        } else {
            // Not a mark the line makes; pass it on as it came.
            decoded.push_back(kMark);
            decoded.push_back(byte);
            pending_.clear();
        }
    }
}
