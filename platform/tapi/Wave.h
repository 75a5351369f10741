#pragma once

// The wave-out and wave-in device functions of the lines' wave devices
// (the identifiers lineGetID gives for "wave/in" and "wave/out"). As with
// CALLBACK_WINDOW, each device notifies a target object through the event
// queue with a WaveNotifyEvent (MM_WOM_OPEN, MM_WOM_DONE, ...).

#include "platform/mmio/Mmio.h"
#include "platform/mmio/WaveFormat.h"
#include "platform/tapi/Tapi.h"

#include <QEvent>
#include <cstdint>

class QObject;

using UINT = std::uint32_t;
using WORD = std::uint16_t;
using HWAVEOUT = DWORD;
using HWAVEIN = DWORD;

// The results the multimedia file functions define (MMSYSERR_NOERROR,
// MMSYSERR_INVALPARAM, ...) come with their header; these are the wave
// devices' own.
#ifndef MMSYSERR_BADDEVICEID
#define MMSYSERR_BADDEVICEID 2
#endif
#ifndef MMSYSERR_NOTENABLED
#define MMSYSERR_NOTENABLED 3
#endif
#ifndef MMSYSERR_ALLOCATED
#define MMSYSERR_ALLOCATED 4
#endif
#ifndef MMSYSERR_NODRIVER
#define MMSYSERR_NODRIVER 6
#endif
#ifndef MMSYSERR_NOTSUPPORTED
#define MMSYSERR_NOTSUPPORTED 8
#endif
#ifndef MMSYSERR_BADERRNUM
#define MMSYSERR_BADERRNUM 9
#endif
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;

constexpr UINT MM_WOM_OPEN = 0x3BB;
constexpr UINT MM_WOM_CLOSE = 0x3BC;
constexpr UINT MM_WOM_DONE = 0x3BD;
constexpr UINT MM_WIM_OPEN = 0x3BE;
constexpr UINT MM_WIM_CLOSE = 0x3BF;
constexpr UINT MM_WIM_DATA = 0x3C0;

constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_WINDOW = 0x00010000;
constexpr DWORD WAVE_FORMAT_QUERY = 0x0001;
constexpr DWORD WAVE_MAPPED = 0x0004;

constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

constexpr UINT MAXERRORLENGTH = 256;

struct WAVEHDR {
    char *lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR *lpNext;
    DWORD_PTR reserved;
};

// What a wave device posts to its target: the MM_ message, the device
// handle and, for MM_WOM_DONE and MM_WIM_DATA, the returned header.
class WaveNotifyEvent final : public QEvent {
public:
    WaveNotifyEvent(UINT message, DWORD handle, WAVEHDR *header)
        : QEvent(eventType()), message(message), handle(handle), header(header)
    {
    }
    static QEvent::Type eventType();

    UINT message;
    DWORD handle;
    WAVEHDR *header;
};

// dwCallback is the target QObject (CALLBACK_WINDOW) or null.
MMRESULT waveOutOpen(HWAVEOUT *phwo, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback,
                     DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveOutWrite(HWAVEOUT hwo, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveOutReset(HWAVEOUT hwo);
MMRESULT waveOutClose(HWAVEOUT hwo);
MMRESULT waveOutGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText);

MMRESULT waveInOpen(HWAVEIN *phwi, UINT uDeviceID, const WAVEFORMATEX *pwfx, QObject *dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, WAVEHDR *pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInGetErrorText(MMRESULT mmrError, char *pszText, UINT cchText);
