// Any file loaded as a brightness file (.hsv): the first 21 bytes, or "Read
// beyond end of file" for a shorter file. The 16 values become three-digit
// field texts whose range check agrees with the values, and the texts
// assemble to the same values between the constant header and tail.
#include "BrightnessTelegram.h"
#include "FuzzInputFile.h"

#include <algorithm>

namespace {

void checkFields(const BrightnessTelegram::Bytes &record)
{
    const QStringList texts = BrightnessTelegram::fieldTexts(record);
    if (texts.size() != BrightnessTelegram::ValueCount)
        std::abort();
    for (int n = 0; n < BrightnessTelegram::ValueCount; ++n) {
        const int value = record[BrightnessTelegram::FirstValueOffset + n];
        if (texts[n].size() != 3 ||
            BrightnessTelegram::isValueTextInRange(texts[n]) != (value >= 1))
            std::abort();
    }
    BrightnessTelegram::Bytes assembled{};
    BrightnessTelegram::assemble(texts, assembled);
    // The values come back; header and tail are the constants whatever the file held.
    BrightnessTelegram::Bytes expected = record;
    expected[0] = 0x1B;
    expected[1] = 'H';
    expected[2] = 'T';
    expected[19] = 0x0D;
    expected[20] = 0x0A;
    if (assembled != expected)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::optional<QByteArray> block =
        readFuzzRecord(QStringLiteral("Default.hsv"), data, size, BrightnessTelegram::Size);
    if (!block)
        return 0;
    BrightnessTelegram::Bytes record{};
    std::copy(block->begin(), block->end(), record.begin());
    checkFields(record);
    return 0;
}
