#pragma once

#include <QByteArray>
#include <atomic>
#include <thread>

// A COM port server that a test scripts byte by byte: it listens on a free
// loopback port, accepts one client on a thread of its own (the client's open
// waits for answers, so they must come while the test thread is inside it),
// sends a fixed greeting, and then leaves the connection to the test, which
// reads what the client sent and sends what it likes.
class FakeComPortServer
{
public:
    // BINARY both ways and COM port control agreed, as a willing server answers
    // the client's opening requests.
    static QByteArray agreeingGreeting();

    // `hangUp`: close the connection right after the greeting. `repeated`: sent
    // again and again after the greeting, as fast as the client takes it,
    // until the client hangs up or the server is destroyed; the connection is
    // the test's only after that.
    explicit FakeComPortServer(const QByteArray &greeting = agreeingGreeting(), bool hangUp = false,
                               const QByteArray &repeated = {});
    ~FakeComPortServer();

    bool isListening() const { return m_listener >= 0; }
    quint16 port() const { return m_port; }
    QString address() const;

    // Waits for the accepting thread, which gives up after 10 s without a
    // client; true when a client is connected.
    bool waitForClient();

    // Everything that arrives until nothing more has come for `quietMs`.
    QByteArray receive(int quietMs = 100);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    QByteArray receiveExactly(int count, int timeoutMs = 2000);
    bool send(const QByteArray &bytes);
    void closeClient();

private:
    void acceptClient();
    void sendRepeatedly(int client);

    QByteArray m_greeting;
    bool m_hangUp;
    QByteArray m_repeated;
    std::atomic<bool> m_stopping{false};
    int m_listener = -1;
    int m_client = -1;
    quint16 m_port = 0;
    std::thread m_acceptor;
};
