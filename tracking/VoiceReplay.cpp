#include "tracking/VoiceReplay.h"

#include "tracking/ArchiveList.h"
#include "ui/Dialogs.h"

#include <QFile>
#include <QFileInfo>

void VoiceReplay::Play(const QString &slotFile)
{
    const QString file = ArchiveList::trimmed(slotFile);
    if (file.isEmpty())
        return;
    // A folder of that name is no wave file either.
    if (!QFileInfo(file).isFile()) {
        m_dialogs->showMessage(missingFileMessage());
        return;
    }
    const QByteArray name = QFile::encodeName(file);
    playSound(name.constData(), nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC);
}

void VoiceReplay::Stop()
{
    playSound(nullptr, nullptr, 0);
}
