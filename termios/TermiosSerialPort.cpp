#include "termios/TermiosSerialPort.h"

#include "termios/ModemWaiter.h"
#include "termios/NetworkConnector.h"

#include "serial/NetworkAddress.h"
#include "serial/PortName.h"

#include <QSocketNotifier>

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <span>
#include <string_view>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

using namespace std::chrono_literals;

const std::string kInUse = "the port is in use by another program";

std::string SystemMessage(int error)
{
    return std::system_category().message(error);
}

std::optional<speed_t> SpeedOf(int baudRate)
{
    switch (baudRate) {
    case 300:
        return B300;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return std::nullopt;
    }
}

std::string BaudRateText(const termios &attributes)
{
    for (const PortLists::Item &item : PortLists::kBaudRates.items) {
        if (SpeedOf(item.value) == cfgetospeed(&attributes))
            return std::string(item.text);
    }
    return "another rate";
}

std::string DataBitsText(const termios &attributes)
{
    switch (attributes.c_cflag & CSIZE) {
    case CS5:
        return "5";
    case CS6:
        return "6";
    case CS7:
        return "7";
    default:
        return "8";
    }
}

std::string ParityText(const termios &attributes)
{
    const tcflag_t flags = attributes.c_cflag;
    if ((flags & PARENB) == 0)
        return "N";
    if ((flags & CMSPAR) != 0)
        return (flags & PARODD) != 0 ? "M" : "S";
    return (flags & PARODD) != 0 ? "O" : "E";
}

std::string StopBitsText(const termios &attributes)
{
    return (attributes.c_cflag & CSTOPB) != 0 ? "2" : "1";
}

std::string HandshakingText(const termios &attributes)
{
    return (attributes.c_cflag & CRTSCTS) != 0 ? "RTS/CTS" : "none";
}

std::string FlowControlText(const termios &attributes)
{
    return (attributes.c_iflag & (IXON | IXOFF | IXANY)) != 0 ? "on" : "off";
}

// A part of the attributes that a device may refuse, or quietly keep as it was (a pseudo-terminal
// keeps 8 data bits and no parity): each is set and read back on its own.
struct Part {
    std::string_view name;
    tcflag_t cflags;
    tcflag_t iflags;
    bool speed;
    std::string (*text)(const termios &); // the part's value, as in the settings text

    bool Same(const termios &a, const termios &b) const
    {
        return ((a.c_cflag ^ b.c_cflag) & cflags) == 0 && ((a.c_iflag ^ b.c_iflag) & iflags) == 0 &&
               (!speed ||
                (cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b)));
    }
    void CopyFrom(const termios &from, termios &to) const
    {
        to.c_cflag = (to.c_cflag & ~cflags) | (from.c_cflag & cflags);
        to.c_iflag = (to.c_iflag & ~iflags) | (from.c_iflag & iflags);
        if (speed) {
            cfsetispeed(&to, cfgetispeed(&from));
            cfsetospeed(&to, cfgetospeed(&from));
        }
    }
};

constexpr Part kBaudRate{"baud rate", 0, 0, true, BaudRateText};
constexpr Part kDataBits{"data bits", CSIZE, 0, false, DataBitsText};
// Parity checking goes with the parity: a line that does not take the parity checks nothing.
constexpr Part kParity{"parity", PARENB | PARODD | CMSPAR, INPCK | PARMRK | IGNPAR | ISTRIP, false,
                       ParityText};
constexpr Part kStopBits{"stop bits", CSTOPB, 0, false, StopBitsText};
constexpr Part kHandshaking{"handshaking", CRTSCTS, 0, false, HandshakingText};
constexpr Part kFlowControl{"software flow control", 0, IXON | IXOFF | IXANY, false,
                            FlowControlText};

constexpr std::array<const Part *, 4> kLineParts{&kBaudRate, &kDataBits, &kParity, &kStopBits};
// What an open must get: without it no byte is sure to pass unchanged.
constexpr std::array<const Part *, 6> kOpenParts{&kBaudRate, &kDataBits,    &kParity,
                                                 &kStopBits, &kHandshaking, &kFlowControl};

