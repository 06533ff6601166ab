#include "serial/QtSerialPort.h"

#include "serial/PortName.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>
#include <termios.h>
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
    port_.setReadBufferSize(kQSerialPortBufferBytes);
    connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::OnError);
    // Together with what QSerialPort may still hold, the port keeps kReceiveBufferBytes.
    connect(&port_, &QSerialPort::readyRead, this,
            [this] { TakeReceived(kReceiveBufferBytes - kQSerialPortBufferBytes); });
}

QtSerialPort::~QtSerialPort()
{
    // QSerialPort may still report while it closes on destruction, when our members are gone.
    disconnect(&port_, nullptr, this, nullptr);
}

void QtSerialPort::SetPortLostHandler(std::function<void(const std::string &reason)> handler)
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
    if (port_.isOpen())
        port_.close();
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

    if (!ModemLineDone(port_.setDataTerminalReady(dtr_)) ||
        !ModemLineDone(port_.setRequestToSend(rts_))) {
        const std::string reason = error_;
        port_.close();
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
    port_.close();
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
    const qint64 buffered = port_.isOpen() ? port_.bytesAvailable() : 0;
    return static_cast<int>(HeldCount() + static_cast<std::size_t>(buffered));
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

    const std::size_t fromHeld = std::min(wanted, HeldCount());
    std::string bytes = held_.substr(heldRead_, fromHeld);
    heldRead_ += fromHeld;
    if (HeldCount() == 0) {
        held_.clear();
        heldRead_ = 0;
    }

    if (bytes.size() < wanted && port_.isOpen()) {
        OwnCall call(*this);
        const std::size_t old = bytes.size();
        const std::size_t more =
            std::min(wanted - old, static_cast<std::size_t>(port_.bytesAvailable()));
        bytes.resize(old + more);
        const qint64 got = port_.read(bytes.data() + old, static_cast<qint64>(more));
        bytes.resize(old + static_cast<std::size_t>(std::max<qint64>(got, 0)));
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
    if (!port_.isOpen())
        return false;
    OwnCall call(*this);
    const QSerialPort::PinoutSignals lines = port_.pinoutSignals();
    if (port_.error() != QSerialPort::NoError) {
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

void QtSerialPort::OnError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError || ownCalls_ > 0 ||
        lossPending_ || !port_.isOpen())
        return;
    // Closing here would delete QSerialPort's notifier inside its own event; close right after.
    lossPending_ = true;
    QMetaObject::invokeMethod(this, &QtSerialPort::HandleLoss, Qt::QueuedConnection);
}

// Moves what QSerialPort received into our own buffer, up to `limit` bytes held in all. Once the
// limit is reached the bytes stay with QSerialPort, which stops reading when its small buffer is
// full.
void QtSerialPort::TakeReceived(qint64 limit)
{
    const qint64 room = std::min(limit - static_cast<qint64>(HeldCount()), port_.bytesAvailable());
    if (room <= 0)
        return;
    OwnCall call(*this);
    const QByteArray received = port_.read(room);
    held_.append(received.constData(), static_cast<std::size_t>(received.size()));
}

void QtSerialPort::HandleLoss()
{
    if (!lossPending_ || !port_.isOpen())
        return;
    lossPending_ = false;
    const std::string reason = LossReason();
    {
        OwnCall call(*this);
        // What QSerialPort received before the device went away was received: keep it readable.
        TakeReceived(std::numeric_limits<qint64>::max());
        port_.close();
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
