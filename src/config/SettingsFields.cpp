#include "SettingsFields.h"

namespace {

using Kind = SettingsFields::Kind;

// Item names as the display's manual gives them, in the window's item order.
const QList<SettingsFields::Field> &fieldTable()
{
    static const QList<SettingsFields::Field> table{
        {QStringLiteral("interface"), Kind::Choice, {"RS 485", "RS 232"}},
        {QStringLiteral("baud-rate"), Kind::Choice, {"1200", "2400", "4800", "9600", "19200"}},
        {QStringLiteral("data-format"),
         Kind::Choice,
         {"8-bit none", "8-bit even", "8-bit odd", "7-bit none", "7-bit even", "7-bit odd"}},
        {QStringLiteral("protocol"),
         Kind::Choice,
         {"<STX> Data <ETX>", "<STX> Address Data <ETX>", "Data <CR> <LF>", "Data <CR>",
          "<STX> Data <EOT>", "<STX> Data <CR>", "Zoma", "Custom 1", "Custom 2", "Custom 3",
          "Custom 4", "Custom 5", "Custom 6", "Custom 7"}},
        {QStringLiteral("special-function"),
         Kind::Choice,
         {"none", "function 1", "function 2", "function 3"}},
        {QStringLiteral("address"), Kind::Digits, {}, 3},
        {QStringLiteral("leading-characters"), Kind::Digits, {}, 2},
        {QStringLiteral("decimal-point"),
         Kind::Choice,
         {"none", "position 1", "position 2", "position 3", "position 4", "position 5"}},
        {QStringLiteral("negative-values"), Kind::Choice, {"shown", "as .______"}},
        {QStringLiteral("dimming"),
         Kind::Choice,
         {"F (brightest)", "E", "D", "C", "B", "A", "9", "8", "7", "6", "5", "4", "3", "2", "1",
          "0 (darkest)", "automatic"}},
        {QStringLiteral("timeout"), Kind::Digits, {}, 2},
        {QStringLiteral("blank-after-timeout"), Kind::Flag, {"no", "yes"}},
    };
    return table;
}

// The slot of each choice field, in the order of the field table's choices.
const QStringList ChoiceNames{"interface",        "baud-rate",     "data-format",     "protocol",
                              "special-function", "decimal-point", "negative-values", "dimming"};

bool isDigits(const QString &text)
{
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

// The item a value names: its text, or its index as a number. A dimming level
// is first taken as its character ("F", "9", "0", "Z"), as the display names it.
int itemOf(const SettingsFields::Field &field, const QString &value)
{
    for (int i = 0; i < field.items.size(); ++i) {
        if (field.items[i].compare(value, Qt::CaseInsensitive) == 0)
            return i;
    }
    if (field.name == QLatin1String("dimming") && value.size() == 1) {
        const int at = QByteArray(SettingsTelegram::DimmingCharacters)
                           .indexOf(value.toUpper().toLatin1().at(0));
        if (at >= 0)
            return at;
    }
    if (!value.isEmpty() && value.size() <= 2 && isDigits(value)) {
        const int index = value.toInt();
        if (index < field.items.size())
            return index;
    }
    return -1;
}

} // namespace

const QList<SettingsFields::Field> &SettingsFields::fields()
{
    return fieldTable();
}

const SettingsFields::Field *SettingsFields::field(const QString &name)
{
    for (const Field &f : fieldTable()) {
        if (f.name == name)
            return &f;
    }
    return nullptr;
}

SettingsFields SettingsFields::fromRecord(const SettingsTelegram::Bytes &record)
{
    SettingsFields values;
    SettingsTelegram::spread(record, values);
    return values;
}

SettingsTelegram::Bytes SettingsFields::toRecord() const
{
    return SettingsTelegram::assemble(*this);
}

int SettingsFields::slotOf(const QString &name)
{
    return int(ChoiceNames.indexOf(name));
}

void SettingsFields::setChoice(int slot, int index)
{
    const Field *f = field(ChoiceNames.at(slot));
    const int last = int(f->items.size()) - 1;
    m_choice[slot] = index < 0 ? -1 : std::min(index, last);
}

QString *SettingsFields::digitsOf(const QString &name)
{
    if (name == QLatin1String("address"))
        return &m_address;
    if (name == QLatin1String("leading-characters"))
        return &m_leading;
    if (name == QLatin1String("timeout"))
        return &m_timeout;
    return nullptr;
}

const QString *SettingsFields::digitsOf(const QString &name) const
{
    return const_cast<SettingsFields *>(this)->digitsOf(name);
}

QString SettingsFields::text(const QString &name) const
{
    const Field *f = field(name);
    if (!f)
        return {};
    switch (f->kind) {
    case Kind::Digits:
        return *digitsOf(name);
    case Kind::Flag:
        return f->items.at(m_blank ? 1 : 0);
    case Kind::Choice:
        break;
    }
    const int index = m_choice[slotOf(name)];
    return index < 0 ? QStringLiteral("(none)") : f->items.at(index);
}

int SettingsFields::number(const QString &name) const
{
    const Field *f = field(name);
    if (!f)
        return -1;
    switch (f->kind) {
    case Kind::Digits:
        return digitsOf(name)->toInt();
    case Kind::Flag:
        return m_blank ? 1 : 0;
    case Kind::Choice:
        break;
    }
    return m_choice[slotOf(name)];
}

std::optional<QString> SettingsFields::set(const QString &name, const QString &rawValue)
{
    const Field *f = field(name);
    if (!f) {
        QStringList names;
        for (const Field &known : fieldTable())
            names << known.name;
        return QStringLiteral("unknown field \"%1\"; the fields are: %2")
            .arg(name, names.join(QStringLiteral(", ")));
    }
    const QString value = rawValue.trimmed();
    switch (f->kind) {
    case Kind::Digits:
        if (value.isEmpty() || value.size() > f->width || !isDigits(value))
            return QStringLiteral("%1 takes 1 to %2 digits (0 to %3), not \"%4\"")
                .arg(name)
                .arg(f->width)
                .arg(QString(f->width, u'9'), rawValue);
        *digitsOf(name) = value.rightJustified(f->width, u'0');
        return std::nullopt;
    case Kind::Flag: {
        const QString v = value.toLower();
        if (v == u"yes" || v == u"true" || v == u"1")
            m_blank = true;
        else if (v == u"no" || v == u"false" || v == u"0")
            m_blank = false;
        else
            return QStringLiteral("%1 takes yes or no, not \"%2\"").arg(name, rawValue);
        return std::nullopt;
    }
    case Kind::Choice:
        break;
    }
    const int index = itemOf(*f, value);
    if (index < 0) {
        QStringList quoted;
        for (const QString &item : f->items)
            quoted << QLatin1Char('"') + item + QLatin1Char('"');
        return QStringLiteral("%1 takes one of %2 (or its number 0 to %3), not \"%4\"")
            .arg(name, quoted.join(QStringLiteral(", ")))
            .arg(f->items.size() - 1)
            .arg(rawValue);
    }
    m_choice[slotOf(name)] = index;
    return std::nullopt;
}
