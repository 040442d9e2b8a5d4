#include "LevelMeter.h"

#include <QPainter>

#include <cmath>

namespace dovrane {

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(120, 12);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

double LevelMeter::toDb(int magnitude)
{
    if (magnitude <= 0)
        return kFloorDb;
    return qMax(kFloorDb, 20.0 * std::log10(magnitude / 32768.0));
}

int LevelMeter::pixelFor(double db) const
{
    const int w = width() - 1;
    return qBound(0, int(w * (db - kFloorDb) / -kFloorDb), w);
}

void LevelMeter::setPeak(int magnitude)
{
    const double db = toDb(magnitude);
    const double elapsed = m_sinceUpdate.isValid() ? m_sinceUpdate.restart() / 1000.0 : 0.0;
    if (!m_sinceUpdate.isValid())
        m_sinceUpdate.start();
    const double fallen = qMax(kFloorDb, m_levelDb - kFallDbPerSecond * elapsed);
    m_levelDb = qMax(db, fallen);
    if (db >= m_holdDb || !m_sinceHold.isValid() || m_sinceHold.elapsed() > kHoldMs) {
        m_holdDb = db;
        m_sinceHold.start();
    }
    // Repaint only when the picture changes: a steady tone costs no drawing at all,
    // and a burst of buffers handed over together is drawn once.
    if (pixelFor(m_levelDb) != m_paintedLevelX || pixelFor(m_holdDb) != m_paintedHoldX)
        update();
}

void LevelMeter::reset()
{
    m_levelDb = kFloorDb;
    m_holdDb = kFloorDb;
    m_sinceUpdate.invalidate();
    m_sinceHold.invalidate();
    update();
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.fillRect(r, QColor(20, 20, 20));
    const int x = pixelFor(m_levelDb);
    m_paintedLevelX = x;
    m_paintedHoldX = pixelFor(m_holdDb);
    QLinearGradient g(r.topLeft(), r.topRight());
    // Over the whole scale, as on the status page: green to -9 dBFS, yellow to
    // -3 dBFS, red only above.
    g.setColorAt(0.0, QColor(0, 170, 0));
    g.setColorAt(0.85, QColor(0, 200, 0));
    g.setColorAt(0.851, QColor(230, 200, 0));
    g.setColorAt(0.95, QColor(230, 200, 0));
    g.setColorAt(0.951, QColor(230, 0, 0));
    g.setColorAt(1.0, QColor(230, 0, 0));
    p.fillRect(QRect(r.left(), r.top(), x, r.height()), g);
    if (m_holdDb > kFloorDb) {
        p.setPen(QColor(255, 255, 255));
        const int hx = qMin(r.right(), m_paintedHoldX);
        p.drawLine(hx, r.top(), hx, r.bottom());
    }
    p.setPen(QColor(90, 90, 90));
    p.drawRect(r);
}

LevelScale::LevelScale(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(120, 20);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void LevelScale::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    p.setFont(f);
    const int w = width() - 1;
    for (int i = 0; i < kTicks; ++i) {
        const int x = w * i / (kTicks - 1);
        const bool major = i % 5 == 0;
        p.drawLine(x, 0, x, major ? 7 : 3);
        if (major) {
            const int db = -60 + 6 * i;
            const QString label = QString::number(db);
            const int tw = p.fontMetrics().horizontalAdvance(label);
            const int tx = qBound(0, x - tw / 2, width() - tw);
            p.drawText(tx, height() - 2, label);
        }
    }
}

} // namespace dovrane
