#pragma once

// The run's state and its commands: start-up, opening and closing the port, the two ticks,
// the main window's buttons, the RTS command, ending the program. Knows nothing of Qt.

#include "quicksend/ModSnelkeuze.h"
#include "serial/PortName.h"
#include "serial/RSinput.h"
#include "serial/RunState.h"
#include "session/View.h"
#include "settings/LeesIniFile.h"
#include "settings/SettingsRecord.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class SerialPort;
namespace logfile
{
class LogWriter;
}

struct LampStates {
    bool tx = false;
    bool rx = false;
    bool cts = false;
    bool rts = false;

    bool operator==(const LampStates &) const = default;
};

class Session
{
public:
    // How often every front end runs ReceiveTick.
    static constexpr std::chrono::milliseconds kReceiveInterval{200};

    // Time that only goes forward, for how long a port stayed open; a test sets it.
    using MonotonicClock = std::function<std::chrono::steady_clock::time_point()>;

    // The port's losses reach the session from now on.
    Session(SerialPort &port, logfile::LogWriter &log, std::string programFolder,
            MonotonicClock now = std::chrono::steady_clock::now);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // The window that shows the run; nullptr for none. Until it is set, what the session would
    // show goes nowhere.
    void SetView(View *view);

    // What start-up does with a port that cannot be opened: the window tells its user and runs on
    // with the port closed; a station without a screen tells its view why and waits for the
    // device as after a loss, and one STATUS line says when the port opens.
    enum class PortAtStart { Tell, Await };

    // Start-up: read the settings, open the port (see PortAtStart), reset the flags and the view,
    // log the start line, caption the quick-send buttons. When awaiting, a settings file that
    // cannot be read or a port number no device can be (outside 1..25) is told to the view and
    // start-up ends after reading the settings, returning false: only a changed configuration
    // can mend it.
    bool StartUp(PortAtStart portAtStart = PortAtStart::Tell);

    std::int16_t OpenPort(std::int16_t port); // 0 open, -1 not
    void ClosePort();
    std::string PortSettingsString() const;

    // Timer ticks. Both tell the view about a log file that cannot be written, or can be again;
    // after the receive tick the window shows LogLines().
    void ReceiveTick();
    const LampStates &LampTick();
    // How long the receive tick may rest after this one: none while it has work (bytes waiting,
    // lines kept for the log, repeated losses to count), the time to the next attempt while a
    // lost port is waited for, and kRestUntilActivity while nothing can come but from the port
    // (bytes or a loss) or the user. A front end ticks again at the usual interval when the port
    // or the user brings something.
    static constexpr std::chrono::milliseconds kRestUntilActivity =
        std::chrono::milliseconds::max();
    std::chrono::milliseconds Rest();
    // True when a lamp tick would change nothing until the next activity: no lamp counts down and
    // the port waits for its modem lines instead of having them polled.
    bool LampsAtRest() const;

    // Main window commands.
    void ToggleDisplayMode();
    void ToggleHold();
    void ClearLog();
    void QuickSend(int index);
    void SendTypedChar(std::int16_t code);
    void ToggleRts();

    // Quit, close box and termination signals: what waited for the release of a hold, the
    // unfinished line and the end line are logged, then the port is closed. Only the first call
    // does anything.
    void Quit();
    // After Quit: "12 log lines not written: <file>: <reason>" when lines that were kept for a
    // log file that could not be written are lost with the run; empty when every line is in.
    std::string UnwrittenLines() const;

    // Settings dialog: the record's port and log settings become the run's (the log folder with
    // them), the port number is linked to the device the user chose (none chosen: empty), the
    // settings file is written, and the port is closed and opened again; it stays closed when
    // the chosen device could not be linked. A settings file that could not be read at start is
    // not written, here and by SaveQuickRows.
    struct Saved {
        LeesIniFile::SaveResult settings;
        PortLinkResult link; // ok when no device was chosen
    };
    Saved ApplySettings(const SettingsRecord &record, const std::string &chosenDevice = {});

    // Quick-send editor: the eight definitions are stored and the settings file written; the
    // buttons keep their captions until UpdateQuickButtons.
    using QuickRows = std::array<ModSnelkeuze::QuickRow, ModSnelkeuze::kButtons>;
    LeesIniFile::SaveResult SaveQuickRows(const QuickRows &rows);
    void UpdateQuickButtons();

