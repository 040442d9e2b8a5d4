#include "AlarmsPage.h"

#include "Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace dovrane {

namespace {

const SettingsKey& key(const char* name)
{
    return AlarmSettings::table().key(name);
}

QSpinBox* spin(QWidget* parent, const char* name, const char* keyName)
{
    auto* box = declared(new QSpinBox(parent), key(keyName));
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

} // namespace

AlarmsPage::AlarmsPage(QWidget* parent) : SettingsPage(parent)
{
    setObjectName(QStringLiteral("alarmsPage"));
    auto* form = new QFormLayout(this);
    m_bandLow = spin(this, "bandLowHz", "band_low_hz");
    m_bandHigh = spin(this, "bandHighHz", "band_high_hz");
    auto* band = new QHBoxLayout;
    band->addWidget(m_bandLow);
    band->addWidget(m_bandHigh);
    form->addRow(QStringLiteral("Programme band (0 0: raw peak)"), band);
    m_notch = declared(new QCheckBox(QStringLiteral("Leave the 19 kHz pilot out"), this),
                       key("notch_pilot"));
    m_notch->setObjectName(QStringLiteral("notchPilot"));
    form->addRow(QString(), m_notch);

    const auto detector = [this, form](DetectorFields& f, const char* name, const char* delay,
                                       const QString& caption) {
        f.on = declared(new QCheckBox(caption, this), key(name));
        f.on->setObjectName(QString::fromLatin1(name));
        f.delay = spin(this, name, delay);
        f.delay->setObjectName(QString::fromLatin1(name) + QStringLiteral("DelaySecs"));
        form->addRow(f.on, f.delay);
    };
    detector(m_hum, "hum", "hum_delay_secs", QStringLiteral("Hum (50/60 Hz) after"));
    detector(m_noise, "noise", "noise_delay_secs", QStringLiteral("Noise or static after"));
    detector(m_loop, "loop", "loop_delay_secs", QStringLiteral("Looping or stuck audio after"));
    m_loopWindow = spin(this, "loopWindowSecs", "loop_window_secs");
    form->addRow(QStringLiteral("Look for repeats within"), m_loopWindow);

    m_release = spin(this, "releaseSecs", "release_secs");
    form->addRow(QStringLiteral("Sound must last before an alarm ends"), m_release);
    m_cooldown = spin(this, "cooldownMinutes", "cooldown_minutes");
    form->addRow(QStringLiteral("Same incident when again within"), m_cooldown);
    m_perHour = spin(this, "maxPerHour", "max_per_hour");
    form->addRow(QStringLiteral("Notifications per hour (0: no limit)"), m_perHour);
    m_exceptions = new QPlainTextEdit(this);
    m_exceptions->setObjectName(QStringLiteral("exceptions"));
    m_exceptions->setPlaceholderText(QStringLiteral("2024-12-25 off\n2024-12-24 06:00-18:00"));
    form->addRow(QStringLiteral("Dates off the weekly schedule"), m_exceptions);
}

void AlarmsPage::load(const Settings& settings)
{
    m_loaded = settings.get<AlarmSettings>();
    const AlarmSettings& t = m_loaded;
    m_bandLow->setValue(t.bandLowHz);
    m_bandHigh->setValue(t.bandHighHz);
    m_notch->setChecked(t.notchPilot);
    for (auto [f, d] : {std::pair{&m_hum, t.hum}, {&m_noise, t.noise}, {&m_loop, t.loop}}) {
        f->on->setChecked(d.enabled);
        f->delay->setValue(d.delaySecs);
    }
    m_loopWindow->setValue(t.loopWindowSecs);
    m_release->setValue(t.releaseSecs);
    m_cooldown->setValue(t.cooldownMinutes);
    m_perHour->setValue(t.maxPerHour);
    QStringList lines;
    for (const DateException& e : t.exceptions)
        lines << AlarmSettings::exceptionText(e);
    m_exceptions->setPlainText(lines.join(QLatin1Char('\n')));
}

AlarmSettings AlarmsPage::entered(QStringList* bad) const
{
    AlarmSettings t = m_loaded;
    t.bandLowHz = m_bandLow->value();
    t.bandHighHz = m_bandHigh->value();
    t.notchPilot = m_notch->isChecked();
    for (auto [f, d] : {std::pair{&m_hum, &t.hum}, {&m_noise, &t.noise}, {&m_loop, &t.loop}}) {
        d->enabled = f->on->isChecked();
        d->delaySecs = f->delay->value();
    }
    t.loopWindowSecs = m_loopWindow->value();
    t.releaseSecs = m_release->value();
    t.cooldownMinutes = m_cooldown->value();
    t.maxPerHour = m_perHour->value();
    t.exceptions.clear();
    for (const QString& line : m_exceptions->toPlainText().split(QLatin1Char('\n'))) {
        if (line.trimmed().isEmpty())
            continue;
        const auto e = AlarmSettings::parseException(line);
        if (e)
            t.exceptions << *e;
        else if (bad)
            *bad << QStringLiteral("Dates off the weekly schedule: \"%1\" is neither "
                                   "\"yyyy-MM-dd off\" nor \"yyyy-MM-dd HH:mm-HH:mm\"")
                        .arg(line.trimmed());
    }
    return t;
}

QStringList AlarmsPage::problems() const
{
    QStringList bad;
    const AlarmSettings t = entered(&bad);
    return bad + AlarmSettings::table().problems(t);
}

bool AlarmsPage::save(Settings& settings, QString* why)
{
    return settings.write(entered(), why);
}

} // namespace dovrane