// The name of the first part the device did not take as wanted, or empty.
std::string_view RefusedPart(const termios &wanted, const termios &applied)
{
    for (const Part *part : kOpenParts) {
        if (!part->Same(wanted, applied))
            return part->name;
    }
    return {};
}

// Sets the parts of `wanted` one at a time and reads each back: a part the device refuses or
// keeps as it was is put back as it was and noted, and the rest still applies. The attributes
// the line runs with then; empty, with errno, when the device fails.
std::optional<termios> ApplyParts(int fd, const termios &wanted, std::span<const Part *const> parts,
                                  std::vector<SerialPort::NotTaken> &notTaken)
{
    termios line{};
    if (::tcgetattr(fd, &line) != 0)
        return std::nullopt;
    for (const Part *part : parts) {
        std::erase_if(notTaken, [&](const auto &n) { return n.setting == part->name; });
        termios candidate = line;
        part->CopyFrom(wanted, candidate);
        termios applied{};
        if (::tcsetattr(fd, TCSANOW, &candidate) == 0 && ::tcgetattr(fd, &applied) == 0 &&
            part->Same(candidate, applied)) {
            line = applied;
            continue;
        }
        if (::tcsetattr(fd, TCSANOW, &line) != 0)
            return std::nullopt;
        notTaken.push_back({std::string(part->name), part->text(wanted), part->text(line)});
    }
    return line;
}

bool IsWithoutModemLines(int error)
{
    // A device without modem lines (a pseudo-terminal) answers every modem-line call so.
    return error == ENOTTY || error == EINVAL;
}

} // namespace

bool TermiosSerialPort::SetLineAttributes(termios &attributes,
                                          const PortLists::LineSettings &settings)
{
    const auto speed = SpeedOf(settings.baudRate);
    if (!speed || (settings.dataBits != 7 && settings.dataBits != 8))
        return false;
    // Every flag is set here, none kept from an earlier program: a software flow control flag
    // left on would send bytes nobody typed, mark or space parity would turn every byte into a
    // parity error. Every byte, NUL, Ctrl-Z and XON/XOFF included, passes unchanged both ways;
    // DTR drops with the close. Handshaking is set on its own.
    const tcflag_t handshaking = attributes.c_cflag & CRTSCTS;
    attributes = termios{};
    attributes.c_cflag = CLOCAL | CREAD | HUPCL | handshaking;
    attributes.c_cflag |= settings.dataBits == 7 ? CS7 : CS8;
    if (settings.parity != PortLists::kNoParity)
        attributes.c_cflag |= PARENB;
    if (settings.parity == PortLists::kOddParity)
        attributes.c_cflag |= PARODD;
    if (settings.stopBits == 2)
        attributes.c_cflag |= CSTOPB;
    // A byte with a parity error is marked rather than dropped or passed as if sound, and the
    // eighth bit is kept, so a true 0xFF cannot look like the start of a mark.
    if (settings.parity != PortLists::kNoParity)
        attributes.c_iflag = INPCK | PARMRK;
    attributes.c_cc[VMIN] = 1;
    attributes.c_cc[VTIME] = 0;
    cfsetispeed(&attributes, *speed);
    cfsetospeed(&attributes, *speed);
    return true;
}

TermiosSerialPort::TermiosSerialPort(std::string programFolder, QObject *parent)
    : QObject(parent), programFolder_(std::move(programFolder))
{
    answerLimit_.setSingleShot(true);
    connect(&answerLimit_, &QTimer::timeout, this, [this] {
        server_->StopWaiting();
        FinishOpening(std::nullopt);
    });
}

TermiosSerialPort::~TermiosSerialPort()
{
    CloseDevice();
}

void TermiosSerialPort::SetLostHandler(LostHandler handler)
{
    lostHandler_ = std::move(handler);
}

void TermiosSerialPort::SetOpenedHandler(OpenedHandler handler)
{
    openedHandler_ = std::move(handler);
}

