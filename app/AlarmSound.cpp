#include "AlarmSound.h"

#include <QApplication>
#include <QProcess>
#include <QTimer>

namespace dovrane {

namespace {
constexpr int kBeatMs = 1000;
}

AlarmSound::AlarmSound(QObject* parent) : QObject(parent)
{
    m_timer = new QTimer(this);
    m_timer->setInterval(kBeatMs);
    connect(m_timer, &QTimer::timeout, this, &AlarmSound::next);
}

AlarmSound::~AlarmSound()
{
    setSounding(false);
}

void AlarmSound::apply(const WindowSettings& settings)
{
    m_settings = settings;
    m_noPlayer = false;
    if (m_settings.silent())
        setSounding(false);
}

void AlarmSound::setSounding(bool on)
{
    on = on && !m_settings.silent();
    if (on == m_on)
        return;
    m_on = on;
    if (!on) {
        m_timer->stop();
        if (m_player && m_player->state() != QProcess::NotRunning)
            m_player->kill();
        return;
    }
    next();
    m_timer->start();
}

void AlarmSound::next()
{
    if (!m_on)
        return;
    if (m_settings.beep() || m_noPlayer) {
        QApplication::beep();
        return;
    }
    if (!m_player) {
        m_player = new QProcess(this);
        m_player->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        connect(m_player, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                m_noPlayer = true;
        });
    }
    // The beat restarts the file once the last play has finished.
    if (m_player->state() == QProcess::NotRunning)
        m_player->start(QStringLiteral("paplay"), {m_settings.alarmSound});
}

} // namespace dovrane
