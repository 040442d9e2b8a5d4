#include "CallListWindow.h"

#include "CallList.h"
#include "DataFiles.h"
#include "ErrorReporter.h"
#include "TextField.h"
#include "TimeOfDay.h"
#include "WindowParts.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cerrno>

namespace dovrane {

namespace {

constexpr int kNameMaxTyped = 25;
constexpr int kNumberMaxTyped = 24;
constexpr int kRecordRole = Qt::UserRole;

/// Lines sort by their whole text with case ignored, as a sorted list box does.
class CallListItem final : public QListWidgetItem
{
public:
    using QListWidgetItem::QListWidgetItem;
    bool operator<(const QListWidgetItem& other) const override
    {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

} // namespace

CallListWindow::CallListWindow(const DataFiles& files, ErrorReporter& errors, QWidget* parent)
    : QMainWindow(parent), m_files(files), m_errors(errors),
      m_editName(CallList::kNameWidth, QLatin1Char(' ')),
      m_editNumber(CallList::kNumberWidth, QLatin1Char(' '))
{
    setObjectName(QStringLiteral("frmCallList"));
    setWindowTitle(QStringLiteral("Call List"));
    setWindowFlag(Qt::Window);

    addFilesExitMenu(menuBar(), this);
    m_mnuNew = menuBar()->addAction(QStringLiteral("&New"));
    m_mnuNew->setObjectName(QStringLiteral("mnuNew"));
    m_mnuDelete = menuBar()->addAction(QStringLiteral("&Delete"));
    m_mnuDelete->setObjectName(QStringLiteral("mnuDelete"));

    auto* central = new QWidget(this);
    setCentralWidget(central);

    m_list1 = new QListWidget(central);
    m_list1->setObjectName(QStringLiteral("list1"));
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setSortingEnabled(true);
    m_list1->setFont(fixedPitchFont(QStringLiteral("Courier New")));
    m_list1->setMinimumWidth(QFontMetrics(m_list1->font()).horizontalAdvance(QLatin1Char('M')) *
                                 (CallList::kRecordLength + 2) +
                             24);

    m_label1 = new QLabel(QStringLiteral("Name"), central);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_txtName = new QLineEdit(central);
    m_txtName->setObjectName(QStringLiteral("txtName"));
    m_txtName->setMaxLength(kNameMaxTyped);
    m_label1->setBuddy(m_txtName);

    m_label2 = new QLabel(QStringLiteral("Number"), central);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_txtNumber = new QLineEdit(central);
    m_txtNumber->setObjectName(QStringLiteral("txtNumber"));
    m_txtNumber->setMaxLength(kNumberMaxTyped);
    m_label2->setBuddy(m_txtNumber);

    m_cmdApply = new QPushButton(QStringLiteral("Apply"), central);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    m_cmdClose = new QPushButton(QStringLiteral("Close"), central);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_label3 = new QLabel(central);
    m_label3->setObjectName(QStringLiteral("Label3"));

    auto* editor = new QGridLayout;
    editor->addWidget(m_label1, 0, 0);
    editor->addWidget(m_txtName, 0, 1);
    editor->addWidget(m_label2, 1, 0);
    editor->addWidget(m_txtNumber, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_label3);
    buttons->addStretch();
    buttons->addWidget(m_cmdApply);
    buttons->addWidget(m_cmdClose);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(m_list1, 1);
    layout->addLayout(editor);
    layout->addLayout(buttons);

    // The edit fields follow the boxes at all times, also when the window sets them.
    connect(m_txtName, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_editName = TextField::padded(text, CallList::kNameWidth);
    });
    connect(m_txtNumber, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_editNumber = TextField::padded(text, CallList::kNumberWidth);
    });
    connect(m_txtName, &QLineEdit::returnPressed, m_txtNumber,
            [this] { m_txtNumber->setFocus(Qt::OtherFocusReason); });
    connect(m_txtNumber, &QLineEdit::returnPressed, m_cmdApply,
            [this] { m_cmdApply->setFocus(Qt::OtherFocusReason); });
    connect(m_list1, &QListWidget::itemSelectionChanged, this, &CallListWindow::onSelectionChanged);
    // A click on the line that is already selected (say after New) takes up that
    // entry again, though the selection itself does not change.
    connect(m_list1, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        if (item->isSelected())
            onSelectionChanged();
    });
    connect(m_mnuNew, &QAction::triggered, this, &CallListWindow::onNew);
    connect(m_mnuDelete, &QAction::triggered, this, &CallListWindow::onDelete);
    connect(m_cmdApply, &QPushButton::clicked, this, &CallListWindow::onApply);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    setEditorVisible(false);
    reloadList();
    addKeyboardConventions(this, menuBar());
}

