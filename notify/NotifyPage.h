#pragma once

#include "SettingsPage.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace dovrane {

struct NotifySettings;

/// The [notify] section: SMTP server, GSM modem, webhooks, hook program, repeats.
class NotifyPage final : public SettingsPage
{
    Q_OBJECT
public:
    explicit NotifyPage(QWidget* parent = nullptr);

    [[nodiscard]] QString title() const override { return QStringLiteral("Notifications"); }
    void load(const Settings& settings) override;
    [[nodiscard]] QStringList problems() const override;
    bool save(Settings& settings, QString* why) override;
    /// What Send test did, beside its button.
    void showTestResult(const QString& text);

Q_SIGNALS:
    /// Send test: a test event through the paths as saved.
    void testRequested();

private:
    [[nodiscard]] NotifySettings entered() const;

    QLineEdit* m_server = nullptr;
    QSpinBox* m_port = nullptr;
    QComboBox* m_security = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QLineEdit* m_sender = nullptr;
    QLineEdit* m_caFile = nullptr;
    QCheckBox* m_gsm = nullptr;
    QLineEdit* m_webhooks = nullptr;
    QLineEdit* m_hook = nullptr;
    QSpinBox* m_repeat = nullptr;
    QSpinBox* m_retryFirst = nullptr;
    QLabel* m_testResult = nullptr;
};

} // namespace dovrane
