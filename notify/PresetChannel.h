#pragma once

#include "PresetSettings.h"

#include <QObject>

class QNetworkAccessManager;

namespace dovrane {

class Outbox;
struct StationEvent;

/// Sends each event's text to the enabled chat and push services through the
/// outbox, one channel per service ("telegram", "ntfy", ...). The outbox keeps the
/// whole request, so a retry or the next start sends it unchanged. Summaries, log
/// lines and error reports name the service and its host only: the addresses and
/// headers carry the tokens.
class PresetChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 30000;

    explicit PresetChannel(Outbox& outbox, QObject* parent = nullptr);

    void post(const PresetSettings& presets, const StationEvent& event);

private:
    void send(const QString& id, const QJsonObject& payload);

    Outbox& m_outbox;
    QNetworkAccessManager* m_network = nullptr;
};

} // namespace dovrane
