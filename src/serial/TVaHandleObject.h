#pragma once

#include <QtGlobal>

// A waitable operating-system object. On this platform the handle is an
// eventfd: it counts as signalled while its counter is above zero, so waiting
// on it (also with poll(2), together with other descriptors) never consumes it.
class TVaHandleObject
{
public:
    enum WaitResult
    {
        Signaled,
        TimedOut,
        Abandoned,
        Failed
    };
    static constexpr quint32 Infinite = 0xFFFFFFFF;

    explicit TVaHandleObject(int handle);
    virtual ~TVaHandleObject();
    TVaHandleObject(const TVaHandleObject &) = delete;
    TVaHandleObject &operator=(const TVaHandleObject &) = delete;

    int Handle() const { return m_handle; }
    int LastError() const { return m_lastError; }
    // False when the object could not be created; LastError() says why.
    bool Valid() const { return m_handle >= 0; }

    // Waits up to `timeout` ms (Infinite: without limit) for the object.
    WaitResult WaitFor(quint32 timeout);

protected:
    void setLastError(int error) { m_lastError = error; }

private:
    int m_handle;
    int m_lastError = 0;
};
