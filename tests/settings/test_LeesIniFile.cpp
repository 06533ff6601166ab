#include "settings/LeesIniFile.h"

#include "logfile/logfile.h"
#include "support/FakeClock.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <grp.h>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace LeesIniFile;
namespace fs = std::filesystem;

namespace
{

const std::string kDebugText = "DEBUG: Bij instellingen geen logfilepath ingevuld, default: ";

// The lines of every quick-send table from `firstLine` on, all values empty.
std::string EmptyQuickLines(int firstLine)
{
    const char *keys[] = {"Sneltekst", "TxChar1", "TxChar2", "TxChar3", "TxChar4", "TxChar5",
                          "TxString6", "TxChar7", "TxChar8", "TxChar9", "Check"};
    std::string text;
    for (int line = firstLine; line < 210; ++line)
        text += " " + std::to_string(line) + "        " + keys[(line - 100) / 10] + " ->\r\n";
    return text;
}

constexpr QuickTable SettingsRecord::*kTables[] = {
    &SettingsRecord::Sneltekst, &SettingsRecord::TxChar1, &SettingsRecord::TxChar2,
    &SettingsRecord::TxChar3,   &SettingsRecord::TxChar4, &SettingsRecord::TxChar5,
    &SettingsRecord::TxString6, &SettingsRecord::TxChar7, &SettingsRecord::TxChar8,
    &SettingsRecord::TxChar9,   &SettingsRecord::Check};

// The record a file without any setting gives.
SettingsRecord Defaults()
{
    SettingsRecord record;
    record.Start1 = record.Start2 = record.Start3 = record.Start4 = record.Start5 = "-1";
    return record;
}

class SettingsFile : public ::testing::Test
{
protected:
    void WriteFile(const std::string &bytes)
    {
        std::ofstream(folder.Path() / kFileName, std::ios::binary) << bytes;
    }
    std::string FileBytes() const { return ReadFileBytes(folder.Path() / kFileName); }

    SettingsRecord Read()
    {
        SettingsRecord record;
        LeesIni(record, folder.Str(), log);
        return record;
    }
    std::string DefaultLogFile() const
    {
        return ReadFileBytes(folder.Path() / "logfile" / "08122026.log");
    }

    TempFolder folder;
    FakeClock clock{{2026, 12, 8, 14, 5, 9}};
    logfile::LogWriter log{clock};
};

} // namespace

