#pragma once

#include "platform/tapi/Tapi.h"

#include <QList>
#include <QString>
#include <optional>

// What the simulated telephony provider offers, read from its provider file
// ("provider.ini" in the state folder of the "tapi" layer). The file is INI
// text; lines starting with ';' or '#' are comments.
//
//   [Provider]
//   SoundCard=0                 ; 1: the lines' audio is also heard on the sound card
//
//   [Line0]                     ; Line0, Line1, ... are the line devices, in order
//   Name=Brenvoy Voice Modem
//   MediaModes=AUTOMATEDVOICE|DATAMODEM      ; names or a number (0x18)
//   LineFeatures=MAKECALL                    ; names or a number
//   WaveDevices=1               ; the line has wave/in and wave/out devices
//
//   [Number0]                   ; Number0, Number1, ...: first matching pattern wins
//   Pattern=555*                ; * any characters, ? one character
//   Outcome=answer              ; answer, busy, noanswer, badaddress, unreachable, fail
//   Rings=2                     ; rings before answering
//   NoAnswerSeconds=30          ; noanswer: seconds of ringing before the disconnect
//   Audio=speech                ; speech, silence, or the path of a wave file
//   TalkSeconds=4               ; speech: seconds of talking after the answer
//   HangupSeconds=30            ; remote hang-up this long after the answer; 0 never
//   Dtmf=5.5:1, 7:#             ; digits the far end presses, seconds after the answer
//
//   [Default]                   ; the far end of numbers no pattern matches
//
// Without a file there is one voice modem whose far end answers after two
// rings, talks for a few seconds, falls silent and hangs up after thirty.
struct LineConfig {
    QString name;
    DWORD mediaModes =
        LINEMEDIAMODE_AUTOMATEDVOICE | LINEMEDIAMODE_DATAMODEM | LINEMEDIAMODE_INTERACTIVEVOICE;
    DWORD lineFeatures = LINEFEATURE_MAKECALL;
    bool waveDevices = true;
};

enum class CallOutcome { Answer, Busy, NoAnswer, BadAddress, Unreachable, Fail };

struct DtmfPress {
    qint64 atMs; // after the answer
    char digit;
};

struct FarEndConfig {
    QString pattern = QStringLiteral("*");
    CallOutcome outcome = CallOutcome::Answer;
    int rings = 2;
    int noAnswerSeconds = 30;
    QString audio = QStringLiteral("speech"); // "speech", "silence" or a wave file path
    double talkSeconds = 4;
    double hangupSeconds = 30;
    QList<DtmfPress> dtmf;
};

struct ProviderConfig {
    QList<LineConfig> lines;
    QList<FarEndConfig> numbers;
    FarEndConfig fallback;
    bool soundCard = false;

    static QString defaultLineName() { return QStringLiteral("Brenvoy Voice Modem"); }
    static ProviderConfig defaults();
    // nullopt with *error set when the file cannot be read or holds a value
    // that makes no sense; a missing file gives the defaults.
    static std::optional<ProviderConfig> load(const QString &path, QString *error);
    static std::optional<ProviderConfig> parse(const QString &text, const QString &folder, QString *error);

    // The far end for a dialled number.
    const FarEndConfig &farEndFor(const QString &number) const;
};

// Glob match of a whole text: '*' any run of characters, '?' one character.
bool matchesNumberPattern(const QString &pattern, const QString &number);
