#pragma once

#include "platform/environment/Clock.h"

#include <QString>

// What the platform layers share: the clock, where they keep their state
// (simulated lines, mail store, fax queue and archive), and the program
// folder. The program entry makes the default one; tests make their own in
// temporary folders and hand it in.
class Environment {
public:
    // programFolder and stateFolder end without a separator; created if missing.
    Environment(Clock &clock, QString programFolder, QString stateFolder);

    // The running program's: folder of the executable, state under the XDG
    // data home ("$XDG_DATA_HOME/brenvoy", else ~/.local/share/brenvoy).
    static QString defaultProgramFolder();
    static QString defaultStateFolder();

    Clock &clock() const { return *m_clock; }
    QString programFolder() const { return m_programFolder; }
    QString stateFolder() const { return m_stateFolder; }
    // A folder under the state folder for one layer, created on demand.
    QString stateFolderFor(const QString &layer) const;

private:
    Clock *m_clock;
    QString m_programFolder;
    QString m_stateFolder;
};