TEST_F(SettingsFile, WritesTheExactLinesEscapedInLineNumberOrder)
{
    SettingsRecord record = Defaults();
    record.compoort = 3;
    record.logfilepath = "/var/log/tamvi";
    record.baudrate = 4;
    record.bits = 1;
    record.Start1 = "0x02";
    record.Start3 = "";
    record.HandShake = 2;
    record.AnsiLogMode = true;
    record.Sneltekst[0] = "a,b ";
    record.Sneltekst[10] = "never stored";

    const SaveResult saved = SchrijfIni(record, folder.Str());
    EXPECT_TRUE(saved.ok) << saved.reason;
    EXPECT_EQ(saved.path, (folder.Path() / "tamvi.set").string());
    EXPECT_EQ(FileBytes(), "0        compoort ->3\r\n"
                           "1        logfilepath ->/var/log/tamvi\r\n"
                           "2        baudrate ->4\r\n"
                           "3        parity ->0\r\n"
                           "4        stopbits ->0\r\n"
                           "5        bits ->1\r\n"
                           "6        Start1 ->0x02\r\n"
                           "7        Start2 ->-1\r\n"
                           "8        Start3 ->\r\n"
                           "9        Start4 ->-1\r\n"
                           "10       Start5 ->-1\r\n"
                           "11       HandShake -> 2\r\n"
                           "12      AnsiLogMode->1\r\n"
                           " 100        Sneltekst ->a\xFB"
                           "b\xFD\r\n" +
                               EmptyQuickLines(101));
    EXPECT_FALSE(fs::exists(folder.Path() / "tamvi.set.tmp"));

    // Negative numbers keep their sign, HandShake without the blank.
    record.compoort = -1;
    record.parity = -1;
    record.stopbits = -32768;
    record.HandShake = -1;
    record.AnsiLogMode = false;
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    const std::string bytes = FileBytes();
    EXPECT_NE(bytes.find("0        compoort ->-1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("3        parity ->-1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("4        stopbits ->-32768\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("11       HandShake ->-1\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("12      AnsiLogMode->0\r\n"), std::string::npos);
    const SettingsRecord back = Read();
    EXPECT_EQ(back.compoort, -1);
    EXPECT_EQ(back.parity, -1);
    EXPECT_EQ(back.stopbits, -32768);
    EXPECT_EQ(back.HandShake, -1);
}

TEST_F(SettingsFile, CommasAndTrailingBlanksSurviveAWriteAndARead)
{
    SettingsRecord record = Defaults();
    record.logfilepath = folder.Str();
    record.TxString6[3] = "x,,y   ";
    record.Check[9] = " ";
    record.Start2 = "5 , 6 ";
    record.TxChar9[8] = "eight\xFD\xFB ";
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    EXPECT_NE(FileBytes().find(" 163        TxString6 ->x\xFB\xFBy  \xFD\r\n"), std::string::npos);
    EXPECT_NE(FileBytes().find(" 209        Check ->\xFD\r\n"), std::string::npos);

    const SettingsRecord back = Read();
    EXPECT_EQ(back.TxString6[3], "x,,y   ");
    EXPECT_EQ(back.Check[9], " ");
    EXPECT_EQ(back.Start2, "5 , 6 ");
    // A genuine 0xFB is read back as a comma: the format cannot carry it, so a Save refuses it,
    // a final 0xFD, and control characters, which would begin another line.
    EXPECT_EQ(back.TxChar9[8], "eight\xFD, ");
    const std::vector<std::pair<std::string, std::optional<char>>> values = {
        {"x,,y   ", std::nullopt},
        {"eight\xFD\xFB ", '\xFB'},
        {"d\xFD", '\xFD'},
        {"\xFD ", std::nullopt},
        {"path\n9 ->", '\n'},
        {"a\x7F", '\x7F'},
        {"\t", '\t'},
    };
    for (const auto &[value, refused] : values)
        EXPECT_EQ(FirstNotStorable(value), refused) << value;
}

// The example a station's administrator copies: its comments, commas in them included, are
// skipped, and it gives the settings it says.
TEST_F(SettingsFile, TheStationExampleReadsAsItsCommentsSay)
{
    fs::copy_file(fs::path(std::getenv("TAMVI_SOURCE_DIR")) / "station" / kFileName,
                  folder.Path() / kFileName);
    SettingsRecord expected = Defaults();
    expected.compoort = 1;
    expected.baudrate = 4;
    expected.bits = 1;
    expected.Start1 = "2";
    expected.AnsiLogMode = true;
    EXPECT_EQ(Read(), expected);
}

TEST_F(SettingsFile, ReadsByLineNumberAlone)
{
    WriteFile("0 compoort ->70000\r\n"       // too large for 16 bits: 0
              "1 logfilepath ->/first\r\n"   //
              "1 again ->/second\r\n"        // the later one wins
              "5 word ->1\r\n"               // the key is never compared
              "  2.5 x ->4\r\n"              // leading blanks dropped; 2.5 is line 2
              "6 Start1 ->0x02\r\n"          //
              "6 no arrow here\r\n"          // stores nothing
              "7 Start2 ->5,8 Start3 ->\r\n" // a raw comma ends an item
              "12 AnsiLogMode->2\n"          // any non-zero number is true; LF alone ends a line
              "11 HandShake -> 1\r"          // CR alone too
              ",,  ,\r\n"                    // empty items are skipped
              "299 x ->9\r\n300 x ->9\r\n5000 x ->9\r\n"
              " 108 Sneltekst ->eight\r\n"
              " 109 Sneltekst ->nine,\r\n" // the empty rest after the comma is skipped
              " 110 TxChar1 ->  two words  \r\n"
              "3 parity ->&H2\r\n");
    SettingsRecord record = Read();
    EXPECT_EQ(record.compoort, 0);
    EXPECT_EQ(record.logfilepath, "/second");
    EXPECT_EQ(record.baudrate, 4);
    EXPECT_EQ(record.parity, 2);
    EXPECT_EQ(record.bits, 1);
    EXPECT_EQ(record.Start1, "0x02");
    EXPECT_EQ(record.Start2, "5");
    EXPECT_EQ(record.Start3, "-1");
    EXPECT_EQ(record.HandShake, 1);
    EXPECT_TRUE(record.AnsiLogMode);
    EXPECT_EQ(record.Sneltekst[8], "eight");
    EXPECT_EQ(record.Sneltekst[9], "nine");
    EXPECT_EQ(record.TxChar1[0], "  two words"); // a trailing blank needs its escape
    EXPECT_EQ(log.LogDirectory(), "/second");
    EXPECT_EQ(DefaultLogFile(), "");

    // Elements 8 and 9 go back into the file unchanged.
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    EXPECT_NE(FileBytes().find(" 108        Sneltekst ->eight\r\n 109        Sneltekst ->nine\r\n"),
              std::string::npos);
}

TEST_F(SettingsFile, ANegativeOrHugeLineNumberEndsTheReading)
{
    WriteFile("0 compoort ->3\r\n"
              "2 baudrate ->4\r\n"
              "-3 x ->1\r\n"
              "3 parity ->2\r\n"
              "1 logfilepath ->/after\r\n");
    SettingsRecord record = Read();
    EXPECT_EQ(record.compoort, 3);
    EXPECT_EQ(record.baudrate, 4);
    EXPECT_EQ(record.parity, 0);
    EXPECT_EQ(record.logfilepath, "");

    WriteFile("0 compoort ->3\r\n"
              "9E99 x ->1\r\n" // no 16-bit number
              "3 parity ->2\r\n");
    record = Read();
    EXPECT_EQ(record.compoort, 3);
    EXPECT_EQ(record.parity, 0);
}

TEST_F(SettingsFile, MissingFileGivesDefaultsAndOneDebugLine)
{
    SettingsRecord record;
    record.compoort = 7;
    record.Start4 = "9";
    record.Check[3] = "stale";
    record.Sneltekst[10] = "kept";
    record.Check[10] = "kept too";
    LeesIni(record, folder.Str(), log);

    SettingsRecord expected = Defaults();
    expected.Sneltekst[10] = "kept";
    expected.Check[10] = "kept too";
    EXPECT_EQ(record, expected);
    const std::string defaultFolder = (folder.Path() / "logfile").string();
    EXPECT_EQ(log.LogDirectory(), defaultFolder);
    EXPECT_EQ(DefaultLogFile(), "14:05:09 " + kDebugText + defaultFolder + "\r\n");

    // Each reading that finds no log folder logs the line once.
    WriteFile("0 compoort ->1\r\n");
    SettingsRecord again;
    logfile::LogWriter secondRun(clock);
    LeesIni(again, folder.Str(), secondRun);
    EXPECT_EQ(DefaultLogFile(), "14:05:09 " + kDebugText + defaultFolder + "\r\n" + "14:05:09 " +
                                    kDebugText + defaultFolder + "\r\n");
}

TEST(DefaultLogDirectory, JoinsWithoutDoublingTheSeparator)
{
    EXPECT_EQ(DefaultLogDirectory("/"), "/logfile");
    EXPECT_EQ(DefaultLogDirectory("/opt/tamvi/"), "/opt/tamvi/logfile");
    EXPECT_EQ(DefaultLogDirectory("/opt/tamvi"), "/opt/tamvi/logfile");
}

TEST_F(SettingsFile, AFailedSaveSaysWhyAndKeepsTheOldFile)
{
    SettingsRecord record = Defaults();
    record.compoort = 2;

    // The program folder lies under a regular file.
    WriteFile("not a folder");
    SaveResult saved = SchrijfIni(record, (folder.Path() / kFileName / "sub").string());
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.reason, "Not a directory");

    // "tamvi.set" is a folder: the rename fails and the temporary file goes again.
    const TempFolder other;
    fs::create_directory(other.Path() / kFileName);
    saved = SchrijfIni(record, other.Str());
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.path, (other.Path() / kFileName).string());
    EXPECT_FALSE(saved.reason.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(other.Path()), fs::directory_iterator()), 1);

    // The disk fills up part way: the previous file stays byte for byte.
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    const std::string before = FileBytes();
    record.compoort = 9;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{100, limit.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    saved = SchrijfIni(record, folder.Str());
    setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.reason, "File too large");
    EXPECT_EQ(FileBytes(), before);
    EXPECT_FALSE(fs::exists(folder.Path() / "tamvi.set.tmp"));
}

