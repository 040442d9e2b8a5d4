#include "DetectorSettings.h"

namespace dovrane {

DetectorSettings DetectorSettings::load(const QSettings& file)
{
    DetectorSettings s;
    s.inputLost = file.value(QStringLiteral("detectors/input_lost"), s.inputLost).toBool();
    s.channelLoss = file.value(QStringLiteral("detectors/channel_loss"), s.channelLoss).toBool();
    s.channelDelay = file.value(QStringLiteral("detectors/channel_delay"), s.channelDelay).toInt();
    s.phase = file.value(QStringLiteral("detectors/phase"), s.phase).toBool();
    s.phaseSeconds = file.value(QStringLiteral("detectors/phase_seconds"), s.phaseSeconds).toInt();
    s.phaseLimit =
        file.value(QStringLiteral("detectors/phase_correlation"), s.phaseLimit).toDouble();
    s.clips = file.value(QStringLiteral("clips/enabled"), s.clips).toBool();
    s.clipDays = file.value(QStringLiteral("clips/keep_days"), s.clipDays).toInt();
    return s;
}

void DetectorSettings::save(QSettings& file) const
{
    file.setValue(QStringLiteral("detectors/input_lost"), inputLost);
    file.setValue(QStringLiteral("detectors/channel_loss"), channelLoss);
    file.setValue(QStringLiteral("detectors/channel_delay"), channelDelay);
    file.setValue(QStringLiteral("detectors/phase"), phase);
    file.setValue(QStringLiteral("detectors/phase_seconds"), phaseSeconds);
    file.setValue(QStringLiteral("detectors/phase_correlation"), phaseLimit);
    file.setValue(QStringLiteral("clips/enabled"), clips);
    file.setValue(QStringLiteral("clips/keep_days"), clipDays);
}

QStringList DetectorSettings::problems() const
{
    QStringList out;
    if (channelDelay < 0 || channelDelay > 3600)
        out << QStringLiteral("[detectors] channel_delay must be 0 to 3600 seconds");
    if (phaseSeconds < 1 || phaseSeconds > 3600)
        out << QStringLiteral("[detectors] phase_seconds must be 1 to 3600 seconds");
    if (!(phaseLimit >= -1.0 && phaseLimit <= 0.0))
        out << QStringLiteral("[detectors] phase_correlation must be between -1 and 0");
    if (clipDays < 1 || clipDays > 3650)
        out << QStringLiteral("[clips] keep_days must be 1 to 3650");
    return out;
}

} // namespace dovrane
