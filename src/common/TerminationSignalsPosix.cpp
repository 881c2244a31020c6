#include "TerminationSignals.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to a descriptor; the main thread reads it.
int g_pipe[2] = {-1, -1};

} // namespace

TerminationSignals::TerminationSignals(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::readSignal);
    m_active = true;
    takeOver(SIGINT, m_previousInt);
    takeOver(SIGTERM, m_previousTerm);
}

TerminationSignals::~TerminationSignals()
{
    if (!m_notifier)
        return;
    ::sigaction(SIGINT, &m_previousInt, nullptr);
    ::sigaction(SIGTERM, &m_previousTerm, nullptr);
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

// Installs the handler for `signalNumber` unless the signal is ignored; keeps
// the action it replaces in `previous`.
void TerminationSignals::takeOver(int signalNumber, struct sigaction &previous)
{
    ::sigaction(signalNumber, nullptr, &previous);
    if (previous.sa_handler == SIG_IGN && !(previous.sa_flags & SA_SIGINFO))
        return;
    struct sigaction action = {};
    action.sa_handler = &TerminationSignals::handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

void TerminationSignals::handleSignal(int signalNumber)
{
    const int saved = errno;
    const char byte = char(signalNumber);
    [[maybe_unused]] const auto written = ::write(g_pipe[0], &byte, 1);
    errno = saved;
}

void TerminationSignals::readSignal()
{
    char byte = 0;
    if (::read(g_pipe[1], &byte, 1) == 1)
        emit received(int(byte));
}
