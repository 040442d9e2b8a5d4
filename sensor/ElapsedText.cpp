#include "ElapsedText.h"

namespace dovrane {

QString FormatElapsed(qint32 seconds)
{
    const qint32 s = qMax(seconds, 0);
    const qint32 hours = s / 3600;
    const qint32 minutes = (s % 3600) / 60;
    const qint32 secs = s % 60;

    QString text;
    if (hours > 0) {
        if (hours < 10)
            text += QLatin1Char(' ');
        text += QString::number(hours) + QLatin1Char(':');
    }
    text += QStringLiteral("%1:%2")
                .arg(minutes, 2, 10, QLatin1Char('0'))
                .arg(secs, 2, 10, QLatin1Char('0'));
    return text;
}

} // namespace dovrane
