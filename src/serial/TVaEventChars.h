#pragma once

#include "TVaPersistent.h"

// The special characters of the line.
class TVaEventChars : public TVaPersistent
{
public:
    TVaEventChars() = default;

    char XonChar() const { return m_xonChar; }
    char XoffChar() const { return m_xoffChar; }
    char ErrorChar() const { return m_errorChar; }
    char EventChar() const { return m_eventChar; }
    char EofChar() const { return m_eofChar; }

    // Each setter notifies on every call, also when the value stays the same,
    // so an assignment always rewrites the line settings of an open port.
    void setXonChar(char value) { store(m_xonChar, value); }
    void setXoffChar(char value) { store(m_xoffChar, value); }
    void setErrorChar(char value) { store(m_errorChar, value); }
    void setEventChar(char value) { store(m_eventChar, value); }
    void setEofChar(char value) { store(m_eofChar, value); }

    void Assign(const TVaPersistent *source) override;
    QString ClassName() const override { return QStringLiteral("TVaEventChars"); }

private:
    void store(char &field, char value)
    {
        field = value;
        Changed();
    }

    char m_xonChar = 17;
    char m_xoffChar = 19;
    char m_errorChar = 0;
    char m_eventChar = 0;
    char m_eofChar = 0;
};
