#include "app/DatabaseCommands.h"

#include "config/Settings.h"
#include "contacts/DbfTable.h"
#include "ui/Dialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// Two names for one file: the same text, the same absolute path, or the
// same file reached through a link.
bool sameFile(const QString &a, const QString &b)
{
    if (a == b)
        return true;
    const QFileInfo fa(a), fb(b);
    if (QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath()))
        return true;
    return fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath();
}

// Whether copying to target (and its memo) would write over the live table
// or its memo file.
bool overwritesLiveTable(const QString &target, const QString &liveTable)
{
    const QString liveMemo = MemoFilePath(liveTable);
    const QString targetMemo = MemoFilePath(target);
    for (const QString &t : {target, targetMemo})
        for (const QString &live : {liveTable, liveMemo})
            if (sameFile(t, live))
                return true;
    return false;
}

// Copies source over target in one step: the old target stays whole until
// the copy is complete. Returns an error text, empty on success.
QString copyReplacing(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return QStringLiteral("Unable to read \"%1\": %2")
            .arg(QDir::toNativeSeparators(source), in.errorString());
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("Unable to write \"%1\": %2")
            .arg(QDir::toNativeSeparators(target), out.errorString());
    QByteArray chunk;
    while (!(chunk = in.read(1 << 20)).isEmpty()) {
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        out.cancelWriting();
        return QStringLiteral("Unable to read \"%1\": %2")
            .arg(QDir::toNativeSeparators(source), in.errorString());
    }
    if (!out.commit())
        return QStringLiteral("Unable to write \"%1\": %2")
            .arg(QDir::toNativeSeparators(target), out.errorString());
    return {};
}

void closeIgnoringErrors(TDbfTable &table)
{
    try {
        table.Close();
    } catch (...) {
        // The table is closed either way; a failure here must not stop the command.
    }
}

} // namespace

void menuBackupClick(TDbfTable &table, Dialogs &dialogs)
{
    const QString name = table.TableName();
    FileDialogRequest request;
    request.folder = table.FilePath();
    request.fileName = name.left(std::max<qsizetype>(0, name.size() - 4)) + QStringLiteral("_bak.dbf");
    request.defaultExt = QStringLiteral("dbf");
    request.filter = QString::fromLatin1(kDbfFilter);
    request.overwritePrompt = true;

    const QString live = table.FullPath();
    QString target;
    for (;;) {
        const std::optional<QString> chosen = dialogs.saveFile(request);
        if (!chosen)
            return;
        if (!overwritesLiveTable(*chosen, live)) {
            target = *chosen;
            break;
        }
        dialogs.messageBox(QString::fromLatin1(kOverwriteMainDatabase), QStringLiteral("Warning!"),
                           MsgButtons::Ok, MsgIcon::Warning);
        // Shown again on the name the operator chose.
        request.folder = QFileInfo(*chosen).absolutePath();
        request.fileName = QFileInfo(*chosen).fileName();
    }

    // A table without memo fields may have no memo file to copy; one with
    // them is incomplete without it.
    bool hasMemoFields = false;
    for (const QString &field : table.FieldNames())
        hasMemoFields = hasMemoFields || table.FieldByName(field)->type == FieldType::Memo;
    closeIgnoringErrors(table);
    QStringList failures;
    if (QString e = copyReplacing(live, target); !e.isEmpty())
        failures << e;
    // The memo files are the ones the table engine opens with each table,
    // whatever the case of their names.
    const QString liveMemo = MemoFilePath(live);
    if (QFileInfo::exists(liveMemo)) {
        if (QString e = copyReplacing(liveMemo, MemoFilePath(target)); !e.isEmpty())
            failures << e;
    } else if (hasMemoFields) {
        failures
            << QStringLiteral("The memo file \"%1\" is missing.").arg(QDir::toNativeSeparators(liveMemo));
    }
    table.Open();
    if (!failures.isEmpty())
        dialogs.showError(QStringLiteral("The backup is incomplete.\r\n") +
                          failures.join(QStringLiteral("\r\n")));
}

void menuGetDBClick(TDbfTable &table, Dialogs &dialogs, const QString &settingsFile,
                    const QString &programFolder)
{
    FileDialogRequest request;
    request.folder = programFolder;
    request.defaultExt = QStringLiteral("dbf");
    request.filter = QString::fromLatin1(kDbfFilter);
    request.mustExist = false;
    const std::optional<QString> chosen = dialogs.openFile(request);
    if (!chosen)
        return;

    closeIgnoringErrors(table);
    const QFileInfo fi(*chosen);
    DatabaseLocation location{QDir(fi.absolutePath()).absolutePath(), fi.fileName()};
    if (!location.path.endsWith(QLatin1Char('/')))
        location.path += QLatin1Char('/');
    table.setFilePath(location.path);
    table.setTableName(location.name);
    WriteDatabaseSection(settingsFile, location);
    table.Open();
}
