#include "telephony/CallController.h"

#include "contacts/ContactFileName.h"
#include "contacts/DbfTable.h"
#include "platform/environment/ClockTimer.h"
#include "platform/environment/Environment.h"
#include "platform/sound/Sound.h"
#include "telephony/TComPort.h"
#include "telephony/TTapiStatus.h"
#include "ui/Dialogs.h"

#include <QDir>
#include <QFile>
#include <cmath>

namespace {
constexpr int kTimerIntervalMs = 200;
constexpr DWORD kLineCallStateMessage = 2;
constexpr DWORD kCallStateBusy = 0x40;
constexpr DWORD kCallStateDisconnected = 0x4000;
constexpr int kConnected = 8;
constexpr int kRecordingSlots = 5;
} // namespace

CallController::CallController(Environment &env, Dialogs &dialogs, CallContacts &contacts,
                               CallSettings &settings, QObject *parent)
    : QObject(parent), m_env(&env), m_dialogs(&dialogs), m_contacts(&contacts), m_settings(&settings)
{
    setObjectName(QStringLiteral("CallController"));
    m_port = new TComPort(this);
    m_status = new TTapiStatus(this);
    m_status->setObjectName(QStringLiteral("TapiStatus"));
    m_status->setCaption(QStringLiteral("Call Progress"));
    m_device = new TTapiDevice(env, dialogs, this);
    m_device->setComPort(m_port);
    m_device->setStatusDisplay(m_status);
    m_device->setMaxAttempts(0);
    m_device->setRetryWait(10);
    // The creation-time device and voice check stay quiet: the settings
    // load applies the stored device next and reports a failure itself.
    m_device->setSelectionDialogAllowed(false);
    try {
        m_device->setSelectedDevice(QStringLiteral("Lucent Win Modem"));
        m_device->setEnableVoice(true);
    } catch (const std::exception &) {
    }
    m_device->setSelectionDialogAllowed(true);
    m_device->OnTapiStatus = [this](TCustomTapiDevice *CP, bool First, bool Last, DWORD Device, DWORD Message,
                                    DWORD Param1, DWORD Param2, DWORD Param3) {
        TapiDeviceTapiStatus(CP, First, Last, Device, Message, Param1, Param2, Param3);
    };
    m_device->OnTapiWaveNotify = [this](TCustomTapiDevice *CP, TWaveMessage Msg) {
        TapiDeviceTapiWaveNotify(CP, Msg);
    };

    playOnSoundCard = [](const QString &file) {
        const QByteArray name = QFile::encodeName(file);
        PlaySound(name.constData(), nullptr, SND_FILENAME | SND_ASYNC);
    };
    stopSoundCard = [] { PlaySound(nullptr, nullptr, 0); };

    m_timer = new ClockTimer(env.clock(), this);
    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(kTimerIntervalMs);
    connect(m_timer, &ClockTimer::timeout, this, [this] { m_device->guarded([this] { Timer1Timer(); }); });
}

CallController::~CallController()
{
    m_timer->stop();
    // The device's events must not reach a controller that is going.
    m_device->OnTapiStatus = nullptr;
    m_device->OnTapiWaveNotify = nullptr;
    delete m_device;
    m_device = nullptr;
}

void CallController::startTimer()
{
    m_timer->start();
}

void CallController::stopTimer()
{
    m_timer->stop();
}

QString CallController::RecordingsFolder() const
{
    return QDir(m_env->programFolder()).filePath(QStringLiteral("Recordings"));
}

QString CallController::currentField(const char *field) const
{
    TDbfTable &t = m_contacts->table();
    if (!t.Active() || t.GetBookmark() == 0)
        return {};
    return t.AsString(QString::fromLatin1(field));
}

void CallController::showMessage(const QString &text)
{
    m_dialogs->showMessage(text);
}

void CallController::noNumberToDial()
{
    m_dialogs->messageBox(QStringLiteral("No number to dial. Sorry."), QStringLiteral("Warning!"),
                          MsgButtons::Ok, MsgIcon::Warning);
}

// ---------------------------------------------------------------- dialing

bool CallController::CheckModemConfigured()
{
    if (m_settings->selectedDeviceText().trimmed().isEmpty()) {
        showMessage(QStringLiteral("Modem not yet configured !, please do it first"));
        if (showConfiguration)
            showConfiguration();
    }
    // A device without voice then places data calls; the command goes on.
    try {
        m_device->setEnableVoice(true);
    } catch (const std::exception &) {
    }
    return true;
}

