#include "TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>
#include <atomic>
#include <csignal>
#include <thread>
#include <windows.h>

// The console's control events arrive on a thread of the console's own and
// become SIGINT or SIGTERM on the main thread. For the events after which
// Windows ends the process (close, logoff, shutdown) the handler returns only
// after the main thread has seen the signal, so the program's clean exit runs
// before Windows ends it.
class TestTerminationSignalsWin32 : public QObject
{
    Q_OBJECT

private slots:
    void controlEvents_data()
    {
        QTest::addColumn<int>("controlType");
        QTest::addColumn<int>("signalNumber"); // 0: not handled
        QTest::addColumn<bool>("holdsBack");
        QTest::newRow("Ctrl+C") << int(CTRL_C_EVENT) << SIGINT << false;
        QTest::newRow("Ctrl+Break") << int(CTRL_BREAK_EVENT) << SIGTERM << false;
        QTest::newRow("console closed") << int(CTRL_CLOSE_EVENT) << SIGTERM << true;
        QTest::newRow("logoff") << int(CTRL_LOGOFF_EVENT) << SIGTERM << true;
        QTest::newRow("shutdown") << int(CTRL_SHUTDOWN_EVENT) << SIGTERM << true;
        QTest::newRow("unknown event") << 42 << 0 << false;
    }
    void controlEvents()
    {
        QFETCH(int, controlType);
        QFETCH(int, signalNumber);
        QFETCH(bool, holdsBack);
        TerminationSignals termination;
        QVERIFY2(termination.isActive(), qPrintable(termination.errorString()));
        std::atomic<bool> handlerReturned{false};
        std::atomic<int> handled{-1};
        bool returnedBeforeDelivery = false;
        QList<int> received;
        connect(&termination, &TerminationSignals::received, this, [&](int number) {
            received << number;
            returnedBeforeDelivery = handlerReturned;
        });
        std::thread console([&] {
            handled = TerminationSignals::handleControlEvent(DWORD(controlType));
            handlerReturned = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(handlerReturned, 30000);
        console.join();
        QCOMPARE(handled.load(), signalNumber != 0 ? 1 : 0);
        if (signalNumber == 0) {
            QCoreApplication::processEvents();
            QVERIFY(received.isEmpty());
            return;
        }
        QTRY_COMPARE(received, QList<int>{signalNumber});
        if (holdsBack)
            QVERIFY(!returnedBeforeDelivery);
    }

    // A real Ctrl+Break from the console reaches the handler the same way. The
    // test takes a console of its own, so that no other process sees the event.
    void consoleBreak()
    {
        FreeConsole();
        const bool console = AllocConsole();
        TerminationSignals termination;
        QSignalSpy received(&termination, &TerminationSignals::received);
        const bool sent = console && GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0);
        const DWORD error = GetLastError();
        const bool wine =
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
        if (!sent && wine)
            QEXPECT_FAIL("", "Wine 8 sends no control event to a console the program allocates "
                             "(GenerateConsoleCtrlEvent fails); Windows does",
                         Abort);
        QVERIFY2(sent, qPrintable(QStringLiteral("no control event sent (error %1)").arg(error)));
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 30000);
        QCOMPARE(received.at(0).at(0).toInt(), SIGTERM);
    }

    // Without an instance the event is left to the next handler (Windows'
    // default ends the process), as a signal without a handler would.
    void noInstanceLeavesTheEvent()
    {
        {
            TerminationSignals gone;
        }
        QCOMPARE(TerminationSignals::handleControlEvent(CTRL_C_EVENT), 0);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignalsWin32)
#include "tst_terminationsignals_win32.moc"