bool TermiosSerialPort::Opening() const
{
    return opening_;
}

bool TermiosSerialPort::SetPortNumber(std::int16_t n)
{
    if (n < 1)
        return Fail("no port number " + std::to_string(n));
    std::error_code ignored;
    const std::filesystem::path path = PortDevicePath(programFolder_, n);
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    device_ = absolute.empty() ? path.string() : absolute.string();
    return true;
}

bool TermiosSerialPort::Open()
{
    CloseDevice();
    Forget();
    lossPending_ = false;
    notTaken_.clear();
    if (device_.empty())
        return Fail("no port number set");
    if (const auto address = NetworkAddressAt(device_))
        return OpenNetwork(*address);
    if (!OpenDevice()) {
        CloseDevice();
        return false;
    }
    return true;
}

// Opens the device for this port alone, with plain line settings: those kept from an earlier
// program might be refused by this device before the caller gets to set its own.
bool TermiosSerialPort::OpenDevice()
{
    fd_ = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return errno == EBUSY ? Fail(kInUse) : FailWithSystemReason();
    // Two programs reading one line would each get some of the bytes. The lock keeps out every
    // program that locks (another Tamvi, the usual terminal tools), and goes with our descriptor
    // whatever happens to the device. The terminal's exclusive mode is not used: a hang-up leaves
    // it set on a terminal that stays alive, where only root could clear it, and then nobody else
    // could open the device again, this program included.
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        // The device is another's: closed as it is, with what it holds for them and its mode.
        ::close(fd_);
        fd_ = -1;
        return Fail(error == EWOULDBLOCK ? kInUse : "lock failed: " + SystemMessage(error));
    }
    if (!::isatty(fd_))
        return Fail("not a serial device");

    termios attributes{};
    if (::tcgetattr(fd_, &attributes) != 0)
        return FailWithSystemReason("line settings not read: ");
    const termios before = attributes;
    SetLineAttributes(attributes, PortLists::LineSettings{});
    attributes.c_cflag &= ~CRTSCTS;
    if (!ApplyAttributes(before, attributes))
        return false;
    parityMarking_ = false;
    handshaking_ = Handshaking::None;
    modemLinesAbsent_ = false;
    if (!SetModemLine(TIOCM_DTR, dtr_) || !SetModemLine(TIOCM_RTS, rts_))
        return false;
    StartWatching();
    return true;
}

// Connecting and agreeing on the line go on from the event loop.
bool TermiosSerialPort::OpenNetwork(const NetworkAddress &address)
{
    server_ = std::make_unique<DeviceServerLine>(address.protocol);
    serverLine_ = {};
    handshaking_ = Handshaking::None;
    parityMarking_ = false;
    opening_ = true;
    connector_ = new NetworkConnector(address, this);
    connect(connector_, &NetworkConnector::Connected, this, &TermiosSerialPort::Connected);
    connect(connector_, &NetworkConnector::Failed, this,
            [this, text = address.Text()](const std::string &reason) {
                FinishOpening(text + ": " + reason);
            });
    return true;
}

// What was written while connecting goes after the greeting; the server has no modem lines of
// its own to wait for here, it notifies CTS.
void TermiosSerialPort::Connected(int socket)
{
    connector_->disconnect(this);
    connector_->deleteLater();
    connector_ = nullptr;
    fd_ = socket;
    modemLinesAbsent_ = true;
    queued_.insert(0, server_->Start());
    StartWatching();
    if (server_->Settled())
        FinishOpening(std::nullopt);
    else
        answerLimit_.start(kAnswerLimit);
}

// The outcome reaches the handler from the event loop, as a loss does: here the port may be in
// the middle of a read or of its connector's event.
void TermiosSerialPort::FinishOpening(std::optional<std::string> failure)
{
    if (!opening_)
        return;
    opening_ = false;
    answerLimit_.stop();
    if (failure) {
        CloseDevice();
        Forget();
        error_ = *failure;
    } else {
        notTaken_ = server_->NotTaken();
    }
    openFailure_ = std::move(failure);
    outcomePending_ = true;
    QMetaObject::invokeMethod(this, &TermiosSerialPort::ReportOpened, Qt::QueuedConnection);
}

