#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace dovrane {

class AlarmLog;
class Clock;
class ClockTimer;
class ErrorReporter;
class SerialPort;
class DataFiles;
class SerialProfile;

/// Pages the call list through a Hayes modem: each entry in use is called in record
/// order, the line is left alone for 25 s, then the hang-up timer ends the call and
/// dials the next entry.
///
/// The set-up dialogue waits up to 2 + 2 + 1 s for "OK" after each command. Those
/// waits are a state machine polled by a short timer rather than a nested event
/// loop, so the alarm tick, audio buffers and windows go on while the modem thinks.
/// Each poll is one pass of port check, read, "OK" test and time test.
class PagerDialer : public QObject
{
    Q_OBJECT
public:
    enum class State
    {
        Idle,      ///< port closed, hang-up timer off
        SettingUp, ///< port open, waiting for the modem's replies
        CallUp,    ///< dial command written, tmrHangUp armed
    };
    Q_ENUM(State)

    static constexpr int kHangUpMs = 25000;
    static constexpr int kPollMs = 20;

    PagerDialer(const DataFiles& files, const SerialProfile& profile, Clock& clock,
                SerialPort& port, AlarmLog& log, ErrorReporter& errors, QObject* parent = nullptr);

    /// Calls the first call list entry in use. Returns once the set-up dialogue has
    /// started (or at once when no entry is in use); the dial command follows from
    /// the event loop within about 6.5 s.
    void StartCallSequence();
    /// Places one call to number (a call list number field exactly as stored).
    void DialPager(const QString& number);

    /// Record number of the entry being called.
    [[nodiscard]] qint16 callIndex() const { return m_callIndex; }

    [[nodiscard]] State state() const { return m_state; }
    /// tmrHangUp, 25 s after the last dial command.
    [[nodiscard]] ClockTimer* hangUpTimer() const { return m_tmrHangUp; }

    /// The dial command for a number field; CR and LF inside the field become blanks
    /// so a stored number can never end the command early.
    [[nodiscard]] static QByteArray dialCommand(const QString& number);

Q_SIGNALS:
    /// The pager status text ("Dialing " + DialNumber, or empty after a hang-up).
    void statusChanged(const QString& text);
    void stateChanged(dovrane::PagerDialer::State state);

private:
    enum class Step
    {
        None,
        Wait1,
        Wait2,
        Wait3
    };
    enum class Pass
    {
        Waiting,
        Ended,
        PortClosed
    };

    void onHangUp();
    void onPoll();
    /// Runs passes of the current wait until one has to wait for the next poll.
    void runWaits();
    /// One pass of the current wait: port check, read, "OK" test, time test.
    [[nodiscard]] Pass waitPass();
    /// Writes command + CR and starts its wait; false (call given up) on failure.
    [[nodiscard]] bool startWait(Step step, const char* command);
    void finishDial();
    /// Reports a serial failure; closes the port when this call had opened it.
    void fail(bool portOpenedHere);
    [[nodiscard]] bool send(const QByteArray& data);
    /// Reads records from CallIndex on and dials the first one in use.
    void callFromIndex();
    void setState(State state);

    const DataFiles& m_files;
    const SerialProfile& m_profile;
    Clock& m_clock;
    SerialPort& m_port;
    AlarmLog& m_log;
    ErrorReporter& m_errors;
    ClockTimer* m_tmrHangUp = nullptr;
    ClockTimer* m_poll = nullptr;
    State m_state = State::Idle;
    Step m_step = Step::None;
    /// The sequence's own record buffer, never shared with the call list window.
    QByteArray m_record;
    int m_callsOpened = 0;
    qint16 m_callIndex = 0;
    /// The entry's number field exactly as stored (24 characters, blank-padded).
    QString m_dialNumber;
    /// What has been read from the modem during the current wait.
    QString m_modemReply;
    /// Start of the current wait: seconds after midnight, rounded half to even.
    qint32 m_waitStart = 0;
};

} // namespace dovrane
