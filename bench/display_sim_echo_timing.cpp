// Measures how long the simulated display takes, in paced mode at 300 baud 8N2,
// to take in a telegram and to send its echo back: each way should be the
// telegram's length times 11 bit times (30 bytes: 1.1 s; 21 bytes: 0.77 s).
// The client writes the whole telegram at once, as the configurator does.

#include "DisplayDevice.h"
#include "DisplaySimulator.h"
#include "Rfc2217Codec.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <cstdio>

namespace {

struct Timing
{
    double inboundMs = 0;
    double outboundMs = 0;
};

class EchoProbe
{
public:
    explicit EchoProbe(DisplaySimulator &simulator) : m_simulator(simulator)
    {
        QObject::connect(&m_socket, &QTcpSocket::readyRead, [this] {
            for (const Rfc2217Codec::Item &item : m_codec.feed(m_socket.readAll())) {
                if (item.kind == Rfc2217Codec::Item::Kind::Data) {
                    m_received += item.bytes;
                    m_lastByteNs = m_clock.nsecsElapsed();
                }
            }
            if (m_received.size() >= m_expected)
                m_loop.quit();
        });
        m_timeout.setSingleShot(true);
        QObject::connect(&m_timeout, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        QObject::connect(&simulator, &DisplaySimulator::telegramReceived,
                         [this] { m_telegramHeldNs = m_clock.nsecsElapsed(); });
    }

    bool connect(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        if (!m_socket.waitForConnected(3000))
            return false;
        m_socket.write(Rfc2217Codec::negotiation(Telnet::WILL, Telnet::OptionComPort));
        m_socket.write(
            Rfc2217Codec::comPortCommand(ComPort::SetBaudrate, Rfc2217Codec::uint32Value(300)));
        m_socket.write(Rfc2217Codec::comPortCommand(ComPort::SetDatasize, QByteArray(1, 8)));
        m_socket.write(
            Rfc2217Codec::comPortCommand(ComPort::SetParity, QByteArray(1, ComPort::ParityNone)));
        m_socket.write(Rfc2217Codec::comPortCommand(ComPort::SetStopsize,
                                                    QByteArray(1, ComPort::StopsizeTwo)));
        return QTest::qWaitFor([this] { return m_simulator.hasClient(); }, 3000);
    }

    std::optional<Timing> measure(const QByteArray &telegram)
    {
        m_received.clear();
        m_expected = telegram.size();
        m_telegramHeldNs = -1;
        m_clock.start();
        m_socket.write(Rfc2217Codec::escape(telegram));
        // A plain event loop, so that every timer of the simulator fires on time.
        m_timeout.start(10000);
        m_loop.exec();
        m_timeout.stop();
        if (m_received != telegram || m_telegramHeldNs < 0)
            return std::nullopt;
        return Timing{m_telegramHeldNs / 1e6, (m_lastByteNs - m_telegramHeldNs) / 1e6};
    }

private:
    DisplaySimulator &m_simulator;
    QTcpSocket m_socket;
    Rfc2217Codec m_codec;
    QElapsedTimer m_clock;
    QByteArray m_received;
    qsizetype m_expected = 0;
    QEventLoop m_loop;
    QTimer m_timeout;
    qint64 m_lastByteNs = 0;
    qint64 m_telegramHeldNs = -1;
};

void report(const char *name, int length, const QList<Timing> &runs)
{
    const double expectedMs = length * 11 * 1000.0 / 300;
    double inMin = 1e9, inMax = 0, inSum = 0, outMin = 1e9, outMax = 0, outSum = 0;
    for (const Timing &t : runs) {
        inMin = std::min(inMin, t.inboundMs);
        inMax = std::max(inMax, t.inboundMs);
        inSum += t.inboundMs;
        outMin = std::min(outMin, t.outboundMs);
        outMax = std::max(outMax, t.outboundMs);
        outSum += t.outboundMs;
    }
    std::printf("%-22s %2d bytes  expected %7.1f ms each way\n", name, length, expectedMs);
    std::printf("  to the display:    min %7.1f  mean %7.1f  max %7.1f ms\n", inMin,
                inSum / runs.size(), inMax);
    std::printf("  echo to the client: min %7.1f  mean %7.1f  max %7.1f ms\n", outMin,
                outSum / runs.size(), outMax);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 3;

    DisplaySimulator simulator;
    if (!simulator.listen(QHostAddress::LocalHost, 0)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(simulator.errorString()));
        return 1;
    }
    EchoProbe probe(simulator);
    if (!probe.connect(simulator.serverPort())) {
        std::fprintf(stderr, "cannot connect to the simulator\n");
        return 1;
    }
    const QByteArray settings =
        QByteArray::fromHex("1B5A4553314233433050 4F41303132563033 4B324E30444154313031 0D0A");
    const QByteArray brightness = DisplayDevice::defaultBrightnessRecord();
    std::printf("Simulated display, paced at 300 baud 8N2 (11 bits = %.2f ms a byte), %d runs\n",
                11 * 1000.0 / 300, repetitions);
    for (const auto &[name, telegram] :
         {std::pair{"settings telegram", settings}, std::pair{"brightness telegram", brightness}}) {
        QList<Timing> runs;
        for (int i = 0; i < repetitions; ++i) {
            const std::optional<Timing> timing = probe.measure(telegram);
            if (!timing) {
                std::fprintf(stderr, "%s: no exact echo\n", name);
                return 1;
            }
            runs.append(*timing);
        }
        report(name, int(telegram.size()), runs);
    }
    return 0;
}
