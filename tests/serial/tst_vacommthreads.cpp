// The serial component's threads on a pseudo-terminal: received characters
// reported on the main thread, handlers that wait in nested event loops,
// closing from anywhere, and a device that goes away.
#include "ApplicationExceptionHandler.h"
#include "PtyPair.h"
#include "TVaComm.h"
#include "TVaWaitEvent.h"
#include "VaComm1Configuration.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// A thread that was just joined may stay listed for a moment while the
// system reaps it: the count once it has held still for a while.
int settledThreadCount()
{
    int count = threadCount();
    for (int still = 0; still < 3;) {
        QTest::qWait(10);
        const int now = threadCount();
        still = now == count ? still + 1 : 0;
        count = now;
    }
    return count;
}

// How many threads of this process run at the given nice value.
int threadsAtNice(int nice)
{
    int count = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // The fields after the name in parentheses; nice is the 17th of them.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 16 && fields[16].toInt() == nice)
            ++count;
    }
    return count;
}

// The nice value a new thread of this process ends up with when it asks for
// `wanted`: the system refuses a raise without privileges.
int reachableNice(int wanted)
{
    int reached = 0;
    std::thread probe([&] {
        setpriority(PRIO_PROCESS, id_t(gettid()), wanted);
        reached = getpriority(PRIO_PROCESS, id_t(gettid()));
    });
    probe.join();
    return reached;
}

// Leaves room for `spare` more file descriptors while it lives.
class DescriptorLimit
{
public:
    explicit DescriptorLimit(int spare)
    {
        getrlimit(RLIMIT_NOFILE, &m_saved);
        // dup() takes the lowest free number: every one below is in use.
        const int next = ::dup(0);
        ::close(next);
        rlimit lowered = m_saved;
        lowered.rlim_cur = rlim_t(next + spare);
        setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~DescriptorLimit() { setrlimit(RLIMIT_NOFILE, &m_saved); }
    DescriptorLimit(const DescriptorLimit &) = delete;
    DescriptorLimit &operator=(const DescriptorLimit &) = delete;

private:
    rlimit m_saved{};
};

} // namespace

class TestVaCommThreads : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<TVaComm> m_comm;

    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 3000)
    {
        return QTest::qWaitFor(condition, timeoutMs);
    }

