#pragma once

#include <QObject>

class QNetworkAccessManager;

namespace dovrane {

class Outbox;
struct StationEvent;

/// POSTs each event as JSON to the configured addresses through the outbox; an
/// answer outside 2xx, a certificate that does not check out or no answer within
/// the time limit counts as not delivered.
class WebhookChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 30000;

    WebhookChannel(Outbox& outbox, QObject* parent = nullptr);

    void post(const QStringList& urls, const StationEvent& event, const QString& facility);

private:
    Outbox& m_outbox;
    QNetworkAccessManager* m_network = nullptr;
};

} // namespace dovrane
