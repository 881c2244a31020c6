// Any bytes as a language file: the reader never overflows the table, never
// loops past the end of the file, and fails only with its own errors.
#include "Exception.h"
#include "LanguageFileReader.h"
#include "LanguageTable.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath("Language.mlf");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    LanguageTable table;
    LanguageFileReader reader(table);
    try {
        reader.read(path, [](int, const QString &) {});
    } catch (const Exception &) {
    }
    return 0;
}
