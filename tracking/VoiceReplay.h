#pragma once

#include "platform/sound/Sound.h"

#include <QString>
#include <functional>

class Dialogs;

// Replays, on the computer's sound output, the wave file a contact's voice
// message slot names, and stops it again.
class VoiceReplay {
public:
    explicit VoiceReplay(Dialogs &dialogs) : m_dialogs(&dialogs) {}

    static QString missingFileMessage()
    {
        return QStringLiteral("Original Wave file could not found anymore");
    }

    // slotFile: the slot's DT_WAVE text. Empty does nothing; a file that is
    // gone is reported; otherwise it plays in the background, replacing any
    // sound still playing. The sound card's own failures are not reported.
    void Play(const QString &slotFile);
    void Stop();

    // The sound card; tests put a recorder here.
    std::function<BOOL(const char *, HMODULE, std::uint32_t)> playSound = &PlaySound;

private:
    Dialogs *m_dialogs;
};
