#pragma once

#include "platform/Waitable.h"

#include <QtGlobal>

// A waitable operating-system object: an eventfd on Linux, which counts as
// signalled while its counter is above zero, an event object on Windows.
// Waiting on it (also together with devices, see waitForAny) never consumes it.
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

    explicit TVaHandleObject(NativeHandle handle);
    virtual ~TVaHandleObject();
    TVaHandleObject(const TVaHandleObject &) = delete;
    TVaHandleObject &operator=(const TVaHandleObject &) = delete;

    NativeHandle Handle() const { return m_handle; }
    int LastError() const { return m_lastError; }
    // False when the object could not be created; LastError() says why.
    bool Valid() const { return m_handle != NoHandle; }

    // Waits up to `timeout` ms (Infinite: without limit) for the object.
    WaitResult WaitFor(quint32 timeout);

protected:
    void setLastError(int error) { m_lastError = error; }

private:
    NativeHandle m_handle;
    int m_lastError = 0;
};
