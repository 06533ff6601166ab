#include "session/Session.h"

#include "conversions/Windows1252.h"
#include "conversions/diversen.h"
#include "logfile/logfile.h"
#include "serial/NetworkAddress.h"
#include "serial/PortName.h"
#include "serial/SerialPort.h"
#include "session/View.h"
#include "settings/PortLists.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>
#include <utility>

using diversen::NumberText;

namespace
{

constexpr const char *kStartCaption = " Tamvi";
constexpr const char *kOpenCaption = " Tamvi by Dranel            Settings: Com";
constexpr const char *kPortMessage = "Compoort niet te openen. Controleer instellingen";

// A lamp follows its activity counter: lit while the counter counts down from 3, off when it
// reaches 0, unchanged once it rests there.
void CountDown(std::int16_t &counter, bool &lamp)
{
    if (counter >= 2) {
        --counter;
        lamp = true;
    } else if (counter == 1) {
        counter = 0;
        lamp = false;
    }
}

// A port's path as an administrator knows it: a ports/com<n> link with the device it names.
std::string LinkShown(const std::string &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    return Windows1252::TextFromNative(path) +
           (error ? "" : " -> " + Windows1252::TextFromNative(target.string()));
}

} // namespace

Session::Session(SerialPort &port, logfile::LogWriter &log, std::string programFolder,
                 MonotonicClock now)
    : port_(port), log_(log), programFolder_(std::move(programFolder)),
      rs_(port, log, settings_, state_), now_(std::move(now))
{
    port_.SetLostHandler([this](const std::string &reason) { PortLost(reason); });
    port_.SetOpenedHandler(
        [this](const std::optional<std::string> &failure) { OpenCompleted(failure); });
}

Session::~Session()
{
    port_.SetLostHandler(nullptr);
    port_.SetOpenedHandler(nullptr);
}

void Session::SetView(View *view)
{
    view_ = view ? view : &noView_;
}

bool Session::StartUp(PortAtStart portAtStart)
{
    view_->SetCaption(kStartCaption);
    settingsRead_ = LeesIniFile::LeesIni(settings_, programFolder_, log_);
    const bool await = portAtStart == PortAtStart::Await;
    if (!settingsRead_.ok) {
        const std::string unreadable =
            "Instellingen niet te lezen: " + Windows1252::TextFromNative(settingsRead_.path) +
            ": " + Windows1252::TextFromNative(settingsRead_.reason);
        // A station has no one to press Save and would log with settings nobody chose.
        if (await) {
            view_->ShowMessage(unreadable);
            return false;
        }
        view_->ShowWarning(unreadable +
                           "\nTamvi werkt met de standaardinstellingen; Save laat het bestand "
                           "zoals het is.");
    }
    const std::int16_t port = settings_.compoort;
    if (await && (port < kFirstPort || port > kLastPort)) {
        view_->ShowMessage("No port to wait for: the settings in " +
                           Windows1252::TextFromNative(programFolder_) + " give port " +
                           std::to_string(port) + ", and a port is " + NumberText(kFirstPort) +
                           " to " + NumberText(kLastPort) + " (no tamvi.set gives 0)");
        return false;
    }
    awaitAtStart_ = await;
    if (OpenPort(port) == -1)
        StartFailed();
    else if (openingFor_)
        openingFor_ = OpenFor::Start;
    state_.DisplayMode = 0;
    state_.LogHold = 0;
    view_->SetModeCaption("Mode: ASC II");
    view_->SetHoldCaption("Stop log");
    rs_.ClearLogLines();
    log_.WriteLogLine("Tamvi van Dranel BV gestart");
    UpdateQuickButtons();
    return true;
}

// 0 when the port is open or its open goes on (Opening), -1 when it failed.
std::int16_t Session::OpenPort(std::int16_t port)
{
    openedPath_.clear();
    if (port < kFirstPort || port > kLastPort)
        return -1;
    if (!ConfigurePort(port)) {
        // The reason is read before closing, which may replace it.
        NoteOpenFailure(port, port_.ErrorString());
        return -1;
    }
    if (port_.Opening())
        openingFor_ = OpenFor::Open;
    else
        Opened();
    return 0;
}

void Session::Opened()
{
    LogSettingsNotTaken(settings_.compoort);
    ShowOpenCaption(settings_.compoort);
    reopenedInPlace_ = false;
}

void Session::NoteOpenFailure(std::int16_t port, const std::string &reason)
{
    openFailure_ = PortReason(port, reason);
    log_.WriteLogLine("DEBUG: " + openFailure_);
    ClosePort();
}