QString CallListWindow::listLine(const QString& name, const QString& number)
{
    return TextField::padded(name, CallList::kNameWidth) + QLatin1Char(' ') +
           TextField::padded(number, CallList::kNumberWidth);
}

void CallListWindow::reloadList()
{
    const QSignalBlocker quiet(m_list1);
    m_list1->clear();
    CallList::walk(m_files.callList(), [this](qint64 n, const CallRecord& record) {
        if (!record.inUse())
            return;
        auto* item = new CallListItem(listLine(record.CallName, record.CallNumber));
        item->setData(kRecordRole, n);
        m_list1->addItem(item);
    });
    m_list1->clearSelection();
}

void CallListWindow::setEditorVisible(bool visible)
{
    for (QWidget* w : {static_cast<QWidget*>(m_txtName), static_cast<QWidget*>(m_txtNumber),
                       static_cast<QWidget*>(m_label1), static_cast<QWidget*>(m_label2),
                       static_cast<QWidget*>(m_cmdApply)})
        w->setVisible(visible);
}

void CallListWindow::onSelectionChanged()
{
    const QList<QListWidgetItem*> selected = m_list1->selectedItems();
    if (selected.isEmpty())
        return;
    m_currentRecord = selected.first()->data(kRecordRole).toInt();
    CallList::read(m_files.callList(), m_currentRecord, m_record);
    const CallRecord record = CallList::split(m_record);
    m_txtName->setText(record.CallName);
    m_txtNumber->setText(record.CallNumber);
    setEditorVisible(true);
    m_txtName->setFocus(Qt::OtherFocusReason);
}

void CallListWindow::onNew()
{
    m_txtName->clear();
    m_txtNumber->clear();
    // clear() on an empty box emits nothing, so set the blank fields here as well.
    m_editName = TextField::padded(QString(), CallList::kNameWidth);
    m_editNumber = TextField::padded(QString(), CallList::kNumberWidth);
    m_currentRecord = static_cast<qint32>(CallList::firstFree(m_files.callList()));
    setEditorVisible(true);
    m_txtName->setFocus(Qt::OtherFocusReason);
    m_label3->setText(QString::number(m_currentRecord));
}

void CallListWindow::onApply()
{
    if (m_currentRecord < 1)
        return;
    m_record = CallList::join(QStringLiteral("1"), m_editName, m_editNumber);
    errno = 0;
    if (!CallList::write(m_files.callList(), m_currentRecord, m_record))
        reportWriteFailure();
    reloadList();
    setEditorVisible(false);
}

void CallListWindow::onDelete()
{
    const QList<QListWidgetItem*> selected = m_list1->selectedItems();
    if (selected.isEmpty())
        return;
    m_currentRecord = selected.first()->data(kRecordRole).toInt();
    errno = 0;
    if (!CallList::remove(m_files.callList(), m_currentRecord))
        reportWriteFailure();
    reloadList();
    setEditorVisible(false);
}

void CallListWindow::reportWriteFailure()
{
    // Not a check of the operator's input: the entry did not reach the file, and
    // saying so beats losing it silently.
    const int err = errno != 0 ? errno : EBADF;
    m_errors.report(systemErrorText(err));
}

} // namespace dovrane
