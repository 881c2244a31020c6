#include "CommDevice.h"

#include "Rfc2217Address.h"
#include "Rfc2217Device.h"

#ifdef _WIN32
#include "Win32CommDevice.h"
using LocalDevice = Win32CommDevice;
#else
#include "TermiosDevice.h"
using LocalDevice = TermiosDevice;
#endif

CommDevice::~CommDevice() = default;

std::unique_ptr<CommDevice> openCommDevice(const QString &path, const OpenAbort *abort)
{
    if (Rfc2217Address::isNetworkPath(path))
        return Rfc2217Device::open(path, abort);
    return LocalDevice::open(path);
}

bool openMayWait(const QString &path)
{
    return Rfc2217Address::isNetworkPath(path);
}
