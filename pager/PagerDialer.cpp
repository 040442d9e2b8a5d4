#include "PagerDialer.h"

#include "AlarmLog.h"
#include "CallList.h"
#include "Clock.h"
#include "DataFiles.h"
#include "ErrorReporter.h"
#include "SerialPort.h"
#include "SerialProfile.h"
#include "TextField.h"
#include "TimeOfDay.h"

#include <QLoggingCategory>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcPager, "dovrane.pager")

namespace dovrane {

namespace {

constexpr int kInBufferSize = 2048;
constexpr int kOutBufferSize = 512;

/// Removes blanks (and only blanks) at both ends, as the dial string and the
/// settings text expect; tabs or other characters stay.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

PagerDialer::PagerDialer(const DataFiles& files, const SerialProfile& profile, Clock& clock,
                         SerialPort& port, AlarmLog& log, ErrorReporter& errors, QObject* parent)
    : QObject(parent), m_files(files), m_profile(profile), m_clock(clock), m_port(port), m_log(log),
      m_errors(errors)
{
    m_tmrHangUp = m_clock.createTimer(this);
    m_tmrHangUp->setObjectName(QStringLiteral("tmrHangUp"));
    m_tmrHangUp->setInterval(kHangUpMs);
    connect(m_tmrHangUp, &ClockTimer::timeout, this, &PagerDialer::onHangUp);

    m_poll = m_clock.createTimer(this);
    m_poll->setObjectName(QStringLiteral("tmrModemPoll"));
    m_poll->setInterval(kPollMs);
    connect(m_poll, &ClockTimer::timeout, this, &PagerDialer::onPoll);
}

QByteArray PagerDialer::dialCommand(const QString& number)
{
    QString stored = number;
    stored.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    return "ATDT " + TextField::encode(trimBlanks(stored)) + "@*99*" + TextField::encode(stored) +
           '\r';
}

void PagerDialer::StartCallSequence()
{
    m_callIndex = 1;
    callFromIndex();
}

void PagerDialer::callFromIndex()
{
    for (;;) {
        // The handle is looked up on every read: the loader may have replaced it.
        if (!CallList::read(m_files.callList(), m_callIndex, m_record))
            return;
        const CallRecord record = CallList::split(m_record);
        if (record.inUse()) {
            DialPager(record.CallNumber);
            return;
        }
        if (m_callIndex == std::numeric_limits<qint16>::max())
            return;
        ++m_callIndex;
    }
}

void PagerDialer::DialPager(const QString& number)
{
    m_dialNumber = number;
    m_port.setCommPort(m_profile.comPort());
    if (!m_port.setSettings(trimBlanks(m_profile.baudRate()) + QStringLiteral(",N,8,1"))) {
        fail(false);
        return;
    }
    m_port.setDtrEnable(true);
    m_port.setRtsEnable(true);
    m_port.setEofEnable(false);
    m_port.setHandshaking(Handshaking::RtsCts);
    m_port.setInBufferSize(kInBufferSize);
    m_port.setInputLen(0);
    m_port.setInputModeText(true);
    m_port.setNullDiscard(false);
    m_port.setOutBufferSize(kOutBufferSize);
    m_port.setRThreshold(1);
    if (!m_port.open()) {
        // Busy or missing: the port, if open, belongs to a call already up.
        fail(false);
        return;
    }
    ++m_callsOpened;
    setState(State::SettingUp);
    if (startWait(Step::Wait1, "ATZ"))
        runWaits();
}

bool PagerDialer::startWait(Step step, const char* command)
{
    m_modemReply.clear();
    m_step = step;
    if (!send(QByteArray(command) + '\r')) {
        fail(true);
        return false;
    }
    m_waitStart = static_cast<qint32>(roundHalfEven(m_clock.secondsAfterMidnight()));
    return true;
}

PagerDialer::Pass PagerDialer::waitPass()
{
    if (m_step != Step::Wait1 && !m_port.isOpen())
        return Pass::PortClosed;
    const QString got = TextField::decode(m_port.readAll());
    if (m_step == Step::Wait3)
        m_modemReply = got;
    else
        m_modemReply += got;
    if (m_modemReply.contains(QLatin1String("OK")))
        return Pass::Ended;
    const double limit = m_step == Step::Wait3 ? 1.0 : 2.0;
    // Seconds after midnight on both sides: a wait that spans midnight ends at once.
    if (std::abs(m_clock.secondsAfterMidnight() - m_waitStart) > limit)
        return Pass::Ended;
    return Pass::Waiting;
}

void PagerDialer::onPoll()
{
    if (m_step == Step::None) {
        m_poll->stop();
        return;
    }
    runWaits();
}

void PagerDialer::runWaits()
{
    for (;;) {
        switch (waitPass()) {
        case Pass::Waiting:
            if (!m_poll->isActive())
                m_poll->start();
            return;
        case Pass::PortClosed:
            // Someone closed the line during a wait: give this call up silently.
            m_poll->stop();
            m_step = Step::None;
            setState(State::Idle);
            return;
        case Pass::Ended:
            break;
        }
        switch (m_step) {
        case Step::Wait1:
            if (!startWait(Step::Wait2, "ATS7=60"))
                return;
            break;
        case Step::Wait2:
            if (!startWait(Step::Wait3, "ATS0=0Q0V1X4&C1&D2M1"))
                return;
            break;
        case Step::Wait3:
        case Step::None:
            m_poll->stop();
            m_step = Step::None;
            finishDial();
            return;
        }
    }
}

void PagerDialer::finishDial()
{
    m_modemReply.clear();
    Q_EMIT statusChanged(QStringLiteral("Dialing ") + m_dialNumber);
    m_log.WriteAlarmLog(m_dialNumber);
    if (!send(dialCommand(m_dialNumber))) {
        fail(true);
        return;
    }
    m_tmrHangUp->start();
    setState(State::CallUp);
}

void PagerDialer::onHangUp()
{
    // No carriage return: the escape and the hang-up are left to DTR dropping.
    if (!m_port.write(QByteArrayLiteral("+++,H")))
        qCInfo(lcPager) << "hang-up not written:" << m_port.lastErrorNumber()
                        << m_port.lastErrorDescription();
    m_port.close();
    m_tmrHangUp->stop();
    Q_EMIT statusChanged(QString());
    const int opened = m_callsOpened;
    if (m_callIndex < std::numeric_limits<qint16>::max()) {
        ++m_callIndex;
        callFromIndex();
    }
    // Without a next call (end of the list, or its port failed) the line is idle.
    if (m_callsOpened == opened)
        setState(State::Idle);
}

void PagerDialer::fail(bool portOpenedHere)
{
    m_errors.report(
        QStringLiteral("%1 %2").arg(m_port.lastErrorNumber()).arg(m_port.lastErrorDescription()));
    if (!portOpenedHere)
        return;
    // Left open, the port would refuse every later call until the program restarts.
    m_poll->stop();
    m_step = Step::None;
    m_port.close();
    setState(State::Idle);
}

bool PagerDialer::send(const QByteArray& data)
{
    return m_port.write(data);
}

void PagerDialer::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    Q_EMIT stateChanged(state);
}

} // namespace dovrane