    // What the run does now, in one line for a service manager: "logging Com1 /dev/ttyUSB0
    // 9600,N,8,1" or "waiting for Com1 (ports/com1 -> /dev/serial/by-id/...)" (a link with the
    // device it names), and what the log file lacks while it fails.
    std::string Activity() const;

    const SettingsRecord &Settings() const { return settings_; }
    const RunState &State() const { return state_; }
    const RSinput::Lines &LogLines() const { return rs_.LogLines(); }
    std::int16_t LogLineIndex() const { return rs_.LogLineIndex(); }
    const std::string &ProgramFolder() const { return programFolder_; }

private:
    void ReopenPort(const PortLinkResult &link); // ClosePort, DEBUG line, OpenPort
    // What follows an open is the same whether the port answered at once or later (a serial
    // device server's port connecting): OpenCompleted does for the later ones what the start-up,
    // a save and a lost port's reopen do for the others.
    enum class OpenFor { Start, Open, Reopen }; // Open: a save's or a command's, told in the log

    void OpenCompleted(const std::optional<std::string> &failure);
    void Opened();
    void NoteOpenFailure(std::int16_t port, const std::string &reason);
    void StartFailed();
    void Reopened();
    bool ConfigurePort(std::int16_t port);
    bool ApplyHandShake();
    void ShowOpenCaption(std::int16_t port);
    // "Compoort 3 [device]: reason", the reason in the system's encoding.
    std::string PortReason(std::int16_t port, const std::string &reason) const;
    // One DEBUG line naming each line setting the device did not take; none when it took all.
    void LogSettingsNotTaken(std::int16_t port);
    // The port went away while open: the line it was receiving is logged, the port is closed and
    // one STATUS line says why. From then on it is opened again by itself once the device it was
    // opened by is back, with one STATUS line, unless a settings save or the end of the program
    // comes first. A port lost again within a minute of opening again, its device never gone, is
    // tried after twice the wait of the time before, up to a minute, and its repeats are said
    // once, with their count.
    void PortLost(const std::string &reason);
    void ReopenLostPort();           // on every receive tick
    std::string AwaitedPath() const; // the device path a lost port waits for
    void ReportRepeatedLosses();     // the count, once the repeats end
    std::string PortStatus() const;  // "STATUS: Port Com1 [device] "
    // Every STATUS line goes to the log and to the view.
    void LogStatus(const std::string &line);

    // Tells the view when the log file cannot be written, when the reason changes, and when it
    // can be written again.
    void ReportLogFailure();

    SerialPort &port_;
    logfile::LogWriter &log_;
    NoView noView_;
    View *view_ = &noView_;
    std::string programFolder_;
    SettingsRecord settings_;
    LeesIniFile::ReadResult settingsRead_; // how the start-up found the settings file
    RunState state_;
    RSinput rs_;
    LampStates lamps_;
    // A lost port is tried once a second, or less often while it keeps failing.
    static constexpr std::chrono::seconds kReopenWait{1};
    static constexpr int kMaxReopenSeconds = 60;
    static constexpr std::chrono::minutes kSteadyAfter{1};

    std::string logFailureShown_; // the failure text the view shows; empty for none
    // When the next attempt at a lost port is due; set while it is waited for.
    std::optional<std::chrono::steady_clock::time_point> reopenDue_;
    MonotonicClock now_;
    std::string openedPath_; // the device path of the last open, and of a lost port's reopens
    std::chrono::steady_clock::time_point openedAt_;
    // The last open was a lost port's reopen, and its device never left: a replug is no repeat.
    bool reopenedInPlace_ = false;
    bool deviceLeft_ = false;
    int reopenSeconds_ = 1;
    int repeatedLosses_ = 0; // losses within a minute of reopening, not yet counted in the log
    std::string repeatedReason_;
    bool ended_ = false;

    // What the STATUS line says when the awaited port opens: "open: " when it was not open yet.
    const char *reopenedText_ = "open again: ";
    std::string openFailure_; // why the last OpenPort failed, for a station's view
    bool awaitAtStart_ = false;
    // Set while an open completes later; nothing else opens the port meanwhile.
    std::optional<OpenFor> openingFor_;
};
