#include "SimulatorCommandLine.h"

#include <QTest>

using namespace std::chrono_literals;

class TestSimulatorCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void defaults()
    {
        const SimulatorCommandLine line = SimulatorCommandLine::parse({"sim"});
        QCOMPARE(line.error(), QString());
        QVERIFY(!line.helpRequested());
        QCOMPARE(line.address(), QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(line.port(), quint16(7020));
        const DisplaySimOptions options = line.options();
        QVERIFY(!options.fast);
        QVERIFY(!options.silent);
        QCOMPARE(options.rtsAnswer, quint8(0x06));
        QVERIFY(!options.corruptEchoOffset);
        QVERIFY(!options.enqInEcho);
        QVERIFY(!options.stopEnqAfter);
        QVERIFY(!options.dropAfter);
    }

    void listen_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");
        QTest::newRow("loopback") << "127.0.0.1:7021" << true << "127.0.0.1" << 7021;
        QTest::newRow("any port") << "127.0.0.1:0" << true << "127.0.0.1" << 0;
        QTest::newRow("localhost") << "localhost:7020" << true << "127.0.0.1" << 7020;
        QTest::newRow("all interfaces") << "0.0.0.0:7020" << true << "0.0.0.0" << 7020;
        QTest::newRow("IPv6 in brackets") << "[::1]:7020" << true << "::1" << 7020;
        QTest::newRow("no port") << "127.0.0.1" << false << "" << 0;
        QTest::newRow("empty port") << "127.0.0.1:" << false << "" << 0;
        QTest::newRow("port too large") << "127.0.0.1:65536" << false << "" << 0;
        QTest::newRow("host name") << "example.com:7020" << false << "" << 0;
        QTest::newRow("no host") << ":7020" << false << "" << 0;
    }
    void listen()
    {
        QFETCH(QString, value);
        QFETCH(bool, valid);
        QFETCH(QString, address);
        QFETCH(int, port);
        const SimulatorCommandLine line = SimulatorCommandLine::parse({"sim", "--listen", value});
        if (!valid) {
            QCOMPARE(line.error(),
                     QStringLiteral(
                         "--listen needs HOST:PORT with an IP address or localhost, not '%1'.")
                         .arg(value));
            return;
        }
        QCOMPARE(line.error(), QString());
        QCOMPARE(line.address(), QHostAddress(address));
        QCOMPARE(line.port(), quint16(port));
    }

    void faults_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("options");
        QTest::newRow("switches") << QStringList{"--fast", "--silent", "--enq-in-echo"} << ""
                                  << "fast silent enq-in-echo answer=6";
        QTest::newRow("answer hex") << QStringList{"--answer", "0x15"} << ""
                                    << "answer=21";
        QTest::newRow("answer upper-case hex") << QStringList{"--answer", "0XfF"} << ""
                                               << "answer=255";
        QTest::newRow("answer decimal") << QStringList{"--answer", "0"} << ""
                                        << "answer=0";
        QTest::newRow("answer too large")
            << QStringList{"--answer", "256"}
            << "--answer needs a byte from 0 to 255 (or 0x00 to 0xFF), not '256'."
            << "";
        QTest::newRow("answer bare 0x")
            << QStringList{"--answer", "0x"}
            << "--answer needs a byte from 0 to 255 (or 0x00 to 0xFF), not '0x'."
            << "";
        QTest::newRow("corrupt first") << QStringList{"--corrupt-echo", "0"} << ""
                                       << "answer=6 corrupt=0";
        QTest::newRow("corrupt last") << QStringList{"--corrupt-echo", "29"} << ""
                                      << "answer=6 corrupt=29";
        QTest::newRow("corrupt past the record")
            << QStringList{"--corrupt-echo", "30"}
            << "--corrupt-echo needs an offset from 0 to 29, not '30'."
            << "";
        QTest::newRow("corrupt negative")
            << QStringList{"--corrupt-echo", "-1"}
            << "--corrupt-echo needs an offset from 0 to 29, not '-1'."
            << "";
        QTest::newRow("seconds") << QStringList{"--stop-enq-after", "2.5", "--drop-after", "0.25"}
                                 << ""
                                 << "answer=6 stop-enq=2500 drop=250";
        QTest::newRow("seconds not a number")
            << QStringList{"--drop-after", "soon"}
            << "--drop-after needs a number of seconds, not 'soon'."
            << "";
        QTest::newRow("seconds negative") << QStringList{"--stop-enq-after", "-1"}
                                          << "--stop-enq-after needs a number of seconds, not '-1'."
                                          << "";
        QTest::newRow("unknown option") << QStringList{"--loud"} << "Unknown option 'loud'."
                                        << "";
        QTest::newRow("missing value")
            << QStringList{"--answer"} << "Missing value after '--answer'."
            << "";
        QTest::newRow("positional") << QStringList{"7020"} << "Unexpected argument '7020'."
                                    << "";
#ifdef Q_OS_WIN
        // The Windows build serves RFC 2217 only.
        QTest::newRow("serial on Windows") << QStringList{"--serial", "COM1"}
                                           << "Unknown option 'serial'." << "";
#else
        QTest::newRow("serial with faults")
            << QStringList{"--serial", "/dev/ttyS0", "--fast", "--answer", "0x15"} << ""
            << "fast answer=21 serial=/dev/ttyS0";
        QTest::newRow("serial empty") << QStringList{"--serial", ""}
                                      << "--serial needs the path of a serial device." << "";
        QTest::newRow("serial and listen")
            << QStringList{"--serial", "/dev/ttyS0", "--listen", "127.0.0.1:7020"}
            << "--serial and --listen exclude each other." << "";
        QTest::newRow("serial and drop")
            << QStringList{"--serial", "/dev/ttyS0", "--drop-after", "1"}
            << "--drop-after closes RFC 2217 connections; it does not apply to --serial." << "";
#endif
    }
    void faults()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QFETCH(QString, options);
        const SimulatorCommandLine line =
            SimulatorCommandLine::parse(QStringList{"sim"} + arguments);
        QCOMPARE(line.error(), error);
        if (!error.isEmpty())
            return;
        const DisplaySimOptions o = line.options();
        QStringList got;
        if (o.fast)
            got << "fast";
        if (o.silent)
            got << "silent";
        if (o.enqInEcho)
            got << "enq-in-echo";
        got << QStringLiteral("answer=%1").arg(o.rtsAnswer);
        if (o.corruptEchoOffset)
            got << QStringLiteral("corrupt=%1").arg(*o.corruptEchoOffset);
        if (o.stopEnqAfter)
            got << QStringLiteral("stop-enq=%1").arg(o.stopEnqAfter->count());
        if (o.dropAfter)
            got << QStringLiteral("drop=%1").arg(o.dropAfter->count());
        if (!line.serialPath().isEmpty())
            got << "serial=" + line.serialPath();
        QCOMPARE(got.join(' '), options);
    }

    void help()
    {
        const SimulatorCommandLine line = SimulatorCommandLine::parse({"sim", "--help"});
        QVERIFY(line.helpRequested());
        QCOMPARE(line.error(), QString());
        for (const char *option : {"--listen", "--fast", "--silent", "--answer", "--corrupt-echo",
                                   "--enq-in-echo", "--stop-enq-after", "--drop-after"})
            QVERIFY2(line.helpText().contains(QLatin1String(option)), option);
    }
};

QTEST_GUILESS_MAIN(TestSimulatorCommandLine)
#include "tst_simulatorcommandline.moc"
