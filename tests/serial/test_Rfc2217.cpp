#include "serial/DeviceServerLine.h"
#include "serial/Rfc2217.h"

#include <gtest/gtest.h>

namespace
{

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int v : values)
        bytes += static_cast<char>(v);
    return bytes;
}

// What the client makes of the server's bytes when they come one at a time.
std::string ReceiveByteByByte(Rfc2217Client &client, const std::string &bytes, std::string &reply)
{
    std::string data;
    for (const char c : bytes)
        client.Receive(std::string_view(&c, 1), data, reply);
    return data;
}

} // namespace

// Every byte value passes both ways unchanged, IAC included, however the stream is cut.
TEST(Rfc2217, EveryByteValuePassesBothWays)
{
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    all += Bytes({255, 255, 0xFF});
    const std::string sent = Rfc2217Client::Escape(all);
    EXPECT_EQ(sent.size(), all.size() + 4); // four IACs
    Rfc2217Client client;
    std::string reply;
    EXPECT_EQ(ReceiveByteByByte(client, sent, reply), all);
    EXPECT_EQ(reply, "");
}

// The client agrees to what it asked for, refuses the rest once, and answers no answer.
TEST(Rfc2217, NegotiatesTheOptionAndNothingElse)
{
    Rfc2217Client client;
    EXPECT_EQ(client.Greeting(), Bytes({255, 251, 0, 255, 253, 0, 255, 251, 44}));
    EXPECT_EQ(client.ComPortOption(), Rfc2217Client::Option::Asked);
    std::string reply;
    const std::string data =
        ReceiveByteByByte(client, Bytes({'a', 255, 253, 44,  255, 253, 0,   255, 251, 0,   'b', 255,
                                         251, 1,   255, 253, 24,  255, 251, 3,   255, 241, 'c'}),
                          reply);
    EXPECT_EQ(data, "abc");
    // ECHO refused, TERMINAL-TYPE refused, SUPPRESS-GO-AHEAD agreed; the asked ones not again.
    EXPECT_EQ(reply, Bytes({255, 254, 1, 255, 252, 24, 255, 253, 3}));
    EXPECT_EQ(client.ComPortOption(), Rfc2217Client::Option::Agreed);
    EXPECT_TRUE(client.SawTelnet());

    reply.clear();
    ReceiveByteByByte(client, Bytes({255, 254, 44, 255, 254, 44}), reply);
    EXPECT_EQ(client.ComPortOption(), Rfc2217Client::Option::Refused);
    EXPECT_EQ(reply, Bytes({255, 252, 44})); // the option was on: its end is confirmed once
}

// The requests carry the line; the answers and the modem state come back in any pieces.
TEST(Rfc2217, RequestsTheLineAndReadsTheAnswers)
{
    const Rfc2217Client::Line line{115200, 7, 'E', 2, false};
    EXPECT_EQ(Rfc2217Client::LineRequests(line, true, false),
              Bytes({255, 250, 44,  1,   0,   1,   194, 0,   255, 240, 255, 250, 44,
                     2,   7,   255, 240, 255, 250, 44,  3,   3,   255, 240, 255, 250,
                     44,  4,   2,   255, 240, 255, 250, 44,  5,   1,   255, 240, 255,
                     250, 44,  5,   8,   255, 240, 255, 250, 44,  5,   12,  255, 240}));
    Rfc2217Client client;
    std::string reply;
    const std::string data = ReceiveByteByByte(
        client,
        Bytes({255, 250, 44,  101, 0,  0,   37,  128, 255, 240, 'x', 255,  250, 44, 102, 7,
               255, 240, 255, 250, 44, 103, 2,   255, 240, 255, 250, 44,   104, 2,  255, 240,
               255, 250, 44,  105, 11, 255, 240, 255, 250, 44,  107, 0x31, 255, 240}),
        reply);
    EXPECT_EQ(data, "x");
    const auto &answers = client.Answers();
    EXPECT_EQ(answers.baudRate, 9600u);
    EXPECT_EQ(answers.parity, 'O');
    EXPECT_FALSE(answers.Complete()); // the answer about RTS says nothing of the flow control
    EXPECT_TRUE(client.Cts());
    ReceiveByteByByte(client, Bytes({255, 250, 44, 105, 3, 255, 240}), reply);
    EXPECT_EQ(answers.rtsCts, true);
    EXPECT_TRUE(answers.Complete());
}

// What the server did not take is told in a device's terms; without the option the line says so.
TEST(DeviceServerLine, NamesWhatTheServerDidNotTake)
{
    using P = NetworkAddress::Protocol;
    const Rfc2217Client::Line line{19200, 8, 'N', 1, false};
    const std::string dont = Bytes({255, 254, 44});
    const std::string agreed =
        Bytes({255, 253, 44,  255, 250, 44, 101, 0, 0,   37,  128, 255, 240, 255, 250, 44,  102,
               8,   255, 240, 255, 250, 44, 103, 1, 255, 240, 255, 250, 44,  105, 1,   255, 240});
    const struct {
        const char *name;
        P protocol;
        std::string server;
        bool stopWaiting;
        std::vector<std::string> told;
    } cases[] = {
        {"raw TCP",
         P::RawTcp,
         "",
         false,
         {"line settings 19200,N,8,1: what the server's port is set to (raw TCP carries no "
          "settings)"}},
        {"refused",
         P::Rfc2217,
         dont,
         false,
         {"line settings 19200,N,8,1: what the server's port is set to (the server refused RFC "
          "2217; going on as raw TCP)"}},
        {"never telnet",
         P::Rfc2217,
         "data",
         true,
         {"line settings 19200,N,8,1: what the server's port is set to (the server did not "
          "answer RFC 2217; going on as raw TCP)"}},
        {"answered",
         P::Rfc2217,
         agreed,
         true,
         {"baud rate 19200: 9600", "stop bits 1: what the server did not say (no answer)"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        DeviceServerLine server(c.protocol);
        server.Start();
        server.SetLine(line);
        std::string data;
        server.Receive(c.server, data);
        EXPECT_EQ(server.Settled(), !c.stopWaiting);
        if (c.stopWaiting)
            server.StopWaiting();
        std::vector<std::string> told;
        for (const SerialPort::NotTaken &n : server.NotTaken())
            told.push_back(n.setting + " " + n.wanted + ": " + n.running);
        EXPECT_EQ(told, c.told);
    }
}
