#pragma once

// SIP accounts as telephone lines: a line provider (platform/tapi's
// LineProvider.h) on libre's SIP, SDP and RTP and librem's G.711. Each
// account of SipAccounts is one voice line "SIP: user@domain". The SIP
// stack runs its event loop on a thread of its own; everything it learns
// reaches the telephony core on the user-interface thread.
//
// Call progress: 100 Trying is PROCEEDING, 180/183 RINGBACK, 200 CONNECTED;
// 486/600 BUSY; 404/484 DISCONNECTED (BADADDRESS), 408/480/487 NOANSWER,
// 503 CONGESTION, 403/603 REJECT, no answer at all UNREACHABLE; the far
// end's BYE is DISCONNECTED (NORMAL). Dropping the call sends BYE or CANCEL
// and ends in IDLE. The far end's keys, as RFC 4733 events or SIP INFO, are
// digits of LINE_MONITORDIGITS.

#include "platform/sip/SipAccounts.h"
#include "platform/tapi/LineProvider.h"

#include <functional>
#include <memory>

class SipLinesImpl;

class SipLines final : public LineProvider {
public:
    // The account's password (empty when none is kept).
    using PasswordSource = std::function<QString(const Environment &, const SipAccount &)>;

    // Adds the SIP accounts of each state folder to its telephony service.
    static void registerProvider(PasswordSource passwords);
    // Registers them with the passwords of the secret store, unless they
    // are registered already.
    static void ensureRegistered();

    SipLines(const Environment &env, QList<SipAccount> accounts, PasswordSource passwords);
    ~SipLines() override;

    // The registration state of a line, for tests and the account window:
    // 0 not registering, 1 registering, 2 registered, negative failed
    // (-SIP status, or -1 unreachable).
    int registration(int device) const;

    int deviceCount() const override;
    LineDeviceCaps caps(int device) const override;
    void defer(std::function<void()> fn) override;
    void lineOpened(int device) override;
    void lineClosed(int device) override;
    LONG checkCall(int device, const QString &number) override;
    void startCall(HCALL call, int device, const QString &number) override;
    void dropCall(HCALL call, LONG request) override;
    void forgetCall(HCALL call) override;
    bool waveFormatSupported(int device, const WAVEFORMATEX &format, DWORD fdwOpen,
                             bool input) const override;
    void waveOpened(DWORD handle, int device, const WAVEFORMATEX &format, bool input) override;
    void waveClosed(DWORD handle, bool input) override;
    void playBuffer(HWAVEOUT handle, const char *data, DWORD bytes) override;
    void stopPlaying(HWAVEOUT handle) override;
    void startCapture(HWAVEIN handle) override;
    void fillBuffer(HWAVEIN handle, char *data, DWORD bytes) override;
    DWORD cutBuffer(HWAVEIN handle) override;
    void retire() override;

    // The SIP address a dialled number becomes on an account: digits,
    // '+', '*' and '#' of a telephone number, or a "user@host" as given.
    // Empty when nothing dialable is left.
    static QString targetUri(const SipAccount &account, const QString &number);

private:
    std::unique_ptr<SipLinesImpl> d;
};
