#include "DataFile.h"
#include "Exception.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

class TestDataFile : public QObject
{
    Q_OBJECT

    static void writeRaw(const QString &path, const QByteArray &data)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(data);
    }

    static QString errorOf(const std::function<void()> &action)
    {
        try {
            action();
        } catch (const EInOutError &e) {
            return e.message();
        }
        return QString();
    }

private slots:
    void readsExactlyTheBlock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.esv");
        writeRaw(path, QByteArray(31, 'a') + 'b');
        QCOMPARE(DataFile::readBlock(path, 30), QByteArray(30, 'a'));
    }

    void shortFileKeepsWhatItHad()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.esv");
        writeRaw(path, QByteArray(29, 'q'));
        QByteArray partial;
        QCOMPARE(errorOf([&] { DataFile::readBlock(path, 30, &partial); }),
                 QStringLiteral("Read beyond end of file"));
        QCOMPARE(partial, QByteArray(29, 'q'));
    }

    void errorTexts()
    {
        QTemporaryDir dir;
        QCOMPARE(errorOf([&] { DataFile::readBlock(dir.filePath("none.esv"), 30); }),
                 QStringLiteral("File not found"));
        QCOMPARE(errorOf([&] { DataFile::readBlock(dir.filePath("no/such/x.esv"), 30); }),
                 QStringLiteral("Invalid filename"));
        QCOMPARE(errorOf([&] { DataFile::writeAtomically(dir.filePath("no/x.esv"), "abc"); }),
                 QStringLiteral("Invalid filename"));
        if (::geteuid() != 0) {
            const QString locked = dir.filePath("locked");
            QVERIFY(QDir().mkdir(locked));
            QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
            QCOMPARE(errorOf([&] { DataFile::writeAtomically(locked + "/x.esv", "abc"); }),
                     QStringLiteral("File access denied"));
        }
    }

    void writeReplacesWholeAndKeepsNoTemporary()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Default.hsv");
        writeRaw(path, QByteArray(100, 'x'));
        DataFile::writeAtomically(path, QByteArray(21, '\x01'));
        QCOMPARE(DataFile::readBlock(path, 21), QByteArray(21, '\x01'));
        QCOMPARE(QFileInfo(path).size(), 21);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void readOnlyFileLoads()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("ro.esv");
        writeRaw(path, QByteArray(30, 'r'));
        QFile::setPermissions(path, QFile::ReadOwner);
        QCOMPARE(DataFile::readBlock(path, 30), QByteArray(30, 'r'));
    }
};

QTEST_APPLESS_MAIN(TestDataFile)
#include "tst_datafile.moc"
