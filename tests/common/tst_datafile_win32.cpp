#include "DataFile.h"
#include "Exception.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <windows.h>

// The Windows side of the data files: a save replaces the file whole or not
// at all, keeps what Windows keeps with a file (its attributes), refuses what
// the user may not write with the Linux texts, and leaves no temporary file.
namespace {

QString errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Exception &error) {
        return error.message();
    }
    return {};
}

std::wstring native(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

DWORD attributesOf(const QString &path)
{
    return GetFileAttributesW(native(path).c_str());
}

void setAttributes(const QString &path, DWORD attributes)
{
    if (!SetFileAttributesW(native(path).c_str(), attributes))
        qFatal("cannot set the attributes of %s", qPrintable(path));
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestDataFileWin32 : public QObject
{
    Q_OBJECT

private slots:
    void writeAtomically_data()
    {
        QTest::addColumn<QString>("existing");   // "" for none, else its content
        QTest::addColumn<int>("attributes");     // of the existing file
        QTest::addColumn<QString>("error");      // "" for a save that works
        QTest::addColumn<QByteArray>("content"); // what the file holds afterwards
        QTest::newRow("new file") << QString() << 0 << QString() << QByteArray("new settings");
        QTest::newRow("replaces an empty file")
            << QString() << int(FILE_ATTRIBUTE_NORMAL) << QString() << QByteArray("new settings");
        QTest::newRow("replaces a longer file")
            << QStringLiteral("old settings, longer") << int(FILE_ATTRIBUTE_NORMAL) << QString()
            << QByteArray("new settings");
        QTest::newRow("keeps the hidden attribute")
            << QStringLiteral("old") << int(FILE_ATTRIBUTE_HIDDEN) << QString()
            << QByteArray("new settings");
        QTest::newRow("read-only file refused")
            << QStringLiteral("old") << int(FILE_ATTRIBUTE_READONLY)
            << QStringLiteral("File access denied") << QByteArray("old");
    }
    void writeAtomically()
    {
        QFETCH(QString, existing);
        QFETCH(int, attributes);
        QFETCH(QString, error);
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.esv"));
        if (attributes != 0) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(existing.toLatin1());
            file.close();
            setAttributes(path, DWORD(attributes));
        }
        QCOMPARE(errorOf([&] { DataFile::writeAtomically(path, "new settings"); }), error);
        QCOMPARE(contentOf(path), content);
        if (attributes != 0)
            QCOMPARE(attributesOf(path) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY),
                     DWORD(attributes) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
        // No temporary file is left beside it, whatever happened.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("Default.esv")});
        if (attributes & FILE_ATTRIBUTE_READONLY)
            setAttributes(path, FILE_ATTRIBUTE_NORMAL);
    }

    // Names that are no regular file in a folder that is there.
    void refusedTargets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing folder") << "no/such/x.esv" << QStringLiteral("Invalid filename");
        QTest::newRow("folder") << "folder" << QStringLiteral("File access denied");
        QTest::newRow("device name") << "NUL" << QStringLiteral("File access denied");
    }
    void refusedTargets()
    {
        QFETCH(QString, name);
        QFETCH(QString, error);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        const QString path = name == u"NUL" ? name : dir.filePath(name);
        QCOMPARE(errorOf([&] { DataFile::writeAtomically(path, "abc"); }), error);
        if (name != u"NUL")
            QCOMPARE(errorOf([&] { DataFile::readBlock(path, 3); }),
                     name == u"folder" ? error : QStringLiteral("Invalid filename"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList());
    }

    // A file another program holds open without sharing cannot be replaced;
    // the save says so and the file keeps its content.
    void lockedFileIsKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Default.hsv"));
        DataFile::writeAtomically(path, "old");
        const HANDLE holder = CreateFileW(native(path).c_str(), GENERIC_READ, 0, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        QVERIFY(holder != INVALID_HANDLE_VALUE);
        const QString error = errorOf([&] { DataFile::writeAtomically(path, "new"); });
        CloseHandle(holder);
        QCOMPARE(error, QStringLiteral("File access denied"));
        QCOMPARE(contentOf(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("Default.hsv")});
    }

    void readBack_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<QString>("error");
        QTest::newRow("whole block") << qsizetype(30) << QString();
        QTest::newRow("short file") << qsizetype(21) << QStringLiteral("Read beyond end of file");
    }
    void readBack()
    {
        QFETCH(qsizetype, size);
        QFETCH(QString, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("r.esv"));
        DataFile::writeAtomically(path, QByteArray(size, 'r'));
        QByteArray partial;
        QByteArray block;
        QCOMPARE(errorOf([&] { block = DataFile::readBlock(path, 30, &partial); }), error);
        QCOMPARE(error.isEmpty() ? block : partial, QByteArray(size, 'r'));
        QCOMPARE(DataFile::readAll(path, 100), QByteArray(size, 'r'));
        QCOMPARE(errorOf([&] { DataFile::readAll(path, 20); }),
                 QStringLiteral("File too large: '%1' has more than 20 bytes").arg(path));
    }
};

QTEST_GUILESS_MAIN(TestDataFileWin32)
#include "tst_datafile_win32.moc"
