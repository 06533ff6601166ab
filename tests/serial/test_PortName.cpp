#include "serial/NetworkAddress.h"
#include "serial/PortName.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

// Only a link at ports/com<n> is the program's to replace or remove; a file or a folder there is
// the user's and stays, whichever device is chosen.
TEST(LinkPort, ReplacesOrRemovesALinkAndNothingElse)
{
    const TempFolder folder;
    const fs::path link = folder.Path() / "ports" / "com3";
    struct InTheWay {
        const char *what;
        std::function<void()> make;
        fs::file_type type;
    };
    const InTheWay cases[] = {
        {"a regular file", [&] { std::ofstream(link) << "notes"; }, fs::file_type::regular},
        {"a folder", [&] { fs::create_directory(link); }, fs::file_type::directory},
    };
    for (const InTheWay &c : cases) {
        for (const char *device : {"/dev/ttyS2", "/dev/ttyUSB0"}) {
            SCOPED_TRACE(std::string(c.what) + " when choosing " + device);
            fs::remove_all(folder.Path() / "ports");
            fs::create_directory(folder.Path() / "ports");
            c.make();
            const PortLinkResult result = LinkPort(folder.Str(), 3, device);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.path, link.string());
            EXPECT_EQ(result.reason, std::string(c.what) + ", not a link: left as it is");
            EXPECT_EQ(fs::symlink_status(link).type(), c.type);
            if (c.type == fs::file_type::regular) {
                EXPECT_EQ(ReadFileBytes(link), "notes");
            }
        }
    }

    fs::remove_all(folder.Path() / "ports");
    EXPECT_TRUE(LinkPort(folder.Str(), 3, "/dev/ttyUSB0").ok);
    EXPECT_TRUE(LinkPort(folder.Str(), 3, "/dev/ttyUSB1").ok);
    EXPECT_EQ(fs::read_symlink(link), "/dev/ttyUSB1");
    EXPECT_TRUE(LinkPort(folder.Str(), 3, "/dev/ttyS2").ok);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_TRUE(LinkPort(folder.Str(), 3, "/dev/ttyS2").ok) << "no link, nothing to remove";
}

// A link's text is a network address only when all of it is one; what a user types is checked
// the same way, so that what Setup stores is what the port reads back.
TEST(NetworkAddress, ReadsWhatItWritesAndNothingElse)
{
    using P = NetworkAddress::Protocol;
    const struct {
        const char *text;
        std::optional<NetworkAddress> address;
    } cases[] = {
        {"rfc2217://lab7:4001", NetworkAddress{P::Rfc2217, "lab7", 4001}},
        {"tcp://192.168.1.20:23", NetworkAddress{P::RawTcp, "192.168.1.20", 23}},
        {"tcp://[fe80::1%eth0]:65535", NetworkAddress{P::RawTcp, "fe80::1%eth0", 65535}},
        {"/dev/ttyUSB0", std::nullopt},
        {"rfc2217://lab7", std::nullopt},
        {"rfc2217://lab7:0", std::nullopt},
        {"rfc2217://lab7:65536", std::nullopt},
        {"rfc2217://:4001", std::nullopt},
        {"tcp://fe80::1:4001", std::nullopt},
        {"tcp://lab 7:4001", std::nullopt},
        {"TCP://lab7:4001", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const auto read = ParseNetworkAddress(c.text);
        ASSERT_EQ(read.has_value(), c.address.has_value());
        if (!read)
            continue;
        EXPECT_EQ(read->protocol, c.address->protocol);
        EXPECT_EQ(read->host, c.address->host);
        EXPECT_EQ(read->port, c.address->port);
        EXPECT_EQ(read->Text(), c.text);
    }
    EXPECT_EQ(NetworkAddressProblem("lab7", "4001"), "");
    EXPECT_EQ(NetworkAddressProblem("", "4001"), "no host");
    EXPECT_EQ(NetworkAddressProblem("lab/7", "4001"), "the host holds \"/\"");
    EXPECT_EQ(NetworkAddressProblem("l\xc3\xa4"
                                    "b7",
                                    "4001"),
              "the host holds a character other than letters, digits, \"-\", \".\" and \"_\"");
    EXPECT_EQ(NetworkAddressProblem("lab7", "70000"), "the port number is not one of 1 to 65535");
}

// A link to a network address names a port that is there, though no file stands at its text.
TEST(NetworkAddress, ALinkToAnAddressIsAPortThatIsThere)
{
    const TempFolder folder;
    const fs::path net = folder.Path() / "com1";
    const fs::path gone = folder.Path() / "com2";
    fs::create_symlink("rfc2217://lab7:4001", net);
    fs::create_symlink("/dev/serial/by-id/usb-gone", gone);
    EXPECT_TRUE(PortIsThere(net.string()));
    EXPECT_FALSE(PortIsThere(gone.string()));
    EXPECT_EQ(NetworkAddressAt(net.string())->host, "lab7");
}
