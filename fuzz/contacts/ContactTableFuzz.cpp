// Opens a table and memo file built from the fuzzer's input, reads every
// field of every record, searches, locates and writes one memo.

#include "contacts/ContactLocate.h"
#include "contacts/DbfTable.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstring>
#include <unistd.h>

namespace {

QString folder()
{
    static const QString dir = [] {
        const QString d = QDir::tempPath() + QStringLiteral("/fuzz-contacts-%1").arg(getpid());
        QDir().mkpath(d);
        return d;
    }();
    return dir;
}

void writeFile(const QString &path, const char *data, size_t size)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(data, qint64(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    uint32_t tableSize;
    memcpy(&tableSize, data, 4);
    tableSize = uint32_t(std::min<size_t>(tableSize, size - 4));
    const char *table = reinterpret_cast<const char *>(data) + 4;
    const QString path = folder() + QStringLiteral("/t.dbf");
    writeFile(path, table, tableSize);
    writeFile(folder() + QStringLiteral("/t.dbt"), table + tableSize, size - 4 - tableSize);
    QFile::remove(path + QStringLiteral("-journal"));

    TDbfTable t(QStringLiteral("fuzz"));
    t.setTableName(path);
    try {
        t.Open();
    } catch (const EDbfError &) {
        return 0;
    }
    const QStringList names = t.FieldNames();
    try {
        qint64 n = 0;
        for (t.First(); n < 64; t.Next(), ++n) {
            for (const QString &f : names) {
                (void)t.AsString(f);
                (void)t.AsInteger(f);
                (void)t.AsBoolean(f);
                (void)t.AsDate(f);
                (void)t.DisplayText(t.GetBookmark(), f);
            }
            if (t.Eof())
                break;
        }
        for (const QString &f : names) {
            try {
                t.setFilter(QStringLiteral("%1='*a*'").arg(f));
                t.setFiltered(true);
                (void)t.VisibleCount();
                t.setFiltered(false);
            } catch (const EDbfError &) {
                // not a text field
            }
        }
        if (!names.isEmpty())
            (void)t.Locate({names.first()}, {QStringLiteral("a")}, {true, true});
        (void)LocateContact(t, QStringLiteral("a"), {}, {}, {}, {});
        if (!t.IsEmpty()) {
            t.First();
            t.Edit();
            for (const QString &f : names) {
                const auto def = t.FieldByName(f);
                if (def && def->type == FieldType::Memo)
                    t.SetAsString(f, QString(700, QLatin1Char('m')));
            }
            t.Post();
            for (const QString &f : names)
                (void)t.AsString(f);
        }
    } catch (const EDbfError &) {
        // Errors are fine; crashes, hangs and leaks are not.
    }
    return 0;
}
