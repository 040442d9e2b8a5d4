#include "AlarmLogsWindow.h"

#include "WindowParts.h"

#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace dovrane {

AlarmLogsWindow::AlarmLogsWindow(DataPaths paths, QWidget* parent)
    : QDialog(parent), m_reader(paths), m_clipsDir(paths.file(QStringLiteral("clips")))
{
    setObjectName(QStringLiteral("frmAlarmLogs"));
    setWindowTitle(QStringLiteral("Alarm Logs"));
    setModal(false);
    resize(560, 380);

    m_lstDate = new QListWidget(this);
    m_lstDate->setObjectName(QStringLiteral("lstDate"));
    m_lstDate->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_lstDate, &QListWidget::itemDoubleClicked, this, [this] { cmdOkClick(); });

    m_option1 = new QRadioButton(QStringLiteral("By Time"), this);
    m_option1->setObjectName(QStringLiteral("Option1"));
    m_option2 = new QRadioButton(QStringLiteral("By Event"), this);
    m_option2->setObjectName(QStringLiteral("Option2"));

    m_cmdOk = new QPushButton(QStringLiteral("&Ok"), this);
    m_cmdOk->setObjectName(QStringLiteral("cmdOk"));
    m_cmdOk->setDefault(true);
    connect(m_cmdOk, &QPushButton::clicked, this, [this] { cmdOkClick(); });

    m_cmdClose = new QPushButton(QStringLiteral("&Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    m_lstActivityLog = new QListWidget(this);
    m_lstActivityLog->setObjectName(QStringLiteral("lstActivityLog"));
    m_lstActivityLog->setFont(fixedPitchFont(QStringLiteral("Courier")));
    m_lstActivityLog->hide();
    connect(m_lstActivityLog, &QListWidget::itemActivated, this, [](const QListWidgetItem* item) {
        const QString clip = item->data(Qt::UserRole).toString();
        if (!clip.isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(clip));
    });

    // Work lists that are never shown.
    m_lstSort = new QListWidget(this);
    m_lstSort->setObjectName(QStringLiteral("lstSort"));
    m_lstSort->hide();
    m_file1 = new QListWidget(this);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->hide();

    auto* options = new QVBoxLayout;
    options->addWidget(m_option1);
    options->addWidget(m_option2);
    options->addStretch();

    auto* lists = new QHBoxLayout;
    lists->addWidget(m_lstDate, 1);
    lists->addLayout(options);
    lists->addWidget(m_lstActivityLog, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdClose);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(buttons);

    m_option1->setChecked(true);
    setWindowTitle(QStringLiteral("Load Alarm Log"));
    loadDates();
    m_cmdOk->show();
    addKeyboardConventions(this, nullptr);
}

void AlarmLogsWindow::loadDates()
{
    m_file1->clear();
    m_file1->addItems(m_reader.logFiles());
    m_lstDate->clear();
    // Names sort by date, so walking them backwards puts the newest day first.
    for (int i = m_file1->count() - 1; i >= 0; --i)
        m_lstDate->addItem(AlarmLogReader::entryFor(m_file1->item(i)->text()));
    if (m_lstDate->count() == 0)
        m_lstDate->addItem(QString::fromLatin1(kNoLogs));
    m_lstDate->scrollToTop();
    m_lstDate->setCurrentRow(0);
}

bool AlarmLogsWindow::isReading() const
{
    return !m_lstActivityLog->isHidden();
}

void AlarmLogsWindow::cmdOkClick()
{
    if (m_lstDate->count() > 0 && m_lstDate->item(0)->text() == QLatin1String(kNoLogs))
        return;
    m_lstActivityLog->clear();
    m_lstSort->clear();
    if (isReading())
        showChoosing();
    else
        showLog();
}

void AlarmLogsWindow::showChoosing()
{
    m_lstActivityLog->hide();
    connect(m_lstActivityLog, &QListWidget::itemActivated, this, [](const QListWidgetItem* item) {
        const QString clip = item->data(Qt::UserRole).toString();
        if (!clip.isEmpty())
            QDesktopServices::openUrl(QUrl::fromLocalFile(clip));
    });
    m_option1->show();
    m_option2->show();
    m_lstDate->show();
    m_cmdOk->show();
    m_lstDate->setFocus();
    setWindowTitle(QStringLiteral("Select Log"));
}

void AlarmLogsWindow::showLog()
{
    const QListWidgetItem* selected = m_lstDate->currentItem();
    if (!selected || !selected->isSelected())
        return;
    const QString entry = selected->text();
    m_option1->hide();
    m_option2->hide();
    m_lstDate->hide();

    const std::optional<QStringList> lines = m_reader.read(entry);
    if (!lines) {
        m_lstActivityLog->addItem(AlarmLogReader::missingText(entry));
    } else if (m_option1->isChecked()) {
        m_lstActivityLog->addItems(*lines);
    } else {
        m_lstSort->addItems(AlarmLogReader::sortedByEvent(*lines));
        for (int i = 0; i < m_lstSort->count(); ++i)
            m_lstActivityLog->addItem(m_lstSort->item(i)->text());
    }
    markClips(entry);
    m_lstActivityLog->show();
}

void AlarmLogsWindow::markClips(const QString& entry)
{
    const QStringList clips =
        QDir(m_clipsDir).entryList({QStringLiteral("*.flac")}, QDir::Files, QDir::Name);
    if (clips.isEmpty())
        return;
    // Clips are named "2006-07-12_14-03-22_silence.flac"; the entry is "07/12/06".
    const QString day = entry.mid(6, 2) + QLatin1Char('-') + entry.left(2) + QLatin1Char('-') +
                        entry.mid(3, 2) + QLatin1Char('_');
    static const QList<std::pair<QLatin1String, QLatin1String>> kKinds{
        {QLatin1String("Alarm  "), QLatin1String("silence")},
        {QLatin1String("Input Lost"), QLatin1String("input_lost")},
        {QLatin1String("Channel Loss"), QLatin1String("channel_loss")},
        {QLatin1String("Phase Reversed"), QLatin1String("phase_reversed")}};
    static const QRegularExpression kTime(QStringLiteral("\\b(\\d\\d):(\\d\\d):(\\d\\d)\\b"));
    for (int i = 0; i < m_lstActivityLog->count(); ++i) {
        QListWidgetItem* item = m_lstActivityLog->item(i);
        const QString text = item->text();
        const QRegularExpressionMatch time = kTime.match(text);
        if (!time.hasMatch())
            continue;
        for (const auto& [event, kind] : kKinds) {
            if (!text.contains(event))
                continue;
            const QString name = day + time.captured(1) + QLatin1Char('-') + time.captured(2) +
                                 QLatin1Char('-') + time.captured(3) + QLatin1Char('_') + kind +
                                 QStringLiteral(".flac");
            const auto found = std::find_if(clips.begin(), clips.end(),
                                            [&name](const QString& c) { return c.mid(2) == name; });
            if (found == clips.end())
                continue;
            item->setText(text + QStringLiteral("   \u266A ") + *found);
            item->setData(Qt::UserRole, QDir(m_clipsDir).filePath(*found));
            item->setToolTip(QStringLiteral("Double-click to play the clip"));
            break;
        }
    }
}

} // namespace dovrane
