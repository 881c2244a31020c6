// LineMonitor alone: how received chunks merge and long records split, the
// ring dropping its oldest entries whole at the bound, the text of entries
// with control bytes, and the sink.
#include "LineMonitor.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>

namespace {

using Direction = LineMonitor::Direction;

struct Record
{
    QString port;
    Direction direction;
    QString meaning;
    QByteArray bytes;
};

// "port direction meaning [n bytes]" of each entry.
QStringList shapes(const LineMonitor &monitor)
{
    QStringList lines;
    for (const LineMonitor::Entry &entry : monitor.entries())
        lines << QStringLiteral("%1 %2 %3 [%4]")
                     .arg(entry.port, LineMonitor::directionName(entry.direction), entry.meaning)
                     .arg(entry.bytes.size());
    return lines;
}

// What a line says after its time stamp.
QString withoutTime(const QString &line)
{
    return line.mid(QStringLiteral("2026-12-09 11:49:22.123  ").size());
}

} // namespace

Q_DECLARE_METATYPE(QList<Record>)

class TestLineMonitor : public QObject
{
    Q_OBJECT

private slots:
    void merging_data()
    {
        QTest::addColumn<QList<Record>>("records");
        QTest::addColumn<QStringList>("entries");
        const QByteArray enq("\x05");
        QTest::newRow("received chunks of one meaning merge")
            << QList<Record>{{"COM1", Direction::In, "settings echo", "\x1bZE"},
                             {"COM1", Direction::In, "settings echo", "S1B3"}}
            << QStringList{"COM1 in settings echo [7]"};
        QTest::newRow("another meaning starts an entry")
            << QList<Record>{{"COM1", Direction::In, "alive signal", enq},
                             {"COM1", Direction::In, "ACK", "\x06"},
                             {"COM1", Direction::In, "alive signal", enq}}
            << QStringList{"COM1 in alive signal [1]", "COM1 in ACK [1]",
                           "COM1 in alive signal [1]"};
        QTest::newRow("sent bytes never merge")
            << QList<Record>{{"COM1", Direction::Out, "user string", "AB"},
                             {"COM1", Direction::Out, "user string", "CD"}}
            << QStringList{"COM1 out user string [2]", "COM1 out user string [2]"};
        QTest::newRow("another port's entry between does not part a reply")
            << QList<Record>{{"COM1", Direction::In, "settings reply", QByteArray(10, 'a')},
                             {"COM2", Direction::Out, "read-settings request", "\x1bYA\r\n"},
                             {"COM1", Direction::In, "settings reply", QByteArray(20, 'a')}}
            << QStringList{"COM1 in settings reply [30]", "COM2 out read-settings request [5]"};
        QTest::newRow("a note parts a port's chunks")
            << QList<Record>{{"COM1", Direction::In, "alive signal", enq},
                             {"COM1", Direction::Note, "connected", {}},
                             {"COM1", Direction::In, "alive signal", enq}}
            << QStringList{"COM1 in alive signal [1]", "COM1 note connected [0]",
                           "COM1 in alive signal [1]"};
        QTest::newRow("merging stops at 32 bytes, the rest goes on in a new entry")
            << QList<Record>{{"COM1", Direction::In, "alive signal", QByteArray(30, 5)},
                             {"COM1", Direction::In, "alive signal", QByteArray(5, 5)},
                             {"COM1", Direction::In, "alive signal", QByteArray(1, 5)}}
            << QStringList{"COM1 in alive signal [32]", "COM1 in alive signal [4]"};
        QTest::newRow("a long record is split into entries of 32 bytes")
            << QList<Record>{{"COM1", Direction::Out, "user string", QByteArray(70, 'x')}}
            << QStringList{"COM1 out user string [32]", "COM1 out user string [32]",
                           "COM1 out user string [6]"};
    }
    void merging()
    {
        QFETCH(QList<Record>, records);
        QFETCH(QStringList, entries);
        LineMonitor monitor;
        QSignalSpy added(&monitor, &LineMonitor::entryAdded);
        for (const Record &record : records)
            monitor.record(record.port, record.direction, record.meaning, record.bytes);
        QCOMPARE(shapes(monitor), entries);
        // A view following the signals hears of every entry.
        QCOMPARE(added.count(), entries.size());
        qsizetype bytes = 0;
        for (const Record &record : records)
            bytes += record.bytes.size();
        qsizetype kept = 0;
        for (const LineMonitor::Entry &entry : monitor.entries())
            kept += entry.bytes.size();
        QCOMPARE(kept, bytes);
    }