TEST_F(SettingsFile, RandomRecordsSurviveAWriteAndARead)
{
    // Every byte a value can carry. CR and LF would end the line, a 0xFB reads back as a comma
    // and a final 0xFD as a blank: the format has no way to store those, so they are left out.
    std::string carried;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n' && b != 0xFB)
            carried += static_cast<char>(b);
    }
    const std::string weighted = carried + ",,,,    -->";
    std::mt19937 random(20261208);
    auto text = [&](bool nonEmpty) {
        std::string value(random() % 12 + (nonEmpty ? 1 : 0), '\0');
        for (char &c : value)
            c = weighted[random() % weighted.size()];
        if (!value.empty() && value.back() == '\xFD')
            value.back() = ' ';
        return value;
    };
    auto number = [&] { return static_cast<std::int16_t>(random() % 65536 - 32768); };

    for (int round = 0; round < 300; ++round) {
        SettingsRecord record;
        for (std::int16_t *field : {&record.compoort, &record.baudrate, &record.parity,
                                    &record.bits, &record.stopbits, &record.HandShake})
            *field = number();
        record.logfilepath = text(round % 10 != 0);
        // An empty start value reads back as "-1", so these are never empty.
        for (std::string *start :
             {&record.Start1, &record.Start2, &record.Start3, &record.Start4, &record.Start5})
            *start = text(true);
        record.AnsiLogMode = random() % 2 == 0;
        for (auto table : kTables) {
            for (std::string &element : record.*table)
                element = text(false);
        }

        const SaveResult saved = SchrijfIni(record, folder.Str());
        ASSERT_TRUE(saved.ok) << saved.reason;
        // The reading leaves element 10 alone and must fill in everything else.
        SettingsRecord back;
        for (auto table : kTables)
            (back.*table)[10] = (record.*table)[10];
        LeesIni(back, folder.Str(), log);
        ASSERT_EQ(back, record) << "round " << round;
    }
}

