#include "MailFormat.h"

#include <QLocale>
#include <QTimeZone>

namespace dovrane::MailFormat {

namespace {

constexpr int kMaxLine = 998;
constexpr int kFoldWidth = 78;

bool isPrintableAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            return false;
    }
    return true;
}

// "Thu, 15 Jun 2006 14:03:27 +0200", always in English whatever the locale.
QByteArray rfc5322Date(const QDateTime& when)
{
    const QLocale c = QLocale::c();
    const int offset = when.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                             .arg(minutes % 60, 2, 10, QLatin1Char('0'));
    return (c.toString(when, QStringLiteral("ddd, d MMM yyyy HH:mm:ss ")) + zone).toLatin1();
}

} // namespace

QString safeRecipient(const QString& address)
{
    const QString a = address.trimmed();
    if (a.isEmpty() || a.startsWith(QLatin1Char('-')))
        return {};
    for (const QChar c : a) {
        const char16_t u = c.unicode();
        if (u < 0x21 || u == 0x7F || c.isSpace() || u == ',' || u == '<' || u == '>' || u == ';')
            return {};
    }
    const qsizetype at = a.lastIndexOf(QLatin1Char('@'));
    if (at <= 0 || at == a.size() - 1)
        return {};
    return a;
}

QStringList arguments(const QStringList& safeRecipients)
{
    QStringList args{QStringLiteral("-i"), QStringLiteral("--")};
    args += safeRecipients;
    return args;
}

QString oneLine(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    }
    return out;
}

QByteArray encodeSubject(const QString& subject)
{
    const QString text = oneLine(subject);
    if (isPrintableAscii(text)) {
        // Long plain subjects are folded at blanks; a line of one unbroken word stays.
        QByteArray out;
        int lineLength = int(sizeof("Subject: ") - 1);
        const QStringList words = text.split(QLatin1Char(' '));
        for (qsizetype i = 0; i < words.size(); ++i) {
            const QByteArray word = words[i].toLatin1();
            if (i > 0) {
                if (lineLength + 1 + word.size() > kFoldWidth && lineLength > 1) {
                    out += "\n ";
                    lineLength = 1;
                } else {
                    out += ' ';
                    ++lineLength;
                }
            }
            out += word;
            lineLength += int(word.size());
        }
        return out;
    }

    // Encoded words of at most 75 characters, each holding whole UTF-8 characters.
    constexpr int kMaxPayload = 39; // UTF-8 bytes per word: 52 base64 chars, 64 in all
    QList<QByteArray> words;
    QByteArray chunk;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray piece = text.mid(i, len).toUtf8();
        if (chunk.size() + piece.size() > kMaxPayload) {
            words.append(chunk);
            chunk.clear();
        }
        chunk += piece;
        i += len - 1;
    }
    if (!chunk.isEmpty())
        words.append(chunk);
    QByteArray out;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (i > 0)
            out += "\n ";
        out += "=?UTF-8?B?" + words[i].toBase64() + "?=";
    }
    return out;
}

QByteArray quotedPrintable(const QByteArray& utf8)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    const QList<QByteArray> lines = utf8.split('\n');
    for (qsizetype li = 0; li < lines.size(); ++li) {
        if (li > 0)
            out += '\n';
        const QByteArray& line = lines[li];
        int column = 0;
        for (qsizetype i = 0; i < line.size(); ++i) {
            const auto b = static_cast<unsigned char>(line[i]);
            const bool last = i == line.size() - 1;
            QByteArray token;
            if ((b >= 33 && b <= 126 && b != '=') || ((b == ' ' || b == '\t') && !last)) {
                token = QByteArray(1, char(b));
            } else {
                token = QByteArray("=") + hex[b >> 4] + hex[b & 15];
            }
            if (column + token.size() > 75) {
                out += "=\n";
                column = 0;
            }
            out += token;
            column += int(token.size());
        }
    }
    return out;
}

QByteArray compose(const QStringList& safeRecipients, const QString& subject, const QString& body,
                   const Envelope& envelope)
{
    QString text = body;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    const QByteArray utf8 = text.toUtf8();

    bool longLine = false;
    for (const QByteArray& line : utf8.split('\n'))
        longLine = longLine || line.size() > kMaxLine;

    QByteArray out;
    const QString from = oneLine(envelope.from).trimmed();
    if (!from.isEmpty())
        out += "From: " + from.toUtf8() + '\n';
    out += "To: ";
    for (qsizetype i = 0; i < safeRecipients.size(); ++i) {
        if (i > 0)
            out += ",\n ";
        out += safeRecipients[i].toUtf8();
    }
    out += '\n';
    out += "Subject: " + encodeSubject(subject) + '\n';
    out += "Date: " + rfc5322Date(envelope.date) + '\n';
    out += "Message-ID: <" + oneLine(envelope.messageId).remove(QLatin1Char(' ')).toUtf8() + ">\n";
    out += "MIME-Version: 1.0\n";
    out += "Content-Type: text/plain; charset=UTF-8\n";
    if (longLine) {
        out += "Content-Transfer-Encoding: quoted-printable\n\n";
        out += quotedPrintable(utf8);
    } else {
        out += "Content-Transfer-Encoding: 8bit\n\n";
        out += utf8;
    }
    if (!out.endsWith('\n'))
        out += '\n';
    return out;
}

} // namespace dovrane::MailFormat
