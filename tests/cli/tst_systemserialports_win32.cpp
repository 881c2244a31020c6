#include "SystemSerialPorts.h"

#include <QTest>
#include <windows.h>

// The COM ports pantrix-cli ports lists on Windows: the registry's values
// become ports in the order of their numbers, described by their friendly
// names where Device Manager has one.
using Values = QList<QPair<QString, QString>>;
using Names = QHash<QString, QString>;

class TestSystemSerialPorts : public QObject
{
    Q_OBJECT

private slots:
    void fromRegistryValues_data()
    {
        QTest::addColumn<Values>("values");
        QTest::addColumn<Names>("friendly");
        QTest::addColumn<QStringList>("listed"); // "n=description"
        QTest::newRow("none") << Values{} << Names{} << QStringList{};
        QTest::newRow("sorted by number, not as text")
            << Values{{"\\Device\\Serial1", "COM10"}, {"\\Device\\Serial0", "COM2"}} << Names{}
            << QStringList{"2=\\Device\\Serial0", "10=\\Device\\Serial1"};
        QTest::newRow("friendly name wins")
            << Values{{"\\Device\\VCP0", "COM3"}} << Names{{"COM3", "USB Serial Port (COM3)"}}
            << QStringList{"3=USB Serial Port (COM3)"};
        QTest::newRow("lower case and blanks in the data")
            << Values{{"\\Device\\Serial0", " com4 "}} << Names{{"COM4", "Port"}}
            << QStringList{"4=Port"};
        QTest::newRow("no COM port data skipped")
            << Values{{"a", "LPT1"}, {"b", "COM0"}, {"c", "COM"}, {"d", "COM5x"}, {"e", ""}}
            << Names{} << QStringList{};
        QTest::newRow("number named twice: the first entry")
            << Values{{"\\Device\\First", "COM7"}, {"\\Device\\Second", "COM7"}} << Names{}
            << QStringList{"7=\\Device\\First"};
    }
    void fromRegistryValues()
    {
        QFETCH(Values, values);
        QFETCH(Names, friendly);
        QFETCH(QStringList, listed);
        QStringList got;
        for (const SystemSerialPorts::Port &port :
             SystemSerialPorts::fromRegistryValues(values, friendly))
            got << QStringLiteral("%1=%2").arg(port.number).arg(port.description);
        QCOMPARE(got, listed);
    }

    // What the system lists matches its registry map: every COMn value there
    // is listed once, with a description.
    void listMatchesTheRegistry()
    {
        QList<int> expected;
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                          &key) == ERROR_SUCCESS) {
            wchar_t name[256];
            wchar_t data[64];
            for (DWORD i = 0;; ++i) {
                DWORD nameLength = 256, dataBytes = sizeof data, type = 0;
                if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type,
                                  reinterpret_cast<BYTE *>(data), &dataBytes) != ERROR_SUCCESS)
                    break;
                const QString port =
                    QString::fromWCharArray(data, dataBytes / sizeof(wchar_t)).remove(QChar(0));
                if (type == REG_SZ && port.startsWith(QLatin1String("COM")))
                    expected << port.mid(3).toInt();
            }
            RegCloseKey(key);
        }
        std::sort(expected.begin(), expected.end());
        QList<int> listed;
        for (const SystemSerialPorts::Port &port : SystemSerialPorts::list()) {
            listed << port.number;
            qInfo("COM%d: %s", port.number, qPrintable(port.description));
            QVERIFY(!port.description.isEmpty());
        }
        QCOMPARE(listed, expected);
    }
};

QTEST_GUILESS_MAIN(TestSystemSerialPorts)
#include "tst_systemserialports_win32.moc"
