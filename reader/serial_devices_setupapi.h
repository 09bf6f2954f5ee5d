#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include "reader/serial_devices.h"

namespace palmota {

// What the Windows device list (SetupAPI) holds for one port of the Ports class or the COM
// port interface, as the system gives it; serialDevicesPresent() reads it on Windows, and
// what it means is decided here, apart from the system, so that it can be tried anywhere.
struct SetupApiPort {
    QString portName;      // PortName in the device's own registry key: "COM5"
    QString friendlyName;  // SPDRP_FRIENDLYNAME: "USB Serial Port (COM5)"
    QString description;   // SPDRP_DEVICEDESC: "USB Serial Port"
    QString manufacturer;  // SPDRP_MFG: "FTDI"
    // SPDRP_HARDWAREID, the most specific first: "USB\VID_0403&PID_6001&REV_0600".
    QStringList hardwareIds;
    // The device instance id: the bus, the device's ids, then the adapter's own serial
    // number when it has one ("USB\VID_0403&PID_6001\A50285BI").
    QString instanceId;
};

// The port as the programs list it: its name as --port takes it ("COM5", or "\\.\CNCA0"
// for a port that is not COMn), the friendly name without the port's own name after it,
// the maker, the USB vendor and product ids, and the adapter's serial number.
SerialDevice deviceFromSetupApi(const SetupApiPort& port);

// The ports of the device list, and those that only the registry's list of serial ports
// (HARDWARE\DEVICEMAP\SERIALCOMM) names, each once, COM ports in the order of their
// numbers, then the others by name.
QList<SerialDevice> windowsPortList(const QList<SetupApiPort>& deviceList,
                                    const QStringList& serialCommNames);

}  // namespace palmota
