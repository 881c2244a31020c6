#include "TVaCommBuffer.h"

#include <cstring>

TVaCommBuffer::TVaCommBuffer(int capacity)
    : m_capacity(qMax(capacity, 0)), m_data(new char[static_cast<size_t>(m_capacity) + 1])
{}

void TVaCommBuffer::Append(const char *bytes, int count)
{
    Q_ASSERT(count >= 0 && m_size + count <= m_capacity);
    std::memcpy(m_data.get() + m_size, bytes, static_cast<size_t>(count));
    m_size += count;
}

void TVaCommBuffer::Consume(int count)
{
    Q_ASSERT(count >= 0 && count <= m_size);
    std::memmove(m_data.get(), m_data.get() + count, static_cast<size_t>(m_size - count));
    m_size -= count;
}
