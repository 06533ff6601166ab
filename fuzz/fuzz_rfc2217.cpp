// Whatever a server sends, cut anywhere, through the client's telnet side: the data and the
// answers do not depend on where the stream was cut, every answer is a whole negotiation, and
// the client's own escaping of the same bytes comes back unchanged.

#include "FuzzCheck.h"

#include "serial/Rfc2217.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    FuzzedDataProvider input(bytes, size);
    const std::string cuts = input.ConsumeBytesAsString(input.ConsumeIntegralInRange(0, 16));
    const std::string stream = input.ConsumeRemainingBytesAsString();

    Rfc2217Client whole;
    std::string wholeData;
    std::string wholeReply;
    whole.Receive(stream, wholeData, wholeReply);

    Rfc2217Client pieces;
    std::string data;
    std::string reply;
    std::size_t at = 0;
    for (const char cut : cuts) {
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::uint8_t>(cut), stream.size() - at);
        pieces.Receive(std::string_view(stream).substr(at, length), data, reply);
        at += length;
    }
    pieces.Receive(std::string_view(stream).substr(at), data, reply);

    FUZZ_CHECK(data == wholeData && reply == wholeReply);
    FUZZ_CHECK(data.size() <= stream.size());
    FUZZ_CHECK(reply.size() % 3 == 0);
    for (std::size_t i = 0; i < reply.size(); i += 3)
        FUZZ_CHECK(static_cast<std::uint8_t>(reply[i]) == 255);
    FUZZ_CHECK(pieces.Cts() == whole.Cts() && pieces.ComPortOption() == whole.ComPortOption());

    Rfc2217Client echo;
    std::string echoed;
    std::string none;
    echo.Receive(Rfc2217Client::Escape(stream), echoed, none);
    FUZZ_CHECK(echoed == stream && none.empty());
    return 0;
}
