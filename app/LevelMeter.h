#pragma once

#include <QElapsedTimer>
#include <QWidget>

namespace dovrane {

/// One channel's level in dBFS, fed with the peak of each captured buffer. The bar
/// jumps up at once and falls back at kFallDbPerSecond, and a peak-hold tick stays
/// for a moment, so short peaks stay readable.
class LevelMeter : public QWidget
{
    Q_OBJECT
public:
    static constexpr double kFloorDb = -60.0;
    static constexpr double kFallDbPerSecond = 24.0;
    static constexpr int kHoldMs = 1500;

    explicit LevelMeter(QWidget* parent = nullptr);

    /// Feeds the peak sample magnitude of one buffer (0..32768).
    void setPeak(int magnitude);
    /// Drops the bar to the floor (capture stopped).
    void reset();

    [[nodiscard]] double levelDb() const { return m_levelDb; }
    [[nodiscard]] static double toDb(int magnitude);

    [[nodiscard]] QSize sizeHint() const override { return {260, 16}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    /// The x position a level is drawn at.
    [[nodiscard]] int pixelFor(double db) const;

    double m_levelDb = kFloorDb;
    int m_paintedLevelX = -1;
    int m_paintedHoldX = -1;
    double m_holdDb = kFloorDb;
    QElapsedTimer m_sinceUpdate;
    QElapsedTimer m_sinceHold;
};

/// The scale under the meters: 11 ticks from -60 to 0 dBFS, every 5th one longer.
class LevelScale : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kTicks = 11;
    explicit LevelScale(QWidget* parent = nullptr);
    [[nodiscard]] QSize sizeHint() const override { return {260, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace dovrane
