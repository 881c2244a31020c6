#pragma once

#include <QtGlobal>
#include <memory>

// The write queue: a block of fixed capacity holding the bytes still to be
// written, oldest first from its start. It does not check the capacity itself;
// whoever appends does. Bytes are only ever appended behind the queued ones,
// never moved by an append, so a writer may send from Data() while more bytes
// are appended.
class TVaCommBuffer
{
public:
    explicit TVaCommBuffer(int capacity);

    int Capacity() const { return m_capacity; }
    int Size() const { return m_size; }
    const char *Data() const { return m_data.get(); }

    void Append(const char *bytes, int count);
    // Drops the first `count` bytes and moves the rest to the start.
    void Consume(int count);

private:
    int m_capacity;
    std::unique_ptr<char[]> m_data;
    int m_size = 0;
};
