#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>

namespace dovrane {

class Clock;
class ClockTimer;

/// Keeps an alarm that flaps (a delay of 0, a bad input) from flooding people: per
/// path and recipient, at most perMinute messages in any minute; beyond that the
/// messages are held back and counted, and once the hold has lasted its minutes
/// one summary goes out in their place ("47 more alarms on WXYZ-FM in the last 10
/// min"). Only what people receive is capped: the alarm log keeps every line.
class FloodCap : public QObject
{
    Q_OBJECT
public:
    /// Sends the summary text the way the held messages would have gone.
    using Summary = std::function<void(const QString& text)>;

    static constexpr int kPerMinute = 5;
    static constexpr int kHoldMinutes = 10;

    explicit FloodCap(Clock& clock, QObject* parent = nullptr);

    /// perMinute 0 lets everything through.
    void configure(int perMinute, int holdMinutes);
    /// The station's name for the summary.
    void setFacility(std::function<QString()> facility) { m_facility = std::move(facility); }
    /// Whether a message to key (path and recipient) may go now; when not, it is
    /// counted and summary is how the count will be told.
    [[nodiscard]] bool admit(const QString& key, Summary summary);
    /// Messages held back so far, all keys together.
    [[nodiscard]] int held() const;

private:
    struct Recipient
    {
        QList<QDateTime> sent;
        int held = 0;
        QDateTime holdEnds;
        Summary summary;
    };
    void tick();

    Clock& m_clock;
    std::function<QString()> m_facility;
    ClockTimer* m_timer = nullptr;
    QHash<QString, Recipient> m_recipients;
    int m_perMinute = kPerMinute;
    int m_holdMinutes = kHoldMinutes;
};

} // namespace dovrane
