#include "AddressBookWindow.h"

#include "AddressBook.h"
#include "AlarmMailer.h"
#include "DataFiles.h"
#include "ErrorReporter.h"
#include "TimeOfDay.h"
#include "WindowParts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace dovrane {

namespace {

constexpr int kRecordRole = Qt::UserRole;
constexpr int kNever = 0;
constexpr int kAlways = 1;
constexpr int kSometimes = 2;

const std::array<const char*, 8> kDayCaptions = {"",    "Sun", "Mon", "Tue",
                                                 "Wed", "Thu", "Fri", "Sat"};

// The list keeps its lines in order of their whole text with case ignored; the
// default item order would put every upper-case name before any lower-case one.
class EntryLine final : public QListWidgetItem
{
public:
    EntryLine(const QString& text, qint64 record) : QListWidgetItem(text)
    {
        setData(kRecordRole, record);
    }
    bool operator<(const QListWidgetItem& other) const override
    {
        return text().compare(other.text(), Qt::CaseInsensitive) < 0;
    }
};

QString optionWord(char option)
{
    switch (option) {
    case '1':
        return QStringLiteral("Always");
    case '2':
        return QStringLiteral("Sometimes");
    default:
        // Anything else gets no mail, exactly like Never.
        return QStringLiteral("Never");
    }
}

constexpr int kNameTyped = 25;
constexpr int kAddressTyped = 38;
constexpr int kTimeTyped = 8;

// The limits are on typing only: a stored 39-character address, or a time shown as
// "5:00:00 PM", must reach the field whole, or the next Apply would store it cut.
void showText(QLineEdit* field, const QString& text, int typedLimit)
{
    field->setMaxLength(std::max<int>(typedLimit, int(text.size())));
    field->setText(text);
}

QString lineText(const AddressRecord& entry)
{
    return entry.ContactName + QLatin1Char(' ') + entry.Address + QLatin1Char(' ') +
           optionWord(entry.SendOption);
}

} // namespace

AddressBookWindow::AddressBookWindow(const DataFiles& files, AlarmMailer& mailer,
                                     ErrorReporter& errors, AddressBookListPosition& position,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), m_files(files), m_mailer(mailer), m_errors(errors),
      m_position(position)
{
    setObjectName(QStringLiteral("frmAddressBook"));
    setWindowTitle(QStringLiteral("Address Book"));
    buildControls();
    setEntryFieldsVisible(false);
    applyOptionRule();
    LoadAddressBook();
}