void TermiosSerialPort::ReportOpened()
{
    if (!std::exchange(outcomePending_, false))
        return;
    if (openedHandler_)
        openedHandler_(openFailure_);
    emit Activity();
}

void TermiosSerialPort::SendToServer(const std::string &bytes)
{
    if (bytes.empty())
        return;
    queued_ += bytes;
    if (fd_ >= 0 && !SendQueued())
        ReportLoss(SystemMessage(errno));
    UpdateWatches();
}

void TermiosSerialPort::SetServerLine()
{
    SendToServer(server_->SetLine(serverLine_));
}

bool TermiosSerialPort::Close()
{
    if (!IsOpen()) {
        Forget();
        return Fail("the port is not open");
    }
    if (fd_ >= 0)
        SendWhatIsLeft();
    CloseDevice();
    Forget();
    return true;
}

bool TermiosSerialPort::IsOpen() const
{
    return fd_ >= 0 || opening_;
}

bool TermiosSerialPort::SetSettings(const std::string &text)
{
    if (!IsOpen())
        return Fail("the port is not open");
    const auto settings = PortLists::ParseLineSettings(text);
    if (!settings)
        return Fail("invalid port settings \"" + text + "\"");
    if (server_) {
        serverLine_.baudRate = static_cast<std::uint32_t>(settings->baudRate);
        serverLine_.dataBits = settings->dataBits;
        serverLine_.parity =
            PortLists::kParities.ForPort(static_cast<std::int16_t>(settings->parity)).text.front();
        serverLine_.stopBits = settings->stopBits;
        SetServerLine();
        return true;
    }
    termios wanted{};
    if (::tcgetattr(fd_, &wanted) != 0)
        return FailWithSystemReason("line settings not read: ");
    if (!SetLineAttributes(wanted, *settings))
        return Fail("invalid port settings \"" + text + "\"");
    const auto line = ApplyParts(fd_, wanted, kLineParts, notTaken_);
    if (!line)
        return FailWithSystemReason("line settings refused: ");
    const bool marking = (line->c_iflag & PARMRK) != 0;
    if (marking != parityMarking_)
        parityMarks_.Reset();
    parityMarking_ = marking;
    return true;
}

// The port works in raw mode: every byte, NUL and Ctrl-Z included, is delivered unchanged, which
// is what the program asks for. The opposite request has nothing to switch.
bool TermiosSerialPort::SetNullDiscard(bool)
{
    return true;
}
bool TermiosSerialPort::SetEofEnable(bool)
{
    return true;
}

bool TermiosSerialPort::SetHandshaking(Handshaking mode)
{
    if (!IsOpen())
        return Fail("the port is not open");
    if (server_) {
        handshaking_ = mode;
        serverLine_.rtsCts = mode == Handshaking::RtsCts;
        SetServerLine();
        return true;
    }
    termios wanted{};
    if (::tcgetattr(fd_, &wanted) != 0)
        return FailWithSystemReason("line settings not read: ");
    if (mode == Handshaking::RtsCts)
        wanted.c_cflag |= CRTSCTS;
    else
        wanted.c_cflag &= ~CRTSCTS;
    const std::array parts{&kHandshaking};
    const auto line = ApplyParts(fd_, wanted, parts, notTaken_);
    if (!line)
        return FailWithSystemReason("line settings refused: ");
    // A device without hardware handshaking leaves RTS to the program.
    handshaking_ = (line->c_cflag & CRTSCTS) != 0 ? Handshaking::RtsCts : Handshaking::None;
    return true;
}

void TermiosSerialPort::SetRts(bool on)
{
    rts_ = on;
    if (server_) {
        SendToServer(server_->SetModemLine(false, on));
        return;
    }
    // Under RTS/CTS handshaking the driver owns the line; the level is kept for GetRts either
    // way.
    if (IsOpen() && handshaking_ != Handshaking::RtsCts)
        SetModemLine(TIOCM_RTS, on);
}

