#pragma once

// The line-provider interface behind the telephony core (the line and wave
// functions of Tapi.h and Wave.h). The core owns the handles, the request
// identifiers, the argument checks, the posting of line messages and the
// wave header queues; a provider only brings lines: their capabilities,
// placing and dropping calls, the far end's digits, and moving audio in and
// out of the buffers the core hands it.
//
// The core calls a provider on the user-interface thread, and a provider
// reports back through TapiCore on that thread too (a provider whose stack
// runs elsewhere hands its events over first).

#include "platform/tapi/Tapi.h"
#include "platform/tapi/Wave.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class Environment;

struct LineDeviceCaps {
    QString name;
    QString providerInfo;
    DWORD mediaModes = 0;
    DWORD lineFeatures = 0;
    DWORD maxRate = 0;
    bool waveDevices = false;
};

class LineProvider : public QObject {
public:
    // Devices are numbered from 0 within the provider; the core maps them
    // onto the TAPI device identifiers.
    virtual int deviceCount() const = 0;
    virtual LineDeviceCaps caps(int device) const = 0;

    // Runs fn a little later on the user-interface thread (the provider's
    // clock decides how much later), unless the provider is retired by then.
    virtual void defer(std::function<void()> fn) = 0;
    // A line function acting on one of the provider's lines, for its log.
    virtual void note(const QString &) {}

    virtual void lineOpened(int /*device*/) {}
    virtual void lineClosed(int /*device*/) {}

    // Placing a call: check refuses a call before it gets a handle (with a
    // LINEERR_ code, replied a little later); start begins it. The provider
    // then calls TapiCore::callReplied once, and TapiCore::callState as the
    // call goes on.
    virtual LONG checkCall(int device, const QString &number) = 0;
    virtual void startCall(HCALL call, int device, const QString &number) = 0;
    // Drops a call: the provider completes the request with
    // TapiCore::completeRequest and takes the call to IDLE.
    virtual void dropCall(HCALL call, LONG request) = 0;
    // The call is gone from the core (deallocated or its line closed).
    virtual void forgetCall(HCALL call) = 0;

    // Wave devices. Formats the device takes (WAVE_FORMAT_QUERY included).
    virtual bool waveFormatSupported(int device, const WAVEFORMATEX &format, DWORD fdwOpen,
                                     bool input) const = 0;
    virtual void waveOpened(DWORD /*handle*/, int /*device*/, const WAVEFORMATEX & /*format*/, bool /*input*/)
    {
    }
    virtual void waveClosed(DWORD /*handle*/, bool /*input*/) {}
    // Wave-out: play the buffer; TapiCore::wavePlayed when it has been
    // played. stopPlaying cuts the buffer being played short.
    virtual void playBuffer(HWAVEOUT handle, const char *data, DWORD bytes) = 0;
    virtual void stopPlaying(HWAVEOUT handle) = 0;
    // Wave-in: startCapture and stopCapture bracket recording; fillBuffer
    // fills data (whole samples of 16 bits) at the pace the line delivers
    // and calls TapiCore::waveRecorded; cutBuffer stops filling the buffer
    // now and returns the bytes written into it so far.
    virtual void startCapture(HWAVEIN handle) = 0;
    virtual void fillBuffer(HWAVEIN handle, char *data, DWORD bytes) = 0;
    virtual DWORD cutBuffer(HWAVEIN handle) = 0;

    // The core no longer uses the provider: it is deleted after this.
    virtual void retire() {}
};

// A source of line providers for the telephony service of a state folder.
// Providers are asked in the order they were registered; each adds its
// lines after those of the providers before it. A factory that has no lines
// to offer returns null; one whose configuration is broken sets error.
using LineProviderFactory = std::function<std::unique_ptr<LineProvider>(const Environment &env, LONG &error)>;

namespace TapiCore {

// The simulated modems come first and are always there; further providers
// (SIP accounts) register before the first lineInitialize.
void registerProvider(const QString &name, LineProviderFactory factory);

// Asks the providers after the first (the simulated modems) afresh for their
// lines, as after their configuration changed. False, and nothing changes,
// while a line of theirs is open. A state folder without a running service
// needs none: its next lineInitialize asks them anyway.
bool refreshProviders(const Environment &env);

// Reports from providers, on the user-interface thread.
void callReplied(HCALL call, LONG result);
void callState(HCALL call, DWORD state, DWORD mode);
void digit(HCALL call, char digit, DWORD mode, DWORD tickMs);
void completeRequest(LONG request, LONG result);
void wavePlayed(HWAVEOUT handle);
void waveRecorded(HWAVEIN handle, DWORD bytes);

// The call state the core holds for a call (0 when unknown).
DWORD stateOf(HCALL call);

} // namespace TapiCore