void AddressBookWindow::buildControls()
{
    auto* menuBar = new QMenuBar(this);
    addFilesExitMenu(menuBar, this);

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("list1"));
    const QFont fixed = fixedPitchFont(QStringLiteral("Courier New"));
    m_list1->setFont(fixed);
    m_list1->setSortingEnabled(true);
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    m_list1->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(68, QLatin1Char('M'))));
    connect(m_list1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            showSelected();
    });
    connect(m_list1, &QListWidget::itemClicked, this, [this] { showSelected(); });

    m_label3 = new QLabel(this);
    m_label3->setObjectName(QStringLiteral("Label3"));
    m_label1 = new QLabel(QStringLiteral("Name"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_txtName = new QLineEdit(this);
    m_txtName->setObjectName(QStringLiteral("txtName"));
    m_txtName->setMaxLength(kNameTyped);
    m_label2 = new QLabel(QStringLiteral("Address"), this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_txtNumber = new QLineEdit(this);
    m_txtNumber->setObjectName(QStringLiteral("txtNumber"));
    m_txtNumber->setMaxLength(kAddressTyped);

    m_opt1 = new QButtonGroup(this);
    m_opt1->setObjectName(QStringLiteral("opt1"));
    const std::array<QString, 3> optionCaptions = {
        QStringLiteral("Never"), QStringLiteral("Always"), QStringLiteral("Sometimes")};
    auto* options = new QVBoxLayout;
    for (int i = 0; i < 3; ++i) {
        m_optButtons[i] = new QRadioButton(optionCaptions[i], this);
        m_optButtons[i]->setObjectName(QStringLiteral("opt1_%1").arg(i));
        m_opt1->addButton(m_optButtons[i], i);
        options->addWidget(m_optButtons[i]);
    }
    connect(m_opt1, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            applyOptionRule();
    });

    m_label8 = new QLabel(QStringLiteral(" Start                       Stop"), this);
    m_label8->setObjectName(QStringLiteral("Label8"));
    auto* days = new QGridLayout;
    days->addWidget(m_label8, 0, 1, 1, 2);
    for (int day = 1; day <= 7; ++day) {
        m_check1[day] = new QCheckBox(QString::fromLatin1(kDayCaptions[day]), this);
        m_check1[day]->setObjectName(QStringLiteral("Check1_%1").arg(day));
        m_txtStart[day] = new QLineEdit(this);
        m_txtStart[day]->setObjectName(QStringLiteral("txtStart_%1").arg(day));
        m_txtStop[day] = new QLineEdit(this);
        m_txtStop[day]->setObjectName(QStringLiteral("txtStop_%1").arg(day));
        for (QLineEdit* field : {m_txtStart[day], m_txtStop[day]}) {
            field->setMaxLength(kTimeTyped);
            field->installEventFilter(this);
        }
        days->addWidget(m_check1[day], day, 0);
        days->addWidget(m_txtStart[day], day, 1);
        days->addWidget(m_txtStop[day], day, 2);
    }

    m_cmdTest = new QPushButton(QStringLiteral("Send Test"), this);
    m_cmdTest->setObjectName(QStringLiteral("cmdTest"));
    m_cmdApply = new QPushButton(QStringLiteral("Apply"), this);
    m_cmdApply->setObjectName(QStringLiteral("cmdApply"));
    m_cmdClose = new QPushButton(QStringLiteral("Close"), this);
    m_cmdClose->setObjectName(QStringLiteral("cmdClose"));
    m_cmdNew = new QPushButton(QStringLiteral("New"), this);
    m_cmdNew->setObjectName(QStringLiteral("cmdNew"));
    m_cmdDelete = new QPushButton(QStringLiteral("Delete"), this);
    m_cmdDelete->setObjectName(QStringLiteral("cmdDelete"));
    for (QPushButton* b : {m_cmdTest, m_cmdApply, m_cmdClose, m_cmdNew, m_cmdDelete})
        b->setAutoDefault(false);
    QSizePolicy keep = m_cmdApply->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    m_cmdApply->setSizePolicy(keep);

    connect(m_cmdTest, &QPushButton::clicked, this, &AddressBookWindow::onTest);
    connect(m_cmdApply, &QPushButton::clicked, this, &AddressBookWindow::onApply);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);
    connect(m_cmdNew, &QPushButton::clicked, this, &AddressBookWindow::onNew);
    connect(m_cmdDelete, &QPushButton::clicked, this, &AddressBookWindow::onDelete);
    connect(m_txtName, &QLineEdit::returnPressed, this, [this] { m_txtNumber->setFocus(); });
    connect(m_txtNumber, &QLineEdit::returnPressed, this, [this] { m_cmdApply->setFocus(); });

    auto* fields = new QGridLayout;
    fields->addWidget(m_label3, 0, 1);
    fields->addWidget(m_label1, 1, 0);
    fields->addWidget(m_txtName, 1, 1);
    fields->addWidget(m_label2, 2, 0);
    fields->addWidget(m_txtNumber, 2, 1);
    auto* left = new QVBoxLayout;
    left->addLayout(fields);
    left->addStretch();
    left->addLayout(options);

    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 1);
    middle->addLayout(days);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_cmdTest, m_cmdApply, m_cmdClose, m_cmdNew, m_cmdDelete})
        buttons->addWidget(b);

    // The window's status line: what Send Test did.
    m_lblStatus = new QLabel(this);
    m_lblStatus->setObjectName(QStringLiteral("lblStatus"));

    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addWidget(m_list1, 1);
    layout->addLayout(middle);
    layout->addLayout(buttons);
    layout->addWidget(m_lblStatus);
    addKeyboardConventions(this, menuBar);
}

bool AddressBookWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            field->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void AddressBookWindow::setEntryFieldsVisible(bool visible)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_label1, m_label2, m_txtName, m_txtNumber, m_cmdApply})
        w->setVisible(visible);
}

void AddressBookWindow::applyOptionRule()
{
    // With no option chosen yet (an empty address book) the rows stay usable.
    const int option = m_opt1->checkedId();
    const bool enabled = option == kSometimes || option < 0;
    for (int day = 1; day <= 7; ++day) {
        m_check1[day]->setEnabled(enabled);
        m_txtStart[day]->setEnabled(enabled);
        m_txtStop[day]->setEnabled(enabled);
    }
}

qint64 AddressBookWindow::selectedRecord() const
{
    // The focused line is not enough: Ctrl+click can leave it unselected, and then
    // Delete and Send Test must do nothing.
    const QListWidgetItem* item = m_list1->currentItem();
    if (!item || m_list1->currentRow() < 0 || !item->isSelected())
        return 0;
    return item->data(kRecordRole).toLongLong();
}

void AddressBookWindow::LoadAddressBook()
{
    {
        const QSignalBlocker blocker(m_list1);
        m_list1->clear();
        AddressBook book(m_files);
        book.walk([this](qint64 n, const AddressRecord& entry) {
            if (entry.inUse())
                m_list1->addItem(new EntryLine(lineText(entry), n));
        });
        if (m_list1->count() > 0)
            m_list1->setCurrentRow(0);
    }
    if (m_list1->count() == 0) {
        // Nothing left to edit: hide the entry so Apply cannot write a stray slot.
        setEntryFieldsVisible(false);
        m_label3->clear();
        return;
    }
    showSelected();
}

