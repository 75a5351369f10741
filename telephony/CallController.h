#pragma once

#include "contacts/ContactHistory.h"
#include "telephony/TapiDevice.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>

class ClockTimer;
class Dialogs;
class Environment;
class TComPort;
class TDbfTable;
class TTapiStatus;

// What the three windows show of the call: which call buttons can be
// pressed, and the state text of the status bar. The timer decides it.
struct CallButtons {
    // main contact window
    bool dial = true, dialNext = true, manualDial = true, abort = false;
    bool play1 = false, play2 = false, stopPlay = false, record = false;
    // compact panel
    bool panelDial = true, panelNext = true, panelPlay = false, panelRecord = false, panelAbort = false;
    // number list
    bool listDial = true;
    QString stateText = QStringLiteral("Idle");

    // What the main window's second status panel shows.
    QString phoneText() const { return QStringLiteral("Phone: ") + stateText; }
    bool operator==(const CallButtons &) const = default;
};

// The contacts as the call commands see them: the table with its current
// record, the grid's selection, the move to the next contact (through the
// data source, so every grid and the after-scroll steps follow), and the
// history stamps.
class CallContacts {
public:
    virtual ~CallContacts() = default;
    virtual TDbfTable &table() = 0;
    virtual bool multiSelect() const = 0;
    virtual void clearSelection() = 0;
    virtual void selectCurrentRow() = 0;
    virtual void moveNext() = 0;
    virtual ContactHistory &history() = 0;
};

// The settings the call commands read; the configuration window holds them.
class CallSettings {
public:
    virtual ~CallSettings() = default;
    // The configuration window's device edit box, as shown.
    virtual QString selectedDeviceText() const = 0;
    // 0 phone line, 1 sound card, 2 both.
    virtual int waveDestination() const = 0;
    // "Record the conversations after dialing".
    virtual bool recordCalls() const = 0;
    // The file chosen in message list 1 or 2; empty when none is chosen.
    virtual QString playListSelection(int list) const = 0;
};

// The operator's side of calling: the dial, voice message and record
// commands of the main contact window (which the compact panel and the
// number list forward to), the 200 ms call-progress timer, the call
// bookkeeping and the filing of a finished recording. It owns the line
// device, its call-progress display and the port object for the whole run.
class CallController : public QObject {
    Q_OBJECT
public:
    CallController(Environment &env, Dialogs &dialogs, CallContacts &contacts, CallSettings &settings,
                   QObject *parent = nullptr);
    ~CallController() override;

    TTapiDevice &device() { return *m_device; }
    TTapiStatus &statusDisplay() { return *m_status; }
    TComPort &port() { return *m_port; }
    ClockTimer &timer() { return *m_timer; }

    // Opens the configuration window modally (the modem check needs it).
    std::function<void()> showConfiguration;
    // Shows the "Manual Dial" window, not modal.
    std::function<void()> showManualDial;
    // The sound card; by default the platform's PlaySound. Tests replace them.
    std::function<void(const QString &)> playOnSoundCard;
    std::function<void()> stopSoundCard;

    // ---- commands
    bool CheckModemConfigured();
    void DialSelected();
    void DialNext();
    void ManualDial();
    // The "Manual Dial" window's "Dial": the number as typed.
    void DialManualNumber(const QString &number);
    void Abort();
    void Play(int list); // 1 or 2
    void StopPlay();
    void Record();
    // Files the finished recording under the current contact.
    void FileRecordedCall();

    // ---- the line device's events and the timer
    void Timer1Timer();
    void TapiDeviceTapiStatus(TCustomTapiDevice *CP, bool First, bool Last, DWORD Device, DWORD Message,
                              DWORD Param1, DWORD Param2, DWORD Param3);
    void TapiDeviceTapiWaveNotify(TCustomTapiDevice *CP, TWaveMessage Msg);

    // ---- bookkeeping
    QString LastDialledNumber() const { return m_lastDialled; }
    void setLastDialledNumber(const QString &n) { m_lastDialled = n; }
    // Every move to another record clears it.
    void clearLastDialledNumber() { m_lastDialled.clear(); }
    QDateTime CallStart() const { return m_callStart; }
    QDateTime CallEnd() const { return m_callEnd; } // null while a call is open
    int CallDuration() const { return m_callDuration; }
    quint8 PreviousCallState() const { return m_previousState; }
    const CallButtons &State() const { return m_state; }
    // The text for a call state (0..15; anything higher reads as 15).
    static QString StateText(int state);
    // Whole seconds between start and end, halves to the even second.
    static int RoundedSeconds(const QDateTime &start, const QDateTime &end);
    // Program folder + "Recordings".
    QString RecordingsFolder() const;

    void startTimer();
    void stopTimer();

signals:
    // The call state the windows show; sent when it changes.
    void stateChanged(const CallButtons &state);
    // A text for the main window's first status panel ("Error in wave playing").
    void statusMessage(const QString &text);

private:
    QString currentField(const char *field) const;
    void showMessage(const QString &text);
    void noNumberToDial();
    void publish(const CallButtons &next);
    void shiftRecordings(const QString &folder, const QString &prefix);

    Environment *m_env;
    Dialogs *m_dialogs;
    CallContacts *m_contacts;
    CallSettings *m_settings;
    TComPort *m_port;
    TTapiStatus *m_status;
    TTapiDevice *m_device;
    ClockTimer *m_timer;

    QString m_lastDialled;
    QDateTime m_callStart;
    QDateTime m_callEnd;
    int m_callDuration = 0;
    quint8 m_previousState = 0;
    CallButtons m_state;
};
