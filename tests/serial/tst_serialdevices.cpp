// The serial devices listed for choosing a port, from a sysfs and /dev tree
// built in a temporary folder: which ttys are listed, with what, in which
// order; and the watcher that says when the list changes.
#include "platform/SerialDeviceWatcher.h"
#include "platform/SerialDevices.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

using Device = SerialDevices::Device;

// A machine as sysfs and /dev show it, under one folder.
class FakeMachine
{
public:
    explicit FakeMachine(const QString &root) : m_sys(root + "/sys"), m_dev(root + "/dev") {}
    QString sys() const { return m_sys; }
    QString dev() const { return m_dev; }

    void file(const QString &path, const QByteArray &content = {})
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    // A relative link, as sysfs and udev make them.
    void link(const QString &path, const QString &target)
    {
        QDir().mkpath(QFileInfo(path).path());
        const QString relative = QDir(QFileInfo(path).path()).relativeFilePath(target);
        QCOMPARE(
            ::symlink(QFile::encodeName(relative).constData(), QFile::encodeName(path).constData()),
            0);
    }
    void driver(const QString &device, const QString &bus, const QString &name)
    {
        QDir().mkpath(m_sys + "/bus/" + bus + "/drivers/" + name);
        link(device + "/driver", m_sys + "/bus/" + bus + "/drivers/" + name);
        QDir().mkpath(m_sys + "/bus/" + bus);
        link(device + "/subsystem", m_sys + "/bus/" + bus);
    }
    void usbDevice(const QString &folder, const QMap<QString, QByteArray> &attributes)
    {
        for (auto it = attributes.cbegin(); it != attributes.cend(); ++it)
            file(folder + "/" + it.key(), it.value() + "\n");
    }
    // The tty NAME of `device`, with its class entry, its type (none: no
    // type file) and its node in /dev (unless `node` is false).
    void tty(const QString &device, const QString &name, const QByteArray &type = {},
             bool node = true)
    {
        const QString folder = device + "/tty/" + name;
        QDir().mkpath(folder);
        link(folder + "/device", device);
        if (!type.isEmpty())
            file(folder + "/type", type + "\n");
        link(m_sys + "/class/tty/" + name, folder);
        if (node)
            file(m_dev + "/" + name);
    }

    void build()
    {
        const QString usb = m_sys + "/devices/pci0000:00/0000:00:14.0/usb1";
        // An FTDI adapter: tty below the usb-serial port below the interface.
        usbDevice(usb + "/1-1", {{"idVendor", "0403"},
                                 {"idProduct", "6001"},
                                 {"manufacturer", "FTDI"},
                                 {"product", "FT232R USB UART"},
                                 {"serial", "A9XYZ"}});
        const QString ftdiPort = usb + "/1-1/1-1:1.0/ttyUSB0";
        QDir().mkpath(ftdiPort);
        driver(ftdiPort, "usb-serial", "ftdi_sio");
        tty(ftdiPort, "ttyUSB0");
        link(m_dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0", m_dev + "/ttyUSB0");
        // A CDC device without a product string: the tty is the interface's.
        usbDevice(usb + "/1-2", {{"idVendor", "2341"},
                                 {"idProduct", "0043"},
                                 {"manufacturer", "Arduino (www.arduino.cc)"},
                                 {"serial", "8573531"}});
        const QString acm = usb + "/1-2/1-2:1.0";
        QDir().mkpath(acm);
        driver(acm, "usb", "cdc_acm");
        tty(acm, "ttyACM0");
        // A UART found by PNP, on the serial core's port and controller (Linux 6.5 on).
        const QString pnp = m_sys + "/devices/pnp0/00:01";
        QDir().mkpath(pnp + "/00:01:0/00:01:0.0");
        driver(pnp, "pnp", "serial");
        driver(pnp + "/00:01:0", "serial-base", "ctrl");
        driver(pnp + "/00:01:0/00:01:0.0", "serial-base", "port");
        tty(pnp + "/00:01:0/00:01:0.0", "ttyS0", "4");
        // serial8250's ports where no UART answered, and one where one did.
        const QString platform = m_sys + "/devices/platform/serial8250";
        QDir().mkpath(platform);
        driver(platform, "platform", "serial8250");
        tty(platform, "ttyS1", "0");
        tty(platform, "ttyS10", "4");
        tty(platform, "ttyS2", "4");
        // A virtual console has no device; an adapter of a container may have no node.
        QDir().mkpath(m_sys + "/devices/virtual/tty/tty0");
        link(m_sys + "/class/tty/tty0", m_sys + "/devices/virtual/tty/tty0");
        file(m_dev + "/tty0");
        QDir().mkpath(usb + "/1-1/1-1:1.1/ttyUSB1");
        driver(usb + "/1-1/1-1:1.1/ttyUSB1", "usb-serial", "ftdi_sio");
        tty(usb + "/1-1/1-1:1.1/ttyUSB1", "ttyUSB1", {}, false);
    }

private:
    QString m_sys;
    QString m_dev;
};

} // namespace

