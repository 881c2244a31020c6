// Any file read as the state file "PANTRIX.sav": always five lines without
// line ends, and converting them as the start-up does either succeeds or
// fails with a conversion error that names the text.
#include "Conversions.h"
#include "Exception.h"
#include "FuzzInputFile.h"
#include "StateFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = writeFuzzInput(StateFile::FileName, data, size);
    QStringList lines;
    try {
        lines = StateFile::readLines(path);
    } catch (const EInOutError &e) {
        // A file too large for the reader may be refused; any refusal says why.
        if (e.message().isEmpty())
            std::abort();
        return 0;
    }
    if (lines.size() != StateFile::LineCount)
        std::abort();
    for (const QString &line : lines) {
        if (line.contains(QLatin1Char('\n')))
            std::abort();
    }
    try {
        Conversions::strToInt(lines[0]);
        Conversions::strToBool(lines[1]);
        Conversions::strToBool(lines[2]);
        Conversions::strToBool(lines[3]);
        Conversions::strToInt(lines[4]);
    } catch (const EConvertError &e) {
        if (e.message().isEmpty())
            std::abort();
    }
    return 0;
}
