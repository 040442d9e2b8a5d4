#include "IniFile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace dovrane {

namespace {

/// One value, or one list item: quoted stretches have their escapes undone, the
/// rest is kept as typed.
QString decode(QStringView raw, bool* quoted)
{
    QString out;
    bool inQuotes = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == u'"') {
            inQuotes = !inQuotes;
            if (quoted)
                *quoted = true;
        } else if (inQuotes && c == u'\\' && i + 1 < raw.size()) {
            const QChar e = raw[++i];
            if (e == u'n')
                out += u'\n';
            else if (e == u'r')
                out += u'\r';
            else if (e == u't')
                out += u'\t';
            else if (e == u'x') {
                qsizetype end = i + 1;
                while (end < raw.size() && end < i + 5 &&
                       QStringView(u"0123456789abcdefABCDEF").contains(raw[end]))
                    ++end;
                out += QChar(raw.mid(i + 1, end - i - 1).toUShort(nullptr, 16));
                i = end - 1;
            } else
                out += e;
        } else
            out += c;
    }
    return out;
}

/// "9877   ; the port" is "9877", as for QSettings; a ";" with no blank before it
/// stays (the checks then ask for quotes rather than guess).
QString stripComment(const QString& text)
{
    bool inQuotes = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && inQuotes)
            ++i;
        else if (text[i] == u'"')
            inQuotes = !inQuotes;
        else if (text[i] == u';' && !inQuotes && i > 0 && text[i - 1].isSpace())
            return text.left(i);
    }
    return text;
}

} // namespace

std::optional<IniFile> IniFile::read(const QString& path, QString* why)
{
    QFile file(path);
    if (!file.exists())
        return IniFile();
    if (!file.open(QIODevice::ReadOnly)) {
        if (why)
            *why = file.errorString();
        return std::nullopt;
    }
    return parse(file.readAll());
}

IniFile IniFile::parse(const QByteArray& text)
{
    IniFile ini;
    QString section;
    QStringList lines = QString::fromUtf8(text).split(u'\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QString t = line.trimmed();
        QString key;
        if (t.startsWith(u'[') && t.endsWith(u']'))
            section = t.mid(1, t.size() - 2).trimmed();
        else if (!t.isEmpty() && !t.startsWith(u';') && !t.startsWith(u'#'))
            key = t.section(u'=', 0, 0).trimmed();
        ini.m_lines.append({line, section, key});
    }
    return ini;
}

QList<IniFile::Entry> IniFile::entries() const
{
    QList<Entry> out;
    for (const Line& line : m_lines) {
        if (line.key.isEmpty())
            continue;
        Entry e{line.section, line.key, {}, {}, false};
        const qsizetype eq = line.text.indexOf(u'=');
        e.raw = eq < 0 ? QString() : stripComment(line.text.mid(eq + 1)).trimmed();
        e.value = unquote(e.raw, &e.quoted);
        out.append(e);
    }
    return out;
}

std::optional<IniFile::Entry> IniFile::find(const QString& section, const QString& key) const
{
    for (const Entry& e : entries())
        if (e.section == section && e.key == key)
            return e;
    return std::nullopt;
}

void IniFile::set(const QString& section, const QString& key, const QString& value)
{
    setRaw(section, key, quote(value));
}

void IniFile::setList(const QString& section, const QString& key, const QStringList& items)
{
    QStringList quoted;
    for (const QString& item : items)
        quoted << quote(item);
    setRaw(section, key, quoted.join(QLatin1String(", ")));
}

void IniFile::setRaw(const QString& section, const QString& key, const QString& raw)
{
    const QString text = key + u'=' + raw;
    qsizetype last = -1;
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].section != section)
            continue;
        if (m_lines[i].key == key) {
            m_lines[i].text = text;
            return;
        }
        if (!m_lines[i].text.trimmed().isEmpty())
            last = i;
    }
    if (last < 0) {
        if (!m_lines.isEmpty() && !m_lines.last().text.trimmed().isEmpty())
            m_lines.append({QString(), m_lines.last().section, QString()});
        m_lines.append({u'[' + section + u']', section, QString()});
        last = m_lines.size() - 1;
    }
    m_lines.insert(last + 1, {text, section, key});
}

void IniFile::remove(const QString& section, const QString& key)
{
    m_lines.removeIf([&](const Line& l) { return l.section == section && l.key == key; });
}

void IniFile::removeSection(const QString& section)
{
    m_lines.removeIf([&](const Line& l) { return l.section == section; });
}

QByteArray IniFile::text() const
{
    QByteArray out;
    for (const Line& line : m_lines)
        out += line.text.toUtf8() + '\n';
    return out;
}

bool IniFile::save(const QString& path, QString* why) const
{
    // A new file is made empty with its mode first, which the save keeps: a token
    // is never readable by others, not even for a moment.
    if (!QFile::exists(path)) {
        QFile fresh(path);
        if (fresh.open(QIODevice::WriteOnly))
            fresh.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    const QByteArray bytes = text();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (why)
            *why = QStringLiteral("%1 cannot be written: %2").arg(path, file.errorString());
        return false;
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

QStringList IniFile::splitList(const QString& raw)
{
    if (raw == QLatin1String("@Invalid()")) // how QSettings writes an empty list
        return {};
    QStringList out;
    bool inQuotes = false;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= raw.size(); ++i) {
        if (i < raw.size() && raw[i] == u'\\' && inQuotes)
            ++i;
        else if (i < raw.size() && raw[i] == u'"')
            inQuotes = !inQuotes;
        else if (i == raw.size() || (raw[i] == u',' && !inQuotes)) {
            const QString item = decode(QStringView(raw).mid(from, i - from).trimmed(), nullptr);
            if (!item.trimmed().isEmpty())
                out << item.trimmed();
            from = i + 1;
        }
    }
    return out;
}

QString IniFile::unquote(const QString& raw, bool* quoted)
{
    if (raw == QLatin1String("@Invalid()"))
        return {};
    return decode(raw, quoted);
}

QString IniFile::quote(const QString& value)
{
    static const QString kSpecial = QStringLiteral(";#,=\"\\");
    const bool plain =
        value.trimmed() == value && std::none_of(value.cbegin(), value.cend(), [](QChar c) {
            return kSpecial.contains(c) || c.unicode() < 0x20;
        });
    if (plain)
        return value;
    QString out = QStringLiteral("\"");
    for (QChar c : value) {
        if (c == u'"' || c == u'\\')
            out += u'\\';
        if (c == u'\n')
            out += QStringLiteral("\\n");
        else if (c == u'\r')
            out += QStringLiteral("\\r");
        else if (c == u'\t')
            out += QStringLiteral("\\t");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 0, 16);
        else
            out += c;
    }
    return out + u'"';
}

} // namespace dovrane
