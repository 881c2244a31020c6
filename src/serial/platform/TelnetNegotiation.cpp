#include "TelnetNegotiation.h"

#include "Rfc2217Codec.h"

namespace {

bool supportedLocally(quint8 option)
{
    return option == Telnet::OptionBinary || option == Telnet::OptionComPort;
}

bool supportedRemotely(quint8 option)
{
    return option == Telnet::OptionBinary || option == Telnet::OptionSuppressGoAhead ||
           option == Telnet::OptionComPort;
}

} // namespace

QByteArray TelnetNegotiation::start()
{
    // BINARY both ways keeps CR and 0xFF of the telegrams untouched.
    return request(Telnet::WILL, Telnet::OptionBinary) + request(Telnet::DO, Telnet::OptionBinary) +
           request(Telnet::WILL, Telnet::OptionComPort);
}

QByteArray TelnetNegotiation::request(quint8 verb, quint8 option)
{
    (verb == Telnet::WILL ? m_local : m_remote)[option] = State::Requested;
    return Rfc2217Codec::negotiation(verb, option);
}

QByteArray TelnetNegotiation::receive(quint8 verb, quint8 option)
{
    const bool local = verb == Telnet::DO || verb == Telnet::DONT;
    quint8 &answers = (local ? m_localAnswers : m_remoteAnswers)[option];
    if (answers >= MaxAnswersPerOption)
        return QByteArray();
    QByteArray reply = answer(verb, option);
    if (!reply.isEmpty())
        ++answers;
    return reply;
}

QByteArray TelnetNegotiation::answer(quint8 verb, quint8 option)
{
    switch (verb) {
    case Telnet::DO:
        return enable(m_local[option], supportedLocally(option), Telnet::WILL, Telnet::WONT,
                      option);
    case Telnet::DONT:
        return disable(m_local[option], Telnet::WONT, option);
    case Telnet::WILL:
        return enable(m_remote[option], supportedRemotely(option), Telnet::DO, Telnet::DONT,
                      option);
    case Telnet::WONT:
        return disable(m_remote[option], Telnet::DONT, option);
    default:
        return QByteArray();
    }
}

QByteArray TelnetNegotiation::enable(State &state, bool supported, quint8 yes, quint8 no,
                                     quint8 option)
{
    if (!supported)
        return Rfc2217Codec::negotiation(no, option);
    const State before = state;
    state = State::On;
    if (before == State::Off)
        return Rfc2217Codec::negotiation(yes, option);
    return QByteArray();
}

QByteArray TelnetNegotiation::disable(State &state, quint8 no, quint8 option)
{
    const State before = state;
    state = State::Off;
    if (option == Telnet::OptionBinary && before != State::Off)
        m_binaryRefused = true;
    if (option == Telnet::OptionComPort && before != State::Off && !comPortAgreed())
        m_comPortRefused = true;
    if (before == State::On)
        return Rfc2217Codec::negotiation(no, option);
    return QByteArray();
}

bool TelnetNegotiation::settled() const
{
    return m_local[Telnet::OptionBinary] != State::Requested &&
           m_remote[Telnet::OptionBinary] != State::Requested &&
           (m_local[Telnet::OptionComPort] != State::Requested || comPortAgreed());
}

bool TelnetNegotiation::comPortAgreed() const
{
    return m_local[Telnet::OptionComPort] == State::On ||
           m_remote[Telnet::OptionComPort] == State::On;
}
