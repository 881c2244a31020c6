// Time and memory of reading the program's data files when they are odd: a
// FIFO or /dev/zero under a data file's name, a language file far beyond any
// real one, and the largest language file that is still accepted; and the
// time of saving a record. Prints the figures; a refusal should take no
// measurable time or memory, and the largest accepted file well under a second.
#include "DataFile.h"
#include "Exception.h"
#include "LanguageFileReader.h"
#include "LanguageTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Runs `action`, prints its time, the growth of the peak memory and the error text.
void measure(const char *what, const std::function<void()> &action)
{
    const long rssBefore = peakRssKiB();
    QElapsedTimer timer;
    timer.start();
    QString outcome = QStringLiteral("done");
    try {
        action();
    } catch (const Exception &e) {
        outcome = e.message();
    }
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    std::printf("%-44s %9.3f ms  peak +%6ld KiB  %s\n", what, ms, peakRssKiB() - rssBefore,
                qPrintable(outcome));
}

void writeLanguageFile(const QString &path, int cellBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write("FALSE\r\n9\r\n\r\n\r\n\r\n99\r\n");
    for (int i = 0; i < 10; ++i)
        file.write("\r\n");
    const QByteArray cell = QByteArray(cellBytes, 'x') + "\r\n";
    for (int n = 0; n < 9 * 100; ++n)
        file.write(cell);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo");
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    const QString zero = dir.filePath("zero");
    QFile::link("/dev/zero", zero);
    const QString huge = dir.filePath("huge.mlf");
    {
        QFile file(huge);
        if (file.open(QIODevice::WriteOnly))
            file.resize(81LL * 1000 * 1000); // sparse: 81 MB of zero bytes
    }
    LanguageTable table;
    LanguageFileReader reader(table);

    std::printf("Refusals (each must be immediate):\n");
    measure("FIFO as a record file", [&] { DataFile::readBlock(fifo, 30); });
    measure("FIFO as the state file", [&] { DataFile::readAll(fifo, 4096); });
    measure("FIFO as the language file", [&] { reader.read(fifo); });
    measure("link to /dev/zero as the state file", [&] { DataFile::readAll(zero, 4096); });
    measure("link to /dev/zero as the language file", [&] { reader.read(zero); });
    measure("81 MB language file", [&] { reader.read(huge); });

    std::printf("Accepted language files:\n");
    const QString real = dir.filePath("real.mlf");
    writeLanguageFile(real, 40);
    measure("9 languages x 100 rows of 40 bytes", [&] { reader.read(real); });
    const QString largest = dir.filePath("largest.mlf");
    writeLanguageFile(largest, int(LanguageFileReader::MaxFileSize / 900) - 64);
    std::printf("  (largest accepted: %lld bytes)\n", QFile(largest).size());
    measure("9 languages x 100 rows, just under 4 MiB", [&] { reader.read(largest); });

    std::printf("Saving a 30-byte record (fsync included):\n");
    const QString record = dir.filePath("a.esv");
    measure("new file", [&] { DataFile::writeAtomically(record, QByteArray(30, 'a')); });
    measure("over the earlier file",
            [&] { DataFile::writeAtomically(record, QByteArray(30, 'b')); });
    return 0;
}