    void ringDropsTheOldestEntriesWhole_data()
    {
        QTest::addColumn<qsizetype>("capacity");
        QTest::addColumn<QList<int>>("sizes"); // one sent record each; 0: a note
        QTest::addColumn<QList<int>>("kept");  // sizes of the entries left
        QTest::newRow("fits exactly") << qsizetype(64) << QList<int>{32, 32} << QList<int>{32, 32};
        QTest::newRow("one byte over drops the oldest whole")
            << qsizetype(64) << QList<int>{32, 32, 1} << QList<int>{32, 1};
        QTest::newRow("several small ones go for a large one")
            << qsizetype(40) << QList<int>{5, 5, 5, 20, 20} << QList<int>{20, 20};
        QTest::newRow("notes count one each")
            << qsizetype(3) << QList<int>{0, 0, 0, 0, 0} << QList<int>{0, 0, 0};
        QTest::newRow("64 KiB of telegrams keep the newest")
            << qsizetype(64 * 1024) << QList<int>(3000, 30) << QList<int>(2184, 30);
    }
    void ringDropsTheOldestEntriesWhole()
    {
        QFETCH(qsizetype, capacity);
        QFETCH(QList<int>, sizes);
        QFETCH(QList<int>, kept);
        LineMonitor monitor(capacity);
        QSignalSpy dropped(&monitor, &LineMonitor::droppedOldest);
        for (int i = 0; i < sizes.size(); ++i)
            monitor.record("COM1", sizes[i] ? Direction::Out : Direction::Note, QString::number(i),
                           QByteArray(sizes[i], char('a' + i % 26)));
        QList<int> left;
        for (const LineMonitor::Entry &entry : monitor.entries())
            left << int(entry.bytes.size());
        QCOMPARE(left, kept);
        // The newest stay, in order.
        QCOMPARE(monitor.entries().last().meaning, QString::number(sizes.size() - 1));
        QVERIFY(monitor.usedBytes() <= capacity);
        int droppedCount = 0;
        for (const QList<QVariant> &signal : dropped)
            droppedCount += signal.at(0).toInt();
        QCOMPARE(droppedCount, sizes.size() - kept.size());
    }

    void textOfEntries_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("meaning");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("line"); // after the time stamp
        QTest::newRow("settings telegram")
            << int(Direction::Out) << "settings telegram" << QByteArray("\x1bZES1B3\r\n")
            << "COM3  out   settings telegram | 1B 5A 45 53 31 42 33 0D 0A | <ESC>ZES1B3<CR><LF>";
        QTest::newRow("ENQ and ACK") << int(Direction::In) << "ACK" << QByteArray("\x05\x06")
                                     << "COM3  in    ACK | 05 06 | <ENQ><ACK>";
        QTest::newRow("NUL, STX, DEL, high bytes and a space")
            << int(Direction::Out) << "user string" << QByteArray("\x00\x02 \x7f\xe4\xff", 6)
            << "COM3  out   user string | 00 02 20 7F E4 FF | <NUL><STX> <DEL><E4><FF>";
        QTest::newRow("line event without bytes")
            << int(Direction::Line) << "RTS high" << QByteArray() << "COM3  line  RTS high";
        QTest::newRow("note") << int(Direction::Note) << "echo matches" << QByteArray()
                              << "COM3  note  echo matches";
    }
    void textOfEntries()
    {
        QFETCH(int, direction);
        QFETCH(QString, meaning);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, line);
        const QDateTime time(QDate(2026, 12, 9), QTime(11, 49, 22, 123));
        const QString text =
            LineMonitor::format({time, "COM3", Direction(direction), meaning, bytes});
        QCOMPARE(text, "2026-12-09 11:49:22.123  " + line);
        // The whole ring is the same lines.
        LineMonitor monitor;
        monitor.record("COM3", Direction(direction), meaning, bytes);
        QCOMPARE(withoutTime(monitor.text()), line + u'\n');
    }

    void sinkGetsEveryEntryOnceItStopsGrowing()
    {
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        LineMonitor monitor(8); // the sink is not bounded by the ring
        monitor.setSink(&sink);
        monitor.record("COM1", Direction::Out, "read-settings request", "\x1bYA\r\n");
        monitor.record("COM1", Direction::In, "settings reply", "\x1bZE");
        monitor.record("COM2", Direction::Line, "RTS high");
        monitor.record("COM1", Direction::In, "settings reply", "S1");
        QCOMPARE(sink.data().count('\n'), 2); // the reply may still grow
        monitor.record("COM1", Direction::Note, "reply complete");
        monitor.record("COM2", Direction::In, "ACK", "\x06");
        monitor.flush();
        QStringList lines;
        for (const QByteArray &line : sink.data().split('\n'))
            if (!line.isEmpty())
                lines << withoutTime(QString::fromUtf8(line));
        QCOMPARE(lines, (QStringList{
                            "COM1  out   read-settings request | 1B 59 41 0D 0A | <ESC>YA<CR><LF>",
                            "COM2  line  RTS high",
                            "COM1  in    settings reply | 1B 5A 45 53 31 | <ESC>ZES1",
                            "COM1  note  reply complete",
                            "COM2  in    ACK | 06 | <ACK>",
                        }));
        QVERIFY(!monitor.sinkFailed());
        QVERIFY(monitor.count() < lines.size()); // the ring kept fewer
    }

    void clearEmptiesTheRing()
    {
        LineMonitor monitor;
        monitor.record("COM1", Direction::In, "alive signal", "\x05");
        QSignalSpy cleared(&monitor, &LineMonitor::cleared);
        monitor.clear();
        QCOMPARE(cleared.count(), 1);
        QCOMPARE(monitor.count(), 0);
        QCOMPARE(monitor.usedBytes(), 0);
        QCOMPARE(monitor.text(), QString());
        // A chunk after the clear starts an entry of its own.
        monitor.record("COM1", Direction::In, "alive signal", "\x05");
        QCOMPARE(shapes(monitor), QStringList{"COM1 in alive signal [1]"});
    }
};

QTEST_GUILESS_MAIN(TestLineMonitor)
#include "tst_linemonitor.moc"