class TestSerialDevices : public QObject
{
    Q_OBJECT

private slots:
    void listing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description"); // empty: not listed
        QTest::addColumn<QString>("byId");
        QTest::addColumn<QString>("serial");
        QTest::newRow("USB adapter") << "ttyUSB0"
                                     << "FTDI FT232R USB UART (ftdi_sio, 0403:6001)"
                                     << "serial/by-id/usb-FTDI_FT232R_USB_UART_A9XYZ-if00-port0"
                                     << "A9XYZ";
        QTest::newRow("CDC device") << "ttyACM0"
                                    << "Arduino (www.arduino.cc) (cdc_acm, 2341:0043)"
                                    << ""
                                    << "8573531";
        QTest::newRow("UART on the serial core's port: the PNP driver") << "ttyS0"
                                                                        << "Serial port (serial)"
                                                                        << ""
                                                                        << "";
        QTest::newRow("UART of serial8250") << "ttyS2"
                                            << "Serial port (serial8250)"
                                            << ""
                                            << "";
        QTest::newRow("serial8250 port without a UART") << "ttyS1"
                                                        << ""
                                                        << ""
                                                        << "";
        QTest::newRow("virtual console") << "tty0"
                                         << ""
                                         << ""
                                         << "";
        QTest::newRow("adapter without a node in /dev") << "ttyUSB1"
                                                        << ""
                                                        << ""
                                                        << "";
    }
    void listing()
    {
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, byId);
        QFETCH(QString, serial);
        QTemporaryDir dir;
        FakeMachine machine(QFileInfo(dir.path()).canonicalFilePath());
        machine.build();
        const QList<Device> devices = SerialDevices::presentUnder(machine.sys(), machine.dev());
        QStringList nodes;
        for (const Device &device : devices)
            nodes << QFileInfo(device.node).fileName();
        QCOMPARE(nodes, QStringList({"ttyACM0", "ttyS0", "ttyS2", "ttyS10", "ttyUSB0"}));
        const qsizetype index = nodes.indexOf(name);
        QCOMPARE(index >= 0, !description.isEmpty());
        if (index < 0)
            return;
        const Device &device = devices[index];
        QCOMPARE(device.node, machine.dev() + "/" + name);
        QCOMPARE(device.description(), description);
        QCOMPARE(device.byId, byId.isEmpty() ? QString() : machine.dev() + "/" + byId);
        QCOMPARE(device.serial, serial);
    }

    void watcherFollowsDevices()
    {
        QTemporaryDir dir;
        FakeMachine machine(QFileInfo(dir.path()).canonicalFilePath());
        machine.build();
        SerialDeviceWatcher watcher(
            [&] { return SerialDevices::presentUnder(machine.sys(), machine.dev()); },
            {machine.dev()});
        QSignalSpy changed(&watcher, &SerialDeviceWatcher::changed);
        watcher.setActive(true);
        const QString usb = machine.sys() + "/devices/pci0000:00/0000:00:14.0/usb1";
        QDir().mkpath(usb + "/1-3/1-3:1.0");
        machine.driver(usb + "/1-3/1-3:1.0", "usb", "cdc_acm");
        machine.tty(usb + "/1-3/1-3:1.0", "ttyACM1");
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 1, 30000);
        // Unplugged while nobody looks: nothing is said, not even later.
        watcher.setActive(false);
        QVERIFY(QFile::remove(machine.dev() + "/ttyACM1"));
        QTest::qWait(2500);
        QCOMPARE(changed.size(), 1);
        // Looking again starts from what is there now.
        watcher.setActive(true);
        QTest::qWait(2500);
        QCOMPARE(changed.size(), 1);
        QVERIFY(QFile::remove(machine.dev() + "/ttyUSB0"));
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), 2, 30000);
    }
};

QTEST_GUILESS_MAIN(TestSerialDevices)
#include "tst_serialdevices.moc"
