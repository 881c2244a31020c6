#pragma once

#include <QByteArray>
#include <array>

// The client's side of the Telnet option negotiation on a COM port connection:
// it asks for BINARY in both directions and offers the COM-PORT-OPTION, agrees
// to what a COM port server may offer (BINARY, suppress-go-ahead, the
// COM-PORT-OPTION), refuses everything else (ECHO among them), and tells when
// the server has settled the requests.
//
// Every state change is answered once and an answer to our own request is not
// answered again, so the two sides can never bounce requests back and forth.
// A server may still change its mind again and again, or repeat an offer that
// was refused: each option is therefore answered MaxAnswersPerOption times at
// most on each side, after which the server's word on it is ignored. No honest
// server comes near that; a hostile one gets a bounded number of answers.
// It does no I/O: its results are bytes to send.
class TelnetNegotiation
{
public:
    static constexpr int MaxAnswersPerOption = 8;

    // The opening requests.
    QByteArray start();
    // Takes the server's WILL, WONT, DO or DONT; returns what to answer (may be empty).
    QByteArray receive(quint8 verb, quint8 option);

    // The server has answered every opening request, yes or no.
    bool settled() const;
    // Servers differ in which side they let enable COM port control: either
    // direction agreed counts.
    bool comPortAgreed() const;
    bool binaryRefused() const { return m_binaryRefused; }
    // The server switched COM port control off (or refused it) and it is on
    // in neither direction: port commands would go nowhere.
    bool comPortRefused() const { return m_comPortRefused; }

private:
    enum class State : quint8
    {
        Off,
        Requested,
        On
    };

    QByteArray request(quint8 verb, quint8 option);
    QByteArray answer(quint8 verb, quint8 option);
    QByteArray enable(State &state, bool supported, quint8 yes, quint8 no, quint8 option);
    QByteArray disable(State &state, quint8 no, quint8 option);

    // Options on our side (we WILL) and on the server's side (it WILLs), and
    // how often each was answered.
    std::array<State, 256> m_local{};
    std::array<State, 256> m_remote{};
    std::array<quint8, 256> m_localAnswers{};
    std::array<quint8, 256> m_remoteAnswers{};
    bool m_binaryRefused = false;
    bool m_comPortRefused = false;
};
