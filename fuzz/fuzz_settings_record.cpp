// Any 30 bytes spread onto a settings page and assembled again: no crash, and
// assembling is stable once a record has been taken.
#include "SettingsPageModel.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SettingsTelegram::Bytes record{};
    std::memcpy(record.data(), data, std::min(size, record.size()));
    spreadAndReassemble(record);
    return 0;
}
