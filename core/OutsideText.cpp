#include "OutsideText.h"

#include <QRegularExpression>

namespace dovrane::OutsideText {

QString url(const QUrl& url)
{
    if (url.scheme().isEmpty() || url.host().isEmpty())
        return QStringLiteral("(an address without scheme or host)");
    QString shown = url.scheme() + QStringLiteral("://") + url.host(QUrl::FullyEncoded);
    if (url.port() >= 0)
        shown += QLatin1Char(':') + QString::number(url.port());
    return shown;
}

QString urlWithPath(const QUrl& address)
{
    const QString path = address.path(QUrl::FullyEncoded);
    return address.scheme().isEmpty() || address.host().isEmpty() ? url(address)
                                                                  : url(address) + path;
}

QString escaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        // C0, DEL, C1 and the Unicode line and paragraph separators.
        else if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029)
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

QString redacted(const QString& text, qsizetype maxChars)
{
    static const QRegularExpression address(
        QStringLiteral("\\b[A-Za-z][A-Za-z0-9+.-]*://[^\\s\"'<>]*"));
    QString out;
    qsizetype from = 0;
    for (auto it = address.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += text.mid(from, m.capturedStart() - from) + url(QUrl(m.captured()));
        from = m.capturedEnd();
    }
    out += text.mid(from);
    if (out.size() > maxChars)
        out = out.left(maxChars) + QStringLiteral("…");
    return escaped(out);
}

QString httpFailure(int status, const QString& errorString)
{
    if (status / 100 == 3)
        return QStringLiteral("HTTP %1: redirect not followed (request carries credentials)")
            .arg(status);
    if (status != 0)
        return QStringLiteral("HTTP %1").arg(status);
    return redacted(errorString);
}

} // namespace dovrane::OutsideText
