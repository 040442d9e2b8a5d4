#include "AppState.h"
#include "CallList.h"
#include "CallListWindow.h"
#include "ErrorReporter.h"
#include "RecordFile.h"

#include <QAction>
#include <QFile>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace dovrane;

namespace {

QByteArray rec(char flag, const char* name, const char* number)
{
    return QByteArray(1, flag) + QByteArray(name).leftJustified(15, ' ', true) +
           QByteArray(number).leftJustified(24, ' ', true);
}

} // namespace

class TestCallListWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<CallListWindow> m_window;

    QString path() const { return m_dir->filePath(QStringLiteral("CallList.dat")); }
    QByteArray contents() const
    {
        QFile f(path());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }
    void openWith(const QByteArray& bytes)
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        m_state.CallListFile = std::make_unique<RecordFile>(path(), 40);
        QVERIFY(m_state.CallListFile->open());
        m_window = std::make_unique<CallListWindow>(m_state, m_errors);
        m_window->show();
    }
    template <typename T> T* child(const char* name)
    {
        T* w = m_window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no %s", name);
        return w;
    }
    QListWidget* list() { return child<QListWidget>("list1"); }
    QStringList lines()
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out << list()->item(i)->text();
        return out;
    }
    bool editorVisible()
    {
        return child<QLineEdit>("txtName")->isVisible() &&
               child<QLineEdit>("txtNumber")->isVisible() && child<QLabel>("Label1")->isVisible() &&
               child<QLabel>("Label2")->isVisible() && child<QPushButton>("cmdApply")->isVisible();
    }
    bool editorHidden()
    {
        return !child<QLineEdit>("txtName")->isVisible() &&
               !child<QLineEdit>("txtNumber")->isVisible() &&
               !child<QLabel>("Label1")->isVisible() && !child<QLabel>("Label2")->isVisible() &&
               !child<QPushButton>("cmdApply")->isVisible();
    }
    void select(int row) { list()->setCurrentRow(row); }