namespace
{

// The working folder of the test process, changed for one scope.
class WorkingFolder
{
public:
    explicit WorkingFolder(const fs::path &folder) : saved_(fs::current_path())
    {
        fs::current_path(folder);
    }
    ~WorkingFolder() { fs::current_path(saved_); }
    WorkingFolder(const WorkingFolder &) = delete;
    WorkingFolder &operator=(const WorkingFolder &) = delete;

private:
    fs::path saved_;
};

const std::string kMuellerUtf8 = "M\xC3\xBCller"; // how the file system names it
const std::string kMueller1252 = "M\xFCller";     // how a text of the program holds it
const std::string kBuecher1252 = "B\xFC"
                                 "cher"; // as stored in tamvi.set
const std::string kBuecherUtf8 = "B\xC3\xBC"
                                 "cher";

} // namespace

TEST_F(SettingsFile, NonAsciiFolderNamesAreTheSameFoldersOnDisk)
{
    // A program folder with a non-ASCII name: the default log folder lies in it, and the DEBUG
    // line names it in 1252 like every other text of the log.
    const fs::path program = folder.Path() / kMuellerUtf8;
    fs::create_directory(program);
    SettingsRecord record;
    LeesIni(record, program.string(), log);
    EXPECT_EQ(log.LogDirectory(), (program / "logfile").string());
    EXPECT_EQ(ReadFileBytes(program / "logfile" / "08122026.log"),
              "14:05:09 " + kDebugText + folder.Str() + "/" + kMueller1252 + "/logfile\r\n");

    // A log folder stored in 1252 is the folder of that name, and is stored back unchanged.
    record.logfilepath = folder.Str() + "/" + kBuecher1252;
    ASSERT_TRUE(SchrijfIni(record, program.string()).ok);
    EXPECT_NE(
        ReadFileBytes(program / kFileName).find("logfilepath ->" + record.logfilepath + "\r\n"),
        std::string::npos);
    SettingsRecord back;
    LeesIni(back, program.string(), log);
    EXPECT_EQ(back.logfilepath, record.logfilepath);
    log.WriteLogLine("A");
    EXPECT_EQ(ReadFileBytes(folder.Path() / kBuecherUtf8 / "08122026.log"), "14:05:09 A\r\n");
}

