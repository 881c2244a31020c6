#include "Rfc2217Codec.h"

#include <initializer_list>

using Item = Rfc2217Codec::Item;

namespace {

QByteArray bytesOf(std::initializer_list<quint8> values)
{
    QByteArray out;
    for (const quint8 value : values)
        out.append(char(value));
    return out;
}

} // namespace

QList<Item> Rfc2217Codec::feed(QByteArrayView bytes)
{
    QList<Item> items;
    for (const char c : bytes)
        takeByte(quint8(c), items);
    return items;
}

void Rfc2217Codec::reset()
{
    m_state = State::Data;
    m_verb = 0;
    m_sub.clear();
    m_subOverflow = false;
}

void Rfc2217Codec::takeByte(quint8 byte, QList<Item> &items)
{
    switch (m_state) {
    case State::Data:
        if (byte == Telnet::IAC)
            m_state = State::Iac;
        else
            appendData(byte, items);
        return;
    case State::Iac:
        takeCommand(byte, items);
        return;
    case State::Verb:
        items.append({Item::Kind::Negotiation, {}, m_verb, byte});
        m_state = State::Data;
        return;
    case State::Sub:
    case State::SubIac:
        takeSubnegotiationByte(byte, items);
        return;
    }
}

void Rfc2217Codec::takeCommand(quint8 byte, QList<Item> &items)
{
    m_state = State::Data;
    if (byte == Telnet::IAC) {
        appendData(byte, items);
    } else if (byte == Telnet::SB) {
        m_sub.clear();
        m_subOverflow = false;
        m_state = State::Sub;
    } else if (byte >= Telnet::WILL && byte <= Telnet::DONT) {
        m_verb = byte;
        m_state = State::Verb;
    } else {
        items.append({Item::Kind::Command, {}, byte, 0});
    }
}

void Rfc2217Codec::takeSubnegotiationByte(quint8 byte, QList<Item> &items)
{
    if (m_state == State::Sub) {
        if (byte == Telnet::IAC) {
            m_state = State::SubIac;
            return;
        }
    } else if (byte == Telnet::SE) {
        endSubnegotiation(items);
        return;
    } else if (byte != Telnet::IAC) {
        // A command inside a subnegotiation means its IAC SE was lost; ending it
        // here keeps that loss from swallowing the rest of the stream.
        abortSubnegotiation(items);
        takeCommand(byte, items);
        return;
    }
    m_state = State::Sub;
    if (m_sub.size() < MaxSubnegotiation)
        m_sub.append(char(byte));
    else
        m_subOverflow = true;
}

void Rfc2217Codec::endSubnegotiation(QList<Item> &items)
{
    if (m_sub.isEmpty() || m_subOverflow) {
        abortSubnegotiation(items);
        return;
    }
    items.append({Item::Kind::Subnegotiation, m_sub.mid(1), 0, quint8(m_sub.at(0))});
    m_sub.clear();
    m_state = State::Data;
}

void Rfc2217Codec::abortSubnegotiation(QList<Item> &items)
{
    QByteArray discarded;
    discarded.append(char(Telnet::IAC)).append(char(Telnet::SB)).append(m_sub);
    items.append({Item::Kind::Malformed, discarded, 0, 0});
    m_sub.clear();
    m_subOverflow = false;
    m_state = State::Data;
}

void Rfc2217Codec::appendData(quint8 byte, QList<Item> &items)
{
    if (items.isEmpty() || items.last().kind != Item::Kind::Data)
        items.append({Item::Kind::Data, {}, 0, 0});
    items.last().bytes.append(char(byte));
}

QByteArray Rfc2217Codec::escape(QByteArrayView data)
{
    QByteArray out;
    out.reserve(data.size());
    for (const char c : data) {
        out.append(c);
        if (quint8(c) == Telnet::IAC)
            out.append(c);
    }
    return out;
}

QByteArray Rfc2217Codec::negotiation(quint8 verb, quint8 option)
{
    return bytesOf({Telnet::IAC, verb, option});
}

QByteArray Rfc2217Codec::subnegotiation(quint8 option, QByteArrayView payload)
{
    QByteArray body(1, char(option));
    body.append(payload);
    return bytesOf({Telnet::IAC, Telnet::SB}) + escape(body) + bytesOf({Telnet::IAC, Telnet::SE});
}

QByteArray Rfc2217Codec::comPortCommand(quint8 command, QByteArrayView value)
{
    QByteArray payload(1, char(command));
    payload.append(value);
    return subnegotiation(Telnet::OptionComPort, payload);
}

QByteArray Rfc2217Codec::uint32Value(quint32 value)
{
    return bytesOf({quint8(value >> 24), quint8(value >> 16), quint8(value >> 8), quint8(value)});
}

std::optional<quint32> Rfc2217Codec::toUint32(QByteArrayView value)
{
    if (value.size() != 4)
        return std::nullopt;
    quint32 result = 0;
    for (const char c : value)
        result = (result << 8) | quint8(c);
    return result;
}
