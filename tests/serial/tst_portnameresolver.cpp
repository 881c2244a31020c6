// How a port name becomes a device path or a network address: the environment,
// the ports file and its location, the built-in default, and the tooltip text.
#include "platform/PortNameResolver.h"
#include "platform/PortsMap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const Variables[] = {"HOME", "XDG_CONFIG_HOME", "PANTRIX_PORTS_FILE", "PANTRIX_COM3",
                                 "PANTRIX_COM57"};

// Where a row puts its ports file.
enum Location
{
    ExplicitFile,
    XdgConfigHome,
    HomeConfig,
    HomeConfigWithRelativeXdg,
    XdgFileButExplicitElsewhere
};

bool writeFile(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size();
}

} // namespace

class TestPortNameResolver : public QObject
{
    Q_OBJECT

private:
    QHash<QByteArray, std::optional<QByteArray>> m_saved;
    std::unique_ptr<QTemporaryDir> m_dir;

    // Sets up the environment for `location` and returns where the file goes.
    QString placeFile(Location location)
    {
        const QString root = m_dir->path();
        qputenv("HOME", QFile::encodeName(root + "/home"));
        switch (location) {
        case ExplicitFile:
            qputenv("PANTRIX_PORTS_FILE", QFile::encodeName(root + "/my-ports"));
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/xdg"));
            return root + "/my-ports";
        case XdgConfigHome:
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/xdg"));
            return root + "/xdg/pantrix/ports";
        case HomeConfig:
            return root + "/home/.config/pantrix/ports";
        case HomeConfigWithRelativeXdg:
            qputenv("XDG_CONFIG_HOME", "relative/config");
            return root + "/home/.config/pantrix/ports";
        case XdgFileButExplicitElsewhere:
            qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/xdg"));
            qputenv("PANTRIX_PORTS_FILE", QFile::encodeName(root + "/missing"));
            return root + "/xdg/pantrix/ports";
        }
        return QString();
    }

private slots:
    void init()
    {
        for (const char *name : Variables) {
            m_saved[name] =
                qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
            qunsetenv(name);
        }
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        for (auto it = m_saved.cbegin(); it != m_saved.cend(); ++it) {
            if (it.value())
                qputenv(it.key().constData(), *it.value());
            else
                qunsetenv(it.key().constData());
        }
        m_dir.reset();
    }

    void resolutionOrder_data()
    {
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QByteArray>("environment");
        QTest::addColumn<int>("location");
        QTest::addColumn<QString>("fileText");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("description");

        const int env = int(PortNameResolver::Source::Environment);
        const int file = int(PortNameResolver::Source::PortsFile);
        const int builtIn = int(PortNameResolver::Source::BuiltInDefault);
        const int given = int(PortNameResolver::Source::AsGiven);
        const QString net = QStringLiteral("rfc2217://127.0.0.1:7020");
        const QByteArray unset;

        QTest::newRow("environment wins over the file")
            << "COM3" << QByteArray("/dev/ttyUSB7") << int(XdgConfigHome) << "COM3=" + net
            << "/dev/ttyUSB7" << env << "COM3: /dev/ttyUSB7 (environment variable PANTRIX_COM3)";
        QTest::newRow("environment names a network target")
            << "COM3" << net.toLatin1() << int(HomeConfig) << QString() << net << env
            << "COM3: " + net + " (environment variable PANTRIX_COM3)";
        QTest::newRow("empty environment value: the file")
            << "COM3" << QByteArray("") << int(XdgConfigHome) << "COM3=" + net << net << file
            << "COM3: " + net + " (ports file %FILE%)";
        QTest::newRow("file named by PANTRIX_PORTS_FILE")
            << "COM3" << unset << int(ExplicitFile) << "COM3=/dev/ttyACM0"
            << "/dev/ttyACM0" << file << "COM3: /dev/ttyACM0 (ports file %FILE%)";
        QTest::newRow("file under XDG_CONFIG_HOME")
            << "COM3" << unset << int(XdgConfigHome) << "COM3=" + net << net << file
            << "COM3: " + net + " (ports file %FILE%)";
        QTest::newRow("file under ~/.config without XDG_CONFIG_HOME")
            << "COM3" << unset << int(HomeConfig) << "COM3=/dev/ttyACM1"
            << "/dev/ttyACM1" << file << "COM3: /dev/ttyACM1 (ports file %FILE%)";
        QTest::newRow("relative XDG_CONFIG_HOME ignored")
            << "COM3" << unset << int(HomeConfigWithRelativeXdg) << "COM3=/dev/ttyACM1"
            << "/dev/ttyACM1" << file << "COM3: /dev/ttyACM1 (ports file %FILE%)";
        QTest::newRow("PANTRIX_PORTS_FILE set: the usual file is not read")
            << "COM57" << unset << int(XdgFileButExplicitElsewhere) << "COM57=" + net
            << "/dev/ttyS56" << builtIn << "COM57: /dev/ttyS56 (built-in default)";
        QTest::newRow("another port's line does not apply")
            << "COM57" << unset << int(XdgConfigHome) << "COM56=" + net << "/dev/ttyS56" << builtIn
            << "COM57: /dev/ttyS56 (built-in default)";
        QTest::newRow("no map: built-in default, a local device")
            << "COM57" << unset << int(HomeConfig) << QString() << "/dev/ttyS56" << builtIn
            << "COM57: /dev/ttyS56 (built-in default)";
        QTest::newRow("name in lower case")
            << "com3" << QByteArray("/dev/ttyUSB2") << int(HomeConfig) << QString()
            << "/dev/ttyUSB2" << env << "com3: /dev/ttyUSB2 (environment variable PANTRIX_COM3)";
        QTest::newRow("absolute path used as given")
            << "/dev/pts/3" << QByteArray("/dev/ttyUSB2") << int(HomeConfig) << "COM3=" + net
            << "/dev/pts/3" << given << "/dev/pts/3: /dev/pts/3 (name used as given)";
        QTest::newRow("COM0 is no COM name")
            << "COM0" << unset << int(HomeConfig) << "COM0=" + net << "COM0" << given
            << "COM0: COM0 (name used as given)";
    }
    void resolutionOrder()
    {
        QFETCH(QString, portName);
        QFETCH(QByteArray, environment);
        QFETCH(int, location);
        QFETCH(QString, fileText);
        QFETCH(QString, description);
        if (QFileInfo::exists(QStringLiteral("/dev/ttyUSB56")))
            QSKIP("this machine has a /dev/ttyUSB56, the built-in default differs");

        const QString filePath = placeFile(Location(location));
        if (!fileText.isNull())
            QVERIFY(writeFile(filePath, fileText + "\n"));
        if (!environment.isNull())
            qputenv("PANTRIX_COM3", environment);

        const PortNameResolver::Resolution resolution = PortNameResolver::lookup(portName);
        QTEST(resolution.target, "target");
        QTEST(int(resolution.source), "source");
        QCOMPARE(PortNameResolver::resolve(portName), resolution.target);
        QCOMPARE(PortNameResolver::describe(portName),
                 description.replace(QStringLiteral("%FILE%"), filePath));
    }

