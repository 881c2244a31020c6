#include "CommDevice.h"

#include "TermiosDevice.h"

CommDevice::~CommDevice() = default;

std::unique_ptr<CommDevice> openCommDevice(const QString &path)
{
    return TermiosDevice::open(path);
}