private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        m_window.reset();
        m_state.CallListFile.reset();
        m_dir.reset();
    }

    void controlsAsDesigned()
    {
        openWith({});
        QCOMPARE(m_window->objectName(), QStringLiteral("frmCallList"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Call List"));
        QCOMPARE(child<QLabel>("Label1")->text(), QStringLiteral("Name"));
        QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral("Number"));
        QCOMPARE(child<QPushButton>("cmdApply")->text(), QStringLiteral("Apply"));
        QCOMPARE(child<QPushButton>("cmdClose")->text(), QStringLiteral("Close"));
        QCOMPARE(child<QLineEdit>("txtName")->maxLength(), 25);
        QCOMPARE(child<QLineEdit>("txtNumber")->maxLength(), 24);
        QVERIFY(child<QLabel>("Label3")->text().isEmpty());
        QCOMPARE(child<QAction>("mnuExit")->text(), QStringLiteral("Exit"));
        QCOMPARE(child<QAction>("mnuNew")->text(), QStringLiteral("New"));
        QCOMPARE(child<QAction>("mnuDelete")->text(), QStringLiteral("Delete"));
        QCOMPARE(child<QMenu>("mnuFiles")->title(), QStringLiteral("Files"));
        const QFontMetrics metrics(list()->font());
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')),
                 metrics.horizontalAdvance(QLatin1Char('M')));
        QVERIFY(editorHidden());
        QVERIFY(list()->isVisible());
    }

    void listsEntriesInUseSortedWithCaseIgnored()
    {
        openWith(rec('1', "bob", "3") + rec('1', "Alice", "2") + rec('0', "Carl", "9") +
                 rec('1', "alan", "1") + rec('X', "Dan", "4"));
        QCOMPARE(lines(), (QStringList{"alan            1                       ",
                                       "Alice           2                       ",
                                       "bob             3                       "}));
        QCOMPARE(list()->item(0)->data(Qt::UserRole).toInt(), 4);
        QCOMPARE(list()->item(1)->data(Qt::UserRole).toInt(), 2);
        QCOMPARE(list()->item(2)->data(Qt::UserRole).toInt(), 1);
        QVERIFY(list()->selectedItems().isEmpty());
    }

    void newReusesDeletedSlotAndApplyKeepsLength()
    {
        openWith(rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002") +
                 rec('0', "Carl", "5551003"));
        QCOMPARE(list()->count(), 2);
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("3"));
        QCOMPARE(m_window->currentRecord(), 3);
        QVERIFY(editorVisible());
        QCOMPARE(m_window->focusWidget(), child<QLineEdit>("txtName"));
        QTest::keyClicks(child<QLineEdit>("txtName"), QStringLiteral("Dora"));
        QTest::keyClicks(child<QLineEdit>("txtNumber"), QStringLiteral("5551004"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents(), rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002") +
                                 QByteArrayLiteral("1Dora           5551004                 "));
        QCOMPARE(list()->count(), 3);
        QVERIFY(editorHidden());
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("3"));
    }

    void newOnFullFileGrowsItToFiveRecords()
    {
        openWith(rec('1', "A", "1") + rec('1', "B", "2") + rec('1', "C", "3") + rec('1', "D", "4"));
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("5"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents().size(), 200);
        // Empty boxes still store an entry in use, all blanks.
        QCOMPARE(contents().mid(160), QByteArray("1") + QByteArray(39, ' '));
    }

    void longNameIsCutToFifteen()
    {
        openWith({});
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("1"));
        QTest::keyClicks(child<QLineEdit>("txtName"), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(child<QLineEdit>("txtName")->text().size(), 20);
        QCOMPARE(m_window->editName(), QStringLiteral("ABCDEFGHIJKLMNO"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents(), QByteArray("1ABCDEFGHIJKLMNO") + QByteArray(24, ' '));
        QCOMPARE(lines(), QStringList{QStringLiteral("ABCDEFGHIJKLMNO ") + QString(24, ' ')});
    }

    void typingStopsAtMaxLength()
    {
        openWith({});
        child<QAction>("mnuNew")->trigger();
        QTest::keyClicks(child<QLineEdit>("txtName"), QString(30, QLatin1Char('n')));
        QTest::keyClicks(child<QLineEdit>("txtNumber"), QString(30, QLatin1Char('5')));
        QCOMPARE(child<QLineEdit>("txtName")->text().size(), 25);
        QCOMPARE(child<QLineEdit>("txtNumber")->text().size(), 24);
    }

    void selectingLineFillsBoxesWithPaddedFields()
    {
        openWith(rec('1', "Bob", "5551002") + rec('1', "Alice", "5551001"));
        child<QAction>("mnuNew")->trigger(); // Label3 = 3, and must stay
        select(0);
        QCOMPARE(m_window->currentRecord(), 2);
        QCOMPARE(child<QLineEdit>("txtName")->text(), QStringLiteral("Alice          "));
        QCOMPARE(child<QLineEdit>("txtNumber")->text(), QStringLiteral("5551001                 "));
        QCOMPARE(m_window->editNumber(), QStringLiteral("5551001                 "));
        QVERIFY(editorVisible());
        QCOMPARE(m_window->focusWidget(), child<QLineEdit>("txtName"));
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("3"));
        // The number box is full: typing adds nothing until blanks are removed.
        QTest::keyClicks(child<QLineEdit>("txtNumber"), QStringLiteral("9"));
        QCOMPARE(m_window->editNumber(), QStringLiteral("5551001                 "));
    }

    void clickingTheSelectedLineAgainAfterNewEditsThatEntry()
    {
        openWith(rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002"));
        select(1); // Bob, record 2
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(m_window->currentRecord(), 3);
        const QRect line = list()->visualItemRect(list()->item(1));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, line.center());
        QCOMPARE(m_window->currentRecord(), 2);
        QCOMPARE(child<QLineEdit>("txtName")->text(), QStringLiteral("Bob            "));
        child<QLineEdit>("txtNumber")->setText(QStringLiteral("5559999"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents(), rec('1', "Alice", "5551001") + rec('1', "Bob", "5559999"));
    }

    void editFieldsFollowTextSetByProgram()
    {
        openWith(rec('1', "Alice", "5551001"));
        select(0);
        child<QLineEdit>("txtName")->setText(QStringLiteral("Al"));
        child<QLineEdit>("txtNumber")->setText(QStringLiteral("12"));
        QCOMPARE(m_window->editName(), QStringLiteral("Al             "));
        QCOMPARE(m_window->editNumber(), QStringLiteral("12                      "));
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(m_window->editName(), QString(15, QLatin1Char(' ')));
        QCOMPARE(m_window->editNumber(), QString(24, QLatin1Char(' ')));
    }

    void changingSelectedEntryRewritesItsRecord()
    {
        openWith(rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002"));
        select(1); // Bob, record 2
        QLineEdit* number = child<QLineEdit>("txtNumber");
        number->setText(QStringLiteral("5559999"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents(), rec('1', "Alice", "5551001") + rec('1', "Bob", "5559999"));
    }

    void deleteWithNothingSelectedChangesNothing()
    {
        const QByteArray before = rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002");
        openWith(before);
        child<QAction>("mnuDelete")->trigger();
        QCOMPARE(contents(), before);
        QCOMPARE(list()->count(), 2);
    }

    void deleteMarksSlotAndNextNewReusesIt()
    {
        openWith(rec('1', "Alice", "1") + rec('1', "Bob", "2") + rec('1', "Carl", "3"));
        select(1);
        child<QAction>("mnuDelete")->trigger();
        QCOMPARE(contents(), rec('1', "Alice", "1") + rec('0', "Bob", "2") + rec('1', "Carl", "3"));
        QCOMPARE(lines().size(), 2);
        QVERIFY(editorHidden());
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("2"));
    }

    void newThenCloseWritesNothing()
    {
        const QByteArray before = rec('1', "Alice", "5551001");
        openWith(before);
        child<QAction>("mnuNew")->trigger();
        QTest::keyClicks(child<QLineEdit>("txtName"), QStringLiteral("Zed"));
        QTest::mouseClick(child<QPushButton>("cmdClose"), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(contents(), before);
        QVERIFY(m_state.CallListFile->isOpen());
    }

    void exitMenuCloses()
    {
        openWith({});
        child<QAction>("mnuExit")->trigger();
        QVERIFY(!m_window->isVisible());
    }

    void enterMovesFocusToNumberThenApply()
    {
        openWith({});
        child<QAction>("mnuNew")->trigger();
        QTest::keyClick(child<QLineEdit>("txtName"), Qt::Key_Return);
        QCOMPARE(m_window->focusWidget(), child<QLineEdit>("txtNumber"));
        QTest::keyClick(child<QLineEdit>("txtNumber"), Qt::Key_Return);
        QCOMPARE(m_window->focusWidget(), child<QPushButton>("cmdApply"));
        QCOMPARE(contents(), QByteArray()); // Enter saves nothing by itself
    }

    void usesTheHandleOfTheLatestLoad()
    {
        openWith(rec('1', "Alice", "1"));
        // The loader ran again: the old handle is gone, a new one replaces it.
        m_state.CallListFile = std::make_unique<RecordFile>(path(), 40);
        QVERIFY(m_state.CallListFile->open());
        child<QAction>("mnuNew")->trigger();
        QCOMPARE(child<QLabel>("Label3")->text(), QStringLiteral("2"));
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(contents().size(), 80);
    }

    void failedWriteIsReported()
    {
        openWith({});
        m_state.CallListFile.reset();
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        child<QAction>("mnuNew")->trigger();
        QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton);
        QCOMPARE(reported.count(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+ \\S"))
                    .match(reported.first().first().toString())
                    .hasMatch());
    }
};

QTEST_MAIN(TestCallListWindow)
#include "tst_calllistwindow.moc"
