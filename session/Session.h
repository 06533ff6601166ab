#pragma once

// The run's state and its commands: start-up, opening and closing the port, the two ticks,
// the main window's buttons, the RTS command, ending the program. Knows nothing of Qt.

#include "serial/RSinput.h"
#include "serial/RunState.h"
#include "settings/LeesIniFile.h"
#include "settings/SettingsRecord.h"

#include <cstdint>
#include <string>

class SerialPort;
class View;
namespace logfile
{
class LogWriter;
}

struct LampStates {
    bool tx = false;
    bool rx = false;
    bool cts = false;
    bool rts = false;
};

class Session
{
public:
    Session(SerialPort &port, logfile::LogWriter &log, View &view, std::string programFolder);
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Start-up: read the settings, open the port (message on failure), reset the flags and the
    // view, log the start line, caption the quick-send buttons.
    void StartUp();

    std::int16_t OpenPort(std::int16_t port); // 0 open, -1 not
    void ClosePort();
    std::string PortSettingsString() const;

    // Timer ticks.
    void ReceiveTick(); // ProcessInput; the window then shows LogLines()
    const LampStates &LampTick();

    // Main window commands.
    void ToggleDisplayMode();
    void ToggleHold();
    void ClearLog();
    void QuickSend(int index);
    void SendTypedChar(std::int16_t code);
    void ToggleRts();

    // Quit, close box and termination signals: the unfinished line and the end line are logged,
    // then the port is closed. Only the first call does anything.
    void Quit();

    // The port went away while open: it is closed and one STATUS line says why. It stays closed
    // until a settings save reopens it.
    void PortLost(const std::string &reason);

    // Settings dialog and quick-send editor.
    LeesIniFile::SaveResult SaveSettings(); // SchrijfIni of the record
    void ReopenPort();                      // ClosePort, DEBUG line, OpenPort
    void UpdateQuickButtons();

    SettingsRecord &Settings() { return settings_; }
    const RunState &State() const { return state_; }
    const RSinput::Lines &LogLines() const { return rs_.LogLines(); }
    std::int16_t LogLineIndex() const { return rs_.LogLineIndex(); }
    const std::string &ProgramFolder() const { return programFolder_; }
    logfile::LogWriter &Log() { return log_; }
    SerialPort &Port() { return port_; }

private:
    bool ConfigurePort(std::int16_t port);
    bool ApplyHandShake();

    SerialPort &port_;
    logfile::LogWriter &log_;
    View &view_;
    std::string programFolder_;
    SettingsRecord settings_;
    RunState state_;
    RSinput rs_;
    LampStates lamps_;
    bool ended_ = false;
};