void CallController::DialSelected()
{
    CheckModemConfigured();
    if (m_contacts->multiSelect()) {
        const qsizetype selected = m_contacts->history().SelectedContacts().size();
        if (selected >= 2) {
            showMessage(QStringLiteral("Only one selection of contact is allowed !"));
            return;
        }
        if (selected == 0) {
            showMessage(QStringLiteral("Please select one row of contact !"));
            return;
        }
        if (m_device->CallState() != 0) {
            showMessage(QStringLiteral("Busy waiting from previous call"));
            return;
        }
    }
    m_callEnd = QDateTime();
    m_callStart = m_env->clock().now();
    const QString cell = currentField("CELLPHONE");
    const QString phone = currentField("PHONE");
    if (cell.isEmpty() && phone.isEmpty()) {
        noNumberToDial();
        return;
    }
    // Pressed again on one contact: the cell phone, then the phone, then on
    // to the next contact.
    if (!phone.isEmpty() && phone == m_lastDialled) {
        DialNext();
        return;
    }
    if (cell == m_lastDialled && phone.isEmpty()) {
        DialNext();
        return;
    }
    m_lastDialled = !cell.isEmpty() && cell != m_lastDialled ? cell : phone;
    if (!m_lastDialled.isEmpty())
        m_device->DialNumber(m_lastDialled);
}

void CallController::DialNext()
{
    CheckModemConfigured();
    TDbfTable &t = m_contacts->table();
    if (m_contacts->multiSelect()) {
        if (m_contacts->history().SelectedContacts().isEmpty()) {
            showMessage(QStringLiteral("Please select one row of contact !"));
            return;
        }
        if (t.Eof()) {
            showMessage(QStringLiteral("Already at the end of the list !"));
            return;
        }
    }
    m_contacts->clearSelection();
    m_contacts->moveNext();
    m_contacts->selectCurrentRow();
    if (m_contacts->history().SelectedContacts().isEmpty())
        showMessage(QStringLiteral("Empty"));
    m_callEnd = QDateTime();
    m_callStart = m_env->clock().now();
    const QString cell = currentField("CELLPHONE");
    m_lastDialled = cell.isEmpty() ? currentField("PHONE") : cell;
    if (!m_lastDialled.isEmpty())
        m_device->DialNumber(m_lastDialled);
    else
        noNumberToDial();
}

void CallController::ManualDial()
{
    m_callStart = m_env->clock().now();
    m_callEnd = QDateTime();
    if (showManualDial)
        showManualDial();
}

void CallController::DialManualNumber(const QString &number)
{
    m_device->DialNumber(number);
}

void CallController::Abort()
{
    m_device->DropCall();
}

// ---------------------------------------------------------------- call progress

QString CallController::StateText(int state)
{
    static const char *const texts[] = {"Idle",
                                        "Negotiating with remote call",
                                        "Remote call accepted",
                                        "Dial tome detected",
                                        "Dialing remote number",
                                        "RingBack detected",
                                        "Line is busy",
                                        "Special info",
                                        "Connected",
                                        "Proceeding",
                                        "OnHold",
                                        "Conferenced",
                                        "Being Conferenced",
                                        "Being Transfered",
                                        "Disconnected",
                                        " Unknown state"};
    if (state < 0 || state > 15)
        state = 15;
    return QString::fromLatin1(texts[state]);
}

int CallController::RoundedSeconds(const QDateTime &start, const QDateTime &end)
{
    if (!start.isValid() || !end.isValid())
        return 0;
    // nearbyint rounds halves to the even neighbour in the default mode.
    return int(std::nearbyint(double(start.msecsTo(end)) / 1000.0));
}

void CallController::Timer1Timer()
{
    CallButtons next = m_state;
    if (m_device->CallState() != 0) {
        next.dial = next.dialNext = next.manualDial = false;
        next.panelDial = next.panelNext = next.listDial = false;
        next.abort = next.panelAbort = true;
    } else {
        next.dial = next.dialNext = next.manualDial = true;
        next.panelDial = next.panelNext = next.listDial = true;
        next.play1 = next.play2 = next.stopPlay = next.record = next.abort = false;
        next.panelPlay = next.panelRecord = next.panelAbort = false;
    }
    const quint8 state = m_device->CallState();
    next.stateText = StateText(state);
    if (state == 0 && state != m_previousState && !m_callEnd.isValid()) {
        m_callEnd = m_env->clock().now();
        m_callDuration = RoundedSeconds(m_callStart, m_callEnd);
    }
    if (state == kConnected && m_device->EnableVoice()) {
        switch (m_device->WaveMode()) {
        case 1: // playing
            next.play1 = next.play2 = next.record = next.panelPlay = next.panelRecord = false;
            next.stopPlay = true;
            break;
        case 2: // recording
            next.play1 = next.play2 = next.record = next.panelPlay = next.panelRecord = false;
            next.stopPlay = false;
            break;
        default:
            next.play1 = next.play2 = next.panelPlay = true;
            next.stopPlay = false;
            next.record = m_settings->recordCalls();
            next.panelRecord = next.record;
            break;
        }
    }
    m_previousState = state;
    publish(next);
}

