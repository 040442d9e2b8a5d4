#include "AlarmsPage.h"

#include "Settings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace dovrane {

namespace {

QSpinBox* spin(QWidget* parent, const char* name, int max, const QString& suffix)
{
    auto* box = new QSpinBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(0, max);
    box->setSuffix(suffix);
    return box;
}

} // namespace

AlarmsPage::AlarmsPage(QWidget* parent) : SettingsPage(parent)
{
    setObjectName(QStringLiteral("alarmsPage"));
    auto* form = new QFormLayout(this);
    const QString hz = QStringLiteral(" Hz"), secs = QStringLiteral(" s");

    m_bandLow = spin(this, "bandLowHz", 22050, hz);
    m_bandHigh = spin(this, "bandHighHz", 22050, hz);
    auto* band = new QHBoxLayout;
    band->addWidget(m_bandLow);
    band->addWidget(m_bandHigh);
    form->addRow(QStringLiteral("Programme band (0 0: raw peak)"), band);
    m_notch = new QCheckBox(QStringLiteral("Leave the 19 kHz pilot out"), this);
    m_notch->setObjectName(QStringLiteral("notchPilot"));
    form->addRow(QString(), m_notch);

    const auto detector = [this, form, secs](DetectorFields& f, const char* name,
                                             const QString& caption) {
        f.on = new QCheckBox(caption, this);
        f.on->setObjectName(QString::fromLatin1(name));
        f.delay = spin(this, name, 86400, secs);
        f.delay->setObjectName(QString::fromLatin1(name) + QStringLiteral("DelaySecs"));
        form->addRow(f.on, f.delay);
    };
    detector(m_hum, "hum", QStringLiteral("Hum (50/60 Hz) after"));
    detector(m_noise, "noise", QStringLiteral("Noise or static after"));
    detector(m_loop, "loop", QStringLiteral("Looping or stuck audio after"));
    m_loopWindow = spin(this, "loopWindowSecs", 60, secs);
    form->addRow(QStringLiteral("Look for repeats within"), m_loopWindow);

    m_release = spin(this, "releaseSecs", 3600, secs);
    form->addRow(QStringLiteral("Sound must last before an alarm ends"), m_release);
    m_cooldown = spin(this, "cooldownMinutes", 1440, QStringLiteral(" min"));
    form->addRow(QStringLiteral("Same incident when again within"), m_cooldown);
    m_perHour = spin(this, "maxPerHour", 1000, QString());
    form->addRow(QStringLiteral("Notifications per hour (0: no limit)"), m_perHour);
    m_exceptions = new QPlainTextEdit(this);
    m_exceptions->setObjectName(QStringLiteral("exceptions"));
    m_exceptions->setPlaceholderText(QStringLiteral("2024-12-25 off\n2024-12-24 06:00-18:00"));
    form->addRow(QStringLiteral("Dates off the weekly schedule"), m_exceptions);
}

void AlarmsPage::load(const Settings& settings)
{
    m_loaded = settings.read<TrustSettings>();
    const TrustSettings& t = m_loaded;
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
        lines << TrustSettings::exceptionText(e);
    m_exceptions->setPlainText(lines.join(QLatin1Char('\n')));
}

TrustSettings AlarmsPage::entered(QStringList* bad) const
{
    TrustSettings t = m_loaded;
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
        const auto e = TrustSettings::parseException(line);
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
    const TrustSettings t = entered(&bad);
    return bad + t.problems();
}

bool AlarmsPage::save(Settings& settings, QString* why)
{
    return settings.write(entered(), why);
}

} // namespace dovrane
