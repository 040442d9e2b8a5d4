#pragma once

#include "AlarmLog.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "MainWindow.h"
#include "RecordingMailTransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace dovrane::test {

/// The main window on fakes: a temporary data folder, a stepped clock, a fake input,
/// modem line and mail system. Files the start-up should find are written (with
/// writeFile() or otherwise) into the data folder before open() builds the window.
struct MainWindowRig
{
    explicit MainWindowRig(const QDateTime& start = QDateTime(QDate(2006, 6, 15), QTime(14, 0)),
                           const QStringList& devices = {QStringLiteral("Test input")})
        : clock(start), audio(devices), paths(dir.filePath(QStringLiteral("Dovrane"))),
          m_devices(devices)
    {
        QDir().mkpath(paths.dataDir());
    }

    void writeFile(const QString& path, const QByteArray& bytes) const
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }

    MainWindow& open()
    {
        window = std::make_unique<MainWindow>(
            state, Services{clock, audio, serial, mail, paths, [this] {
                                ++listersMade;
                                return std::make_unique<FakeAudioInput>(m_devices);
                            }});
        return *window;
    }

    /// Today's alarm log lines, without their CR LF.
    [[nodiscard]] QStringList logLines() const
    {
        QFile file(window->alarmLog().fileFor(clock.now().date()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll())
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    template <typename T> T* find(const char* name) const
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QTemporaryDir dir;
    AppState state;
    ManualClock clock;
    FakeAudioInput audio;
    FakeSerialPort serial;
    RecordingMailTransport mail;
    DataPaths paths;
    int listersMade = 0;
    std::unique_ptr<MainWindow> window;

private:
    QStringList m_devices;
};

} // namespace dovrane::test
