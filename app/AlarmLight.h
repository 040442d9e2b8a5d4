#pragma once

#include <QWidget>

namespace dovrane {

/// The alarm light: a small red filled circle, visible only while an alarm is up.
class AlarmLight : public QWidget
{
    Q_OBJECT
public:
    explicit AlarmLight(QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override { return {24, 24}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace dovrane