void Session::OpenCompleted(const std::optional<std::string> &failure)
{
    if (!openingFor_)
        return;
    const OpenFor why = *std::exchange(openingFor_, std::nullopt);
    if (!failure) {
        openedAt_ = now_();
        if (why == OpenFor::Reopen)
            Reopened();
        else
            Opened();
    } else if (why == OpenFor::Reopen) {
        ClosePort(); // quietly, as a device that is not back yet
        reopenDue_ = now_() + kReopenWait * reopenSeconds_;
    } else {
        NoteOpenFailure(settings_.compoort, *failure);
        if (why == OpenFor::Start)
            StartFailed();
    }
}

void Session::StartFailed()
{
    if (awaitAtStart_) {
        view_->ShowMessage(std::string(kPortMessage) + " (" + openFailure_ +
                           "); waiting for the device");
        reopenDue_ = now_() + kReopenWait;
        reopenedText_ = "open: ";
    } else {
        view_->ShowMessage(kPortMessage);
    }
}

std::string Session::PortReason(std::int16_t port, const std::string &reason) const
{
    return "Compoort " + NumberText(port) + " [" + Windows1252::TextFromNative(port_.DeviceName()) +
           "]: " + Windows1252::TextFromNative(reason);
}

// The port runs with what the device takes; the caption keeps showing the stored settings.
void Session::LogSettingsNotTaken(std::int16_t port)
{
    std::string text;
    for (const SerialPort::NotTaken &part : port_.SettingsNotTaken()) {
        text += (text.empty() ? "" : "; ") + part.setting + " " + part.wanted +
                " not taken, the device runs with " + part.running;
    }
    if (!text.empty())
        log_.WriteLogLine("DEBUG: " + PortReason(port, text));
}

void Session::ShowOpenCaption(std::int16_t port)
{
    view_->SetCaption(kOpenCaption + NumberText(port) + " " + PortSettingsString());
}

bool Session::ConfigurePort(std::int16_t port)
{
    const std::string path = PortDevicePath(programFolder_, port);
    if (!port_.SetPortNumber(port) || !port_.Open() || !port_.SetSettings(PortSettingsString()) ||
        !port_.SetNullDiscard(false) || !ApplyHandShake() || !port_.SetEofEnable(false) ||
        !port_.SetDtr(true) || !port_.SetReadLength(1))
        return false;
    openedPath_ = path;
    openedAt_ = now_();
    return true;
}

bool Session::ApplyHandShake()
{
    using Mode = SerialPort::Handshaking;
    switch (settings_.HandShake) {
    case PortLists::kNoHandShake:
        port_.SetRts(false);
        return port_.SetHandshaking(Mode::None);
    case PortLists::kRtsHandShake:
        port_.SetRts(true);
        return port_.SetHandshaking(Mode::RtsCts);
    case PortLists::kRtsOn:
        if (!port_.SetHandshaking(Mode::None))
            return false;
        port_.SetRts(true); // held on
        return true;
    default:
        return true;
    }
}

void Session::ClosePort()
{
    openingFor_.reset();
    port_.Close(); // closing a port that is not open is no failure worth reporting
}

std::string Session::PortSettingsString() const
{
    return PortLists::PortSettingsText(settings_);
}

void Session::ReceiveTick()
{
    log_.KeepFileOpen();
    rs_.ProcessInput();
    // Lines kept while the log file could not be written reach it as soon as it can be written
    // again, also when the line is quiet.
    log_.WriteKeptLines();
    ReopenLostPort();
    if (repeatedLosses_ > 0 && port_.IsOpen() && now_() - openedAt_ >= kSteadyAfter)
        ReportRepeatedLosses();
    log_.CloseFile();
    ReportLogFailure();
}

std::chrono::milliseconds Session::Rest()
{
    using std::chrono::milliseconds;
    const bool busy =
        log_.KeptLineCount() > 0 || log_.Failure() || (repeatedLosses_ > 0 && port_.IsOpen());
    if (busy)
        return milliseconds(0);
    if (openingFor_)
        return kRestUntilActivity; // the port's outcome wakes the ticks
    if (reopenDue_)
        return std::max(milliseconds(0), std::chrono::ceil<milliseconds>(*reopenDue_ - now_()));
    // Nothing can arrive at a closed port, and a hold reads nothing until it is released.
    if (!port_.IsOpen() || state_.LogHold != 0)
        return kRestUntilActivity;
    const std::optional<int> waiting = port_.WaitingCount();
    return waiting && *waiting == 0 ? kRestUntilActivity : milliseconds(0);
}

bool Session::LampsAtRest() const
{
    return state_.TxActivity == 0 && state_.RxActivity == 0 && !port_.PollsModemLines();
}

