#include "DisplayRecordText.h"

#include <QStringList>

namespace {

const QByteArray SettingsLayout("\x1bZES?B?C?P?A???V??K?N?D?T???\r\n");
const QByteArray DimmingCharacters("FEDCBA9876543210Z");

const QStringList &protocolNames()
{
    static const QStringList names{"<STX> Data <ETX>",
                                   "<STX> Address Data <ETX>",
                                   "Data <CR> <LF>",
                                   "Data <CR>",
                                   "<STX> Data <EOT>",
                                   "<STX> Data <CR>",
                                   "Zoma",
                                   "Custom 1",
                                   "Custom 2",
                                   "Custom 3",
                                   "Custom 4",
                                   "Custom 5",
                                   "Custom 6",
                                   "Custom 7"};
    return names;
}

QString unknown(char byte)
{
    return QStringLiteral("? (%1)").arg(quint8(byte), 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString DisplayRecordText::settings(const QByteArray &record)
{
    if (record.size() != 30)
        return QStringLiteral("not a settings record (%1 bytes)").arg(record.size());
    QStringList parts;
    parts << "interface " + choice(record[4], {"RS 485", "RS 232"});
    parts << "baud " + choice(record[6], {"1200", "2400", "4800", "9600", "19200"});
    parts << "data " + choice(record[8], {"8-bit none", "8-bit even", "8-bit odd", "7-bit none",
                                          "7-bit even", "7-bit odd"});
    parts << protocol(record[10]);
    parts << "address " + characters(QByteArrayView(record).sliced(12, 3));
    parts << "leading characters " + characters(QByteArrayView(record).sliced(16, 2));
    parts << "decimal point " + choice(record[19], {"none", "position 1", "position 2",
                                                    "position 3", "position 4", "position 5"});
    parts << "negative values " + choice(record[21], {"shown", "as .______"});
    parts << "dimming " + dimming(record[23]);
    parts << "timeout " + characters(QByteArrayView(record).sliced(25, 2)) + " s";
    parts << "blank after timeout " + choice(record[27], {"no", "yes"});
    return parts.join(QStringLiteral(", ")) + layoutNote(record);
}

QString DisplayRecordText::brightness(const QByteArray &record)
{
    if (record.size() != 21)
        return QStringLiteral("not a brightness record (%1 bytes)").arg(record.size());
    QStringList values;
    for (int offset = 3; offset <= 18; ++offset)
        values << QStringLiteral("%1").arg(quint8(record[offset]), 3, 10, QLatin1Char('0'));
    QString text = values.join(QLatin1Char(' '));
    if (!record.startsWith("\x1bHT") || !record.endsWith("\r\n"))
        text += QStringLiteral(" (header or tail not as laid out)");
    return text;
}

QString DisplayRecordText::hex(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

QString DisplayRecordText::choice(char byte, const QStringList &items)
{
    const int index = quint8(byte) - '0';
    if (index < 0 || index >= items.size())
        return unknown(byte);
    return items.at(index);
}

QString DisplayRecordText::characters(QByteArrayView bytes)
{
    QString text;
    for (const char c : bytes) {
        if (quint8(c) >= 0x20 && quint8(c) < 0x7F)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(quint8(c), 2, 16, QLatin1Char('0'));
    }
    return text;
}

QString DisplayRecordText::protocol(char byte)
{
    // The byte carries the protocol p and the special function f as 0x30 + p + 14 f.
    const int packed = quint8(byte) - '0';
    if (packed < 0 || packed >= 4 * 14)
        return "protocol " + unknown(byte);
    const int p = packed % 14;
    const int f = packed / 14;
    const QString function = f == 0 ? QStringLiteral("none") : QString::number(f);
    return QStringLiteral("protocol %1 \"%2\", special function %3")
        .arg(p)
        .arg(protocolNames().at(p), function);
}

QString DisplayRecordText::dimming(char byte)
{
    if (byte == 'F')
        return QStringLiteral("F (brightest)");
    if (byte == '0')
        return QStringLiteral("0 (darkest)");
    if (byte == 'Z')
        return QStringLiteral("automatic");
    if (byte != 0 && DimmingCharacters.contains(byte))
        return QString(QLatin1Char(byte));
    return unknown(byte);
}

QString DisplayRecordText::layoutNote(const QByteArray &record)
{
    QStringList offsets;
    for (int i = 0; i < SettingsLayout.size(); ++i) {
        if (SettingsLayout[i] != '?' && SettingsLayout[i] != record[i])
            offsets << QString::number(i);
    }
    if (offsets.isEmpty())
        return {};
    return QStringLiteral(" (unexpected bytes at offsets %1)")
        .arg(offsets.join(QStringLiteral(", ")));
}