bool TermiosSerialPort::GetRts() const
{
    return rts_;
}

bool TermiosSerialPort::SetDtr(bool on)
{
    dtr_ = on;
    if (server_) {
        SendToServer(server_->SetModemLine(true, on));
        return true;
    }
    return !IsOpen() || SetModemLine(TIOCM_DTR, on);
}

bool TermiosSerialPort::SetReadLength(std::int16_t n)
{
    readLength_ = n;
    return true;
}

std::optional<int> TermiosSerialPort::WaitingCount()
{
    if (!IsOpen() && HeldCount() == 0) {
        Fail("the port is not open");
        return std::nullopt;
    }
    return static_cast<int>(Waiting());
}

std::optional<std::string> TermiosSerialPort::Read()
{
    if (!IsOpen() && HeldCount() == 0) {
        Fail("the port is not open");
        return std::nullopt;
    }
    // A read length of 0 reads everything, as with the classic component.
    const std::size_t wanted =
        readLength_ > 0 ? static_cast<std::size_t>(readLength_) : std::string::npos;

    const std::size_t count = std::min(wanted, Waiting());
    const bool wasFull = Room() == 0;
    std::string bytes = held_.substr(heldRead_, count);
    heldRead_ += count;
    if (HeldCount() == 0) {
        held_.clear();
        heldRead_ = 0;
        keptFromLoss_ = false;
    }
    if (wasFull && count > 0)
        UpdateWatches(); // room again for what the system holds
    return bytes;
}

// Bytes go out at once; what the device cannot take now is queued and sent when it has room.
bool TermiosSerialPort::Write(const std::string &oneChar)
{
    if (!IsOpen())
        return Fail("the port is not open");
    queued_ += server_ ? server_->Send(oneChar) : oneChar;
    if (fd_ < 0)
        return true; // sent once connected
    if (!SendQueued())
        return FailWithSystemReason("write failed: ");
    UpdateWatches();
    return true;
}

bool TermiosSerialPort::GetCts() const
{
    // A device without modem lines stays without them while it is open: asking again on every
    // lamp tick would only cost a failing system call each time.
    if (server_)
        return fd_ >= 0 && server_->Cts();
    if (!IsOpen() || modemLinesAbsent_)
        return false;
    int lines = 0;
    if (::ioctl(fd_, TIOCMGET, &lines) != 0) {
        modemLinesAbsent_ = IsWithoutModemLines(errno);
        return false;
    }
    return (lines & TIOCM_CTS) != 0;
}

bool TermiosSerialPort::PollsModemLines() const
{
    return IsOpen() && !modemLinesAbsent_ && modemWaitUnsupported_;
}

std::vector<SerialPort::NotTaken> TermiosSerialPort::SettingsNotTaken() const
{
    return notTaken_;
}

std::string TermiosSerialPort::DeviceName() const
{
    return device_;
}

std::string TermiosSerialPort::ErrorString() const
{
    return error_;
}

// A pseudo-terminal has no modem lines (found at Open, when they are set) and needs no waiter.
void TermiosSerialPort::WaitForModemLines()
{
    modemWaitUnsupported_ = false;
    if (modemLinesAbsent_)
        return;
    modemWaiter_ = std::make_unique<ModemWaiter>(fd_);
    connect(modemWaiter_.get(), &ModemWaiter::Changed, this, &TermiosSerialPort::Activity);
    connect(modemWaiter_.get(), &ModemWaiter::Unsupported, this, [this] {
        modemWaitUnsupported_ = true;
        emit Activity();
    });
}

// Bytes are taken as they arrive: a hang-up discards what the system still held for the device,
// and a quiet line costs nothing while it waits.
void TermiosSerialPort::StartWatching()
{
    arrivalWatch_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(arrivalWatch_, &QSocketNotifier::activated, this, [this] {
        Collect();
        UpdateWatches(); // off once the buffer is full
        emit Activity();
    });
    sendWatch_ = new QSocketNotifier(fd_, QSocketNotifier::Write, this);
    connect(sendWatch_, &QSocketNotifier::activated, this, [this] {
        if (!SendQueued())
            ReportLoss(SystemMessage(errno));
        UpdateWatches();
    });
    UpdateWatches();
    WaitForModemLines();
}

