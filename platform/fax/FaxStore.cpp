#include "platform/fax/FaxStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxRecordSize = 64 * 1024;

QJsonObject toJson(const FaxJobRecord &r)
{
    QJsonObject o;
    o.insert(QLatin1String("id"), r.id);
    o.insert(QLatin1String("submission"), r.submissionId);
    o.insert(QLatin1String("sequence"), r.sequence);
    o.insert(QLatin1String("serial"), QString::number(r.serial));
    o.insert(QLatin1String("submitted"), r.submissionTime.toString(Qt::ISODateWithMs));
    o.insert(QLatin1String("scheduled"), r.scheduleTime.toString(Qt::ISODateWithMs));
    if (r.transmissionEnd.isValid())
        o.insert(QLatin1String("sent"), r.transmissionEnd.toString(Qt::ISODateWithMs));
    o.insert(QLatin1String("faxNumber"), r.recipient.FaxNumber);
    o.insert(QLatin1String("recipient"), r.recipient.Name);
    o.insert(QLatin1String("sender"), r.senderName);
    o.insert(QLatin1String("document"), r.documentName);
    o.insert(QLatin1String("subject"), r.subject);
    o.insert(QLatin1String("note"), r.note);
    o.insert(QLatin1String("pages"), r.pages);
    o.insert(QLatin1String("priority"), r.priority);
    return o;
}

std::optional<FaxJobRecord> fromJson(const QJsonObject &o)
{
    FaxJobRecord r;
    r.id = o.value(QLatin1String("id")).toString();
    r.submissionId = o.value(QLatin1String("submission")).toString();
    r.sequence = o.value(QLatin1String("sequence")).toInt();
    r.serial = o.value(QLatin1String("serial")).toString().toLongLong();
    r.submissionTime =
        QDateTime::fromString(o.value(QLatin1String("submitted")).toString(), Qt::ISODateWithMs);
    r.scheduleTime = QDateTime::fromString(o.value(QLatin1String("scheduled")).toString(), Qt::ISODateWithMs);
    r.transmissionEnd = QDateTime::fromString(o.value(QLatin1String("sent")).toString(), Qt::ISODateWithMs);
    r.recipient.FaxNumber = o.value(QLatin1String("faxNumber")).toString();
    r.recipient.Name = o.value(QLatin1String("recipient")).toString();
    r.senderName = o.value(QLatin1String("sender")).toString();
    r.documentName = o.value(QLatin1String("document")).toString();
    r.subject = o.value(QLatin1String("subject")).toString();
    r.note = o.value(QLatin1String("note")).toString();
    r.pages = o.value(QLatin1String("pages")).toInt();
    r.priority = o.value(QLatin1String("priority")).toInt(1);
    if (r.id.isEmpty() || !r.submissionTime.isValid() || !r.scheduleTime.isValid())
        return std::nullopt;
    return r;
}

void writeRecord(const QString &path, const FaxJobRecord &r)
{
    QSaveFile f(path);
    const QByteArray bytes = QJsonDocument(toJson(r)).toJson();
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        throw EFaxError(QStringLiteral("The fax service cannot write %1: %2").arg(path, f.errorString()));
}

bool validId(const QString &id)
{
    if (id.isEmpty() || id.size() > 32)
        return false;
    return std::all_of(id.begin(), id.end(),
                       [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; });
}

} // namespace

FaxStore::FaxStore(QString faxFolder, Clock &clock) : m_folder(std::move(faxFolder)), m_clock(&clock)
{
    if (!QDir().mkpath(queueFolder()) || !QDir().mkpath(archiveFolder()))
        throw EFaxError(QStringLiteral("The fax service cannot keep its files in %1").arg(m_folder));
}

std::vector<FaxJobRecord> FaxStore::read(const QString &folder) const
{
    std::vector<FaxJobRecord> out;
    const QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        // A record that is not ours (or half of one) is not a job.
        if (f.size() > kMaxRecordSize || !f.open(QIODevice::ReadOnly))
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
        if (!doc.isObject())
            continue;
        auto r = fromJson(doc.object());
        if (r && name == r->id + QStringLiteral(".json") && validId(r->id))
            out.push_back(std::move(*r));
    }
    return out;
}

std::vector<FaxJobRecord> FaxStore::queued() const
{
    auto jobs = read(queueFolder());
    std::stable_sort(jobs.begin(), jobs.end(), [](const FaxJobRecord &a, const FaxJobRecord &b) {
        return std::tie(a.scheduleTime, a.submissionTime, a.serial, a.sequence) <
               std::tie(b.scheduleTime, b.submissionTime, b.serial, b.sequence);
    });
    return jobs;
}

