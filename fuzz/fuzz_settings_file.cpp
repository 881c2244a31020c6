// Any file loaded as a settings file (.esv), the way the window loads one:
// the first 30 bytes, or "Read beyond end of file" for a shorter file, then
// spread onto the page. Nothing crashes, errors carry their texts, and a
// record the page took assembles stably.
#include "DataFile.h"
#include "Exception.h"
#include "FuzzInputFile.h"
#include "SettingsPageModel.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = writeFuzzInput(QStringLiteral("Default.esv"), data, size);
    QByteArray block;
    try {
        block = DataFile::readBlock(path, SettingsTelegram::Size);
    } catch (const EInOutError &e) {
        if (size >= size_t(SettingsTelegram::Size) || e.message().isEmpty())
            std::abort();
        return 0;
    }
    if (size < size_t(SettingsTelegram::Size) || block.size() != SettingsTelegram::Size ||
        !std::equal(block.begin(), block.end(), reinterpret_cast<const char *>(data)))
        std::abort();
    SettingsTelegram::Bytes record{};
    std::copy(block.begin(), block.end(), record.begin());
    spreadAndReassemble(record);
    return 0;
}
