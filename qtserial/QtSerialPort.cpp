#include "qtserial/QtSerialPort.h"

#include "serial/PortName.h"

#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <poll.h>
#include <string_view>
#include <system_error>
#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace
{

struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

std::vector<std::string> SplitAtCommas(const std::string &text)
{
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == ',')
            fields.emplace_back();
        else
            fields.back().push_back(c);
    }
    return fields;
}

std::optional<qint32> ParseBaudRate(const std::string &field)
{
    qint32 value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || value <= 0)
        return std::nullopt;
    return value;
}

template <typename Value, std::size_t N>
std::optional<Value> Lookup(const std::string &field,
                            const std::pair<std::string_view, Value> (&table)[N])
{
    for (const auto &[text, value] : table) {
        if (field == text)
            return value;
    }
    return std::nullopt;
}

constexpr std::pair<std::string_view, QSerialPort::Parity> kParities[] = {
    {"N", QSerialPort::NoParity},   {"E", QSerialPort::EvenParity},  {"O", QSerialPort::OddParity},
    {"M", QSerialPort::MarkParity}, {"S", QSerialPort::SpaceParity}, {"n", QSerialPort::NoParity},
    {"e", QSerialPort::EvenParity}, {"o", QSerialPort::OddParity},   {"m", QSerialPort::MarkParity},
    {"s", QSerialPort::SpaceParity}};
constexpr std::pair<std::string_view, QSerialPort::DataBits> kDataBits[] = {
    {"5", QSerialPort::Data5},
    {"6", QSerialPort::Data6},
    {"7", QSerialPort::Data7},
    {"8", QSerialPort::Data8}};
constexpr std::pair<std::string_view, QSerialPort::StopBits> kStopBits[] = {
    {"1", QSerialPort::OneStop}, {"1.5", QSerialPort::OneAndHalfStop}, {"2", QSerialPort::TwoStop}};

// "9600,N,8,1": baud rate, parity letter, data bits, stop bits.
std::optional<LineSettings> ParseLineSettings(const std::string &text)
{
    const std::vector<std::string> fields = SplitAtCommas(text);
    if (fields.size() != 4)
        return std::nullopt;
    const auto baudRate = ParseBaudRate(fields[0]);
    const auto parity = Lookup(fields[1], kParities);
    const auto dataBits = Lookup(fields[2], kDataBits);
    const auto stopBits = Lookup(fields[3], kStopBits);
    if (!baudRate || !parity || !dataBits || !stopBits)
        return std::nullopt;
    return LineSettings{*baudRate, *parity, *dataBits, *stopBits};
}

bool IsModemLineUnsupported(const QSerialPort &port)
{
    // A device without modem lines (a pseudo-terminal) answers every modem-line call with
    // "Inappropriate ioctl for device", which QSerialPort reports as unsupported.
    return port.error() == QSerialPort::UnsupportedOperationError;
}

} // namespace

QtSerialPort::QtSerialPort(std::string programFolder, QObject *parent)
    : QObject(parent), programFolder_(std::move(programFolder)), port_(this)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
    collectTimer_.setInterval(kCollectInterval);
    connect(&collectTimer_, &QTimer::timeout, this, &QtSerialPort::OnCollectTick);
}

QtSerialPort::~QtSerialPort()
{
    // QSerialPort may still report while it closes on destruction, when our members are gone.
    disconnect(&port_, nullptr, this, nullptr);
    CloseDevice();
}

void QtSerialPort::SetLostHandler(LostHandler handler)
{
    lostHandler_ = std::move(handler);
}

bool QtSerialPort::SetPortNumber(std::int16_t n)
{
    if (n < 1)
        return Fail("no port number " + std::to_string(n));
    std::error_code ignored;
    const std::filesystem::path path = PortDevicePath(programFolder_, n);
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    device_ = absolute.empty() ? path.string() : absolute.string();
    return true;
}