void CallController::publish(const CallButtons &next)
{
    if (next == m_state)
        return;
    m_state = next;
    emit stateChanged(m_state);
}

void CallController::TapiDeviceTapiStatus(TCustomTapiDevice *, bool, bool, DWORD, DWORD Message, DWORD Param1,
                                          DWORD, DWORD)
{
    if (Message == kLineCallStateMessage && (Param1 == kCallStateBusy || Param1 == kCallStateDisconnected))
        m_device->DropCall();
}

void CallController::TapiDeviceTapiWaveNotify(TCustomTapiDevice *, TWaveMessage Msg)
{
    if (Msg == waDataReady)
        FileRecordedCall();
}

// ---------------------------------------------------------------- voice messages

void CallController::Play(int list)
{
    CheckModemConfigured();
    const int destination = m_settings->waveDestination();
    const QString file = m_settings->playListSelection(list);
    if (file.isEmpty()) {
        showMessage(QStringLiteral("Please select wave file from the drop down list"));
        return;
    }
    try {
        if ((destination == 0 || destination == 2) && m_device->EnableVoice()) {
            if (m_device->CallState() == 0) {
                showMessage(QStringLiteral("Can not play wave if modem is idle"));
                return;
            }
            m_device->PlayWave(file);
            m_contacts->history().AddWaveHistory(file);
        }
        if (destination == 1 || destination == 2)
            playOnSoundCard(file);
    } catch (const ETapiWaveFail &) {
        emit statusMessage(QStringLiteral("Error in wave playing"));
        stopSoundCard();
    } catch (const std::exception &) {
        stopSoundCard();
    }
}

void CallController::StopPlay()
{
    const int destination = m_settings->waveDestination();
    if ((destination == 0 || destination == 2) && m_device->EnableVoice())
        m_device->StopWave();
    if (destination == 1 || destination == 2)
        stopSoundCard();
}

void CallController::Record()
{
    if (m_settings->recordCalls() && m_device->WaveMode() == 0)
        m_device->StartRecording();
}

// ---------------------------------------------------------------- after the call

void CallController::shiftRecordings(const QString &folder, const QString &prefix)
{
    // Failures here are not reported: the history shift has the last word.
    QFile::remove(RecordingFilePath(folder, prefix, 1));
    for (int slot = 2; slot <= kRecordingSlots; ++slot) {
        const QString from = RecordingFilePath(folder, prefix, slot);
        if (QFile::exists(from))
            QFile::rename(from, RecordingFilePath(folder, prefix, slot - 1));
    }
}

void CallController::FileRecordedCall()
{
    TDbfTable &t = m_contacts->table();
    if (!t.Active() || t.GetBookmark() == 0)
        throw EDbfError(
            QStringLiteral("No current contact to file the recording under. The recording is kept "
                           "in \"%1\".")
                .arg(m_device->RecordingFile()));
    const QDateTime now = m_env->clock().now();
    const QString folder = RecordingsFolder();
    const QString prefix =
        RecordingPrefix(t.AsString(QStringLiteral("COMPNAME")), t.AsString(QStringLiteral("NAME")),
                        t.AsString(QStringLiteral("LAST")));
    // A name that would lead out of the Recordings folder, or that the file
    // system cannot hold, files nothing; the line device keeps the recording.
    try {
        RecordingFilePath(folder, prefix, kRecordingSlots);
    } catch (const EContactFileName &e) {
        throw EContactFileName(
            QStringLiteral("%1. The recording is kept in \"%2\".").arg(e.text(), m_device->RecordingFile()));
    }
    m_contacts->history().AddCallHistory(now, m_callDuration, [&](const HistoryRotation &r) {
        if (r.slot == 1 && !r.shifted) {
            if (m_dialogs->messageBox(
                    QStringLiteral("This call is the first time for this contact, \r\nDo you get "
                                   "permission to have further contact later?"),
                    QStringLiteral("Please select"), MsgButtons::YesNo, MsgIcon::Question) == MsgResult::Yes)
                t.SetAsBoolean(QStringLiteral("PERMISSION"), true);
        }
        QDir().mkpath(folder);
        // Saved beside the others first, so a save that fails shifts no
        // file and the older recordings stay in step with the history.
        const QString staging = QDir(folder).filePath(QStringLiteral(".recording-being-filed.wav"));
        m_device->SaveRecording(staging, true);
        if (r.shifted)
            shiftRecordings(folder, prefix);
        const QString target = RecordingFilePath(folder, prefix, r.slot);
        QFile::remove(target);
        if (!QFile::rename(staging, target))
            throw ETapiWaveFail(
                QStringLiteral("Unable to save the recording as \"%1\". The recording is kept "
                               "in \"%2\".")
                    .arg(target, staging));
    });
}
