#include "NamedInputSettings.h"

#include "OutsideText.h"

#include <QRegularExpression>
#include <QUrl>

#include <cmath>

namespace dovrane {

namespace {

constexpr double kFullScale = 32767.0;

QString parseThresholdKey(NamedInputSettings& s, const QString& text)
{
    const auto value = NamedInputSettings::parseThreshold(text);
    if (!value)
        return QStringLiteral("neither dBFS nor a level");
    s.threshold = *value;
    return {};
}

QString formatThreshold(const NamedInputSettings& s)
{
    return NamedInputSettings::thresholdText(s.threshold);
}

} // namespace

NamedInputSettings::SourceKind NamedInputSettings::kindOf(const QString& source)
{
    static const QRegularExpression kStream(
        QStringLiteral("^(https?|rtp|rtsp|srt|udp|file)://|\\.(sdp|m3u8)$"),
        QRegularExpression::CaseInsensitiveOption);
    return kStream.match(source.trimmed()).hasMatch() ? SourceKind::Stream : SourceKind::Pulse;
}

QString NamedInputSettings::shownSource() const
{
    const QUrl url(source.trimmed());
    return url.host().isEmpty() ? OutsideText::escaped(source.trimmed().left(200))
                                : OutsideText::url(url);
}

std::optional<qint32> NamedInputSettings::parseThreshold(const QString& text)
{
    static const QRegularExpression kDb(QStringLiteral("^(-?\\d{1,3}(?:\\.\\d)?)\\s*dBFS$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QString t = text.trimmed();
    if (const QRegularExpressionMatch m = kDb.match(t); m.hasMatch()) {
        const double db = m.captured(1).toDouble();
        if (db < -96.0 || db > 0.0)
            return std::nullopt;
        return qint32(std::lround(kFullScale * std::pow(10.0, db / 20.0)));
    }
    bool ok = false;
    const int level = t.toInt(&ok);
    if (!ok || level < 0 || level > 32767)
        return std::nullopt;
    return level;
}

QString NamedInputSettings::thresholdText(qint32 threshold)
{
    if (threshold > 0) {
        const double db = std::round(20.0 * std::log10(threshold / kFullScale) * 10.0) / 10.0;
        if (parseThreshold(QString::number(db) + QStringLiteral("dBFS")) == threshold)
            return QString::number(db) + QStringLiteral("dBFS");
    }
    return QString::number(threshold);
}

QStringList NamedInputSettings::problems() const
{
    QStringList out;
    if (source.trimmed().isEmpty())
        out << table().key("source").problem(QStringLiteral("missing"), source);
    for (const QString& d : detectors)
        if (d != QLatin1String("channel_loss") && d != QLatin1String("phase"))
            out << table().key("detectors").problem(QStringLiteral("unknown detector"), d);
    return out;
}

const SettingsTable<NamedInputSettings>& NamedInputSettings::table()
{
    using S = NamedInputSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("input.NAME");
        t.text("source", at<&S::source>,
               "A sound server source name (`pactl list short sources`) or a stream: "
               "http(s)://, an HLS .m3u8, an .sdp file for RTP/AES67, srt://")
            .accepts("a source name or a stream address");
        t.flag("enabled", at<&S::enabled>, "Watch this input");
        t.custom("threshold", parseThresholdKey, formatThreshold, "-96dBFS to 0dBFS, or 0 to 32767",
                 "Silence is at or below this peak level");
        t.number("delay", at<&S::delaySecs>, 1, 3600, "s",
                 "Seconds of silence that raise this input's alarm");
        t.number("down_after", at<&S::downSecs>, 2, 300, "s",
                 "A stream that sends nothing this long is down, not silent");
        t.list("detectors", at<&S::detectors>, "Faults watched beside silence: channel_loss, phase")
            .accepts("channel_loss, phase");
        t.flag("notify", at<&S::notify>,
               "Alarms go out by the alarm action and every notification path; no: only "
               "logged and shown");
        t.flag("around_the_clock", at<&S::aroundTheClock>,
               "Watched every day, all day; no: while the main input is monitored");
        return t;
    }();
    return t;
}

} // namespace dovrane