TEST_F(SettingsFile, ARelativeLogFolderLiesInTheProgramFolderWhereverTheProgramStarted)
{
    const TempFolder elsewhere;
    const WorkingFolder working(elsewhere.Path());
    const fs::path program = folder.Path() / kMuellerUtf8;
    fs::create_directory(program);

    const std::pair<std::string, fs::path> cases[] = {
        {"mylogs", program / "mylogs"},
        {kBuecher1252 + "/2026", program / kBuecherUtf8 / "2026"},
    };
    for (const auto &[relative, expected] : cases) {
        SCOPED_TRACE(relative);
        SettingsRecord record = Defaults();
        record.logfilepath = relative;
        ASSERT_TRUE(SchrijfIni(record, program.string()).ok);
        SettingsRecord back;
        LeesIni(back, program.string(), log);
        EXPECT_EQ(back.logfilepath, relative); // the file keeps the text as typed
        EXPECT_EQ(log.LogDirectory(), expected.string());
        EXPECT_EQ(LogDirectoryOf(back, program.string()), expected.string());
        log.WriteLogLine("A");
        EXPECT_EQ(ReadFileBytes(expected / "08122026.log"), "14:05:09 A\r\n");
    }
    EXPECT_TRUE(fs::is_empty(elsewhere.Path()));
}

TEST_F(SettingsFile, ASaveReplacesTheFileALinkPointsToAndKeepsItsPermissions)
{
    SettingsRecord record = Defaults();
    record.compoort = 4;
    const fs::path shared = folder.Path() / "shared";
    fs::create_directory(shared);
    std::ofstream(shared / "station.set") << "old";
    fs::permissions(shared / "station.set", fs::perms::owner_read | fs::perms::owner_write);
    // Two links, the first relative and the second absolute.
    fs::create_symlink("middle.set", folder.Path() / kFileName);
    fs::create_symlink(shared / "station.set", folder.Path() / "middle.set");

    const SaveResult saved = SchrijfIni(record, folder.Str());
    ASSERT_TRUE(saved.ok) << saved.reason;
    EXPECT_EQ(saved.path, (shared / "station.set").string());
    EXPECT_TRUE(fs::is_symlink(folder.Path() / kFileName));
    EXPECT_TRUE(fs::is_symlink(folder.Path() / "middle.set"));
    EXPECT_EQ(fs::status(shared / "station.set").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(shared), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 3);
    EXPECT_EQ(Read().compoort, 4);

    // A plain file keeps its bits too, including read-only ones the user chose.
    const TempFolder plain;
    std::ofstream(plain.Path() / kFileName) << "old";
    const fs::perms chosen = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(plain.Path() / kFileName, chosen);
    ASSERT_TRUE(SchrijfIni(record, plain.Str()).ok);
    EXPECT_EQ(fs::status(plain.Path() / kFileName).permissions(), chosen);

    // A link to a file that is not there yet: the first save creates it.
    const TempFolder dangling;
    fs::create_symlink("later.set", dangling.Path() / kFileName);
    ASSERT_TRUE(SchrijfIni(record, dangling.Str()).ok);
    EXPECT_TRUE(fs::is_symlink(dangling.Path() / kFileName));
    EXPECT_TRUE(fs::is_regular_file(dangling.Path() / "later.set"));

    // Links in a circle: the save says why and changes nothing.
    const TempFolder circle;
    fs::create_symlink("b.set", circle.Path() / kFileName);
    fs::create_symlink(kFileName, circle.Path() / "b.set");
    const SaveResult looped = SchrijfIni(record, circle.Str());
    EXPECT_FALSE(looped.ok);
    EXPECT_EQ(looped.reason, "Too many levels of symbolic links");
    EXPECT_EQ(std::distance(fs::directory_iterator(circle.Path()), fs::directory_iterator()), 2);
}

