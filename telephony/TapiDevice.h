#pragma once

#include "platform/tapi/Tapi.h"
#include "platform/tapi/Wave.h"
#include "telephony/TComPort.h"
#include "telephony/TTapiStatus.h"
#include "telephony/TapiErrors.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class Dialogs;
class Environment;
class TapiDeviceWindow;

enum TWaveMessage { waPlayOpen, waPlayDone, waPlayClose, waRecordOpen, waDataReady, waRecordClose };

class TCustomTapiDevice;

using TTapiStatusEvent = std::function<void(TCustomTapiDevice *CP, bool First, bool Last, DWORD Device,
                                            DWORD Message, DWORD Param1, DWORD Param2, DWORD Param3)>;
using TTapiWaveNotify = std::function<void(TCustomTapiDevice *CP, TWaveMessage Msg)>;
using TTapiWaveSilence = std::function<void(TCustomTapiDevice *CP, bool &StopRecording, bool &Hangup)>;
using TTapiNotifyEvent = std::function<void(TCustomTapiDevice *CP)>;
using TTapiDTMFEvent = std::function<void(TCustomTapiDevice *CP, char Digit, DWORD Mode)>;

// The line device: selects a TAPI line, places one outgoing call at a time
// and reports its progress, and plays and records the call's voice.
//
// Everything runs on the user-interface thread. The waits for TAPI's
// replies and for a call to go idle process the event queue, so timers,
// clicks and further notifications run inside DialNumber and DropCall;
// each kind of wait guards itself against being entered twice.
class TCustomTapiDevice : public QObject {
public:
    // Message 32 with Param1 8 of OnTapiStatus: waiting before a redial,
    // Param2 the seconds left.
    static constexpr DWORD kRedialWaitMessage = 32;
    static constexpr DWORD kRedialWaitParam = 8;
    static constexpr qint64 kWaitLimitMs = 30000;

    TCustomTapiDevice(Environment &env, Dialogs &dialogs, QObject *parent = nullptr);
    ~TCustomTapiDevice() override;

    // ---- properties
    QString SelectedDevice() const { return m_selectedDevice; }
    void setSelectedDevice(const QString &name);
    bool EnableVoice() const { return m_enableVoice; }
    void setEnableVoice(bool enable);
    bool ShowTapiDevices() const { return m_showTapiDevices; }
    void setShowTapiDevices(bool v) { m_showTapiDevices = v; }
    bool ShowPorts() const { return m_showPorts; }
    void setShowPorts(bool v) { m_showPorts = v; }
    bool FilterUnsupportedDevices() const { return m_filterUnsupported; }
    void setFilterUnsupportedDevices(bool v) { m_filterUnsupported = v; }
    quint16 MaxAttempts() const { return m_maxAttempts; }
    void setMaxAttempts(quint16 v) { m_maxAttempts = v; }
    quint16 RetryWait() const { return m_retryWait; }
    void setRetryWait(quint16 v) { m_retryWait = v; }
    quint8 AnswerOnRing() const { return m_answerOnRing; }
    void setAnswerOnRing(quint8 v) { m_answerOnRing = v; }
    TComPort *ComPort() const { return m_comPort; }
    void setComPort(TComPort *port) { m_comPort = port; }
    TAbstractTapiStatus *StatusDisplay() const { return m_statusDisplay; }
    void setStatusDisplay(TAbstractTapiStatus *display);

    // Voice settings; the system keeps the defaults.
    int WaveMaxLength() const { return m_maxRecordSeconds; } // seconds
    void setWaveMaxLength(int seconds) { m_maxRecordSeconds = seconds; }
    int SilenceLevel() const { return m_silenceLevel; }
    void setSilenceLevel(int level) { m_silenceLevel = level; }
    int SilenceCount() const { return m_silenceCount; }
    void setSilenceCount(int count) { m_silenceCount = count; }
    bool InterruptWave() const { return m_interruptWave; }
    void setInterruptWave(bool v) { m_interruptWave = v; }

    // When false, device resolution raises ETapiNoSelect where it would
    // show the selection dialog. The main window clears it while it applies
    // its creation-time values, so start-up shows no dialog.
    bool SelectionDialogAllowed() const { return m_selectionDialogAllowed; }
    void setSelectionDialogAllowed(bool v) { m_selectionDialogAllowed = v; }

    // ---- events
    TTapiStatusEvent OnTapiStatus;
    TTapiWaveNotify OnTapiWaveNotify;
    TTapiWaveSilence OnTapiWaveSilence;
    TTapiNotifyEvent OnTapiConnect;
    TTapiNotifyEvent OnTapiFail;
    TTapiNotifyEvent OnTapiPortOpen;
    TTapiNotifyEvent OnTapiPortClose;
    TTapiDTMFEvent OnTapiDTMF;

    // ---- operations
    quint8 CallState();
    int ChooseDevice();
    void DialNumber(const QString &number);
    void DropCall();

    quint8 WaveMode() const { return m_waveMode; }
    void PlayWave(const QString &fileName);
    void StopWave();
    void StartRecording();
    void EndRecording();
    void SaveRecording(const QString &fileName, bool overwrite);

    // ---- state, for the display and the program
    QStringList DeviceList() const { return m_deviceList; }
    QString DialedNumber() const { return m_number; }
    int Attempt() const { return m_attempt; }
    bool LineOpen() const { return m_lineOpen; }
    bool Connected() const { return m_connected; }
    bool CallCancelled() const { return m_cancelled; }
    bool RedialWaiting() const { return m_countdown > 0; }
    DWORD LastDisconnectMode() const { return m_disconnectMode; }
    LONG LastDialError() const { return m_dialError; }
    bool LastCallBusy() const { return m_busy; }
    // Why TAPI could not be initialised at creation; empty when it was.
    QString TapiInitError() const { return m_initError; }
    // The temporary file of the finished or running recording.
    QString RecordingFile() const { return m_recordFile; }

