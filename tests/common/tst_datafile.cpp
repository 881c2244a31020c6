#include "DataFile.h"
#include "Exception.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>
#include <sys/fsuid.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// File access as an ordinary user for the calling thread, so that permission
// checks hold also when the tests run as root (who may write anything).
class UnprivilegedFileAccess
{
public:
    UnprivilegedFileAccess() : m_active(::geteuid() == 0)
    {
        if (m_active) {
            ::setfsgid(Nobody);
            ::setfsuid(Nobody);
        }
    }
    ~UnprivilegedFileAccess()
    {
        if (m_active) {
            ::setfsuid(0);
            ::setfsgid(0);
        }
    }

private:
    static constexpr uid_t Nobody = 65534;
    bool m_active;
};

// Lowers the file-size limit of the whole process for a while, with SIGXFSZ
// ignored so that a write beyond it fails with EFBIG instead of ending the test.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_previous);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = m_previous;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_previousHandler);
    }

private:
    rlimit m_previous{};
    void (*m_previousHandler)(int);
};

} // namespace

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

    static bool isLink(const QString &path) { return QFileInfo(path).isSymLink(); }
    static mode_t modeOf(const QString &path)
    {
        struct stat st
        {
        };
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
    }
    static QByteArray contentOf(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
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

    void nonRegularFilesAreRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("whole");
        for (const char *kind : {"fifo", "link to /dev/zero", "/dev/null", "folder"}) {
            QTest::addRow("%s, block", kind) << QString(kind) << false;
            QTest::addRow("%s, whole file", kind) << QString(kind) << true;
        }
    }
    void nonRegularFilesAreRefused()
    {
        QFETCH(QString, kind);
        QFETCH(bool, whole);
        QTemporaryDir dir;
        QString path = dir.filePath("Default.esv");
        if (kind == "fifo")
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "link to /dev/zero")
            QVERIFY(QFile::link("/dev/zero", path));
        else if (kind == "folder")
            QVERIFY(QDir().mkdir(path));
        else
            path = kind;
        // A FIFO without a writer would block a plain open() for good.
        const QString error =
            errorOf([&] { whole ? DataFile::readAll(path, 4096) : DataFile::readBlock(path, 30); });
        QCOMPARE(error, QStringLiteral("File access denied"));
    }

    void wholeFileReadIsBounded_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("fits");
        QTest::newRow("empty") << 0 << true;
        QTest::newRow("at the limit") << 100 << true;
        QTest::newRow("one byte over") << 101 << false;
        QTest::newRow("80 MB, sparse") << 80 * 1024 * 1024 << false;
    }
    void wholeFileReadIsBounded()
    {
        QFETCH(int, size);
        QFETCH(bool, fits);
        QTemporaryDir dir;
        const QString path = dir.filePath("PANTRIX.sav");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(size));
        file.close();
        if (fits) {
            QCOMPARE(DataFile::readAll(path, 100), QByteArray(size, '\0'));
        } else {
            QCOMPARE(errorOf([&] { DataFile::readAll(path, 100); }),
                     QStringLiteral("File too large: '%1' has more than 100 bytes").arg(path));
        }
    }

    void saving_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("targetAfter");
        const QByteArray saved = "new settings";
        const QByteArray old = "old settings, a little longer";
        QTest::newRow("plain file replaced") << "plain" << QString() << saved;
        QTest::newRow("relative link kept, target replaced")
            << "relative link" << QString() << saved;
        QTest::newRow("chain of links into another folder") << "link chain" << QString() << saved;
        QTest::newRow("dangling link creates its target") << "dangling link" << QString() << saved;
        QTest::newRow("write-protected file refused") << "write-protected"
                                                      << "File access denied" << old;
        QTest::newRow("read-only folder, rewritten in place")
            << "read-only folder" << QString() << saved;
        QTest::newRow("sticky folder, another user's file, rewritten in place")
            << "sticky folder" << QString() << saved;
        QTest::newRow("hard link keeps seeing the new content")
            << "hard link" << QString() << saved;
        QTest::newRow("fifo refused") << "fifo"
                                      << "File access denied" << QByteArray();
    }
    void saving()
    {
        QFETCH(QString, setup);
        QFETCH(QString, error);
        QFETCH(QByteArray, targetAfter);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        QString path = dir.filePath("a.esv");
        QString target = path;
        if (setup == "relative link" || setup == "dangling link") {
            target = dir.filePath("sub/real.esv");
            QVERIFY(QFile::link("sub/real.esv", path));
        } else if (setup == "link chain") {
            target = dir.filePath("sub/real.esv");
            QVERIFY(QFile::link(dir.filePath("sub/middle.esv"), path));
            QVERIFY(QFile::link("real.esv", dir.filePath("sub/middle.esv")));
        } else if (setup == "read-only folder" || setup == "sticky folder") {
            path = target = dir.filePath("sub/a.esv");
        } else if (setup == "fifo") {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        if (setup != "dangling link" && setup != "fifo")
            writeRaw(target, "old settings, a little longer");
        if (setup == "hard link")
            QCOMPARE(::link(QFile::encodeName(target).constData(),
                            QFile::encodeName(dir.filePath("sub/other.esv")).constData()),
                     0);
        const bool asUser =
            setup == "write-protected" || setup == "read-only folder" || setup == "sticky folder";
        if (asUser) // the unprivileged user may enter the folders and write a 0666 file
            QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
        if (setup == "write-protected")
            QFile::setPermissions(target, QFileDevice::Permissions(0x4444));
        if (setup == "read-only folder") {
            QFile::setPermissions(target, QFileDevice::Permissions(0x6666));
            QFile::setPermissions(dir.filePath("sub"), QFileDevice::Permissions(0x5555));
        }
        if (setup == "sticky folder") {
            QFile::setPermissions(target, QFileDevice::Permissions(0x6666));
            QCOMPARE(::chmod(QFile::encodeName(dir.filePath("sub")).constData(), 01777), 0);
        }
        const mode_t modeBefore = modeOf(target);
        {
            std::optional<UnprivilegedFileAccess> unprivileged;
            if (asUser)
                unprivileged.emplace();
            QCOMPARE(errorOf([&] { DataFile::writeAtomically(path, "new settings"); }), error);
        }
        QFile::setPermissions(dir.filePath("sub"), QFileDevice::Permissions(0x7700));
        if (setup == "fifo") {
            QVERIFY(S_ISFIFO(modeOf(path)));
            return;
        }
        QCOMPARE(contentOf(target), targetAfter);
        QCOMPARE(isLink(path), target != path);
        if (setup != "dangling link") {
            QCOMPARE(modeOf(target), modeBefore);
        } else { // a new file: the usual 0666 less the umask
            const mode_t mask = ::umask(0);
            ::umask(mask);
            QCOMPARE(modeOf(target) & 07777, 0666 & ~mask);
        }
        if (setup == "hard link")
            QCOMPARE(contentOf(dir.filePath("sub/other.esv")), targetAfter);
        const QStringList left =
            QDir(QFileInfo(target).path()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left.filter(QRegularExpression("^\\.")), QStringList());
    }

    // The temporary file is created private and widened before the rename:
    // to the replaced file's mode, or for a new file to 0666 less the umask.
    void savedFileMode_data()
    {
        QTest::addColumn<int>("existingMode"); // -1: no file yet
        QTest::addColumn<int>("umask");
        QTest::addColumn<int>("expected");
        QTest::newRow("existing 0640 under umask 077") << 0640 << 077 << 0640;
        QTest::newRow("existing 0604 under umask 022") << 0604 << 022 << 0604;
        QTest::newRow("existing 0600 under umask 000") << 0600 << 0 << 0600;
        QTest::newRow("new file, umask 022") << -1 << 022 << 0644;
        QTest::newRow("new file, umask 002") << -1 << 002 << 0664;
        QTest::newRow("new file, umask 077") << -1 << 077 << 0600;
    }
    void savedFileMode()
    {
        QFETCH(int, existingMode);
        QFETCH(int, umask);
        QFETCH(int, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath("a.esv");
        if (existingMode >= 0) {
            writeRaw(path, "old");
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(existingMode)), 0);
        }
        const mode_t previous = ::umask(mode_t(umask));
        const QString error = errorOf([&] { DataFile::writeAtomically(path, "new"); });
        ::umask(previous);
        QCOMPARE(error, QString());
        QCOMPARE(contentOf(path), QByteArray("new"));
        QCOMPARE(int(modeOf(path) & 07777), expected);
    }

    void failedSaveLeavesTheOldFileWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("PANTRIX.sav");
        const QByteArray old(64, 'o');
        writeRaw(path, old);
        QString error;
        {
            FileSizeLimit limit(10);
            error = errorOf([&] { DataFile::writeAtomically(path, QByteArray(30, 'n')); });
        }
        QCOMPARE(error, QStringLiteral("Disk full"));
        QCOMPARE(contentOf(path), old);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void errorTextKeepsAZeroByte_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("zero alone") << QString(QChar(0)) << QString(QChar(0x2400));
        QTest::newRow("zero inside")
            << QStringLiteral("1") + QChar(0) + "2" << QStringLiteral("1\u24002");
        QTest::newRow("no zero") << QStringLiteral("x") << QStringLiteral("x");
    }
    void errorTextKeepsAZeroByte()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        const EConvertError error = EConvertError::notInteger(text);
        const QString whole = QStringLiteral("'%1' is not a valid integer value").arg(shown);
        QCOMPARE(error.message(), whole);
        QCOMPARE(QString::fromUtf8(error.what()), whole);
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
