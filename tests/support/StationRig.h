#pragma once

#include "AddressRecord.h"
#include "AlarmLog.h"
#include "Clock.h"
#include "DataPaths.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "NamedInputSettings.h"
#include "RecordingMailTransport.h"
#include "Station.h"
#include "TextField.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace dovrane::test {

/// A temporary data folder with writers for every data file, byte for byte.
struct DataFolder
{
    DataFolder() : paths(dir.filePath(QStringLiteral("Dovrane")))
    {
        QDir().mkpath(paths.dataDir());
    }

    static void write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    /// DVParams.dat from its 28 records (record n at index n - 1).
    static QByteArray paramsBytes(const QList<qint32>& records)
    {
        QByteArray bytes(4 * 28, '\0');
        for (int i = 0; i < records.size() && i < 28; ++i)
            writeInt32LE(bytes, 4 * i, records[i]);
        return bytes;
    }
    void params(const QList<qint32>& records) const
    {
        write(paths.paramsFile(), paramsBytes(records));
    }
    /// Delay, threshold, action (1 page, 2 mail) and one weekday's window.
    void params(qint32 delay, qint32 threshold, qint32 action, int day = 0, qint32 start = 0,
                qint32 stop = 0) const
    {
        QList<qint32> r(28, 0);
        r[0] = delay;
        r[4] = action;
        r[6] = threshold;
        if (day > 0) {
            r[6 + day] = 1;
            r[13 + day] = start;
            r[20 + day] = stop;
        }
        params(r);
    }
    void connection(const QByteArray& text = " 1 \r\n9600\r\n") const
    {
        write(paths.connectionFile(), text);
    }
    /// Call list entries "enabled name number" as 40-byte records.
    void callList(const QList<QByteArray>& records) const
    {
        write(paths.callListFile(), records.join());
    }
    static QByteArray callRecord(char enabled, const QByteArray& name, const QByteArray& number)
    {
        return enabled + name.leftJustified(15, ' ', true) + number.leftJustified(24, ' ', true);
    }
    /// An address book entry in use: option '0' never, '1' always, '2' sometimes;
    /// days "1111111" Sunday first, each with the same start and stop second.
    static QByteArray addressRecord(char option, const QString& name, const QString& address,
                                    const QByteArray& days = "0000000", qint32 start = 0,
                                    qint32 stop = 0)
    {
        AddressRecord r;
        r.InUse = '1';
        r.SendOption = option;
        r.setContactName(name);
        r.setAddress(address);
        for (int d = 1; d <= 7; ++d) {
            r.DayChecked[d] = days.at(d - 1);
            r.StartSecs[d] = start;
            r.StopSecs[d] = stop;
        }
        return r.toBytes();
    }
    void addressBook(const QList<QByteArray>& records) const
    {
        write(paths.addressBookFile(), records.join());
    }
    void user(const QByteArray& facility) const
    {
        write(paths.userFile(), facility + "\r\nuser\r\npass\r\n");
    }
    /// Lines of the day's alarm log, without their CR LF.
    [[nodiscard]] QStringList logLines(const QDate& day) const
    {
        QFile file(paths.logsDir() + QStringLiteral("/AL") +
                   day.toString(QStringLiteral("yyMMdd")) + QStringLiteral(".log"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(file.readAll())
            .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    DataPaths paths;
};

/// The station on fakes: a stepped clock, a fake input, modem line and mail system,
/// over a DataFolder filled before start().
struct StationRig : DataFolder
{
    explicit StationRig(const QDateTime& start = QDateTime(QDate(2006, 6, 19), QTime(12, 0)),
                        const QStringList& devices = {QStringLiteral("Test input")})
        : clock(start), audio(devices), m_devices(devices)
    {}

    [[nodiscard]] Services services()
    {
        return Services{clock,
                        audio,
                        serial,
                        mail,
                        paths,
                        [this] { return std::make_unique<FakeAudioInput>(m_devices); },
                        [this](const NamedInputSettings& s) {
                            auto input = std::make_unique<FakeAudioInput>(m_devices);
                            named[s.source] = input.get();
                            return input;
                        }};
    }
    /// Starts (or starts again, as after a crash) a station on the folder.
    Station& start(bool resumeInWindow = false)
    {
        station.reset();
        station = std::make_unique<Station>(services());
        errors = std::make_unique<QSignalSpy>(&station->errors(), &ErrorReporter::reported);
        journal = std::make_unique<QSignalSpy>(station.get(), &Station::journalLine);
        station->start(resumeInWindow);
        return *station;
    }
    /// Steps the clock by seconds, delivering one buffer every ~23 ms while capturing.
    void run(double seconds, const QByteArray& buffer)
    {
        for (double t = 0; t < seconds - 1e-9; t += 0.025) {
            clock.advance(0.025);
            if (!buffer.isNull())
                audio.push(buffer);
        }
    }
    [[nodiscard]] QStringList log() const { return logLines(clock.now().date()); }
    /// Every message reported to the operator so far.
    [[nodiscard]] QStringList reported() const
    {
        QStringList out;
        for (const QList<QVariant>& call : *errors)
            out << call.at(0).toString();
        return out;
    }
    /// Every journal line so far, "<priority>text".
    [[nodiscard]] QStringList journalLines() const
    {
        QStringList out;
        for (const QList<QVariant>& call : *journal)
            out << QStringLiteral("<%1>%2").arg(call.at(0).toInt()).arg(call.at(1).toString());
        return out;
    }

    ManualClock clock;
    FakeAudioInput audio;
    /// The sources of named inputs by their source text, as the station made them.
    std::map<QString, FakeAudioInput*> named;
    FakeSerialPort serial;
    RecordingMailTransport mail;
    std::unique_ptr<Station> station;
    std::unique_ptr<QSignalSpy> errors;
    std::unique_ptr<QSignalSpy> journal;

private:
    QStringList m_devices;
};

} // namespace dovrane::test
