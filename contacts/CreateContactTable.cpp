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
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString memoPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.suffix().isEmpty())
        return path + QStringLiteral(".dbt");
    return path.left(path.size() - info.suffix().size() - 1) + QStringLiteral(".dbt");
}

QString errnoText()
{
    return QString::fromLocal8Bit(strerror(errno));
}

// Creates path afresh, never through a link planted under its name: a
// leftover of an earlier creation that was cut short is replaced, anything
// that is not a plain file is refused. True when path was created (and so
// is ours to remove).
bool writeWhole(const QString &path, const QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(native.constData(), flags, 0666);
    if (fd < 0 && errno == EEXIST) {
        struct stat st;
        if (::lstat(native.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            throw EDbfError(
                QStringLiteral("Cannot create \"%1\": a symbolic link of that name is in the way.")
                    .arg(path));
        if (::lstat(native.constData(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(native.constData()) == 0)
            fd = ::open(native.constData(), flags, 0666);
    }
    if (fd < 0)
        throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.").arg(path, errnoText()));
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString why = errnoText();
            ::close(fd);
            ::unlink(native.constData());
            throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.").arg(path, why));
        }
        done += n;
    }
    if (::close(fd) != 0) {
        const QString why = errnoText();
        ::unlink(native.constData());
        throw EDbfError(QStringLiteral("Cannot create \"%1\": %2.").arg(path, why));
    }
    return true;
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
    bool madeTable = false, madeMemo = false;
    try {
        madeMemo = writeWhole(tmpMemo, MemoFile::newFileHeader());
        madeTable = writeWhole(tmpTable, table);
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
        // Only what this creation made: a link in the way stays for the
        // operator to see.
        if (madeTable)
            QFile::remove(tmpTable);
        if (madeMemo)
            QFile::remove(tmpMemo);
        throw;
    }
}

void CreateContactTable(const QString &path)
{
    SystemClock clock;
    CreateContactTable(path, clock);
}
