#include "TerminationSignals.h"

#include <QSignalSpy>
#include <QTest>
#include <csignal>

// SIGINT and SIGTERM become a Qt signal while a TerminationSignals lives; a
// signal inherited as ignored stays ignored, and the actions found before
// come back afterwards.
namespace {

volatile sig_atomic_t g_ownHandlerCalls = 0;

void ownHandler(int)
{
    g_ownHandlerCalls = g_ownHandlerCalls + 1;
}

using Handler = void (*)(int);

Handler currentHandler(int signalNumber)
{
    struct sigaction action = {};
    ::sigaction(signalNumber, nullptr, &action);
    return action.sa_handler;
}

void setHandler(int signalNumber, Handler handler)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

class TestTerminationSignals : public QObject
{
    Q_OBJECT

private slots:
    void inheritedActions_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("inherited"); // "default", "ignored" or "own handler"
        QTest::newRow("SIGINT, default") << SIGINT << "default";
        QTest::newRow("SIGINT, ignored (background job)") << SIGINT << "ignored";
        QTest::newRow("SIGTERM, ignored") << SIGTERM << "ignored";
        QTest::newRow("SIGTERM, own handler") << SIGTERM << "own handler";
    }
    void inheritedActions()
    {
        QFETCH(int, signalNumber);
        QFETCH(QString, inherited);
        const Handler before = inherited == "ignored"       ? SIG_IGN
                               : inherited == "own handler" ? &ownHandler
                                                            : SIG_DFL;
        setHandler(signalNumber, before);
        {
            TerminationSignals termination;
            QVERIFY(termination.isActive());
            if (before == SIG_IGN) {
                QVERIFY(currentHandler(signalNumber) == SIG_IGN);
            } else {
                QSignalSpy received(&termination, &TerminationSignals::received);
                ::raise(signalNumber);
                QVERIFY(received.wait(10000));
                QCOMPARE(received.first().first().toInt(), signalNumber);
            }
        }
        QVERIFY(currentHandler(signalNumber) == before);
        if (before == &ownHandler) {
            const sig_atomic_t calls = g_ownHandlerCalls;
            ::raise(signalNumber);
            QCOMPARE(g_ownHandlerCalls, calls + 1);
        }
        setHandler(signalNumber, SIG_DFL);
    }
};

QTEST_GUILESS_MAIN(TestTerminationSignals)
#include "tst_terminationsignals.moc"
