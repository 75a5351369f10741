#include "contacts/ContactSchema.h"
#include "contacts/DbfFormat.h"
#include "contacts/MemoFile.h"
#include "platform/codepage/CodePage.h"
#include "platform/environment/Clock.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString memoPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix().isEmpty())
        return path + QStringLiteral(".dbt");
    return path.left(path.size() - info.suffix().size() - 1) + QStringLiteral(".dbt");
}

void writeWhole(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size() || !f.flush())
        throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.").arg(path, f.errorString()));
    f.close();
}

} // namespace

void CreateContactTable(const QString &path, const Clock &clock)
{
    // An existing table is never replaced: it holds contacts.
    if (QFileInfo::exists(path))
        throw EDbfError(
            QStringLiteral("Cannot create \"%1\": a file of that name already exists.").arg(path));

    dbf::Layout layout;
    layout.version = dbf::kVersionDbase4Memo;
    layout.lastUpdate = clock.now().date();
    layout.languageDriver = CodePage::kDefaultLanguageDriver;
    layout.fields = ContactTableFields();
    QByteArray table = dbf::buildHeader(layout);
    table.append(dbf::kEndOfFile);

    // Both files are written under temporary names and moved into place, so
    // a failure at any point leaves nothing half-written behind.
    const QString memo = memoPath(path);
    const QString tmpTable = path + QStringLiteral(".creating");
    const QString tmpMemo = memo + QStringLiteral(".creating");
    try {
        writeWhole(tmpMemo, MemoFile::newFileHeader());
        writeWhole(tmpTable, table);
        if (::rename(QFile::encodeName(tmpMemo).constData(), QFile::encodeName(memo).constData()) != 0)
            throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.")
                                .arg(memo, QString::fromLocal8Bit(strerror(errno))));
        // link() fails when the name exists, so a table created meanwhile by
        // another program is not replaced either.
        if (::link(QFile::encodeName(tmpTable).constData(), QFile::encodeName(path).constData()) != 0) {
            const QString why = QString::fromLocal8Bit(strerror(errno));
            QFile::remove(memo);
            throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.").arg(path, why));
        }
        QFile::remove(tmpTable);
    } catch (...) {
        QFile::remove(tmpTable);
        QFile::remove(tmpMemo);
        throw;
    }
}

void CreateContactTable(const QString &path)
{
    SystemClock clock;
    CreateContactTable(path, clock);
}
