#include "SystemSerialPorts.h"

#include <windows.h>
// setupapi.h and devguid.h need windows.h first.
#include <devguid.h>
#include <setupapi.h>
#include <vector>

namespace {

// A REG_SZ value as text; its terminating zero, if stored, is dropped.
QString textOf(const std::vector<wchar_t> &data, DWORD bytes)
{
    QString text = QString::fromWCharArray(data.data(), qsizetype(bytes / sizeof(wchar_t)));
    while (text.endsWith(QChar(0)))
        text.chop(1);
    return text;
}

} // namespace

QList<QPair<QString, QString>> SystemSerialPorts::readRegistryValues()
{
    QList<QPair<QString, QString>> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return values; // no serial port at all: Windows then has no such key
    DWORD count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longestName, &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::vector<wchar_t> name(longestName + 1);
        std::vector<wchar_t> data(longestData / sizeof(wchar_t) + 1);
        for (DWORD index = 0; index < count; ++index) {
            DWORD nameLength = DWORD(name.size());
            DWORD dataBytes = DWORD(data.size() * sizeof(wchar_t));
            DWORD type = 0;
            if (RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                              reinterpret_cast<BYTE *>(data.data()), &dataBytes) != ERROR_SUCCESS ||
                type != REG_SZ)
                continue;
            values.append({QString::fromWCharArray(name.data(), qsizetype(nameLength)),
                           textOf(data, dataBytes)});
        }
    }
    RegCloseKey(key);
    return values;
}

// A device's registry property as text; for a list of strings (hardware
// IDs), the first of them.
static QString deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA &device, DWORD property)
{
    std::vector<wchar_t> buffer(512);
    DWORD bytes = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE *>(buffer.data()),
                                           DWORD(buffer.size() * sizeof(wchar_t)), &bytes))
        return {};
    const QString text = textOf(buffer, bytes);
    return text.section(QChar(0), 0, 0);
}

// The present devices of the ports class, by the port name their device key
// holds ("PortName").
QHash<QString, SystemSerialPorts::DeviceDetails> SystemSerialPorts::readDevices()
{
    QHash<QString, DeviceDetails> found;
    const HDEVINFO devices =
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE)
        return found;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        const HKEY key =
            SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        std::vector<wchar_t> port(64);
        DWORD portBytes = DWORD(port.size() * sizeof(wchar_t));
        DWORD type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type,
                             reinterpret_cast<BYTE *>(port.data()), &portBytes) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named)
            continue;
        found.insert(textOf(port, portBytes).trimmed().toUpper(),
                     {deviceProperty(devices, device, SPDRP_FRIENDLYNAME),
                      deviceProperty(devices, device, SPDRP_MFG),
                      deviceProperty(devices, device, SPDRP_HARDWAREID)});
    }
    SetupDiDestroyDeviceInfoList(devices);
    return found;
}
