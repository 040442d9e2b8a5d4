#include "DetectorSettings.h"

namespace dovrane {

namespace {

QString parseLimit(DetectorSettings& s, const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    if (!ok || !(v >= -1.0 && v <= 0.0))
        return QStringLiteral("not a correlation from -1 to 0");
    s.phaseLimit = v;
    return {};
}

QString formatLimit(const DetectorSettings& s)
{
    return QString::number(s.phaseLimit);
}

} // namespace

const SettingsTable<DetectorSettings>& DetectorSettings::table()
{
    using S = DetectorSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("detectors");
        t.flag("input_lost", at<&S::inputLost>,
               "Input Lost when the sound card stops delivering samples");
        t.flag("channel_loss", at<&S::channelLoss>,
               "Channel Loss when one channel is dead and the other is not");
        t.number("channel_delay", at<&S::channelDelay>, 0, 3600, "s",
                 "How long one channel must stay dead; 0 takes the silence alarm's delay");
        t.flag("phase", at<&S::phase>, "Phase Reversed when the channels cancel each other");
        t.number("phase_seconds", at<&S::phaseSeconds>, 1, 3600, "s",
                 "How long the channels must stay reversed");
        t.custom("phase_correlation", parseLimit, formatLimit, "-1 to 0",
                 "The correlation at or below which the channels count as reversed");
        t.section("clips");
        t.flag("enabled", at<&S::clips>, "Keep a FLAC clip of the audio around each fault");
        t.number("keep_days", at<&S::clipDays>, 1, 3650, "days", "Days a clip is kept");
        return t;
    }();
    return t;
}

} // namespace dovrane
