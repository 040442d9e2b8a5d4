#pragma once

#include "WindowSettings.h"

#include <QObject>

class QProcess;
class QTimer;

namespace dovrane {

/// The desktop's alarm sound, as [window] alarm_sound asks: nothing, the beep
/// once a second, or a sound file played again and again through paplay (a
/// missing paplay falls back to the beep). Sounds while told to, never blocks.
class AlarmSound : public QObject
{
    Q_OBJECT
public:
    explicit AlarmSound(QObject* parent = nullptr);
    ~AlarmSound() override;

    void apply(const WindowSettings& settings);
    void setSounding(bool on);
    [[nodiscard]] bool isSounding() const { return m_on; }

private:
    void next();

    WindowSettings m_settings;
    QTimer* m_timer = nullptr;
    QProcess* m_player = nullptr;
    bool m_on = false;
    bool m_noPlayer = false;
};

} // namespace dovrane
