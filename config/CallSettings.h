#pragma once

// What the calls read of the configuration when they act: where voice
// messages play, whether connected calls may be recorded, and the play list.
// The configuration window's controls are the live values.

#include <QStringList>

class CallSettings {
public:
    virtual ~CallSettings() = default;

    // 0 "Phone line", 1 "PC Soundcard", 2 "Both"; -1 when none is chosen.
    virtual int WaveDestination() const = 0;
    // "Record the conversations after dialing".
    virtual bool RecordCalls() const = 0;
    // Full paths of the play-list files, in list order (the order of both
    // message lists of the main window).
    virtual QStringList PlayListEntries() const = 0;
};