namespace
{

constexpr uid_t kNobody = 65534;

// Runs `check` in a child process as a user that file permissions stop (nobody, when the test
// runs as root) and returns what it reports.
std::string AsUnprivilegedUser(const std::function<std::string()> &check)
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(1);
        const std::string report = check();
        const bool written =
            ::write(pipe[1], report.data(), report.size()) == static_cast<ssize_t>(report.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(pipe[1]);
    std::string report;
    std::array<char, 256> buffer{};
    for (ssize_t count; (count = ::read(pipe[0], buffer.data(), buffer.size())) > 0;)
        report.append(buffer.data(), static_cast<std::size_t>(count));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return report;
}

std::string Report(const SaveResult &saved)
{
    return "ok=" + std::to_string(saved.ok) + " synced=" + std::to_string(saved.synced) + " " +
           saved.reason;
}

} // namespace

TEST_F(SettingsFile, AFileThatCannotBeReadGivesTheDefaultsSaysWhyAndIsLeftAsItIs)
{
    const fs::path file = folder.Path() / kFileName;
    const std::string settings = "0        compoort ->3\r\n";
    struct Case {
        const char *what;
        std::function<void()> make;
        std::string reason;
        fs::file_type type;
    };
    // A pipe last: before the mend, reading it hangs.
    const Case cases[] = {
        {"a folder", [&] { fs::create_directory(file); }, "not a regular file",
         fs::file_type::directory},
        {"larger than any settings file", [&] { WriteFile(settings + std::string(1 << 20, ' ')); },
         "larger than 1 MiB", fs::file_type::regular},
        {"a link to an endless device", [&] { fs::create_symlink("/dev/zero", file); },
         "not a regular file", fs::file_type::symlink},
        {"a named pipe", [&] { ::mkfifo(file.c_str(), 0666); }, "not a regular file",
         fs::file_type::fifo},
    };
    SettingsRecord mine = Defaults();
    mine.compoort = 5;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(file);
        c.make();
        SettingsRecord record;
        record.compoort = 7;
        const ReadResult read = LeesIni(record, folder.Str(), log);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.path, file.string());
        EXPECT_EQ(read.reason, c.reason);
        EXPECT_EQ(record, Defaults());
        EXPECT_NE(DefaultLogFile().find("DEBUG: Instellingen niet te lezen: " + file.string() +
                                        ": " + c.reason + "; standaardinstellingen in gebruik"),
                  std::string::npos);

        const SaveResult refused = SchrijfIni(mine, folder.Str(), read);
        EXPECT_EQ(Report(refused), "ok=0 synced=1 could not be read at start (" + c.reason +
                                       "), so it is left as it is");
        EXPECT_EQ(refused.path, file.string());
        EXPECT_EQ(fs::symlink_status(file).type(), c.type);
        // Any save replaces a regular file only: a pipe or /dev/zero stays what it is.
        const bool regular = c.type == fs::file_type::regular;
        EXPECT_EQ(SchrijfIni(mine, folder.Str()).ok, regular);
        EXPECT_EQ(fs::symlink_status(file).type(), c.type);
    }
    // Once the thing is gone, nothing is overwritten: the save creates the file.
    fs::remove(file);
    ASSERT_TRUE(SchrijfIni(mine, folder.Str(), {false, file.string(), "x"}).ok);
    EXPECT_EQ(Read().compoort, 5);
}

