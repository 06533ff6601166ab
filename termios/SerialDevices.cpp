#include "termios/SerialDevices.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

namespace
{

// A /dev/serial/by-id/ name stays with its adapter whatever socket it is in and in whatever
// order adapters were plugged in; the /dev name may change between plugs.
QString StableName(const QString &systemLocation)
{
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == systemLocation)
            return link.absoluteFilePath();
    }
    return systemLocation;
}

QString Describe(const QSerialPortInfo &info)
{
    QStringList parts;
    for (const QString &part : {info.description(), info.manufacturer(), info.serialNumber()}) {
        if (!part.isEmpty() && !parts.contains(part))
            parts << part;
    }
    return parts.join(QStringLiteral(", "));
}

} // namespace

std::vector<SerialDevice> AvailableSerialDevices()
{
    std::vector<SerialDevice> devices;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        devices.push_back({StableName(info.systemLocation()), Describe(info)});
    return devices;
}