void Session::ReportLogFailure()
{
    const auto &failure = log_.Failure();
    // The path and the system's reason are the system's bytes; the window shows 1252 text.
    const std::string text =
        failure ? "Logbestand niet te schrijven: " + Windows1252::TextFromNative(failure->path) +
                      ": " + Windows1252::TextFromNative(failure->reason)
                : "";
    if (text == logFailureShown_)
        return;
    logFailureShown_ = text;
    if (failure)
        view_->ShowLogFailure(text);
    else
        view_->EndLogFailure();
}

const LampStates &Session::LampTick()
{
    CountDown(state_.TxActivity, lamps_.tx);
    CountDown(state_.RxActivity, lamps_.rx);
    lamps_.cts = port_.GetCts();
    lamps_.rts = port_.GetRts();
    ReportLogFailure(); // a line written by a command may have failed since the last tick
    return lamps_;
}

void Session::ToggleDisplayMode()
{
    const bool toHex = state_.DisplayMode == 0;
    state_.DisplayMode = toHex ? -1 : 0;
    view_->SetModeCaption(toHex ? "Mode: HEX" : "Mode: ASC II");
}

// The caption names what the next click does.
void Session::ToggleHold()
{
    const bool holding = state_.LogHold == -1;
    state_.LogHold = holding ? 0 : -1;
    view_->SetHoldCaption(holding ? "Log hold" : "Continue");
}

void Session::ClearLog()
{
    rs_.ClearLogLines();
}

void Session::QuickSend(int index)
{
    ModSnelkeuze::SendQuickButton(static_cast<std::int16_t>(index), settings_, rs_);
}

void Session::SendTypedChar(std::int16_t code)
{
    rs_.SendChar(code);
}

void Session::ToggleRts()
{
    if (settings_.HandShake != PortLists::kNoHandShake) {
        LogStatus("STATUS: Wrong HandShakeType, no manual adjustment possible.");
        return;
    }
    if (port_.GetRts()) {
        port_.SetRts(false);
        LogStatus("STATUS: RTS made INACTIVE (-12V).");
    } else {
        port_.SetRts(true);
        LogStatus("STATUS: RTS made ACTIVE (+12V).");
    }
}

void Session::Quit()
{
    if (ended_)
        return;
    ended_ = true;
    reopenDue_.reset();
    ReportRepeatedLosses();
    state_.LogHold = 0;
    rs_.ProcessInput();
    log_.WriteLogLine(rs_.CurrentLine());
    log_.WriteLogLine("Logging beeindigd");
    ClosePort();
}

std::string Session::UnwrittenLines() const
{
    const std::size_t count = log_.UnwrittenLineCount();
    if (count == 0)
        return {};
    const std::string where = log_.Failure()
                                  ? ": " + Windows1252::TextFromNative(log_.Failure()->path) +
                                        ": " + Windows1252::TextFromNative(log_.Failure()->reason)
                                  : "";
    return std::to_string(count) + (count == 1 ? " log line" : " log lines") + " not written" +
           where;
}

void Session::PortLost(const std::string &reason)
{
    // Bytes that arrived before the loss are still readable: lines they finish, and the line they
    // leave unfinished, belong in the log before the line that says the port went away.
    rs_.PortLost();
    // An unplugged device takes its path with it; an adapter that fails stays where it is.
    deviceLeft_ = !PortIsThere(openedPath_);
    const bool again = reopenedInPlace_ && !deviceLeft_ && now_() - openedAt_ < kSteadyAfter;
    reopenSeconds_ = again ? std::min(reopenSeconds_ * 2, kMaxReopenSeconds) : 1;
    reopenDue_ = now_() + kReopenWait * reopenSeconds_;
    reopenedText_ = "open again: ";
    const std::string why = Windows1252::TextFromNative(reason);
    if (!again) {
        ReportRepeatedLosses();
        LogStatus(PortStatus() + "lost: " + why +
                  ". Port closed; it opens again when the device is back.");
    } else if (repeatedLosses_++ == 0) {
        repeatedReason_ = why;
        LogStatus(PortStatus() + "lost again within a minute: " + why +
                  ". Tried again after 2, 4 ... 60 s while it keeps failing; its losses "
                  "are counted until it stays open a minute.");
    }
}

