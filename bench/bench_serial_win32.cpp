// The serial component on a Windows COM port against plain overlapped Win32
// calls on the same port: read and write rates and the delay from a byte's
// arrival to its report. Run under Wine by tools/windows/test.sh --bench,
// against the pseudo-terminal far end of the Windows tests
// (PANTRIX_TEST_COM, PANTRIX_TEST_FAR_END); its figures are Wine's.
#include "TVaComm.h"
#include "VaComm1Configuration.h"
#include "Win32FarEnd.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>
#include <windows.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int TransferBytes = 1 << 20;
constexpr int LatencySamples = 100;
constexpr int Runs = 3;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The plain side: the port opened and driven as a Win32 program would, with
// one comm event wait kept armed (Wine cannot cancel one).
class PlainPort
{
public:
    explicit PlainPort(const QString &name)
    {
        const std::wstring path = (QStringLiteral("\\\\.\\") + name).toStdWString();
        m_handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
        SetCommTimeouts(m_handle, &timeouts);
        SetCommMask(m_handle, EV_RXCHAR);
        m_wait.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_io.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~PlainPort()
    {
        // A cleared mask and a cancel end the pending wait.
        SetCommMask(m_handle, 0);
        CancelIoEx(m_handle, nullptr);
        if (m_waitPending)
            WaitForSingleObject(m_wait.hEvent, 500);
        CloseHandle(m_handle);
        if (!m_waitPending || HasOverlappedIoCompleted(&m_wait))
            CloseHandle(m_wait.hEvent);
        CloseHandle(m_io.hEvent);
    }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }

