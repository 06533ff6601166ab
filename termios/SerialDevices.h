#pragma once

// The serial devices the system has, for the user to choose from.

#include <QString>

#include <functional>
#include <vector>

struct SerialDevice {
    QString path;        // its stable /dev/serial/by-id/ name when it has one, else its /dev name
    QString description; // what the system knows of it: product, maker, serial number
};

using SerialDeviceLister = std::function<std::vector<SerialDevice>()>;

// Read anew on every call.
std::vector<SerialDevice> AvailableSerialDevices();