// Every close of the device goes through here: the watches go first, as a watch left on a
// closed descriptor would be reported as invalid. What the device has still to send is
// discarded, so that closing never waits for it, and what the system received and nobody read,
// which a device that stays open elsewhere (a pseudo-terminal) would keep for the next open.
void TermiosSerialPort::CloseDevice()
{
    modemWaiter_.reset(); // before its descriptor closes
    if (connector_) {
        connector_->disconnect(this);
        connector_->deleteLater(); // it may be the one reporting
        connector_ = nullptr;
    }
    answerLimit_.stop();
    opening_ = false;
    outcomePending_ = false;
    server_.reset();
    delete arrivalWatch_;
    arrivalWatch_ = nullptr;
    delete sendWatch_;
    sendWatch_ = nullptr;
    if (fd_ < 0)
        return;
    ::tcflush(fd_, TCIFLUSH);
    int unsent = 0;
    if (::ioctl(fd_, TIOCOUTQ, &unsent) == 0 && unsent > 0)
        ::tcflush(fd_, TCOFLUSH);
    ::close(fd_); // the lock goes with it
    fd_ = -1;
}

// Bytes written just before a close (a quick-send before Quit or Save) still go out: what is
// queued gets one more try, and the device a short while to send what it holds.
void TermiosSerialPort::SendWhatIsLeft()
{
    SendQueued();
    const auto deadline = std::chrono::steady_clock::now() + kCloseSendLimit;
    int unsent = 0;
    while (::ioctl(fd_, TIOCOUTQ, &unsent) == 0 && unsent > 0 &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
}

// What the port held and had not handed out goes with a close: a new start begins empty. Only
// what a lost port kept stays until it is read, however many opens fail or close before the
// device is back, so that a hold across an unplug loses nothing.
void TermiosSerialPort::Forget()
{
    queued_.clear();
    parityMarks_.Reset();
    if (keptFromLoss_)
        return;
    held_.clear();
    heldRead_ = 0;
}

// Sets the attributes and reads them back: a device may take part of them and keep the rest as
// it was. Then the attributes before stay, and the part refused is the reason.
bool TermiosSerialPort::ApplyAttributes(const termios &before, const termios &wanted)
{
    if (::tcsetattr(fd_, TCSANOW, &wanted) != 0)
        return FailWithSystemReason("line settings refused: ");
    termios applied{};
    if (::tcgetattr(fd_, &applied) != 0)
        return FailWithSystemReason("line settings not read: ");
    const std::string_view refused = RefusedPart(wanted, applied);
    if (refused.empty())
        return true;
    ::tcsetattr(fd_, TCSANOW, &before);
    return Fail(std::string(refused) + " refused by the device");
}

// A device without modem lines counts as done, and is not asked again while open.
bool TermiosSerialPort::SetModemLine(int line, bool on)
{
    if (modemLinesAbsent_ || ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &line) == 0)
        return true;
    if (IsWithoutModemLines(errno)) {
        modemLinesAbsent_ = true;
        return true;
    }
    return FailWithSystemReason("modem line refused: ");
}

// Writes what is queued as far as the device takes it. False, with errno, when the device fails.
bool TermiosSerialPort::SendQueued()
{
    while (!queued_.empty()) {
        const ssize_t sent = ::write(fd_, queued_.data(), queued_.size());
        if (sent > 0)
            queued_.erase(0, static_cast<std::size_t>(sent));
        else if (sent < 0 && errno == EINTR)
            continue;
        else
            return sent == 0 || errno == EAGAIN;
    }
    return true;
}

// Takes what the device has received, and notices a device that went away.
void TermiosSerialPort::Collect()
{
    if (fd_ < 0 || lossPending_)
        return;
    if (std::string gone = Drain(); !gone.empty())
        ReportLoss(std::move(gone));
}

