#pragma once

#include <QByteArray>
#include <QString>

// Says in words what a display shows with a given settings record (30 bytes) or
// brightness record (21 bytes), and writes bytes as hexadecimal for the log.
//
// It only describes; it neither checks a record for the sender nor changes it.
// A byte that names no choice is shown as "?" with its value.
class DisplayRecordText
{
public:
    static QString settings(const QByteArray &record);
    static QString brightness(const QByteArray &record);
    // "1B 5A 45".
    static QString hex(QByteArrayView bytes);

private:
    static QString choice(char byte, const QStringList &items);
    static QString characters(QByteArrayView bytes);
    static QString protocol(char byte);
    static QString dimming(char byte);
    static QString layoutNote(const QByteArray &record);
};
