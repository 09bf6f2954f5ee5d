#include <windows.h>
// SetupAPI's header needs the types windows.h declares.
#include <setupapi.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

#include "reader/serial_devices.h"
#include "reader/serial_devices_setupapi.h"

namespace palmota {

namespace {

// The Ports (COM & LPT) device class, and the interface serial port drivers register; a
// port may be in either or both.
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
constexpr GUID kComPortInterface = {
    0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

// A text the system stores as UTF-16, up to its first NUL.
QString fromWide(const std::vector<wchar_t>& text) {
    std::size_t length = 0;
    while (length < text.size() && text[length] != L'\0') ++length;
    return QString::fromWCharArray(text.data(), static_cast<qsizetype>(length));
}

// A REG_MULTI_SZ: texts one after the other, each ending in NUL, the list in one more.
QStringList multiText(const std::vector<wchar_t>& text) {
    QStringList texts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\0') continue;
        if (i == start) break;
        texts << QString::fromWCharArray(text.data() + start, static_cast<qsizetype>(i - start));
        start = i + 1;
    }
    return texts;
}

// One of the device's properties as the system stores it (empty when it has none), asked
// once for its size and once for its value.
std::vector<wchar_t> property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which) {
    DWORD bytes = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &device, which, nullptr, nullptr, 0, &bytes);
    if (bytes == 0) return {};
    // Two more NULs, should the stored value lack its own.
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, which, nullptr,
                                             reinterpret_cast<BYTE*>(value.data()), bytes, nullptr))
        return {};
    return value;
}

QString instanceId(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD length = 0;
    ::SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &length);
    if (length == 0) return {};
    std::vector<wchar_t> id(length + 1, L'\0');
    if (!::SetupDiGetDeviceInstanceIdW(set, &device, id.data(), length, nullptr)) return {};
    return fromWide(id);
}

// A text value of an open registry key; empty when it is missing or not a text.
QString registryText(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ || bytes == 0)
        return {};
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()),
                           &bytes) != ERROR_SUCCESS)
        return {};
    return fromWide(value);
}

// The port's name (COM5) sits in the device's own registry key, as PortName.
QString portName(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY key =
        ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (key == INVALID_HANDLE_VALUE) return {};
    const QString name = registryText(key, L"PortName");
    ::RegCloseKey(key);
    return name;
}

void appendPresent(QList<SetupApiPort>& ports, const GUID& guid, DWORD flags) {
    const HDEVINFO set = ::SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        SetupApiPort port;
        port.portName = portName(set, device);
        port.friendlyName = fromWide(property(set, device, SPDRP_FRIENDLYNAME));
        port.description = fromWide(property(set, device, SPDRP_DEVICEDESC));
        port.manufacturer = fromWide(property(set, device, SPDRP_MFG));
        port.hardwareIds = multiText(property(set, device, SPDRP_HARDWAREID));
        port.instanceId = instanceId(set, device);
        ports.append(port);
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

// HARDWARE\DEVICEMAP\SERIALCOMM: one value a serial port its driver made, the port's name
// as the data ("\Device\Serial0" = "COM1").
QStringList serialCommNames() {
    QStringList names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameLength = 256;
        wchar_t data[256];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        names << QString::fromWCharArray(data);
    }
    ::RegCloseKey(key);
    return names;
}

}  // namespace

QList<SerialDevice> serialDevicesPresent() {
    QList<SetupApiPort> ports;
    appendPresent(ports, kPortsClass, 0);
    appendPresent(ports, kComPortInterface, DIGCF_DEVICEINTERFACE);
    return windowsPortList(ports, serialCommNames());
}

}  // namespace palmota