    void portsFileLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("target");

        QTest::newRow("comment and blank lines") << "# my ports\n\nCOM3=/dev/ttyUSB0\n"
                                                 << 3 << "/dev/ttyUSB0";
        QTest::newRow("blanks around") << "  COM3 =\t/dev/ttyUSB0  \n" << 3 << "/dev/ttyUSB0";
        QTest::newRow("comment after the target")
            << "COM3=/dev/ttyUSB0   # the grey adapter" << 3 << "/dev/ttyUSB0";
        QTest::newRow("'#' inside a device name")
            << "COM3=/dev/serial/by-id/usb-FTDI#1" << 3 << "/dev/serial/by-id/usb-FTDI#1";
        QTest::newRow("CRLF line ends") << "COM2=/a\r\nCOM3=/dev/ttyUSB0\r\n"
                                        << 3 << "/dev/ttyUSB0";
        QTest::newRow("name in lower case") << "com3=/dev/ttyUSB0" << 3 << "/dev/ttyUSB0";
        QTest::newRow("network target")
            << "COM16=rfc2217://127.0.0.1:7020" << 16 << "rfc2217://127.0.0.1:7020";
        QTest::newRow("later line wins") << "COM3=/a\nCOM3=/b\n" << 3 << "/b";
        QTest::newRow("empty target: the earlier line stays") << "COM3=/a\nCOM3=\n" << 3 << "/a";
        QTest::newRow("commented-out entry") << "#COM3=/a\n" << 3 << QString();
        QTest::newRow("COM0 is no port") << "COM0=/a\n" << 0 << QString();
        QTest::newRow("no equals sign") << "COM3 /dev/ttyUSB0\n" << 3 << QString();
        QTest::newRow("other name") << "PORT3=/a\nCOMX=/b\n" << 3 << QString();
        QTest::newRow("another number") << "COM33=/a\n" << 3 << QString();
    }
    // A FIFO under the ports file's name would block the port choice for good.
    void portsFileThatIsNoFileIsEmpty()
    {
        const QString fifo = m_dir->filePath("ports");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(PortsMap::load(fifo).comNumbers().isEmpty());
        QVERIFY(PortsMap::load(m_dir->path()).comNumbers().isEmpty());
    }

    void portsFileLines()
    {
        QFETCH(QString, text);
        QFETCH(int, number);
        QFETCH(QString, target);
        const std::optional<QString> found = PortsMap::parse(text).target(number);
        QCOMPARE(found.has_value(), !target.isNull());
        if (found)
            QCOMPARE(*found, target);
    }

    void unreadableFileIsAnEmptyMap()
    {
        const QString path = m_dir->path() + "/ports";
        QVERIFY(!PortsMap::load(path).target(3));
        QVERIFY(QDir().mkpath(path));
        QVERIFY(!PortsMap::load(path).target(3));
    }

    void assignWritesTheEntry_data()
    {
        QTest::addColumn<QByteArray>("before"); // null: no file, nor its folder
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("readOnlyFolder");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("error"); // what the error text holds; empty: success

        const QString acm = "/dev/ttyACM0";
        QTest::newRow("no file, no folder")
            << QByteArray() << acm << false << QByteArray("COM3=/dev/ttyACM0\n") << QString();
        QTest::newRow("empty file")
            << QByteArray("") << acm << false << QByteArray("COM3=/dev/ttyACM0\n") << QString();
        QTest::newRow("comments and other ports stay; the entry keeps its comment")
            << QByteArray("# Workshop\nCOM1=/dev/ttyUSB0\n  com3 = /dev/ttyS2   # bench\n\n"
                          "#COM3=/old\nCOM16=rfc2217://10.0.0.4:4001")
            << acm << false
            << QByteArray("# Workshop\nCOM1=/dev/ttyUSB0\n  COM3=/dev/ttyACM0   # bench\n\n"
                          "#COM3=/old\nCOM16=rfc2217://10.0.0.4:4001")
            << QString();
        QTest::newRow("appended after a last line without its end")
            << QByteArray("COM1=/dev/ttyUSB0\nCOM33=/dev/ttyS1") << acm << false
            << QByteArray("COM1=/dev/ttyUSB0\nCOM33=/dev/ttyS1\nCOM3=/dev/ttyACM0\n") << QString();
        QTest::newRow("named twice: both lines")
            << QByteArray("COM3=/a\nCOM1=/b\nCOM3=/c # later\n") << acm << false
            << QByteArray("COM3=/dev/ttyACM0\nCOM1=/b\nCOM3=/dev/ttyACM0 # later\n") << QString();
        QTest::newRow("CRLF lines, replaced")
            << QByteArray("# PC\r\nCOM3=/a\r\nCOM1=/b\r\n") << acm << false
            << QByteArray("# PC\r\nCOM3=/dev/ttyACM0\r\nCOM1=/b\r\n") << QString();
        QTest::newRow("CRLF lines, appended")
            << QByteArray("# PC\r\nCOM1=/b\r\n") << "rfc2217://[2001:db8::7]:4001" << false
            << QByteArray("# PC\r\nCOM1=/b\r\nCOM3=rfc2217://[2001:db8::7]:4001\r\n") << QString();
        QTest::newRow("'#' inside a device name")
            << QByteArray("") << "/dev/serial/by-id/usb-FTDI#1" << false
            << QByteArray("COM3=/dev/serial/by-id/usb-FTDI#1\n") << QString();
        QTest::newRow("read-only folder and file")
            << QByteArray("COM3=/a\n") << acm << true << QByteArray("COM3=/a\n")
            << "File access denied";
        QTest::newRow("read-only folder without the file")
            << QByteArray() << acm << true << QByteArray() << "File access denied";
        QTest::newRow("a target the next read would cut at its comment")
            << QByteArray("COM3=/a\n") << "/dev/ttyUSB0 #1" << false << QByteArray("COM3=/a\n")
            << "would start a comment";
        QTest::newRow("a target of two lines")
            << QByteArray("COM3=/a\n") << "/dev/ttyUSB0\nCOM4=/x" << false
            << QByteArray("COM3=/a\n") << "has several lines";
    }

    void assignWritesTheEntry()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, target);
        QFETCH(bool, readOnlyFolder);
        QFETCH(QByteArray, after);
        QFETCH(QString, error);
        const QString folder = m_dir->filePath("config/pantrix");
        const QString path = folder + "/ports";
        if (!before.isNull() || readOnlyFolder)
            QVERIFY(QDir().mkpath(folder));
        if (!before.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(before), before.size());
        }
        QString result;
        if (readOnlyFolder) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadOther);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther |
                                              QFile::ExeOther);
            QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ExeOther);
            QFile::setPermissions(m_dir->filePath("config"), QFile::ReadOwner | QFile::WriteOwner |
                                                                 QFile::ExeOwner | QFile::ExeOther);
            // Root may write anything: this thread's file access is an
            // ordinary user's for the call.
            const bool root = ::geteuid() == 0;
            if (root) {
                ::setfsgid(65534);
                ::setfsuid(65534);
            }
            result = PortsMap::assign(path, 3, target);
            if (root) {
                ::setfsuid(0);
                ::setfsgid(0);
            }
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else {
            result = PortsMap::assign(path, 3, target);
        }
        if (error.isEmpty()) {
            QCOMPARE(result, QString());
            QCOMPARE(PortsMap::load(path).target(3), std::optional(target));
        } else {
            QVERIFY2(result.startsWith(path + ": ") && result.contains(error), qPrintable(result));
        }
        QFile written(path);
        QCOMPARE(written.exists(), !after.isNull());
        if (written.open(QIODevice::ReadOnly))
            QCOMPARE(written.readAll(), after);
        // Atomic replacement leaves no temporary file beside it.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), after.isNull() ? 0 : 1);
    }
};

QTEST_GUILESS_MAIN(TestPortNameResolver)
#include "tst_portnameresolver.moc"
