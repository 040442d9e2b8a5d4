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
    template <typename T = QWidget> T* child(const char* name)
    {
        T* w = m_window->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no %s", name);
        return w;
    }
    QListWidget* list() { return child<QListWidget>("list1"); }
    QLineEdit* nameBox() { return child<QLineEdit>("txtName"); }
    QLineEdit* numberBox() { return child<QLineEdit>("txtNumber"); }
    QString label3() { return child<QLabel>("Label3")->text(); }
    void newEntry() { child<QAction>("mnuNew")->trigger(); }
    void apply() { QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton); }
    QStringList lines()
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out << list()->item(i)->text();
        return out;
    }
    /// True when the editing controls are all shown (or, with shown false, all hidden).
    bool editor(bool shown)
    {
        for (const char* name : {"txtName", "txtNumber", "Label1", "Label2", "cmdApply"})
            if (child(name)->isVisible() != shown)
                return false;
        return true;
    }

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
        const QList<std::pair<const char*, const char*>> texts{
            {"Label1", "Name"},     {"Label2", "Number"}, {"cmdApply", "Apply"},
            {"cmdClose", "Close"},  {"mnuExit", "Exit"},  {"mnuNew", "New"},
            {"mnuDelete", "Delete"}};
        for (const auto& [name, text] : texts)
            QCOMPARE(child<QObject>(name)->property("text").toString(), QString::fromLatin1(text));
        QCOMPARE(child<QMenu>("mnuFiles")->title(), QStringLiteral("Files"));
        QVERIFY(label3().isEmpty());
        const QFontMetrics metrics(list()->font());
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')),
                 metrics.horizontalAdvance(QLatin1Char('M')));
        QVERIFY(editor(false));
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

    void deletedSlotIsReusedAndApplyKeepsLength()
    {
        const QByteArray before =
            rec('1', "Alice", "1") + rec('1', "Bob", "2") + rec('1', "C", "3");
        openWith(before);
        child<QAction>("mnuDelete")->trigger(); // nothing selected: nothing changes
        QCOMPARE(contents(), before);
        list()->setCurrentRow(1);
        child<QAction>("mnuDelete")->trigger();
        QCOMPARE(contents(), rec('1', "Alice", "1") + rec('0', "Bob", "2") + rec('1', "C", "3"));
        QCOMPARE(lines().size(), 2);
        QVERIFY(editor(false));
        newEntry();
        QCOMPARE(label3(), QStringLiteral("2"));
        QCOMPARE(m_window->currentRecord(), 2);
        QVERIFY(editor(true));
        QCOMPARE(m_window->focusWidget(), nameBox());
        QTest::keyClicks(nameBox(), QStringLiteral("Dora"));
        QTest::keyClicks(numberBox(), QStringLiteral("5551004"));
        apply();
        QCOMPARE(contents(),
                 rec('1', "Alice", "1") + rec('1', "Dora", "5551004") + rec('1', "C", "3"));
        QCOMPARE(list()->count(), 3);
        QVERIFY(editor(false));
    }

    void newOnFullFileGrowsItToFiveRecords()
    {
        openWith(rec('1', "A", "1") + rec('1', "B", "2") + rec('1', "C", "3") + rec('1', "D", "4"));
        list()->setCurrentRow(0); // New must blank what the selection put in the boxes
        newEntry();
        QCOMPARE(label3(), QStringLiteral("5"));
        apply();
        QCOMPARE(contents().size(), 200);
        // Empty boxes still store an entry in use, all blanks.
        QCOMPARE(contents().mid(160), QByteArray("1") + QByteArray(39, ' '));
    }

    void longNameIsCutToFifteenAndEnterMovesOn()
    {
        openWith({});
        newEntry();
        QCOMPARE(label3(), QStringLiteral("1"));
        QTest::keyClicks(nameBox(), QStringLiteral("ABCDEFGHIJKLMNOPQRST"));
        QCOMPARE(nameBox()->text().size(), 20);
        QCOMPARE(m_window->editName(), QStringLiteral("ABCDEFGHIJKLMNO"));
        QTest::keyClick(nameBox(), Qt::Key_Return);
        QCOMPARE(m_window->focusWidget(), numberBox());
        QTest::keyClicks(numberBox(), QString(30, QLatin1Char('5'))); // typing stops at 24
        QTest::keyClick(numberBox(), Qt::Key_Return);
        QCOMPARE(m_window->focusWidget(), child<QPushButton>("cmdApply"));
        QCOMPARE(contents(), QByteArray()); // Enter saves nothing by itself
        apply();
        QCOMPARE(contents(), QByteArray("1ABCDEFGHIJKLMNO") + QByteArray(24, '5'));
        QCOMPARE(lines(), QStringList{QStringLiteral("ABCDEFGHIJKLMNO ") + QString(24, '5')});
        newEntry();
        QTest::keyClicks(nameBox(), QString(30, QLatin1Char('n')));
        QCOMPARE(nameBox()->text().size(), 25);
    }

    void selectingLineFillsBoxesWithPaddedFields()
    {
        openWith(rec('1', "Bob", "5551002") + rec('1', "Alice", "5551001"));
        newEntry(); // Label3 = 3, and must stay
        list()->setCurrentRow(0);
        QCOMPARE(m_window->currentRecord(), 2);
        QCOMPARE(nameBox()->text(), QStringLiteral("Alice          "));
        QCOMPARE(numberBox()->text(), QStringLiteral("5551001                 "));
        QVERIFY(editor(true));
        QCOMPARE(m_window->focusWidget(), nameBox());
        QCOMPARE(label3(), QStringLiteral("3"));
        // The number box is full: typing adds nothing until blanks are removed.
        QTest::keyClicks(numberBox(), QStringLiteral("9"));
        QCOMPARE(m_window->editNumber(), QStringLiteral("5551001                 "));
    }

    void clickingTheSelectedLineAgainAfterNewEditsThatEntry()
    {
        openWith(rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002"));
        list()->setCurrentRow(1); // Bob, record 2
        newEntry();
        QCOMPARE(m_window->currentRecord(), 3);
        const QRect line = list()->visualItemRect(list()->item(1));
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, line.center());
        QCOMPARE(m_window->currentRecord(), 2);
        QCOMPARE(nameBox()->text(), QStringLiteral("Bob            "));
        numberBox()->setText(QStringLiteral("5559999"));
        apply();
        QCOMPARE(contents(), rec('1', "Alice", "5551001") + rec('1', "Bob", "5559999"));
    }

    void newThenCloseWritesNothing()
    {
        const QByteArray before = rec('1', "Alice", "5551001");
        openWith(before);
        newEntry();
        QTest::keyClicks(nameBox(), QStringLiteral("Zed"));
        QTest::mouseClick(child<QPushButton>("cmdClose"), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(contents(), before);
        QVERIFY(m_state.CallListFile->isOpen());
        m_window->show();
        child<QAction>("mnuExit")->trigger();
        QVERIFY(!m_window->isVisible());
    }

    void usesTheHandleOfTheLatestLoad()
    {
        openWith(rec('1', "Alice", "1"));
        // The loader ran again: the old handle is gone, a new one replaces it.
        m_state.CallListFile = std::make_unique<RecordFile>(path(), 40);
        QVERIFY(m_state.CallListFile->open());
        newEntry();
        QCOMPARE(label3(), QStringLiteral("2"));
        apply();
        QCOMPARE(contents().size(), 80);
    }

    void failedWriteIsReported()
    {
        openWith({});
        m_state.CallListFile.reset();
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        newEntry();
        apply();
        QCOMPARE(reported.count(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d+ \\S"))
                    .match(reported.first().first().toString())
                    .hasMatch());
    }
};

QTEST_MAIN(TestCallListWindow)
#include "tst_calllistwindow.moc"
