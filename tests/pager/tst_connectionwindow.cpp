#include "AppState.h"
#include "ConnectionWindow.h"
#include "DataPaths.h"
#include "ErrorReporter.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace dovrane;

class TestConnectionWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<ConnectionWindow> m_window;
    std::unique_ptr<QSignalSpy> m_reported;

    QString file() const { return m_dir->filePath(QStringLiteral("Connection.dat")); }
    QByteArray contents() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    void open(qint16 port, const QString& rate, const QString& dataDir = {})
    {
        m_state.ComPort = port;
        m_state.BaudRate = rate;
        m_window = std::make_unique<ConnectionWindow>(
            m_state, DataPaths(dataDir.isEmpty() ? m_dir->path() : dataDir), m_errors);
        m_window->show();
    }
    template <typename T = QListWidget> T* child(const char* name)
    {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    static QString selected(QListWidget* list)
    {
        const auto items = list->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    void clickRow(const char* list, int row)
    {
        QListWidget* l = child(list);
        QTest::mouseClick(l->viewport(), Qt::LeftButton, {},
                          l->visualItemRect(l->item(row)).center());
    }
    void apply() { QTest::mouseClick(child<QPushButton>("cmdApply"), Qt::LeftButton); }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState();
        m_reported = std::make_unique<QSignalSpy>(&m_errors, &ErrorReporter::reported);
    }
    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void controlsAsDesigned()
    {
        open(0, {});
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMyConnection"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("MyConnection"));
        QCOMPARE(child<QLabel>("Label1")->text(), QStringLiteral("Com Port"));
        QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral("Baud Rate"));
        QCOMPARE(child<QPushButton>("cmdApply")->text(), QStringLiteral("&Apply"));
        QCOMPARE(child<QPushButton>("cmdClose")->text(), QStringLiteral("&Close"));
        QStringList rows;
        for (const char* name : {"lstComPort", "lstBaudRate"})
            for (int i = 0; i < child(name)->count(); ++i)
                rows << child(name)->item(i)->text() + '=' +
                            child(name)->item(i)->data(Qt::UserRole).toString();
        QCOMPARE(rows, (QStringList{"1=1", "2=2", "3=3", "4=4", "5=5", "6=6", "7=7", "8=8",
                                    "2400=2400", "9600=9600", "19,200=19200"}));
    }

    void loadSelectsWhatItCanAndStopsQuietly_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("portRow");
        QTest::addColumn<QString>("rateRow");
        const auto row = [](const char* name, int port, const char* rate, const char* portRow,
                            const char* rateRow) {
            QTest::newRow(name) << port << QString(rate) << QString(portRow) << QString(rateRow);
        };
        row("saved 3 at 19200", 3, "19200", "3", "19,200");
        row("nothing loaded", 0, "", "", "");
        row("port above 8 stops before the rate", 9, "9600", "", "");
        row("rate not a number", 2, "fast", "2", "");
        row("rate not in the list", 2, "4800", "2", "");
        row("no port, rate still read", 0, "2400", "", "2400");
    }
    void loadSelectsWhatItCanAndStopsQuietly()
    {
        QFETCH(int, port);
        QFETCH(QString, rate);
        QFETCH(QString, portRow);
        QFETCH(QString, rateRow);
        open(qint16(port), rate);
        QCOMPARE(selected(child("lstComPort")), portRow);
        QCOMPARE(selected(child("lstBaudRate")), rateRow);
        QCOMPARE(int(m_state.ComPort), port); // loading changes nothing
        QCOMPARE(m_state.BaudRate, rate);
        QCOMPARE(m_reported->count(), 0);
    }

    void selectingWithoutApplyChangesOnlyTheState()
    {
        QFile f(file());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(" 3 \r\n19200\r\n");
        f.close();
        open(3, QStringLiteral("19200"));
        clickRow("lstBaudRate", 1);
        QCOMPARE(m_state.BaudRate, QStringLiteral("9600"));
        clickRow("lstComPort", 4);
        QCOMPARE(int(m_state.ComPort), 5);
        child<QPushButton>("cmdClose")->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(contents(), QByteArray(" 3 \r\n19200\r\n"));
    }

    void applyWithoutSelectionAsksForIt()
    {
        const QString tail =
            QStringLiteral("  Click the number to make sure the background is blue.");
        open(0, {});
        clickRow("lstBaudRate", 0);
        apply();
        QCOMPARE(m_reported->last().first().toString(), "Please select a serial port." + tail);
        QCOMPARE(m_state.BaudRate, QStringLiteral("2400")); // the selection took effect at once
        QVERIFY(m_window->isVisible());
        open(0, {});
        clickRow("lstComPort", 0);
        apply();
        QCOMPARE(m_reported->last().first().toString(), "Please select a baud rate." + tail);
        QCOMPARE(m_reported->count(), 2);
        QCOMPARE(contents(), QByteArray("(missing)"));
    }

    void applyWritesTheProfile()
    {
        open(0, {});
        clickRow("lstComPort", 0);
        clickRow("lstBaudRate", 0);
        apply();
        QCOMPARE(contents(), QByteArray(" 1 \r\n2400\r\n"));
        QCOMPARE(int(m_state.ComPort), 1);
        QCOMPARE(m_state.BaudRate, QStringLiteral("2400"));
        QVERIFY(m_window->isVisible());
        clickRow("lstBaudRate", 2);
        apply();
        QCOMPARE(contents(), QByteArray(" 1 \r\n19200\r\n"));
        QCOMPARE(m_reported->count(), 0);
    }

    void failedSaveIsReported()
    {
        open(0, {}, m_dir->filePath(QStringLiteral("no/such/folder")));
        clickRow("lstComPort", 0);
        clickRow("lstBaudRate", 1);
        apply();
        QCOMPARE(m_reported->count(), 1);
        const QString message = m_reported->first().first().toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ \\S")).match(message).hasMatch(),
                 qPrintable(message));
    }
};

QTEST_MAIN(TestConnectionWindow)
#include "tst_connectionwindow.moc"
