#include "ConnectionWindow.h"
#include "WindowParts.h"

#include "ConnectionProfile.h"
#include "ErrorReporter.h"
#include "SerialProfile.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>

namespace dovrane {

namespace {

constexpr int kPortCount = 8;
constexpr int kValueRole = Qt::UserRole;

struct RateRow
{
    const char* text;
    int rate;
};
constexpr std::array<RateRow, 3> kRates = {{{"2400", 2400}, {"9600", 9600}, {"19,200", 19200}}};

int selectedValue(const QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? -1 : selected.first()->data(kValueRole).toInt();
}

} // namespace

ConnectionWindow::ConnectionWindow(SerialProfile& profile, DataPaths paths, ErrorReporter& errors,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window), m_profile(profile), m_paths(std::move(paths)), m_errors(errors)
{
    setObjectName(QStringLiteral("frmMyConnection"));
    setWindowTitle(QStringLiteral("MyConnection"));

    m_label1 = new QLabel(QStringLiteral("Com Port"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_lstComPort = new QListWidget(this);
    m_lstComPort->setObjectName(QStringLiteral("lstComPort"));
    m_lstComPort->setSelectionMode(QAbstractItemView::SingleSelection);
    m_label1->setBuddy(m_lstComPort);

    m_label2 = new QLabel(QStringLiteral("Baud Rate"), this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_lstBaudRate = new QListWidget(this);
    m_lstBaudRate->setObjectName(QStringLiteral("lstBaudRate"));
    m_lstBaudRate->setSelectionMode(QAbstractItemView::SingleSelection);
    m_label2->setBuddy(m_lstBaudRate);

    m_cmdApply = new QPushButton(QStringLiteral("&Apply"), this);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    m_cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* lists = new QGridLayout;
    lists->addWidget(m_label1, 0, 0);
    lists->addWidget(m_label2, 0, 1);
    lists->addWidget(m_lstComPort, 1, 0);
    lists->addWidget(m_lstBaudRate, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists);
    layout->addLayout(buttons);

    // A selection takes effect for the next call at once, Apply or not.
    connect(m_lstComPort, &QListWidget::itemSelectionChanged, this, [this] {
        const int port = selectedValue(m_lstComPort);
        if (port > 0)
            m_profile.setComPort(static_cast<qint16>(port));
    });
    connect(m_lstBaudRate, &QListWidget::itemSelectionChanged, this, [this] {
        const int rate = selectedValue(m_lstBaudRate);
        if (rate > 0)
            m_profile.setBaudRate(QString::number(rate));
    });
    connect(m_cmdApply, &QPushButton::clicked, this, &ConnectionWindow::onApply);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    load();
    addKeyboardConventions(this, nullptr);
}

void ConnectionWindow::load()
{
    for (int port = 1; port <= kPortCount; ++port) {
        auto* item = new QListWidgetItem(QString::number(port), m_lstComPort);
        item->setData(kValueRole, port);
    }
    for (const RateRow& row : kRates) {
        auto* item = new QListWidgetItem(QString::fromLatin1(row.text), m_lstBaudRate);
        item->setData(kValueRole, row.rate);
    }

    // A port outside the list or a rate that is not a number ends the loading
    // quietly; whatever was selected so far stays selected.
    const int port = m_profile.comPort();
    if (port < 0 || port > kPortCount)
        return;
    if (port > 0)
        m_lstComPort->setCurrentRow(port - 1);

    bool numeric = false;
    const qint64 rate = m_profile.baudRate().trimmed().toLongLong(&numeric);
    if (!numeric)
        return;
    for (int row = 0; row < int(kRates.size()); ++row) {
        if (kRates[row].rate == rate)
            m_lstBaudRate->setCurrentRow(row);
    }
}

void ConnectionWindow::onApply()
{
    const int port = selectedValue(m_lstComPort);
    if (port < 0) {
        m_errors.report(QStringLiteral(
            "Please select a serial port.  Click the number to make sure the background is blue."));
        return;
    }
    const int rate = selectedValue(m_lstBaudRate);
    if (rate < 0) {
        m_errors.report(QStringLiteral(
            "Please select a baud rate.  Click the number to make sure the background is blue."));
        return;
    }
    m_profile.setComPort(static_cast<qint16>(port));
    m_profile.setBaudRate(QString::number(rate));
    QString error;
    if (!ConnectionProfile::write(m_paths.connectionFile(), port, QString::number(rate), &error))
        m_errors.report(error);
}

} // namespace dovrane
