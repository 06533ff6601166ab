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