    // Reads what waits, or waits up to 50 ms for the next arrival: the bytes read.
    int readSome(char *buffer, int max)
    {
        COMSTAT status{};
        DWORD errors = 0;
        ClearCommError(m_handle, &errors, &status);
        if (status.cbInQue > 0) {
            DWORD got = 0;
            const DWORD wanted = std::min<DWORD>(status.cbInQue, DWORD(max));
            if (!ReadFile(m_handle, buffer, wanted, &got, &m_io) &&
                GetLastError() == ERROR_IO_PENDING)
                GetOverlappedResult(m_handle, &m_io, &got, TRUE);
            return int(got);
        }
        if (!m_waitPending) {
            if (WaitCommEvent(m_handle, &m_mask, &m_wait))
                return 0;
            m_waitPending = GetLastError() == ERROR_IO_PENDING;
        }
        if (m_waitPending && WaitForSingleObject(m_wait.hEvent, 50) == WAIT_OBJECT_0)
            m_waitPending = false;
        return 0;
    }
    void writeAll(const char *bytes, int size)
    {
        DWORD written = 0;
        if (!WriteFile(m_handle, bytes, DWORD(size), &written, &m_io) &&
            GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(m_handle, &m_io, &written, TRUE);
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    OVERLAPPED m_wait{};
    OVERLAPPED m_io{};
    DWORD m_mask = 0;
    bool m_waitPending = false;
};

void openComm(TVaComm &comm, int number)
{
    configureAsVaComm1(comm);
    comm.setPortNum(number);
    comm.setPauseAfterClose(0);
    comm.Open();
}

// Seconds for the far end's burst of TransferBytes to arrive.
double plainRead(Win32FarEnd &peer, const QString &name)
{
    PlainPort port(name);
    std::vector<char> buffer(65536);
    peer.request("burst " + QByteArray::number(TransferBytes));
    const auto start = Clock::now();
    int total = 0;
    while (total < TransferBytes)
        total += port.readSome(buffer.data(), int(buffer.size()));
    const double elapsed = seconds(start);
    peer.answer();
    return elapsed;
}

double componentRead(Win32FarEnd &peer, int number)
{
    TVaComm comm;
    openComm(comm, number);
    int total = 0;
    comm.setOnRxChar([&](QObject *, int) {
        char buffer[4096];
        int got = 0;
        while ((got = comm.ReadBuf(buffer, sizeof buffer)) > 0)
            total += got;
    });
    peer.request("burst " + QByteArray::number(TransferBytes));
    const auto start = Clock::now();
    while (total < TransferBytes)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double elapsed = seconds(start);
    peer.answer();
    return elapsed;
}

// Both sides write in pieces the component's write queue takes whole.
double plainWrite(Win32FarEnd &peer, const QString &name)
{
    PlainPort port(name);
    const QByteArray chunk(1024, 'w');
    peer.request("drain " + QByteArray::number(TransferBytes) + " 120000");
    const auto start = Clock::now();
    for (int sent = 0; sent < TransferBytes; sent += int(chunk.size()))
        port.writeAll(chunk.constData(), int(chunk.size()));
    peer.answer();
    return seconds(start);
}

double componentWrite(Win32FarEnd &peer, int number)
{
    TVaComm comm;
    openComm(comm, number);
    const QByteArray chunk(1024, 'w');
    peer.request("drain " + QByteArray::number(TransferBytes) + " 120000");
    const auto start = Clock::now();
    for (int sent = 0; sent < TransferBytes;) {
        const int taken = comm.WriteBuf(chunk.constData(), int(chunk.size()));
        sent += taken;
        if (taken == 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    peer.answer();
    return seconds(start);
}

// Median microseconds from asking the far end for one byte to having it.
double plainLatency(Win32FarEnd &peer, const QString &name)
{
    PlainPort port(name);
    std::vector<double> samples;
    char byte = 0;
    for (int i = 0; i < LatencySamples; ++i) {
        const auto start = Clock::now();
        peer.request("send 41");
        while (port.readSome(&byte, 1) == 0) {
        }
        samples.push_back(seconds(start) * 1e6);
        peer.answer();
    }
    return median(samples);
}

double componentLatency(Win32FarEnd &peer, int number)
{
    TVaComm comm;
    openComm(comm, number);
    bool arrived = false;
    comm.setOnRxChar([&](QObject *, int) {
        char byte = 0;
        while (comm.ReadBuf(&byte, 1) > 0)
            arrived = true;
    });
    std::vector<double> samples;
    // Wakes the wait now and then, so that a byte that never comes ends it.
    QTimer tick;
    tick.start(100);
    for (int i = 0; i < LatencySamples; ++i) {
        arrived = false;
        const auto start = Clock::now();
        peer.request("send 41");
        while (!arrived && seconds(start) < 5)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (!arrived) {
            std::printf("component: sample %d did not arrive within 5 s\n", i);
            break;
        }
        samples.push_back(seconds(start) * 1e6);
        peer.answer();
    }
    return median(samples);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString name = qEnvironmentVariable("PANTRIX_TEST_COM");
    const int number = name.mid(3).toInt();
    Win32FarEnd peer;
    if (number <= 0 || !peer.connect()) {
        std::fprintf(stderr, "bench_serial_win32: PANTRIX_TEST_COM and PANTRIX_TEST_FAR_END "
                             "must name the test port and its far end\n");
        return 2;
    }
    peer.request("plug");
    peer.answer();
    if (!PlainPort(name).valid()) {
        std::fprintf(stderr, "bench_serial_win32: %s does not open\n", qPrintable(name));
        return 2;
    }
    const double mib = TransferBytes / 1048576.0;
    std::vector<double> readRatios, writeRatios;
    for (int run = 1; run <= Runs; ++run) {
        const double plainR = plainRead(peer, name);
        const double compR = componentRead(peer, number);
        const double plainW = plainWrite(peer, name);
        const double compW = componentWrite(peer, number);
        readRatios.push_back(compR / plainR);
        writeRatios.push_back(compW / plainW);
        std::printf("run %d: read plain %.2f MiB/s, component %.2f MiB/s; write plain %.2f MiB/s, "
                    "component %.2f MiB/s\n",
                    run, mib / plainR, mib / compR, mib / plainW, mib / compW);
        std::fflush(stdout);
    }
    std::fflush(stdout);
    // The component first: under Wine the plain side's comm event wait
    // outlives its handle (Wine cannot cancel it), and a port opened after
    // that saw no arrivals in this benchmark.
    const double compL = componentLatency(peer, number);
    const double plainL = plainLatency(peer, name);
    std::printf("read: median time ratio component/plain %.2f\n", median(readRatios));
    std::printf("write: median time ratio component/plain %.2f\n", median(writeRatios));
    std::printf("byte to report (with the far end's control round trip): plain median %.0f us, "
                "component median %.0f us, ratio %.2f\n",
                plainL, compL, compL / plainL);
    return 0;
}
