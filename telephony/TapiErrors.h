#pragma once

#include "platform/tapi/Tapi.h"

#include <QString>
#include <stdexcept>

// Failures of the line device. Each carries a text (UTF-8 what()) and a
// negative code: TAPI's error code where TAPI reported one, else one of
// the device's own codes below.
class ETapiException : public std::runtime_error {
public:
    ETapiException(LONG code, const QString &text) : std::runtime_error(text.toStdString()), m_code(code) {}
    LONG code() const { return m_code; }
    QString text() const { return QString::fromUtf8(what()); }

private:
    LONG m_code;
};

// The device's own codes, outside TAPI's 0x8000xxxx range.
enum : LONG {
    ecPortNotAssigned = -8001,
    ecTapiBusy = -8002,
    ecTapiNotSet = -8003,
    ecTapiNoSelect = -8004,
    ecTapiVoiceNotSupported = -8005,
    ecTapiCallUnavail = -8006,
    ecTapiWaveFail = -8007,
};

class EPortNotAssigned : public ETapiException {
public:
    EPortNotAssigned() : ETapiException(ecPortNotAssigned, QStringLiteral("ComPort component not assigned"))
    {
    }
};

class ETapiBusy : public ETapiException {
public:
    ETapiBusy() : ETapiException(ecTapiBusy, QStringLiteral("TAPI already open, dialing or answering")) {}
};

class ETapiNotSet : public ETapiException {
public:
    ETapiNotSet() : ETapiException(ecTapiNotSet, QStringLiteral("TapiMode not set in TComPort")) {}
};

class ETapiNoSelect : public ETapiException {
public:
    ETapiNoSelect() : ETapiException(ecTapiNoSelect, QStringLiteral("No TAPI device selected")) {}
};

class ETapiVoiceNotSupported : public ETapiException {
public:
    ETapiVoiceNotSupported()
        : ETapiException(ecTapiVoiceNotSupported,
                         QStringLiteral("TAPI device does not support voice extensions"))
    {
    }
};

class ETapiCallUnavail : public ETapiException {
public:
    ETapiCallUnavail() : ETapiException(ecTapiCallUnavail, QStringLiteral("Call unavailable")) {}
};

class ETapiWaveFail : public ETapiException {
public:
    explicit ETapiWaveFail(const QString &text) : ETapiException(ecTapiWaveFail, text) {}
};

// Any other failure TAPI reports, with TAPI's code.
class ETapiLineError : public ETapiException {
public:
    ETapiLineError(LONG code, const QString &function);
    static QString codeName(LONG code);
};
