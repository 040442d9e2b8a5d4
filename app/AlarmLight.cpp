#include "AlarmLight.h"

#include <QPainter>

namespace dovrane {

AlarmLight::AlarmLight(QWidget* parent) : QWidget(parent)
{
    setFixedSize(24, 24);
}

void AlarmLight::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(120, 0, 0), 1));
    p.setBrush(QColor(230, 0, 0));
    p.drawEllipse(rect().adjusted(2, 2, -2, -2));
}

} // namespace dovrane
