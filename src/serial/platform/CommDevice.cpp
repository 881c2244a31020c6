#include "CommDevice.h"

#include "Rfc2217Address.h"
#include "Rfc2217Device.h"
#include "TermiosDevice.h"

CommDevice::~CommDevice() = default;

std::unique_ptr<CommDevice> openCommDevice(const QString &path, const OpenAbort *abort)
{
    if (Rfc2217Address::isNetworkPath(path))
        return Rfc2217Device::open(path, abort);
    return TermiosDevice::open(path);
}

bool openMayWait(const QString &path)
{
    return Rfc2217Address::isNetworkPath(path);
}