void AddressBookWindow::showSelected()
{
    const qint64 record = selectedRecord();
    if (record < 1)
        return;
    m_currentRecord = record;
    m_label3->setText(QString::number(record));

    AddressBook book(m_files);
    const AddressRecord entry = book.read(record);
    showText(m_txtName, entry.ContactName.trimmed(), kNameTyped);
    showText(m_txtNumber, entry.Address.trimmed(), kAddressTyped);
    m_txtName->setVisible(true);
    m_txtNumber->setVisible(true);

    const int option =
        entry.SendOption >= '0' && entry.SendOption <= '2' ? entry.SendOption - '0' : kNever;
    m_optButtons[option]->setChecked(true);
    applyOptionRule();

    for (int day = 1; day <= 7; ++day) {
        m_check1[day]->setChecked(entry.DayChecked[day] == '1');
        showText(m_txtStart[day], TimeOfDay::longText(entry.StartSecs[day]), kTimeTyped);
        showText(m_txtStop[day], TimeOfDay::longText(entry.StopSecs[day]), kTimeTyped);
    }
    setEntryFieldsVisible(true);
}

void AddressBookWindow::onNew()
{
    showText(m_txtName, QString(), kNameTyped);
    showText(m_txtNumber, QString(), kAddressTyped);
    AddressBook book(m_files);
    m_currentRecord = book.firstFree();
    for (int day = 1; day <= 7; ++day) {
        m_check1[day]->setChecked(false);
        showText(m_txtStart[day], QString(), kTimeTyped);
        showText(m_txtStop[day], QString(), kTimeTyped);
    }
    // A first entry starts as Always, so that it is reached once it has an address.
    if (m_opt1->checkedId() < 0)
        m_optButtons[kAlways]->setChecked(true);
    setEntryFieldsVisible(true);
    m_txtName->setFocus();
    m_label3->setText(QString::number(m_currentRecord));
}

void AddressBookWindow::onApply()
{
    AddressRecord entry;
    entry.InUse = '1';
    const int option = m_opt1->checkedId() < 0 ? kAlways : m_opt1->checkedId();
    entry.SendOption = static_cast<char>('0' + option);
    entry.setContactName(m_txtName->text());
    entry.setAddress(m_txtNumber->text());

    // Every time field is read before anything is written, so a typing mistake in
    // one of them loses nothing and stores nothing.
    for (int day = 1; day <= 7; ++day) {
        entry.DayChecked[day] = m_check1[day]->isChecked() ? '1' : '0';
        for (const bool start : {true, false}) {
            QLineEdit* field = start ? m_txtStart[day] : m_txtStop[day];
            int seconds = 0;
            if (!field->text().trimmed().isEmpty()) {
                const std::optional<int> parsed = TimeOfDay::parse(field->text());
                if (!parsed) {
                    m_errors.report(
                        QStringLiteral("\"%1\" is not a time of day (%2 %3). Type a time such "
                                       "as 08:30:00 or 8:30 PM; nothing was saved.")
                            .arg(field->text(), QString::fromLatin1(kDayCaptions[day]),
                                 start ? QStringLiteral("Start") : QStringLiteral("Stop")));
                    field->setFocus();
                    field->selectAll();
                    return;
                }
                seconds = *parsed;
            }
            (start ? entry.StartSecs : entry.StopSecs)[day] = seconds;
        }
    }
    for (int day = 1; day <= 7; ++day) {
        for (QLineEdit* field : {m_txtStart[day], m_txtStop[day]}) {
            if (field->text().trimmed().isEmpty())
                showText(field, TimeOfDay::longText(0), kTimeTyped);
        }
    }

    AddressBook book(m_files);
    if (m_currentRecord < 1)
        m_currentRecord = book.firstFree();
    if (!book.write(m_currentRecord, entry)) {
        m_errors.report(QStringLiteral("The address book entry could not be saved: %1")
                            .arg(book.errorString()));
        return;
    }

    if (selectedRecord() > 0) {
        m_position.selectedIndex = m_list1->currentRow();
        m_position.topIndex = m_list1->verticalScrollBar()->value();
    }
    LoadAddressBook();
    if (m_list1->count() <= 1 || m_position.selectedIndex >= m_list1->count())
        return;
    {
        const QSignalBlocker blocker(m_list1);
        m_list1->setCurrentRow(m_position.selectedIndex);
        if (QListWidgetItem* top = m_list1->item(m_position.topIndex))
            m_list1->scrollToItem(top, QAbstractItemView::PositionAtTop);
    }
    showSelected();
}

void AddressBookWindow::onDelete()
{
    const qint64 record = selectedRecord();
    if (record < 1)
        return;
    m_currentRecord = record;
    AddressBook book(m_files);
    if (!book.markDeleted(record)) {
        m_errors.report(QStringLiteral("The address book entry could not be deleted: %1")
                            .arg(book.errorString()));
        return;
    }
    LoadAddressBook();
}

void AddressBookWindow::onTest()
{
    const qint64 record = selectedRecord();
    if (record < 1)
        return;
    const QString address = m_mailer.sendTestMessage(record);
    m_lblStatus->setText(
        address.isEmpty()
            ? QStringLiteral("No test message sent: the mail system is not there.")
            : QStringLiteral("Test message to %1 handed to the mail system.").arg(address));
}

} // namespace dovrane