bool QtSerialPort::Open()
{
    OwnCall call(*this);
    CloseDevice();
    if (device_.empty())
        return Fail("no port number set");
    lossPending_ = false;

    // Open with plain line settings: those kept from an earlier device might be refused by this
    // one before the caller gets to set its own.
    const LineSettings plain;
    port_.setBaudRate(plain.baudRate);
    port_.setParity(plain.parity);
    port_.setDataBits(plain.dataBits);
    port_.setStopBits(plain.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    port_.setPortName(QFile::decodeName(device_.c_str()));
    if (!port_.open(QIODevice::ReadWrite))
        return FailWithSystemReason();
    modemLinesAbsent_ = false;
    if (!TakeOverReceiving()) {
        CloseDevice();
        return Fail("this Qt's serial port cannot leave the receiving to the program");
    }

    if (!ModemLineDone(port_.setDataTerminalReady(dtr_)) ||
        !ModemLineDone(port_.setRequestToSend(rts_))) {
        const std::string reason = error_;
        CloseDevice();
        return Fail(reason);
    }
    return true;
}

bool QtSerialPort::Close()
{
    OwnCall call(*this);
    if (!port_.isOpen())
        return Fail("the port is not open");
    // Bytes still queued (a quick-send just before Quit or a Save) go out before the close
    // would discard them; flush() never blocks.
    port_.flush();
    CloseDevice();
    return true;
}

bool QtSerialPort::IsOpen() const
{
    return port_.isOpen();
}

bool QtSerialPort::SetSettings(const std::string &text)
{
    OwnCall call(*this);
    if (!port_.isOpen())
        return Fail("the port is not open");
    const auto settings = ParseLineSettings(text);
    if (!settings)
        return Fail("invalid port settings \"" + text + "\"");
    if (!port_.setBaudRate(settings->baudRate))
        return FailWithSystemReason("baud rate refused: ");
    if (!port_.setDataBits(settings->dataBits))
        return FailWithSystemReason("data bits refused: ");
    if (!port_.setParity(settings->parity))
        return FailWithSystemReason("parity refused: ");
    if (!port_.setStopBits(settings->stopBits))
        return FailWithSystemReason("stop bits refused: ");
    return true;
}

// QSerialPort works in raw mode: every byte, NUL and Ctrl-Z included, is delivered unchanged,
// which is what the program asks for. The opposite request has nothing to switch.
bool QtSerialPort::SetNullDiscard(bool)
{
    return true;
}
bool QtSerialPort::SetEofEnable(bool)
{
    return true;
}

bool QtSerialPort::SetHandshaking(Handshaking mode)
{
    OwnCall call(*this);
    if (!port_.isOpen())
        return Fail("the port is not open");
    const auto flow =
        mode == Handshaking::RtsCts ? QSerialPort::HardwareControl : QSerialPort::NoFlowControl;
    if (!port_.setFlowControl(flow))
        return FailWithSystemReason("handshaking refused: ");
    return true;
}

void QtSerialPort::SetRts(bool on)
{
    rts_ = on;
    if (!port_.isOpen())
        return;
    OwnCall call(*this);
    // Under RTS/CTS handshaking the driver owns the line and QSerialPort refuses; the level is
    // kept for GetRts either way.
    ModemLineDone(port_.setRequestToSend(on));
}

bool QtSerialPort::GetRts() const
{
    return rts_;
}

bool QtSerialPort::SetDtr(bool on)
{
    dtr_ = on;
    if (!port_.isOpen())
        return true;
    OwnCall call(*this);
    return ModemLineDone(port_.setDataTerminalReady(on));
}

bool QtSerialPort::SetReadLength(std::int16_t n)
{
    readLength_ = n;
    return true;
}

std::optional<int> QtSerialPort::WaitingCount()
{
    if (!port_.isOpen() && HeldCount() == 0) {
        Fail("the port is not open");
        return std::nullopt;
    }
    return static_cast<int>(Waiting());
}

std::optional<std::string> QtSerialPort::Read()
{
    if (!port_.isOpen() && HeldCount() == 0) {
        Fail("the port is not open");
        return std::nullopt;
    }
    // A read length of 0 reads everything, as with the classic component.
    const std::size_t wanted =
        readLength_ > 0 ? static_cast<std::size_t>(readLength_) : std::string::npos;

    const std::size_t count = std::min(wanted, Waiting());
    std::string bytes = held_.substr(heldRead_, count);
    heldRead_ += count;
    if (HeldCount() == 0) {
        held_.clear();
        heldRead_ = 0;
    }
    return bytes;
}

bool QtSerialPort::Write(const std::string &oneChar)
{
    OwnCall call(*this);
    if (!port_.isOpen())
        return Fail("the port is not open");
    const auto size = static_cast<qint64>(oneChar.size());
    if (port_.write(oneChar.data(), size) != size)
        return FailWithSystemReason("write failed: ");
    return true;
}

bool QtSerialPort::GetCts() const
{
    // A device without modem lines stays without them while it is open: asking again on every
    // lamp tick would only cost a failing system call and an error report each time.
    if (!port_.isOpen() || modemLinesAbsent_)
        return false;
    OwnCall call(*this);
    const QSerialPort::PinoutSignals lines = port_.pinoutSignals();
    if (port_.error() != QSerialPort::NoError) {
        modemLinesAbsent_ = IsModemLineUnsupported(port_);
        port_.clearError();
        return false;
    }
    return lines.testFlag(QSerialPort::ClearToSendSignal);
}

std::string QtSerialPort::DeviceName() const
{
    return device_;
}

std::string QtSerialPort::ErrorString() const
{
    return error_;
}

// QSerialPort would read every arrival itself, waking the program for every few bytes: its own
// watch is switched off, and the bytes are taken here instead, with a watch of our own on a fast
// line and by the collect timer on a slow one.
bool QtSerialPort::TakeOverReceiving()
{
    bool found = false;
    for (auto *watch : port_.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly)) {
        if (watch->type() == QSocketNotifier::Read && watch->socket() == port_.handle()) {
            watch->setEnabled(false);
            found = true;
        }
    }
    if (!found)
        return false;
    arrivalWatch_ = new QSocketNotifier(port_.handle(), QSocketNotifier::Read, this);
    connect(arrivalWatch_, &QSocketNotifier::activated, this, [this] {
        Collect();
        UpdateArrivalWatch(); // off once the buffer is full
    });
    fastLine_ = false;
    collected_ = 0;
    UpdateArrivalWatch();
    collectTimer_.start();
    return true;
}

