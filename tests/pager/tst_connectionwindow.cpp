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

namespace {
const QString kPortMessage = QStringLiteral(
    "Please select a serial port.  Click the number to make sure the background is blue.");
const QString kRateMessage = QStringLiteral(
    "Please select a baud rate.  Click the number to make sure the background is blue.");
} // namespace

class TestConnectionWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<ConnectionWindow> m_window;

    QString file() const { return m_dir->filePath(QStringLiteral("Connection.dat")); }
    QByteArray contents() const
    {
        QFile f(file());
        if (!f.open(QIODevice::ReadOnly))
            return "(missing)";
        return f.readAll();
    }
    void writeFile(const QByteArray& bytes)
    {
        QFile f(file());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void open(const QString& dataDir = {})
    {
        m_window = std::make_unique<ConnectionWindow>(
            m_state, DataPaths(dataDir.isEmpty() ? m_dir->path() : dataDir), m_errors);
        m_window->show();
    }
    QListWidget* ports() { return m_window->findChild<QListWidget*>(QStringLiteral("lstComPort")); }
    QListWidget* rates()
    {
        return m_window->findChild<QListWidget*>(QStringLiteral("lstBaudRate"));
    }
    static QString selected(QListWidget* list)
    {
        const auto items = list->selectedItems();
        return items.isEmpty() ? QString() : items.first()->text();
    }
    void clickRow(QListWidget* list, int row)
    {
        const QRect r = list->visualItemRect(list->item(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    }
    void apply()
    {
        QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("cmdApply")),
                          Qt::LeftButton);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState();
    }
    void cleanup()
    {
        m_window.reset();
        m_dir.reset();
    }

    void controlsAsDesigned()
    {
        open();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMyConnection"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("MyConnection"));
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Com Port"));
        QCOMPARE(m_window->findChild<QLabel*>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("Baud Rate"));
        QCOMPARE(m_window->findChild<QPushButton*>(QStringLiteral("cmdApply"))->text(),
                 QStringLiteral("&Apply"));
        QCOMPARE(m_window->findChild<QPushButton*>(QStringLiteral("cmdClose"))->text(),
                 QStringLiteral("&Close"));
        QCOMPARE(ports()->count(), 8);
        for (int row = 0; row < 8; ++row) {
            QCOMPARE(ports()->item(row)->text(), QString::number(row + 1));
            QCOMPARE(ports()->item(row)->data(Qt::UserRole).toInt(), row + 1);
        }
        QCOMPARE(rates()->count(), 3);
        const QStringList texts{"2400", "9600", "19,200"};
        const QList<int> values{2400, 9600, 19200};
        for (int row = 0; row < 3; ++row) {
            QCOMPARE(rates()->item(row)->text(), texts[row]);
            QCOMPARE(rates()->item(row)->data(Qt::UserRole).toInt(), values[row]);
        }
        // Nothing loaded yet: nothing selected.
        QVERIFY(ports()->selectedItems().isEmpty());
        QVERIFY(rates()->selectedItems().isEmpty());
    }

    void opensWithSavedProfileSelected()
    {
        m_state.ComPort = 3;
        m_state.BaudRate = QStringLiteral("19200");
        open();
        QCOMPARE(selected(ports()), QStringLiteral("3"));
        QCOMPARE(selected(rates()), QStringLiteral("19,200"));
        QCOMPARE(m_state.BaudRate, QStringLiteral("19200"));
        QCOMPARE(int(m_state.ComPort), 3);
    }

    void loadStopsQuietlyAtBadValues_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QString>("portRow");
        QTest::addColumn<QString>("rateRow");
        QTest::newRow("port above 8 stops before the rate") << 9 << "9600"
                                                            << ""
                                                            << "";
        QTest::newRow("empty rate") << 2 << ""
                                    << "2"
                                    << "";
        QTest::newRow("rate not a number") << 2 << "fast"
                                           << "2"
                                           << "";
        QTest::newRow("rate not in the list") << 2 << "4800"
                                              << "2"
                                              << "";
        QTest::newRow("no port, rate still read") << 0 << "2400"
                                                  << ""
                                                  << "2400";
    }
    void loadStopsQuietlyAtBadValues()
    {
        QFETCH(int, port);
        QFETCH(QString, rate);
        QFETCH(QString, portRow);
        QFETCH(QString, rateRow);
        m_state.ComPort = static_cast<qint16>(port);
        m_state.BaudRate = rate;
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        open();
        QCOMPARE(selected(ports()), portRow);
        QCOMPARE(selected(rates()), rateRow);
        QCOMPARE(reported.count(), 0);
        QCOMPARE(ports()->count(), 8);
        QCOMPARE(rates()->count(), 3);
    }

    void selectingRateWithoutApplyChangesOnlyTheState()
    {
        writeFile(" 3 \r\n19200\r\n");
        m_state.ComPort = 3;
        m_state.BaudRate = QStringLiteral("19200");
        open();
        clickRow(rates(), 1);
        QCOMPARE(m_state.BaudRate, QStringLiteral("9600"));
        clickRow(ports(), 4);
        QCOMPARE(int(m_state.ComPort), 5);
        m_window->findChild<QPushButton*>(QStringLiteral("cmdClose"))->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(contents(), QByteArray(" 3 \r\n19200\r\n"));
    }

    void applyWithoutPortAsksForOne()
    {
        open();
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        clickRow(rates(), 0);
        apply();
        QCOMPARE(reported.count(), 1);
        QCOMPARE(reported.first().first().toString(), kPortMessage);
        QCOMPARE(contents(), QByteArray("(missing)"));
        QCOMPARE(m_state.BaudRate, QStringLiteral("2400"));
        QVERIFY(m_window->isVisible());
    }

    void applyWithoutRateAsksForOne()
    {
        open();
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        clickRow(ports(), 1);
        apply();
        QCOMPARE(reported.count(), 1);
        QCOMPARE(reported.first().first().toString(), kRateMessage);
        QCOMPARE(contents(), QByteArray("(missing)"));
    }

    void applyWritesTheProfile()
    {
        open();
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        clickRow(ports(), 0);
        clickRow(rates(), 0);
        apply();
        QCOMPARE(contents(), QByteArray(" 1 \r\n2400\r\n"));
        QCOMPARE(int(m_state.ComPort), 1);
        QCOMPARE(m_state.BaudRate, QStringLiteral("2400"));
        QCOMPARE(reported.count(), 0);
        QVERIFY(m_window->isVisible());
        clickRow(rates(), 2);
        apply();
        QCOMPARE(contents(), QByteArray(" 1 \r\n19200\r\n"));
    }

    void failedSaveIsReported()
    {
        open(m_dir->filePath(QStringLiteral("no/such/folder")));
        QSignalSpy reported(&m_errors, &ErrorReporter::reported);
        clickRow(ports(), 0);
        clickRow(rates(), 1);
        apply();
        QCOMPARE(reported.count(), 1);
        const QString message = reported.first().first().toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ \\S")).match(message).hasMatch(),
                 qPrintable(message));
    }
};

QTEST_MAIN(TestConnectionWindow)
#include "tst_connectionwindow.moc"
