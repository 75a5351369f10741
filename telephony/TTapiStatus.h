#pragma once

#include "platform/tapi/Tapi.h"

#include <QLabel>
#include <QObject>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <array>

class TCustomTapiDevice;

// What a call-progress display is told by the line device; see
// TCustomTapiDevice::notifyStatus.
class TAbstractTapiStatus : public QObject {
public:
    explicit TAbstractTapiStatus(QObject *parent = nullptr) : QObject(parent) {}

    virtual void doStatus(bool First, bool Last, DWORD Device, DWORD Message, DWORD Param1, DWORD Param2,
                          DWORD Param3) = 0;

    TCustomTapiDevice *TapiDevice() const { return m_device; }
    void setTapiDevice(TCustomTapiDevice *device) { m_device = device; }
    // Set while an incoming call is answered; the system only dials.
    bool Answering() const { return m_answering; }
    void setAnswering(bool answering) { m_answering = answering; }

private:
    TCustomTapiDevice *m_device = nullptr;
    bool m_answering = false;
};

// The hidden "Call Progress" window: who is dialled on which line, the
// attempt, nine status lines and "Cancel".
class TStandardTapiDisplay : public QWidget {
public:
    explicit TStandardTapiDisplay(QWidget *parent = nullptr);

    QLabel *lblDialing; // "Dialing:" or "Answering -"
    QLabel *lblNumber;
    QLabel *lblUsing; // "Using:"
    QLabel *lblDevice;
    QLabel *lblAttempt; // "Attempt:"
    QLabel *lblAttemptNo;
    QLabel *lblOf; // "of"
    QLabel *lblMaxAttempts;
    std::array<QLabel *, 9> lblStatus;
    QPushButton *btnCancel;
};

class TTapiStatus : public TAbstractTapiStatus {
public:
    static constexpr int kLines = 9;

    explicit TTapiStatus(QObject *parent = nullptr);
    ~TTapiStatus() override;

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    void setPosition(int left, int top);

    void doStatus(bool First, bool Last, DWORD Device, DWORD Message, DWORD Param1, DWORD Param2,
                  DWORD Param3) override;

    TStandardTapiDisplay *display() const { return m_display; }
    QStringList statusLines() const { return m_lines; }
    bool isShowing() const;

    // The texts the display writes.
    static QString callStateText(DWORD state, DWORD mode);
    static QString disconnectReason(DWORD mode);

    void btnCancelClick();

private:
    void updateLabels();
    void refreshLines();
    void show();

    TStandardTapiDisplay *m_display;
    QString m_caption = QStringLiteral("Call Progress");
    QStringList m_lines;
    DWORD m_previousParam1 = 0;
};
