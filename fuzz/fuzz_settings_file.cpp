// Any file loaded as a settings file (.esv), the way the window loads one:
// the first 30 bytes, or "Read beyond end of file" for a shorter file, then
// spread onto the page. Nothing crashes, errors carry their texts, and a
// record the page took assembles stably.
#include "FuzzInputFile.h"
#include "SettingsPageModel.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QByteArray> block =
        readFuzzRecord(QStringLiteral("Default.esv"), data, size, SettingsTelegram::Size);
    if (!block)
        return 0;
    SettingsTelegram::Bytes record{};
    std::copy(block->begin(), block->end(), record.begin());
    spreadAndReassemble(record);
    return 0;
}
