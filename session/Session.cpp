#include "session/Session.h"

#include "conversions/diversen.h"
#include "logfile/logfile.h"
#include "quicksend/ModSnelkeuze.h"
#include "serial/PortName.h"
#include "serial/SerialPort.h"
#include "session/View.h"

#include <array>
#include <utility>

using diversen::NumberText;

namespace
{

constexpr const char *kStartCaption = " Tamvi";
constexpr const char *kOpenCaption = " Tamvi by Dranel            Settings: Com";

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

} // namespace

Session::Session(SerialPort &port, logfile::LogWriter &log, View &view, std::string programFolder)
    : port_(port), log_(log), view_(view), programFolder_(std::move(programFolder)),
      rs_(port, log, settings_, state_)
{
}

void Session::StartUp()
{
    view_.SetCaption(kStartCaption);
    LeesIniFile::LeesIni(settings_, programFolder_, log_);
    if (OpenPort(settings_.compoort) == -1)
        view_.ShowMessage("Compoort niet te openen. Controleer instellingen");
    state_.DisplayMode = 0;
    state_.LogHold = 0;
    view_.SetModeCaption("Mode: ASC II");
    view_.SetHoldCaption("Stop log");
    rs_.ClearLogLines();
    log_.WriteLogLine("Tamvi van Dranel BV gestart");
    UpdateQuickButtons();
}

std::int16_t Session::OpenPort(std::int16_t port)
{
    if (port < kFirstPort || port > kLastPort)
        return -1;
    if (!ConfigurePort(port)) {
        // The reason is read before closing, which may replace it.
        log_.WriteLogLine("DEBUG: Compoort " + NumberText(port) + " [" + port_.DeviceName() +
                          "]: " + port_.ErrorString());
        ClosePort();
        return -1;
    }
    view_.SetCaption(kOpenCaption + NumberText(port) + " " + PortSettingsString());
    return 0;
}

bool Session::ConfigurePort(std::int16_t port)
{
    return port_.SetPortNumber(port) && port_.Open() && port_.SetSettings(PortSettingsString()) &&
           port_.SetNullDiscard(false) && ApplyHandShake() && port_.SetEofEnable(false) &&
           port_.SetDtr(true) && port_.SetReadLength(1);
}

bool Session::ApplyHandShake()
{
    using Mode = SerialPort::Handshaking;
    switch (settings_.HandShake) {
    case 0:
        port_.SetRts(false);
        return port_.SetHandshaking(Mode::None);
    case 1:
        port_.SetRts(true);
        return port_.SetHandshaking(Mode::RtsCts);
    case 2:
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
    port_.Close(); // closing a port that is not open is no failure worth reporting
}

std::string Session::PortSettingsString() const
{
    static constexpr std::array<const char *, 9> kBaudRates = {
        "300", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
    const std::int16_t b = settings_.baudrate;
    const std::string baud = b >= 0 && b < std::ssize(kBaudRates) ? kBaudRates[b] : "19200";
    const char *parity = settings_.parity == 1 ? "E" : settings_.parity == 2 ? "O" : "N";
    const char *bits = settings_.bits == 0 ? "7" : "8";
    const char *stopbits = settings_.stopbits == 1 ? "2" : "1";
    return baud + "," + parity + "," + bits + "," + stopbits;
}

void Session::ReceiveTick()
{
    rs_.ProcessInput();
    // Lines kept while the log file could not be written reach it as soon as it can be written
    // again, also when the line is quiet.
    log_.WriteKeptLines();
}

const LampStates &Session::LampTick()
{
    CountDown(state_.TxActivity, lamps_.tx);
    CountDown(state_.RxActivity, lamps_.rx);
    lamps_.cts = port_.GetCts();
    lamps_.rts = port_.GetRts();
    return lamps_;
}

void Session::ToggleDisplayMode()
{
    const bool toHex = state_.DisplayMode == 0;
    state_.DisplayMode = toHex ? -1 : 0;
    view_.SetModeCaption(toHex ? "Mode: HEX" : "Mode: ASC II");
}

// The caption names what the next click does.
void Session::ToggleHold()
{
    const bool holding = state_.LogHold == -1;
    state_.LogHold = holding ? 0 : -1;
    view_.SetHoldCaption(holding ? "Log hold" : "Continue");
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
    if (settings_.HandShake != 0) {
        log_.WriteLogLine("STATUS: Wrong HandShakeType, no manual adjustment possible.");
        return;
    }
    if (port_.GetRts()) {
        port_.SetRts(false);
        log_.WriteLogLine("STATUS: RTS made INACTIVE (-12V).");
    } else {
        port_.SetRts(true);
        log_.WriteLogLine("STATUS: RTS made ACTIVE (+12V).");
    }
}

void Session::Quit()
{
    if (ended_)
        return;
    ended_ = true;
    log_.WriteLogLine(rs_.CurrentLine());
    log_.WriteLogLine("Logging beeindigd");
    ClosePort();
}

void Session::PortLost(const std::string &reason)
{
    // Bytes that arrived before the loss are still readable: lines they finish belong in the log
    // before the line that says the port went away.
    rs_.ProcessInput();
    ClosePort();
    log_.WriteLogLine("STATUS: Port Com" + NumberText(settings_.compoort) + " [" +
                      port_.DeviceName() + "] lost: " + reason +
                      ". Port closed; save the settings to open it again.");
}

LeesIniFile::SaveResult Session::SaveSettings()
{
    return LeesIniFile::SchrijfIni(settings_, programFolder_);
}

void Session::ReopenPort()
{
    const std::int16_t port = settings_.compoort;
    ClosePort();
    log_.WriteLogLine(std::string("DEBUG: ComPoort opnieuw geopend: ") + (port >= 0 ? " " : "-") +
                      NumberText(port));
    OpenPort(port);
}

void Session::UpdateQuickButtons()
{
    for (int r = 0; r < ModSnelkeuze::kButtons; ++r) {
        const std::string &caption = settings_.Sneltekst[r];
        view_.SetQuickButton(r, !caption.empty(), caption);
    }
}
