#include "platform/PortOpenDiagnosis.h"

#include <QTest>
#include <cerrno>

// The hint that the window shows beside a port that did not open, for the
// errno values the Win32 back end reports. A COM port is named as the user
// knows it; network targets keep their own hints.
class TestPortOpenDiagnosisWin32 : public QObject
{
    Q_OBJECT

private slots:
    void hints_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("begins"); // empty: no hint
        QTest::newRow("in use (sharing violation)")
            << "\\\\.\\COM3" << EBUSY
            << "COM3 is in use by another program (a terminal program, or pantrix in another "
               "window): a COM port serves one program at a time.";
        QTest::newRow("in use (access denied)")
            << "\\\\.\\COM3" << EACCES << "COM3 is in use by another program";
        QTest::newRow("no such port")
            << "\\\\.\\COM12" << ENOENT << "There is no port COM12. Check in Device Manager";
        QTest::newRow("driver error") << "\\\\.\\COM4" << EIO
                                      << "The driver of COM4 reported an error: unplug the "
                                         "adapter, plug it in again and connect again.";
        QTest::newRow("driver timeout")
            << "\\\\.\\COM4" << ETIMEDOUT << "The driver of COM4 did not answer in time";
        QTest::newRow("device path as given") << "//./COM5" << ENOENT << "There is no port COM5.";
        QTest::newRow("unknown error") << "\\\\.\\COM4" << EINVAL << QString();
        QTest::newRow("network target unchanged")
            << "rfc2217://127.0.0.1:7020" << ECONNREFUSED
            << "Nothing accepts connections at rfc2217://127.0.0.1:7020";
    }
    void hints()
    {
        QFETCH(QString, target);
        QFETCH(int, error);
        QFETCH(QString, begins);
        const QString hint = PortOpenDiagnosis::hint(target, error);
        QVERIFY2(begins.isEmpty() ? hint.isEmpty() : hint.startsWith(begins), qPrintable(hint));
    }

    // The hint for a missing port names where ports are mapped.
    void missingPortNamesThePortsFile()
    {
        qputenv("PANTRIX_PORTS_FILE", "C:/maps/ports");
        const QString hint = PortOpenDiagnosis::hint(QStringLiteral("\\\\.\\COM9"), ENOENT);
        qunsetenv("PANTRIX_PORTS_FILE");
        QVERIFY2(hint.contains(QLatin1String("C:\\maps\\ports")), qPrintable(hint));
        QVERIFY2(hint.contains(QLatin1String("pantrix-cli ports")), qPrintable(hint));
    }
};

QTEST_GUILESS_MAIN(TestPortOpenDiagnosisWin32)
#include "tst_portopendiagnosis_win32.moc"