    // Runs fn; an exception it throws goes to the general error display.
    void guarded(const std::function<void()> &fn);

protected:
    // One handler per TAPI line message.
    virtual void DoLineCallInfo(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineCallState(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineClose(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineCreate(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineDevState(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineGenerate(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineMonitorDigits(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineMonitorMedia(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineMonitorTone(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineReply(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);
    virtual void DoLineRequest(DWORD Device, DWORD Param1, DWORD Param2, DWORD Param3);

    // Shows the "Device Selection" dialog; the chosen entry, or nullopt
    // when cancelled.
    virtual std::optional<QString> execDeviceSelection(const QStringList &entries, int preselected);

private:
    friend class TapiDeviceWindow;
    struct LineInfo {
        DWORD id;
        QString name;
        DWORD mediaModes;
        DWORD lineFeatures;
    };

    static void lineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD_PTR dwParam1,
                             DWORD_PTR dwParam2, DWORD_PTR dwParam3);
    void dispatch(DWORD hDevice, DWORD message, DWORD p1, DWORD p2, DWORD p3);

    void initialise();
    void forgetDeadHandles();
    void recordOwnHandle(bool add);
    std::vector<LineInfo> readLines(HLINEAPP app) const;
    bool waveIdAvailable(HLINEAPP app, DWORD id) const;
    QStringList filteredDevices(bool forSelection) const;
    DWORD resolveDevice(HLINEAPP app);
    void voiceCheck();
    void openLine();
    void placeCall();
    void closeLine();
    // No redial follows: the status display closes; without a connection the call failed.
    void reportCallOver();
    void startCountdown();
    void countdownTick(quint64 epoch);
    void stopCountdown();
    bool waitForReply(LONG request);
    bool waitForIdle();
    void notifyStatus(bool First, bool Last, DWORD Device, DWORD Message, DWORD Param1, DWORD Param2,
                      DWORD Param3);
    void postDeferred(const std::function<void()> &fn);
    static QStringList existingComPorts();

    void waveNotify(UINT message, DWORD handle, WAVEHDR *header);
    void raiseWave(TWaveMessage msg);
    UINT lineWaveId(const char *deviceClass);
    bool readPlayBuffer(int index);
    // Unprepare the device's headers and close it; a no-op when none is open.
    void closeWaveOut();
    void closeWaveIn();
    void finishPlayback();
    void finishRecording();
    void freeRecordBuffers();
    void silenceCheck(const WAVEHDR &header);
    QString waveOutErrorText(MMRESULT r) const;
    QString waveInErrorText(MMRESULT r) const;

    Environment &m_env;
    Dialogs &m_dialogs;
    TapiDeviceWindow *m_window;

    // properties
    QString m_selectedDevice;
    bool m_enableVoice = false;
    bool m_showTapiDevices = true;
    bool m_showPorts = true;
    bool m_filterUnsupported = true;
    quint16 m_maxAttempts = 3;
    quint16 m_retryWait = 60;
    quint8 m_answerOnRing = 2;
    QPointer<TComPort> m_comPort;
    QPointer<TAbstractTapiStatus> m_statusDisplay;
    bool m_selectionDialogAllowed = true;

    // TAPI
    HLINEAPP m_app = 0;
    QString m_initError;
    LONG m_initCode = 0;
    QStringList m_deviceList;
    DWORD m_deviceId = 0;
    DWORD m_apiVersion = 0;
    DWORD m_lineMediaModes = 0;
    HLINE m_line = 0;
    HCALL m_call = 0;
    DWORD m_lastCallState = 0;
    bool m_lineOpen = false;
    bool m_connected = false;
    bool m_cancelled = false;
    bool m_redialArmed = false;
    bool m_busy = false;
    bool m_closing = false;
    bool m_inReplyWait = false;
    bool m_inIdleWait = false;
    bool m_portAttached = false;
    QString m_number;
    int m_attempt = 0;
    DWORD m_disconnectMode = 0;
    LONG m_dialError = 0;
    LONG m_awaitedRequest = 0;
    std::optional<LONG> m_replyResult;
    int m_countdown = 0;
    quint64 m_countdownEpoch = 0;

    // wave
    quint8 m_waveMode = 0;
    int m_maxRecordSeconds = 60;
    int m_silenceLevel = 50;
    int m_silenceCount = 2;
    bool m_interruptWave = true;
    HWAVEOUT m_waveOut = 0;
    HWAVEOUT m_closingWaveOut = 0; // closed, its MM_WOM_CLOSE not yet seen
    HWAVEIN m_waveIn = 0;
    void *m_mmio = nullptr; // HMMIO of the file being played or recorded
    qint64 m_dataSize = 0;
    qint64 m_playPos = 0; // kPlayEnd once the whole data chunk is queued
    WAVEHDR m_playHeaders[2]{};
    std::vector<char> m_playBuffers[2];
    int m_playLastRead = 0;
    WAVEHDR m_recordHeaders[2]{};
    std::vector<char> m_recordBuffers[2];
    qint64 m_recordedBytes = 0;
    int m_silentSeconds = 0;
    bool m_recordEnding = false;
    QString m_recordFile;
    struct RecordChunks;
    RecordChunks *m_chunks = nullptr;
};

// The component the main window owns; it only publishes the behaviour.
class TTapiDevice : public TCustomTapiDevice {
public:
    TTapiDevice(Environment &env, Dialogs &dialogs, QObject *parent = nullptr)
        : TCustomTapiDevice(env, dialogs, parent)
    {
        setObjectName(QStringLiteral("TapiDevice"));
    }
};
