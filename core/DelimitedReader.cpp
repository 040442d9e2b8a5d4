#include "DelimitedReader.h"

#include "TextField.h"

namespace dovrane {

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

std::optional<QString> DelimitedReader::nextField()
{
    const qsizetype n = m_content.size();
    while (m_pos < n && isBlank(m_content.at(m_pos)))
        ++m_pos;
    if (m_pos >= n)
        return std::nullopt;

    QByteArray field;
    if (m_content.at(m_pos) == '"') {
        ++m_pos;
        while (m_pos < n && m_content.at(m_pos) != '"' && m_content.at(m_pos) != '\n' &&
               m_content.at(m_pos) != '\r')
            field.append(m_content.at(m_pos++));
        if (m_pos < n && m_content.at(m_pos) == '"')
            ++m_pos;
        // Anything between the closing quote and the delimiter is skipped.
        while (m_pos < n && m_content.at(m_pos) != ',' && m_content.at(m_pos) != '\n' &&
               m_content.at(m_pos) != '\r')
            ++m_pos;
    } else {
        while (m_pos < n && m_content.at(m_pos) != ',' && m_content.at(m_pos) != '\n' &&
               m_content.at(m_pos) != '\r')
            field.append(m_content.at(m_pos++));
        while (!field.isEmpty() && isBlank(field.back()))
            field.chop(1);
    }
    // Consume the delimiter: a comma, or one line end (CR LF, LF or CR).
    if (m_pos < n) {
        if (m_content.at(m_pos) == ',') {
            ++m_pos;
        } else if (m_content.at(m_pos) == '\r') {
            ++m_pos;
            if (m_pos < n && m_content.at(m_pos) == '\n')
                ++m_pos;
        } else if (m_content.at(m_pos) == '\n') {
            ++m_pos;
        }
    }
    return TextField::decode(field);
}

std::optional<QString> DelimitedReader::nextLine()
{
    const qsizetype n = m_content.size();
    if (m_pos >= n)
        return std::nullopt;
    qsizetype end = m_pos;
    while (end < n && m_content.at(end) != '\r' && m_content.at(end) != '\n')
        ++end;
    const QByteArray line = m_content.mid(m_pos, end - m_pos);
    m_pos = end;
    if (m_pos < n && m_content.at(m_pos) == '\r')
        ++m_pos;
    if (m_pos < n && m_content.at(m_pos) == '\n')
        ++m_pos;
    return TextField::decode(line);
}

std::optional<qint64> DelimitedReader::nextNumber()
{
    const std::optional<QString> field = nextField();
    if (!field)
        return std::nullopt;
    bool ok = false;
    const qint64 value = field->trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace dovrane
