#pragma once

#include <QObject>

// The port object that gates dialing. Only its TAPI mode and port number
// are used here: tmAuto is switched to tmOn by the first dial, tmOff means
// the operator chose a direct COM port. A data-modem call hands its
// connected line to the port (tapiLineAttached); the serial machinery
// itself is not part of this program.
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };

class TComPort : public QObject {
public:
    explicit TComPort(QObject *parent = nullptr) : QObject(parent)
    {
        setObjectName(QStringLiteral("ComPort"));
    }

    TTapiMode TapiMode() const { return m_mode; }
    void setTapiMode(TTapiMode mode) { m_mode = mode; }
    int ComNumber() const { return m_comNumber; }
    void setComNumber(int n) { m_comNumber = n; }

    // A connected data-modem call's line, or 0.
    quint32 tapiLine() const { return m_line; }
    void setTapiLine(quint32 line) { m_line = line; }

private:
    TTapiMode m_mode = tmAuto;
    int m_comNumber = 0;
    quint32 m_line = 0;
};