// Root saved last, mode 600: the user's start must not take the file for missing.
TEST_F(SettingsFile, AnUnreadableFileIsNotOverwrittenAndAnUnsyncedSaveIsStillASave)
{
    WriteFile("0        compoort ->3\r\n");
    fs::permissions(folder.Path() / kFileName, fs::perms::none);
    fs::permissions(folder.Path(), fs::perms::all);
    const std::string unreadable = AsUnprivilegedUser([&] {
        SettingsRecord record;
        logfile::LogWriter own(clock);
        const ReadResult read = LeesIni(record, folder.Str(), own);
        return read.reason + " port " + std::to_string(record.compoort) + ", " +
               Report(SchrijfIni(Defaults(), folder.Str(), read));
    });
    EXPECT_EQ(unreadable, "Permission denied port 0, ok=0 synced=1 could not be read at start "
                          "(Permission denied), so it is left as it is");
    fs::permissions(folder.Path() / kFileName, fs::perms::owner_read);
    EXPECT_EQ(FileBytes(), "0        compoort ->3\r\n");

    // A folder that can be written but not read: the new file is in place, the sync fails.
    fs::remove(folder.Path() / kFileName);
    fs::permissions(folder.Path(), fs::perms::owner_write | fs::perms::owner_exec |
                                       fs::perms::group_write | fs::perms::group_exec |
                                       fs::perms::others_write | fs::perms::others_exec);
    const std::string unsynced = AsUnprivilegedUser([&] {
        SettingsRecord record = Defaults();
        record.compoort = 4;
        return Report(SchrijfIni(record, folder.Str()));
    });
    EXPECT_EQ(unsynced, "ok=1 synced=0 Permission denied");
    EXPECT_NE(FileBytes().find("compoort ->4\r\n"), std::string::npos);
}

TEST_F(SettingsFile, ASaveFollowsNoLinkPlantedBesideItAndPartsNoHardLinks)
{
    const fs::path precious = folder.Path() / "precious";
    std::ofstream(precious) << "precious";
    fs::permissions(precious, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(precious, folder.Path() / "tamvi.set.tmp");
    SettingsRecord record = Defaults();
    record.compoort = 2;
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    EXPECT_EQ(ReadFileBytes(precious), "precious");
    EXPECT_EQ(fs::status(precious).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 3);

    // A second name for the same file: a save would leave it with the old settings.
    fs::create_hard_link(folder.Path() / kFileName, folder.Path() / "station.set");
    const std::string before = FileBytes();
    record.compoort = 3;
    const SaveResult saved = SchrijfIni(record, folder.Str());
    EXPECT_FALSE(saved.ok);
    EXPECT_EQ(saved.reason, "2 hard links, which a save would part (a symbolic link would not)");
    EXPECT_EQ(FileBytes(), before);
    EXPECT_EQ(fs::hard_link_count(folder.Path() / kFileName), 2u);
    fs::remove(folder.Path() / "station.set");

    // Root saving a user's file leaves it theirs.
    if (::geteuid() != 0)
        return;
    ASSERT_EQ(::chown((folder.Path() / kFileName).c_str(), kNobody, kNobody), 0);
    ASSERT_TRUE(SchrijfIni(record, folder.Str()).ok);
    struct stat status = {};
    ASSERT_EQ(::stat((folder.Path() / kFileName).c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kNobody);
    EXPECT_EQ(status.st_gid, kNobody);
}

// Each save has a temporary file of its own: the rename is whole and the last one wins, and a
// reader meanwhile sees one record or the other.
TEST_F(SettingsFile, TwoProcessesSavingAtOnceNeverMixTheirTexts)
{
    SettingsRecord longer = Defaults();
    longer.Sneltekst.fill(std::string(60, 'L'));
    SettingsRecord shorter = Defaults();
    shorter.compoort = 9;
    std::set<std::string> texts;
    for (const SettingsRecord *record : {&shorter, &longer}) {
        ASSERT_TRUE(SchrijfIni(*record, folder.Str()).ok);
        texts.insert(FileBytes());
    }
    constexpr int kRounds = 150;
    std::vector<pid_t> writers;
    for (const SettingsRecord *record : {&shorter, &longer}) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int round = 0; round < kRounds; ++round) {
                if (!SchrijfIni(*record, folder.Str()).ok)
                    ::_exit(1);
            }
            ::_exit(0);
        }
        writers.push_back(child);
    }
    int mixed = 0;
    for (int read = 0; read < 2 * kRounds; ++read)
        mixed += texts.count(FileBytes()) == 0 ? 1 : 0;
    for (const pid_t child : writers) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_EQ(status, 0) << "a save failed";
    }
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(texts.count(FileBytes()), 1u);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.Path()), fs::directory_iterator()), 1);
}
