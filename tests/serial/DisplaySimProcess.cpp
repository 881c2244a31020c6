#include "DisplaySimProcess.h"

#include <QRegularExpression>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>

DisplaySimProcess::DisplaySimProcess(const QStringList &options)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // A test that crashes or is stopped takes its simulator with it.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start(QStringLiteral(DISPLAY_SIM_PROGRAM),
                    QStringList{"--listen", "127.0.0.1:0"} + options);
    static const QRegularExpression listening(
        QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)$"));
    if (!m_process.waitForStarted(5000))
        return;
    while (m_port == 0 && m_process.waitForReadyRead(5000)) {
        takeOutput();
        for (const QString &line : std::as_const(m_log)) {
            const QRegularExpressionMatch match = listening.match(line);
            if (match.hasMatch())
                m_port = quint16(match.captured(1).toUInt());
        }
    }
}

DisplaySimProcess::~DisplaySimProcess()
{
    stop();
}

QString DisplaySimProcess::address() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(m_port);
}

void DisplaySimProcess::takeOutput()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_log << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
}

QStringList DisplaySimProcess::log()
{
    takeOutput();
    return m_log;
}

int DisplaySimProcess::count(const QString &lineStart)
{
    takeOutput();
    return int(std::count_if(m_log.cbegin(), m_log.cend(),
                             [&](const QString &line) { return line.startsWith(lineStart); }));
}

bool DisplaySimProcess::waitForLines(const QString &lineStart, int wanted, int timeoutMs)
{
    return QTest::qWaitFor([&] { return count(lineStart) >= wanted; }, timeoutMs);
}

void DisplaySimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
    takeOutput();
}