// Every close of the device goes through here: the receiving stops first, as a watch left on a
// closed descriptor would be reported as invalid.
void QtSerialPort::CloseDevice()
{
    collectTimer_.stop();
    delete arrivalWatch_;
    arrivalWatch_ = nullptr;
    if (port_.isOpen())
        port_.close();
}

// Whether the line is fast is judged anew every interval, by what it brought in the last one.
void QtSerialPort::OnCollectTick()
{
    Collect();
    fastLine_ = collected_ >= kFastLineBytes;
    collected_ = 0;
    UpdateArrivalWatch();
}

// Takes what the device has received, and notices a device that went away.
void QtSerialPort::Collect()
{
    if (!port_.isOpen() || lossPending_)
        return;
    pollfd device{port_.handle(), POLLIN, 0};
    if (::poll(&device, 1, 0) <= 0)
        return;
    const bool readable = (device.revents & POLLIN) != 0;
    if ((readable && !Drain()) || (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
        ReportLoss();
}

// Moves what the device has received into held_, up to kReceiveBufferBytes held in all. False
// when reading failed.
bool QtSerialPort::Drain()
{
    char chunk[16 * 1024];
    while (Room() > 0) {
        const ssize_t got = ::read(port_.handle(), chunk, std::min(sizeof chunk, Room()));
        if (got > 0) {
            held_.append(chunk, static_cast<std::size_t>(got));
            collected_ += static_cast<std::size_t>(got);
        } else if (got == 0 || errno == EAGAIN) {
            return true; // nothing more for now
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// The watch is on only on a fast line with room left: a full buffer leaves the bytes with the
// system, which then holds the sender off.
void QtSerialPort::UpdateArrivalWatch()
{
    if (arrivalWatch_)
        arrivalWatch_->setEnabled(fastLine_ && Room() > 0 && !lossPending_);
}

std::size_t QtSerialPort::Room() const
{
    return static_cast<std::size_t>(kReceiveBufferBytes) - HeldCount();
}

// The bytes ready to be read: those held, or when none are, what the device has received since.
std::size_t QtSerialPort::Waiting()
{
    if (HeldCount() == 0)
        Collect();
    return HeldCount();
}

void QtSerialPort::OnError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || ownCalls_ > 0)
        return;
    ReportLoss();
}

// Closing right here could delete a watch inside its own event, or close the port in the middle
// of a read of the receive tick: the port is closed from the event loop, once.
void QtSerialPort::ReportLoss()
{
    if (lossPending_ || !port_.isOpen())
        return;
    lossPending_ = true;
    UpdateArrivalWatch();
    QMetaObject::invokeMethod(this, &QtSerialPort::HandleLoss, Qt::QueuedConnection);
}

void QtSerialPort::HandleLoss()
{
    if (!lossPending_ || !port_.isOpen())
        return;
    const std::string reason = LossReason();
    Drain(); // what the system still holds of the device was received: keep it readable
    lossPending_ = false;
    {
        OwnCall call(*this);
        CloseDevice();
    }
    error_ = reason;
    if (lostHandler_)
        lostHandler_(reason);
}

std::string QtSerialPort::LossReason() const
{
    // A device that went away reads as end of file, and QSerialPort's text then describes a stale
    // errno. Asking the device itself gives the real reason (a hung-up terminal answers EIO).
    termios attributes{};
    if (::tcgetattr(port_.handle(), &attributes) != 0)
        return std::system_category().message(errno);
    return port_.errorString().toStdString();
}

bool QtSerialPort::ModemLineDone(bool applied)
{
    if (applied)
        return true;
    if (IsModemLineUnsupported(port_)) {
        port_.clearError();
        return true;
    }
    return FailWithSystemReason("modem line refused: ");
}

bool QtSerialPort::Fail(std::string reason)
{
    error_ = std::move(reason);
    return false;
}

bool QtSerialPort::FailWithSystemReason(const std::string &what)
{
    const std::string reason = what + port_.errorString().toStdString();
    port_.clearError();
    return Fail(reason);
}
