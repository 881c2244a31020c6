#pragma once

#include <mutex>

// A lock that the thread holding it may take again. It also meets the
// standard's Lockable requirements, so it works with std::unique_lock and
// std::condition_variable_any.
class TVaCriticalSection
{
public:
    void Enter() { m_mutex.lock(); }
    void Leave() { m_mutex.unlock(); }

    void lock() { Enter(); }
    void unlock() { Leave(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};
