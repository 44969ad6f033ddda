#include "controls/modem/RecordingTelephony.h"

namespace quorvel {

RecordingTelephony::RecordingTelephony(QObject *parent)
    : Telephony(parent)
{
}

int RecordingTelephony::initialize()
{
    operations.append(QStringLiteral("initialize"));
    return initializeResult;
}

QString RecordingTelephony::errorText(int code) const
{
    if (errorTexts.contains(code))
        return errorTexts.value(code);
    return code == 0 ? QStringLiteral("Success") : QStringLiteral("error %1").arg(code);
}

void RecordingTelephony::setLineIndex(int index)
{
    operations.append(QStringLiteral("setLineIndex(%1)").arg(index));
    m_lineIndex = index;
}

LineDeviceCaps RecordingTelephony::getDeviceCaps() const
{
    if (m_lineIndex < 0 || m_lineIndex >= devices.size())
        return {};
    return devices[m_lineIndex].caps;
}

int RecordingTelephony::lineOpen(int privilege, int mediaMode)
{
    operations.append(QStringLiteral("lineOpen(%1,%2)").arg(privilege).arg(mediaMode));
    opens.append({ m_lineIndex, privilege, mediaMode });
    if (lineOpenResult == 0)
        lineOpenState = true;
    return lineOpenResult;
}

int RecordingTelephony::lineClose()
{
    operations.append(QStringLiteral("lineClose"));
    ++closeCount;
    if (lineCloseResult == 0) {
        lineOpenState = false;
        callConnected = false;
    }
    return lineCloseResult;
}

int RecordingTelephony::lineShutdown()
{
    operations.append(QStringLiteral("lineShutdown"));
    ++shutdownCount;
    if (lineShutdownResult == 0) {
        lineOpenState = false;
        callConnected = false;
    }
    return lineShutdownResult;
}

int RecordingTelephony::getDeviceID(int deviceClass) const
{
    if (m_lineIndex < 0 || m_lineIndex >= devices.size())
        return -1;
    if (deviceClass == kDeviceClassComm)
        return m_lineIndex + 1;
    if (deviceClass == kDeviceClassWaveOut)
        return devices[m_lineIndex].waveOutId;
    return -1;
}

QString RecordingTelephony::commPortPath(int portNumber) const
{
    const int index = portNumber - 1;
    return index >= 0 && index < devices.size() ? devices[index].portPath : QString();
}

int RecordingTelephony::lineAnswer()
{
    operations.append(QStringLiteral("lineAnswer"));
    ++answerCount;
    if (answerResult == 0 && autoEvents)
        QMetaObject::invokeMethod(this, &RecordingTelephony::connectCall, Qt::QueuedConnection);
    return answerResult;
}

int RecordingTelephony::lineDrop()
{
    operations.append(QStringLiteral("lineDrop"));
    ++dropCount;
    if (dropResult == 0 && autoEvents) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                hangUpFarEnd();
                goIdle();
            },
            Qt::QueuedConnection);
    }
    return dropResult;
}

void RecordingTelephony::lineMakeCall(const QString &number)
{
    operations.append(QStringLiteral("lineMakeCall(%1)").arg(number));
    dialled.append(number);
    if (autoEvents)
        QMetaObject::invokeMethod(this, &RecordingTelephony::startDialing, Qt::QueuedConnection);
}

int RecordingTelephony::lineMonitorDigits(bool on)
{
    operations.append(QStringLiteral("lineMonitorDigits(%1)").arg(on ? "true" : "false"));
    monitorRequests.append(on);
    if (monitorResult == 0)
        monitoringDigits = on;
    return monitorResult;
}

void RecordingTelephony::offerCall()
{
    emit inComeCall();
}

void RecordingTelephony::ringOnce(int count)
{
    emit ring(count);
}

void RecordingTelephony::sendCallerId(const QString &name, const QString &number)
{
    emit callerID(name, number);
}

void RecordingTelephony::connectCall()
{
    callConnected = true;
    emit connected();
}

void RecordingTelephony::hangUpFarEnd()
{
    callConnected = false;
    emit disconnected();
}

void RecordingTelephony::goIdle()
{
    callConnected = false;
    emit idle();
}

void RecordingTelephony::sendDigit(QChar digit)
{
    emit digitReceived(digit);
}

void RecordingTelephony::startDialing()
{
    emit dialing();
}

void RecordingTelephony::loseDevice()
{
    lineOpenState = false;
    callConnected = false;
    emit deviceLost();
}

void RecordingTelephony::returnDevice()
{
    lineOpenState = true;
    emit deviceReturned();
}

void RecordingTelephony::clearRecords()
{
    operations.clear();
    opens.clear();
    dialled.clear();
    monitorRequests.clear();
    answerCount = dropCount = closeCount = shutdownCount = 0;
}

} // namespace quorvel