// Moves what the device has received into held_, up to kReceiveBufferBytes held in all. A device
// that hangs up still gives what it had first; then a read finds the end of the file, or fails.
// Returns why the device is gone, or empty.
std::string TermiosSerialPort::Drain()
{
    char chunk[16 * 1024];
    while (Room() > 0) {
        const std::size_t wanted = std::min(sizeof chunk, Room());
        const ssize_t got = ::read(fd_, chunk, wanted);
        if (got > 0) {
            if (server_) {
                // Left to itself the system acknowledges each read that empties the socket at
                // once, which on a slow line cost more than the rest of the reading; a delayed
                // acknowledgement does as well for a line that mostly receives. Not a lasting
                // setting: it holds until the system's next change of mode, so it is set again.
                const int off = 0;
                ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &off, sizeof off);
            }
            Keep(chunk, static_cast<std::size_t>(got));
            if (static_cast<std::size_t>(got) < wanted)
                return {}; // all there was: a slow line costs one read per arrival
        } else if (got == 0) {
            return server_ ? "the server closed the connection" : "the device hung up";
        } else if (errno == EAGAIN) {
            return {};
        } else if (errno != EINTR) {
            return SystemMessage(errno);
        }
    }
    return {};
}

void TermiosSerialPort::Keep(const char *bytes, std::size_t count)
{
    if (server_) {
        SendToServer(server_->Receive(std::string_view(bytes, count), held_));
        if (opening_ && server_->Settled())
            FinishOpening(std::nullopt);
        return;
    }
    if (parityMarking_)
        parityMarks_.Decode(std::string_view(bytes, count), held_);
    else
        held_.append(bytes, count);
}

// The arrival watch is on while there is room: a full buffer leaves the bytes with the system,
// which then holds the sender off. The send watch is on while bytes wait.
void TermiosSerialPort::UpdateWatches()
{
    if (arrivalWatch_)
        arrivalWatch_->setEnabled(Room() > 0 && !lossPending_);
    if (sendWatch_)
        sendWatch_->setEnabled(!queued_.empty() && !lossPending_);
}

std::size_t TermiosSerialPort::Room() const
{
    // Decoding may add a byte or two beyond the limit.
    const auto limit = static_cast<std::size_t>(kReceiveBufferBytes);
    return HeldCount() >= limit ? 0 : limit - HeldCount();
}

// The bytes ready to be read: those held, or when none are, what the device has received since.
std::size_t TermiosSerialPort::Waiting()
{
    if (HeldCount() == 0)
        Collect();
    return HeldCount();
}

// Closing right here could delete a watch inside its own event, or close the port in the middle
// of a read of the receive tick: the port is closed from the event loop, once.
void TermiosSerialPort::ReportLoss(std::string reason)
{
    if (lossPending_ || fd_ < 0)
        return;
    lossPending_ = true;
    lossReason_ = std::move(reason);
    UpdateWatches();
    QMetaObject::invokeMethod(this, &TermiosSerialPort::HandleLoss, Qt::QueuedConnection);
}

void TermiosSerialPort::HandleLoss()
{
    if (!lossPending_ || fd_ < 0)
        return;
    Drain(); // what the system still holds of the device was received: keep it readable
    lossPending_ = false;
    if (opening_) {
        FinishOpening(lossReason_); // the connection ended before the line was agreed on
        return;
    }
    CloseDevice();
    queued_.clear(); // nowhere to go
    keptFromLoss_ = HeldCount() > 0;
    error_ = lossReason_;
    // Not error_: the handler reads the port, and a read of the closed port replaces error_.
    if (lostHandler_)
        lostHandler_(lossReason_);
    emit Activity();
}

bool TermiosSerialPort::Fail(std::string reason)
{
    error_ = std::move(reason);
    return false;
}

bool TermiosSerialPort::FailWithSystemReason(const std::string &what)
{
    return Fail(what + SystemMessage(errno));
}
