#include "tracking/FaxArchiveList.h"

#include "messaging/TFaxServer.h"
#include "platform/shell/Shell.h"
#include "ui/Dialogs.h"

#include <exception>

FaxArchiveList::FaxArchiveList(Environment &env, Dialogs &dialogs, Shell *shell,
                               std::function<QString()> templateFolder)
    : m_env(&env), m_dialogs(&dialogs), m_shell(shell), m_templateFolder(std::move(templateFolder))
{
}

void FaxArchiveList::Refresh(const QString &contactFax)
{
    // The server object lives for this refresh only; leaving by any path
    // releases it.
    TFaxServer server(*m_env);
    server.Connect(QString());
    clearEntries();
    m_ids.clear();
    notify();

    const QString key = trimmed(contactFax).toUpper();
    std::unique_ptr<FaxOutgoingMessageIterator> it = server.Folders().OutgoingArchive().GetMessages(0);
    if (!it)
        return;
    try {
        it->MoveFirst();
    } catch (const std::exception &) {
        return; // an archive that cannot be read lists nothing
    }
    while (!it->AtEOF()) {
        const FaxOutgoingMessage message = it->Message();
        if (message.Recipient().FaxNumber == key) {
            m_ids << message.Id();
            if (addEntry(entryText(message.SubmissionTime()))) {
                notify();
                m_dialogs->showMessage(limitMessage());
                return;
            }
        }
        it->MoveNext();
    }
    notify();
}

void FaxArchiveList::Open(int index)
{
    if (index < 0 || index >= m_ids.size())
        return;
    TFaxServer server(*m_env);
    server.Connect(QString());
    const QString path = (m_templateFolder ? m_templateFolder() : QString()) + previewName();
    const FaxOutgoingMessage message = server.Folders().OutgoingArchive().GetMessage(m_ids[index]);
    try {
        message.CopyTiff(path);
    } catch (const std::exception &) {
        m_dialogs->showMessage(viewerOpenMessage());
        return;
    }
    if (!m_shell)
        return;
    const ShellResult r =
        m_shell->ShellExecute(QStringLiteral("open"), path, QString(), QString(), ShowCommand::Normal);
    // Without a viewer the operator would otherwise see nothing happen.
    if (!r.ok())
        m_dialogs->showMessage(QStringLiteral("No program is installed to view the fax image %1").arg(path));
}

void FaxArchiveList::Clear()
{
    clearEntries(refreshFirstText());
    m_ids.clear();
    notify();
}