std::vector<FaxJobRecord> FaxStore::archived() const
{
    auto jobs = read(archiveFolder());
    std::stable_sort(jobs.begin(), jobs.end(), [](const FaxJobRecord &a, const FaxJobRecord &b) {
        return std::tie(a.submissionTime, a.serial, a.sequence) <
               std::tie(b.submissionTime, b.serial, b.sequence);
    });
    return jobs;
}

std::optional<FaxJobRecord> FaxStore::find(const QString &id, bool inArchive) const
{
    if (!validId(id))
        return std::nullopt;
    QFile f((inArchive ? archiveFolder() : queueFolder()) + QLatin1Char('/') + id + QStringLiteral(".json"));
    if (f.size() > kMaxRecordSize || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    return doc.isObject() ? fromJson(doc.object()) : std::nullopt;
}

QString FaxStore::tiffPath(const QString &id, bool inArchive) const
{
    return (inArchive ? archiveFolder() : queueFolder()) + QLatin1Char('/') + id + QStringLiteral(".tif");
}

QString FaxStore::newId() const
{
    for (;;) {
        const QString id = QStringLiteral("%1")
                               .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'))
                               .toUpper();
        if (!QFile::exists(tiffPath(id, false)) && !QFile::exists(tiffPath(id, true)))
            return id;
    }
}

void FaxStore::enqueue(const FaxJobRecord &record, const QString &tiff)
{
    const QString target = tiffPath(record.id, false);
    QFile::remove(target);
    if (!QFile::rename(tiff, target))
        throw EFaxError(QStringLiteral("The fax service cannot queue the job %1").arg(record.id));
    writeRecord(queueFolder() + QLatin1Char('/') + record.id + QStringLiteral(".json"), record);
}

void FaxStore::enqueueAll(const std::vector<std::pair<FaxJobRecord, QString>> &jobs)
{
    // Records are written under names the queue does not list, then named.
    QStringList written;
    const auto cleanUp = [&] {
        for (const QString &p : written)
            QFile::remove(p);
    };
    for (const auto &[record, tiff] : jobs) {
        const QString temp = queueFolder() + QStringLiteral("/.") + record.id + QStringLiteral(".json");
        QFile f(temp);
        const QByteArray bytes = QJsonDocument(toJson(record)).toJson();
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.flush()) {
            f.remove();
            cleanUp();
            throw EFaxError(QStringLiteral("The fax service cannot write %1: %2").arg(temp, f.errorString()));
        }
        written << temp;
    }
    bool flushed = false;
    const int fd = ::open(QFile::encodeName(queueFolder()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        flushed = ::syncfs(fd) == 0;
        ::close(fd);
    }
    for (size_t i = 0; i < jobs.size(); ++i) {
        const FaxJobRecord &record = jobs[i].first;
        const QString &temp = written[qsizetype(i)];
        if (!flushed) {
            for (const QString &p : {temp, jobs[i].second}) {
                QFile f(p);
                if (!f.open(QIODevice::ReadWrite) || ::fdatasync(f.handle()) != 0) {
                    cleanUp();
                    throw EFaxError(QStringLiteral("The fax service cannot write %1").arg(p));
                }
            }
        }
        const QString target = tiffPath(record.id, false);
        QFile::remove(target);
        if (!QFile::rename(jobs[i].second, target) ||
            ::rename(QFile::encodeName(temp).constData(),
                     QFile::encodeName(queueFolder() + QLatin1Char('/') + record.id + QStringLiteral(".json"))
                         .constData()) != 0) {
            QFile::remove(target);
            cleanUp();
            throw EFaxError(QStringLiteral("The fax service cannot queue the job %1").arg(record.id));
        }
    }
}

bool FaxStore::cancel(const QString &id)
{
    if (!validId(id))
        return false;
    const bool removed = QFile::remove(queueFolder() + QLatin1Char('/') + id + QStringLiteral(".json"));
    QFile::remove(tiffPath(id, false));
    return removed;
}

QStringList FaxStore::sendDue()
{
    QStringList sent;
    const QDateTime now = m_clock->now();
    for (FaxJobRecord r : queued()) {
        if (r.scheduleTime > now)
            break;
        // Another process (the console, or the program) may be sending the
        // same job: whoever moves the pages first sends it.
        if (!QFile::rename(tiffPath(r.id, false), tiffPath(r.id, true)))
            continue;
        // A job whose time passed while nobody was running goes now.
        r.transmissionEnd = now;
        writeRecord(archiveFolder() + QLatin1Char('/') + r.id + QStringLiteral(".json"), r);
        QFile::remove(queueFolder() + QLatin1Char('/') + r.id + QStringLiteral(".json"));
        sent << r.id;
    }
    return sent;
}

std::optional<QDateTime> FaxStore::nextDue() const
{
    const auto jobs = queued();
    if (jobs.empty())
        return std::nullopt;
    return jobs.front().scheduleTime;
}
