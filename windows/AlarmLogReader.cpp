#include "AlarmLogReader.h"

#include "TextField.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace dovrane {

namespace {

bool isDigits(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

} // namespace

AlarmLogReader::AlarmLogReader(DataPaths paths) : m_paths(std::move(paths)) {}

QStringList AlarmLogReader::logFiles() const
{
    // Without QDir::Hidden and QDir::System those files stay out; name filters
    // ignore case unless QDir::CaseSensitive is given.
    const QDir dir(m_paths.logsDir(), QStringLiteral("AL*.*"), QDir::Name | QDir::IgnoreCase,
                   QDir::Files);
    return dir.entryList();
}

QString AlarmLogReader::entryFor(const QString& fileName)
{
    return fileName.mid(4, 2) + QLatin1Char('/') + fileName.mid(6, 2) + QLatin1Char('/') +
           fileName.mid(2, 2);
}

QString AlarmLogReader::fileNameFor(const QString& entry)
{
    const QStringList parts = entry.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts[2].size() != 2 || parts[0].size() > 2 || parts[1].size() > 2 ||
        !isDigits(parts[0]) || !isDigits(parts[1]) || !isDigits(parts[2])) {
        return {};
    }
    const int month = parts[0].toInt();
    const int day = parts[1].toInt();
    const int yy = parts[2].toInt();
    // Two-digit years as the platform's date reading takes them: 00-29 are 20xx.
    const int year = yy < 30 ? 2000 + yy : 1900 + yy;
    if (!QDate(year, month, day).isValid())
        return {};
    return QStringLiteral("AL%1%2%3.log")
        .arg(parts[2])
        .arg(month, 2, 10, QLatin1Char('0'))
        .arg(day, 2, 10, QLatin1Char('0'));
}

QString AlarmLogReader::pathOf(const QString& fileName) const
{
    const QDir dir(m_paths.logsDir());
    if (QFileInfo(dir.filePath(fileName)).isFile())
        return dir.filePath(fileName);
    // The list ignores case, so "al060712.log" is listed as 07/12/06 and must be the
    // file that entry opens.
    const QStringList sameName =
        dir.entryList({fileName}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    return dir.filePath(sameName.isEmpty() ? fileName : sameName.first());
}

std::optional<QStringList> AlarmLogReader::read(const QString& entry) const
{
    const QString name = fileNameFor(entry);
    if (name.isEmpty())
        return std::nullopt;
    const QString path = pathOf(name);
    // Only a regular file: opening a pipe or a device could wait for ever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    // One read of the whole file: the monitor may append while we look, and what was
    // there at this moment is what is shown.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    file.close();
    if (bytes.isEmpty())
        return std::nullopt;
    return splitLines(bytes);
}

QStringList AlarmLogReader::splitLines(const QByteArray& bytes)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n')
            continue;
        lines.append(TextField::decode(bytes.mid(start, i - start)));
        if (c == '\r' && i + 1 < size && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines.append(TextField::decode(bytes.mid(start)));
    return lines;
}

QString AlarmLogReader::byEvent(const QString& line)
{
    return line.mid(9) + QLatin1Char(' ') + line.left(8);
}

QStringList AlarmLogReader::sortedByEvent(const QStringList& lines)
{
    QStringList sorted;
    sorted.reserve(lines.size());
    for (const QString& line : lines)
        sorted.append(byEvent(line));
    std::stable_sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    return sorted;
}

QString AlarmLogReader::missingText(const QString& entry)
{
    return QStringLiteral("Log for ") + entry + QStringLiteral(" does not exist.");
}

} // namespace dovrane