// Once a second, or less often while it keeps failing, as long as a lost port is not back: an
// attempt costs a look at the device path until the device is there, and no line until it
// opens. A port that was open waits for the path it was opened by: when its link has gone, the
// machine's own port of that number is another device.
void Session::ReopenLostPort()
{
    if (!reopenDue_ || now_() < *reopenDue_ || openingFor_)
        return;
    reopenDue_ = now_() + kReopenWait * reopenSeconds_;
    if (!PortIsThere(AwaitedPath())) {
        deviceLeft_ = true;
        return;
    }
    if (!ConfigurePort(settings_.compoort))
        ClosePort();
    else if (port_.Opening())
        openingFor_ = OpenFor::Reopen;
    else
        Reopened();
}

void Session::Reopened()
{
    reopenDue_.reset();
    reopenedInPlace_ = !deviceLeft_;
    ShowOpenCaption(settings_.compoort);
    if (repeatedLosses_ > 0)
        return; // said with the count
    LogStatus(PortStatus() + reopenedText_ + PortSettingsString());
    LogSettingsNotTaken(settings_.compoort);
}

std::string Session::AwaitedPath() const
{
    return openedPath_.empty() ? PortDevicePath(programFolder_, settings_.compoort) : openedPath_;
}

void Session::ReportRepeatedLosses()
{
    if (repeatedLosses_ == 0)
        return;
    LogStatus(PortStatus() + "lost " + std::to_string(repeatedLosses_) +
              " times within a minute of opening again (" + repeatedReason_ + ")" +
              (port_.IsOpen() ? "; open for a minute now: " + PortSettingsString() : ""));
    repeatedLosses_ = 0;
    reopenSeconds_ = 1;
}

void Session::LogStatus(const std::string &line)
{
    log_.WriteLogLine(line);
    view_->ShowStatus(line);
}

std::string Session::Activity() const
{
    const std::string port = "Com" + NumberText(settings_.compoort) + " ";
    std::string text = port_.IsOpen()
                           ? (port_.Opening() ? "connecting " : "logging ") + port +
                                 LinkShown(port_.DeviceName()) + " " + PortSettingsString()
                           : "waiting for " + port + "(" + LinkShown(AwaitedPath()) + ")";
    if (const auto &failure = log_.Failure()) {
        const std::size_t kept = log_.UnwrittenLineCount();
        text += "; log not writable: " + Windows1252::TextFromNative(failure->path) + ": " +
                Windows1252::TextFromNative(failure->reason) + " (" + std::to_string(kept) +
                (kept == 1 ? " line kept)" : " lines kept)");
    }
    return text;
}

std::string Session::PortStatus() const
{
    return "STATUS: Port Com" + NumberText(settings_.compoort) + " [" +
           Windows1252::TextFromNative(port_.DeviceName()) + "] ";
}

Session::Saved Session::ApplySettings(const SettingsRecord &record, const std::string &chosenDevice)
{
    settings_ = record;
    log_.SetLogDirectory(LeesIniFile::LogDirectoryOf(settings_, programFolder_));
    Saved saved;
    if (!chosenDevice.empty())
        saved.link = LinkPort(programFolder_, settings_.compoort, chosenDevice);
    saved.settings = LeesIniFile::SchrijfIni(settings_, programFolder_, settingsRead_);
    ReopenPort(saved.link);
    return saved;
}

LeesIniFile::SaveResult Session::SaveQuickRows(const QuickRows &rows)
{
    for (int row = 0; row < ModSnelkeuze::kButtons; ++row)
        ModSnelkeuze::StoreRow(settings_, row, rows[static_cast<std::size_t>(row)]);
    return LeesIniFile::SchrijfIni(settings_, programFolder_, settingsRead_);
}

// What arrived before the save belongs to the old port and is logged before the reopen line;
// on hold it stays with the port, and the close throws it away. A port whose chosen device could
// not be linked stays closed: it would name a different device.
void Session::ReopenPort(const PortLinkResult &link)
{
    reopenDue_.reset(); // the save's own reopen decides
    ReportRepeatedLosses();
    const std::int16_t port = settings_.compoort;
    rs_.ProcessInput();
    ClosePort();
    if (!link.ok) {
        log_.WriteLogLine("DEBUG: Compoort " + NumberText(port) +
                          " blijft dicht: " + Windows1252::TextFromNative(link.path) +
                          " niet gekoppeld: " + Windows1252::TextFromNative(link.reason));
        return;
    }
    log_.WriteLogLine(std::string("DEBUG: ComPoort opnieuw geopend: ") + (port >= 0 ? " " : "-") +
                      NumberText(port));
    OpenPort(port);
}

void Session::UpdateQuickButtons()
{
    for (int r = 0; r < ModSnelkeuze::kButtons; ++r) {
        const std::string &caption = settings_.Sneltekst[r];
        view_->SetQuickButton(r, !caption.empty(), caption);
    }
}