private slots:
    void init()
    {
        m_pty = std::make_unique<PtyPair>();
        QVERIFY(m_pty->isValid());
        m_comm = std::make_unique<TVaComm>();
        configureAsVaComm1(*m_comm);
        m_comm->setDeviceName(m_pty->slavePath());
    }
    void cleanup()
    {
        m_comm.reset();
        m_pty.reset();
        ApplicationExceptionHandler::setHandler(nullptr);
    }

    void arrivalsAreReportedOnceOnTheMainThread()
    {
        QList<int> counts;
        bool onMainThread = true;
        m_comm->setOnRxChar([&](QObject *sender, int count) {
            onMainThread =
                onMainThread && QThread::currentThread() == thread() && sender == m_comm.get();
            counts << count;
        });
        m_comm->Open();
        m_pty->send("hello");
        QVERIFY(waitFor([&] { return !counts.isEmpty() && counts.last() == 5; }));
        // The handler left the bytes in the queue: no report until more arrive.
        const qsizetype reports = counts.size();
        QTest::qWait(200);
        QCOMPARE(counts.size(), reports);
        m_pty->send("!");
        QVERIFY(waitFor([&] { return counts.last() == 6; }));
        QVERIFY(onMainThread);
        char buffer[8];
        QCOMPARE(m_comm->ReadBuf(buffer, 8), 6);
        QCOMPARE(QByteArray(buffer, 6), QByteArray("hello!"));
    }

    // The window's receive path: the handler takes the first byte and then
    // waits for the rest in a nested event loop that blocks until something
    // happens. Only the component's wake-ups can end those waits in time.
    void handlerWaitingInANestedLoopGetsEveryByte()
    {
        const QByteArray reply =
            QByteArray("\x1bZES0B1C2P3A04V1K0N0D0T10") + QByteArray("\r\n\x05");
        QByteArray collected;
        bool timedOut = false;
        int handlerRuns = 0;
        m_comm->setOnRxChar([&](QObject *, int) {
            ++handlerRuns;
            char ch = 0;
            if (!m_comm->ReadChar(ch))
                return;
            collected += ch;
            QTimer guard;
            guard.setSingleShot(true);
            QObject::connect(&guard, &QTimer::timeout, [&] { timedOut = true; });
            guard.start(3000);
            while (collected.size() < reply.size() && !timedOut) {
                if (m_comm->ReadChar(ch))
                    collected += ch;
                else
                    QEventLoop().processEvents(QEventLoop::WaitForMoreEvents);
            }
        });
        m_comm->Open();
        std::thread device([&] {
            for (char byte : reply) {
                m_pty->send(QByteArray(1, byte));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        const bool complete = waitFor([&] { return collected.size() == reply.size(); });
        device.join();
        QVERIFY(complete);
        QVERIFY(!timedOut);
        QCOMPARE(collected, reply);
        QCOMPARE(handlerRuns, 1);
    }

    void writeReportsAreServedInsideAHandler()
    {
        int emptied = 0;
        bool sawEmptyInside = false;
        m_comm->setOnTxEmpty([&](QObject *) { ++emptied; });
        m_comm->setOnRxChar([&](QObject *, int) {
            const int before = emptied;
            m_comm->WriteBuf("ack", 3);
            QTimer guard;
            guard.start(2000);
            bool late = false;
            QObject::connect(&guard, &QTimer::timeout, [&] { late = true; });
            while (emptied == before && !late)
                QEventLoop().processEvents(QEventLoop::WaitForMoreEvents);
            sawEmptyInside = emptied > before;
        });
        m_comm->Open();
        m_pty->send("?");
        QVERIFY(waitFor([&] { return sawEmptyInside; }));
        QCOMPARE(m_pty->receive(3), QByteArray("ack"));
    }

    void handlerErrorsGoToTheApplicationAndReportsGoOn()
    {
        QStringList shown;
        ApplicationExceptionHandler::setHandler(
            [&](const std::exception &e) { shown << QString::fromUtf8(e.what()); });
        int runs = 0;
        m_comm->setOnRxChar([&](QObject *, int) {
            ++runs;
            char buffer[16];
            m_comm->ReadBuf(buffer, sizeof buffer);
            if (runs == 1)
                throw EVaCommError(QStringLiteral("handler failed"));
        });
        m_comm->Open();
        m_pty->send("a");
        QVERIFY(waitFor([&] { return runs == 1; }));
        m_pty->send("b");
        QVERIFY(waitFor([&] { return runs == 2; }));
        QCOMPARE(shown, QStringList{QStringLiteral("handler failed")});
    }

    void closeWhileTheThreadsWait()
    {
        int runs = 0;
        m_comm->setOnRxChar([&](QObject *, int) { ++runs; });
        const int before = settledThreadCount();
        m_comm->Open();
        QCOMPARE(threadCount(), before + 2);
        // Bytes that arrive just before the close are never reported after it.
        m_pty->send("late");
        m_comm->Close();
        const int runsAtClose = runs;
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 10000);
        QTest::qWait(200);
        QCOMPARE(runs, runsAtClose);
        QVERIFY(!m_comm->IsOpen());
    }

    void closeFromInsideTheHandler()
    {
        int runs = 0;
        int closes = 0;
        m_comm->setOnClose([&](QObject *) { ++closes; });
        m_comm->setOnRxChar([&](QObject *, int) {
            ++runs;
            m_comm->Close();
            QVERIFY(!m_comm->IsOpen());
        });
        m_comm->Open();
        m_pty->send("x");
        QVERIFY(waitFor([&] { return runs == 1; }));
        QTest::qWait(100);
        QCOMPARE(runs, 1);
        QCOMPARE(closes, 1);
        QVERIFY(!m_comm->IsOpen());
        // The port opens again normally.
        m_comm->Open();
        m_pty->send("y");
        QVERIFY(waitFor([&] { return runs == 2; }));
    }

    void destroyFromInsideTheHandler()
    {
        bool destroyed = false;
        m_comm->setOnRxChar([&](QObject *, int) {
            m_comm.reset();
            destroyed = true;
        });
        m_comm->Open();
        m_pty->send("z");
        QVERIFY(waitFor([&] { return destroyed; }));
        QTest::qWait(50);
    }

    // A priority set right after Open reaches the thread even when the thread
    // had not yet started running. Priorities are relative to the process's
    // nice value (the suite may run under `nice -n 10`); a raise that the
    // system refuses leaves the thread at the process's value.
    void priorityRightAfterOpenReachesTheThread_data()
    {
        QTest::addColumn<bool>("eventThread");
        QTest::addColumn<int>("priority");
        QTest::addColumn<int>("offset");
        QTest::newRow("event thread, idle") << true << int(tpIdle) << 19;
        QTest::newRow("write thread, lowest") << false << int(tpLowest) << 10;
        QTest::newRow("event thread, higher") << true << int(tpHigher) << -5;
    }
    void priorityRightAfterOpenReachesTheThread()
    {
        QFETCH(bool, eventThread);
        QFETCH(int, priority);
        QFETCH(int, offset);
        const int base = getpriority(PRIO_PROCESS, id_t(getpid()));
        const int nice = reachableNice(std::clamp(base + offset, -20, 19));
        if (nice == base)
            QSKIP("the thread cannot be told from the others at the process's nice value");
        for (int open = 0; open < 5; ++open) {
            m_comm->Open();
            if (eventThread)
                m_comm->setEventPriority(TThreadPriority(priority));
            else
                m_comm->setWritePriority(TThreadPriority(priority));
            QVERIFY2(waitFor([&] { return threadsAtNice(nice) == 1; }),
                     qPrintable(QStringLiteral("open %1, nice %2").arg(open).arg(nice)));
            m_comm->Close();
            m_comm->setEventPriority(tpNormal);
            m_comm->setWritePriority(tpNormal);
        }
    }

    // An event that could not be created fails every wait at once with the
    // reason, instead of timing out or, without a limit, blocking for ever.
    void waitOnAnEventThatWasNotCreatedFails_data()
    {
        QTest::addColumn<quint32>("timeout");
        QTest::newRow("no limit") << TVaHandleObject::Infinite;
        QTest::newRow("0 ms") << 0u;
        QTest::newRow("100 ms") << 100u;
    }
    void waitOnAnEventThatWasNotCreatedFails()
    {
        QFETCH(quint32, timeout);
        std::unique_ptr<TVaWaitEvent> event;
        {
            const DescriptorLimit limit(0);
            event = std::make_unique<TVaWaitEvent>();
        }
        QVERIFY(!event->Valid());
        event->Signal();
        QCOMPARE(event->WaitFor(timeout), TVaHandleObject::Failed);
        QCOMPARE(event->LastError(), EMFILE);
    }

    // Running out of descriptors at any step of Open fails it with a message
    // and leaves the port closed, or the port opens and works; it never hangs.
    void openWithFewDescriptorsLeftFailsCleanlyOrWorks()
    {
        // UndefinedBehaviorSanitizer checks each dynamic type once, with a
        // pipe of its own: let it see the component's and the error's types
        // while descriptors are left.
        m_comm->Open();
        m_comm->Close();
        try {
            throw EVaCommError(QStringLiteral("checked beforehand"));
        } catch (const EVaCommError &e) {
            const std::optional<EVaCommError> copy = e;
            QVERIFY(!copy->message().isEmpty());
        }
        int failures = 0;
        for (int spare = 0; spare <= 8; ++spare) {
            std::optional<EVaCommError> failure;
            {
                const DescriptorLimit limit(spare);
                try {
                    m_comm->Open();
                } catch (const EVaCommError &e) {
                    failure = e;
                }
            }
            // Read only now: the sanitizers' checks need descriptors of their own.
            const QString error = failure ? failure->message() : QString();
            if (error.isEmpty()) {
                QVERIFY(m_comm->IsOpen());
                QCOMPARE(m_comm->WriteBuf("ok", 2), 2);
                QCOMPARE(m_pty->receive(2), QByteArray("ok"));
                m_comm->Close();
            } else {
                ++failures;
                QVERIFY2(error.startsWith(QStringLiteral("Can't open specified device ")),
                         qPrintable(error));
                QVERIFY2(error.contains(QStringLiteral("(Error 24, ")), qPrintable(error));
                QVERIFY(!m_comm->IsOpen());
            }
        }
        QVERIFY(failures > 0);
    }

    void noEventThreadWithoutEventsNoWriteThreadWhenWritingDirectly()
    {
        const int before = settledThreadCount();
        int runs = 0;
        m_comm->setOnRxChar([&](QObject *, int) { ++runs; });
        m_comm->setMonitorEvents({});
        m_comm->Open();
        QCOMPARE(threadCount(), before + 1);
        m_pty->send("q");
        char ch = 0;
        QVERIFY(waitFor([&] { return m_comm->ReadChar(ch); }));
        QCOMPARE(ch, 'q');
        QCOMPARE(runs, 0);
        m_comm->Close();

        m_comm->setMonitorEvents({ceRxChar});
        m_comm->setDirectWrite(true);
        m_comm->Open();
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before + 1, 10000);
    }

    // The adapter is pulled out while data flows: reported once, no thread
    // spins, and the port still closes.
    void deviceGoingAwayIsReportedOnce()
    {
        QList<int> errors;
        int runs = 0;
        m_comm->setOnError([&](QObject *, int flags) { errors << flags; });
        m_comm->setOnRxChar([&](QObject *, int) {
            ++runs;
            char buffer[64];
            while (m_comm->ReadBuf(buffer, sizeof buffer) > 0) {
            }
        });
        m_comm->Open();
        m_pty->send("data before the unplug");
        QVERIFY(waitFor([&] { return runs >= 1; }));
        m_pty->closeMaster();
        QVERIFY(waitFor([&] { return !errors.isEmpty(); }));
        QCOMPARE(errors, QList<int>{int(CommError::DeviceIo)});
        // Every later status read still tells that the device is gone.
        for (int read = 0; read < 2; ++read) {
            quint32 flags = 0;
            CommStatus status;
            m_comm->ReadCommStatus(flags, status);
            QCOMPARE(flags & CommError::DeviceIo, quint32(CommError::DeviceIo));
        }

        // Writing to the gone device neither raises nor repeats the report.
        QCOMPARE(m_comm->WriteBuf("lost", 4), 4);
        const double cpuBefore = processCpuSeconds();
        QTest::qWait(500);
        const double cpuUsed = processCpuSeconds() - cpuBefore;
        QVERIFY2(cpuUsed < 0.25, qPrintable(QStringLiteral("CPU %1 s while idle").arg(cpuUsed)));
        QCOMPARE(errors.size(), 1);
        char ch = 0;
        QVERIFY(!m_comm->ReadChar(ch));

        QElapsedTimer timer;
        timer.start();
        m_comm->Close();
        QVERIFY(timer.elapsed() < 20000); // no hang
        QVERIFY(!m_comm->IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestVaCommThreads)
#include "tst_vacommthreads.moc"
