#pragma once

#include "TVaPersistent.h"

// Queue sizes, flow limits and time-outs of the port.
class TVaBuffers : public TVaPersistent
{
public:
    TVaBuffers() = default;

    int ReadSize() const { return m_readSize; }
    int WriteSize() const { return m_writeSize; }
    int ReadTimeout() const { return m_readTimeout; }
    int WriteTimeout() const { return m_writeTimeout; }
    int XonLimit() const { return m_xonLimit; }
    int XoffLimit() const { return m_xoffLimit; }

    // Sizes and limits notify when they change; they take effect at the next
    // open. The time-outs are read at each use and notify nobody.
    void setReadSize(int value) { store(m_readSize, value); }
    void setWriteSize(int value) { store(m_writeSize, value); }
    void setReadTimeout(int value) { m_readTimeout = value; }
    void setWriteTimeout(int value) { m_writeTimeout = value; }
    void setXonLimit(int value) { store(m_xonLimit, value); }
    void setXoffLimit(int value) { store(m_xoffLimit, value); }

    void Assign(const TVaPersistent *source) override;
    QString ClassName() const override { return QStringLiteral("TVaBuffers"); }

private:
    void store(int &field, int value)
    {
        if (field != value) {
            field = value;
            Changed();
        }
    }

    int m_readSize = 4096;
    int m_writeSize = 2048;
    int m_readTimeout = 1000;
    int m_writeTimeout = 1000;
    int m_xonLimit = 1024;
    int m_xoffLimit = 1024;
};
