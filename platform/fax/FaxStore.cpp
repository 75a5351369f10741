#include "platform/fax/FaxStore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
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

bool validId(std::string_view id)
{
    if (id.empty() || id.size() > 32)
        return false;
    return std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

// The job in a record file named <id>.json; anything else there is not one.
std::optional<FaxJobRecord> readRecord(const QString &path, const QString &name)
{
    QFile f(path);
    if (f.size() > kMaxRecordSize || !f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (!doc.isObject())
        return std::nullopt;
    auto r = fromJson(doc.object());
    if (r && name == r->id + QStringLiteral(".json") && validId(r->id))
        return r;
    return std::nullopt;
}

void sortArchived(std::vector<FaxJobRecord> &jobs)
{
    // The id only orders records that claim the same place, so the order
    // does not depend on how the folder or the index happens to list them.
    std::sort(jobs.begin(), jobs.end(), [](const FaxJobRecord &a, const FaxJobRecord &b) {
        return std::tie(a.submissionTime, a.serial, a.sequence, a.id) <
               std::tie(b.submissionTime, b.serial, b.sequence, b.id);
    });
}

// The archive index. A line is
//   checksum TAB inode TAB id TAB submission TAB sequence TAB serial TAB
//   submitted TAB scheduled TAB sent TAB faxNumber TAB recipient TAB sender
//   TAB document TAB subject TAB note TAB pages TAB priority NEWLINE
// with texts in UTF-8 (backslash, tab, newline and return escaped), times as
// the date, time and zone they were read with, the checksum over everything
// after its tab, and the inode of the record file the line stands for, so a
// record replaced since is noticed from the folder listing alone.

const QByteArray kIndexHeader = QByteArrayLiteral("brenvoy fax archive index 1\n");
constexpr int kIndexFields = 17;
// A line escapes no more than the record's JSON does, so one of ours never
// comes near this; a longer one is damage.
constexpr qsizetype kMaxIndexLine = 2 * kMaxRecordSize;

// Eight bytes a step: the index is read whole at every listing.
quint32 lineChecksum(std::string_view bytes)
{
    quint64 h = 0x9E3779B97F4A7C15ull ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        quint64 w;
        std::memcpy(&w, bytes.data() + i, 8);
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    quint64 w = 0;
    std::memcpy(&w, bytes.data() + i, bytes.size() - i);
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return quint32(h ^ (h >> 32));
}

void appendText(QByteArray &line, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    for (char c : utf8) {
        switch (c) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        default:
            line += c;
        }
    }
}

void appendTime(QByteArray &line, const QDateTime &t)
{
    if (!t.isValid())
        return;
    const auto dateAndTime = [&] {
        line += QByteArray::number(t.date().toJulianDay()) + ':' +
                QByteArray::number(t.time().msecsSinceStartOfDay());
    };
    switch (t.timeSpec()) {
    case Qt::LocalTime:
        line += 'L';
        dateAndTime();
        break;
    case Qt::UTC:
        line += 'U';
        dateAndTime();
        break;
    case Qt::OffsetFromUTC:
        line += 'O';
        dateAndTime();
        line += ':' + QByteArray::number(t.offsetFromUtc());
        break;
    default:
        line += 'S';
        appendText(line, t.toString(Qt::ISODateWithMs));
    }
}

QByteArray indexLine(const FaxJobRecord &r, quint64 inode)
{
    QByteArray payload = QByteArray::number(inode);
    const auto text = [&](const QString &t) {
        payload += '\t';
        appendText(payload, t);
    };
    const auto number = [&](qint64 n) { payload += '\t' + QByteArray::number(n); };
    const auto time = [&](const QDateTime &t) {
        payload += '\t';
        appendTime(payload, t);
    };
    text(r.id);
    text(r.submissionId);
    number(r.sequence);
    number(r.serial);
    time(r.submissionTime);
    time(r.scheduleTime);
    time(r.transmissionEnd);
    text(r.recipient.FaxNumber);
    text(r.recipient.Name);
    text(r.senderName);
    text(r.documentName);
    text(r.subject);
    text(r.note);
    number(r.pages);
    number(r.priority);
    const quint32 sum = lineChecksum(std::string_view(payload.constData(), size_t(payload.size())));
    return QByteArray::number(sum, 16).rightJustified(8, '0') + '\t' + payload + '\n';
}

template <class Int> bool parseNumber(std::string_view s, Int &out)
{
    const char *end = s.data() + s.size();
    const auto [p, ec] = std::from_chars(s.data(), end, out);
    return !s.empty() && ec == std::errc() && p == end;
}

// Reads index lines back into records. The jobs of one submission share
// most of their texts and times, so a field equal to the line before's is
// taken from it rather than decoded again.
class IndexLineParser {
public:
    struct Entry {
        FaxJobRecord record;
        quint64 inode = 0;
        std::string_view id; // into the line
    };

    // Nothing for a line that is damaged or not one of ours.
    std::optional<Entry> parse(std::string_view line)
    {
        std::array<std::string_view, kIndexFields> f;
        int n = 0;
        for (size_t start = 0;;) {
            const size_t tab = line.find('\t', start);
            if (n == kIndexFields)
                return std::nullopt;
            f[size_t(n++)] = line.substr(start, tab == std::string_view::npos ? tab : tab - start);
            if (tab == std::string_view::npos)
                break;
            start = tab + 1;
        }
        quint32 sum = 0;
        if (n != kIndexFields || f[0].size() != 8 ||
            std::from_chars(f[0].data(), f[0].data() + 8, sum, 16).ptr != f[0].data() + 8 ||
            sum != lineChecksum(line.substr(9)))
            return std::nullopt;

        Entry e;
        FaxJobRecord &r = e.record;
        bool ok = parseNumber(f[1], e.inode) && validId(f[2]) && parseNumber(f[4], r.sequence) &&
                  parseNumber(f[5], r.serial) && parseNumber(f[15], r.pages) &&
                  parseNumber(f[16], r.priority);
        e.id = f[2];
        r.id = QString::fromLatin1(f[2].data(), qsizetype(f[2].size()));
        r.submissionId = text(3, f[3], ok);
        r.submissionTime = time(6, f[6], ok);
        r.scheduleTime = time(7, f[7], ok);
        r.transmissionEnd = f[8].empty() ? QDateTime() : time(8, f[8], ok);
        r.recipient.FaxNumber = text(9, f[9], ok);
        r.recipient.Name = text(10, f[10], ok);
        r.senderName = text(11, f[11], ok);
        r.documentName = text(12, f[12], ok);
        r.subject = text(13, f[13], ok);
        r.note = text(14, f[14], ok);
        if (!ok || !r.submissionTime.isValid() || !r.scheduleTime.isValid() ||
            (!f[8].empty() && !r.transmissionEnd.isValid()))
            return std::nullopt;
        return e;
    }

private:
    std::array<std::string, kIndexFields> m_raw;
    std::array<QString, kIndexFields> m_text;
    std::array<QDateTime, kIndexFields> m_time;
    std::string m_unescaped;

    QString text(int field, std::string_view raw, bool &ok)
    {
        std::string &last = m_raw[size_t(field)];
        if (raw == last)
            return m_text[size_t(field)];
        QString t;
        if (raw.find('\\') == std::string_view::npos) {
            t = QString::fromUtf8(raw.data(), qsizetype(raw.size()));
        } else {
            m_unescaped.clear();
            for (size_t i = 0; i < raw.size(); ++i) {
                if (raw[i] != '\\') {
                    m_unescaped += raw[i];
                    continue;
                }
                const char c = ++i < raw.size() ? raw[i] : '\0';
                if (c == '\\' || c == 't' || c == 'n' || c == 'r') {
                    m_unescaped += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : '\\';
                } else {
                    ok = false;
                    return {};
                }
            }
            t = QString::fromUtf8(m_unescaped.data(), qsizetype(m_unescaped.size()));
        }
        last.assign(raw);
        m_text[size_t(field)] = t;
        return t;
    }

    QDateTime time(int field, std::string_view raw, bool &ok)
    {
        std::string &last = m_raw[size_t(field)];
        if (raw == last && !last.empty())
            return m_time[size_t(field)];
        QDateTime t;
        if (!raw.empty() && raw[0] == 'S') {
            t = QDateTime::fromString(text(field, raw.substr(1), ok), Qt::ISODateWithMs);
            // text() kept the field's raw bytes without the tag.
            last.assign(raw);
        } else if (!raw.empty() && (raw[0] == 'L' || raw[0] == 'U' || raw[0] == 'O')) {
            std::string_view rest = raw.substr(1);
            const size_t c1 = rest.find(':');
            const size_t c2 = rest.find(':', c1 == std::string_view::npos ? c1 : c1 + 1);
            qint64 day = 0;
            int ms = -1, offset = 0;
            const bool hasOffset = raw[0] == 'O';
            if (c1 == std::string_view::npos || (c2 != std::string_view::npos) != hasOffset ||
                !parseNumber(rest.substr(0, c1), day) ||
                !parseNumber(rest.substr(c1 + 1, hasOffset ? c2 - c1 - 1 : std::string_view::npos), ms) ||
                (hasOffset && !parseNumber(rest.substr(c2 + 1), offset)) || ms < 0 || ms >= 86400000 ||
                offset < -14 * 3600 || offset > 14 * 3600) {
                ok = false;
                return {};
            }
            const QDate date = QDate::fromJulianDay(day);
            const QTime clock = QTime::fromMSecsSinceStartOfDay(ms);
            t = raw[0] == 'L'   ? QDateTime(date, clock, Qt::LocalTime)
                : raw[0] == 'U' ? QDateTime(date, clock, Qt::UTC)
                                : QDateTime(date, clock, Qt::OffsetFromUTC, offset);
            last.assign(raw);
        } else {
            ok = false;
            return {};
        }
        m_time[size_t(field)] = t;
        return t;
    }
};

// Hands each whole line after the header to take, reading the file in
// pieces. False when the file is not a sound index: another header, a line
// past the bound (skipped), or a last line cut short while being written.
template <class Take> bool forEachIndexLine(QFile &index, Take take)
{
    const std::string_view header(kIndexHeader.constData(), size_t(kIndexHeader.size() - 1));
    std::string buffer;
    std::vector<char> piece(1 << 20);
    bool sound = true, atHeader = true, skipping = false;
    for (qint64 got; (got = index.read(piece.data(), qint64(piece.size()))) > 0;) {
        buffer.append(piece.data(), size_t(got));
        size_t start = 0;
        for (size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1) {
            const std::string_view line(buffer.data() + start, nl - start);
            if (atHeader) {
                if (line != header)
                    return false;
                atHeader = false;
            } else if (skipping) {
                skipping = false;
            } else {
                take(line);
            }
        }
        buffer.erase(0, start);
        if (qsizetype(buffer.size()) > kMaxIndexLine) {
            sound = false;
            skipping = true;
            buffer.clear();
        }
    }
    return sound && !atHeader && buffer.empty();
}

struct RecordName {
    std::string id;
    quint64 inode;
};

// The ids of the record files in the folder, by one pass over its entries.
bool listRecordNames(const QString &folder, std::vector<RecordName> &out)
{
    DIR *dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    while (const dirent *e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        constexpr std::string_view suffix = ".json";
        if (name.size() <= suffix.size() || name.substr(name.size() - suffix.size()) != suffix)
            continue;
        const std::string_view id = name.substr(0, name.size() - suffix.size());
        if (validId(id))
            out.push_back({std::string(id), quint64(e->d_ino)});
    }
    ::closedir(dir);
    return true;
}

quint64 inodeOf(const QString &path)
{
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? quint64(st.st_ino) : 0;
}

// Adds the line of a job just archived, in one write so that lines of
// processes archiving at once do not interleave. The index is a cache: a
// line that cannot be written is made good by the next listing.
void appendToIndex(const QString &indexPath, const QByteArray &line)
{
    const int fd =
        ::open(QFile::encodeName(indexPath).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    struct stat st;
    const QByteArray bytes = ::fstat(fd, &st) == 0 && st.st_size == 0 ? kIndexHeader + line : line;
    [[maybe_unused]] const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
    ::close(fd);
}

// Replaces the index with the lines of these jobs, under a temporary name
// first so a reader never sees half of it.
void writeIndex(const QString &indexPath, const std::vector<FaxJobRecord> &jobs,
                const std::vector<quint64> &inodes)
{
    QTemporaryFile tmp(indexPath + QStringLiteral(".XXXXXX"));
    if (!tmp.open())
        return;
    QByteArray chunk = kIndexHeader;
    for (size_t i = 0; i < jobs.size(); ++i) {
        chunk += indexLine(jobs[i], inodes[i]);
        if (chunk.size() >= (1 << 20)) {
            if (tmp.write(chunk) != chunk.size())
                return;
            chunk.clear();
        }
    }
    if (tmp.write(chunk) != chunk.size() || !tmp.flush())
        return;
    if (::rename(QFile::encodeName(tmp.fileName()).constData(), QFile::encodeName(indexPath).constData()) ==
        0)
        tmp.setAutoRemove(false);
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
        // A record that is not ours (or half of one) is not a job.
        if (auto r = readRecord(dir.filePath(name), name))
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
    const QString folder = archiveFolder();
    std::vector<RecordName> names;
    if (!listRecordNames(folder, names)) {
        auto jobs = read(folder);
        sortArchived(jobs);
        return jobs;
    }
    std::unordered_map<std::string_view, size_t> byId;
    byId.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i)
        byId.emplace(names[i].id, i);
    std::vector<char> indexed(names.size(), 0);

    std::vector<FaxJobRecord> jobs;
    std::vector<quint64> inodes;
    jobs.reserve(names.size());
    inodes.reserve(names.size());
    // Set when the index differs from the folder and is to be rewritten.
    bool mend = false;

    QFile index(archiveIndexPath());
    const qint64 sizeBound = qint64(names.size() + 1) * kMaxIndexLine;
    if (!index.open(QIODevice::ReadOnly)) {
        mend = true;
    } else if (index.size() > sizeBound) {
        mend = true; // not an index of this folder: built again from the records
    } else {
        IndexLineParser parser;
        const auto takeLine = [&](std::string_view line) {
            auto e = parser.parse(line);
            const auto at = e ? byId.find(e->id) : byId.end();
            // A damaged line, a job no longer in the folder, one listed twice,
            // or a record replaced since its line was written.
            if (at == byId.end() || indexed[at->second] || names[at->second].inode != e->inode) {
                mend = true;
                return;
            }
            indexed[at->second] = 1;
            jobs.push_back(std::move(e->record));
            inodes.push_back(e->inode);
        };
        if (!forEachIndexLine(index, takeLine))
            mend = true;
    }

    // Jobs the index does not name are read from their records.
    for (size_t i = 0; i < names.size(); ++i) {
        if (indexed[i])
            continue;
        const QString name =
            QString::fromLatin1(names[i].id.data(), qsizetype(names[i].id.size())) + QStringLiteral(".json");
        if (auto r = readRecord(folder + QLatin1Char('/') + name, name)) {
            jobs.push_back(std::move(*r));
            inodes.push_back(names[i].inode);
            mend = true;
        }
    }

    std::vector<size_t> order(jobs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const FaxJobRecord &x = jobs[a], &y = jobs[b];
        return std::tie(x.submissionTime, x.serial, x.sequence, x.id) <
               std::tie(y.submissionTime, y.serial, y.sequence, y.id);
    });
    // Put in that order where they are: a second vector of 100,000 records
    // costs more than the moves.
    for (size_t i = 0; i < order.size(); ++i) {
        if (order[i] == i)
            continue;
        FaxJobRecord job = std::move(jobs[i]);
        const quint64 inode = inodes[i];
        size_t j = i;
        while (order[j] != i) {
            const size_t from = order[j];
            jobs[j] = std::move(jobs[from]);
            inodes[j] = inodes[from];
            order[j] = j;
            j = from;
        }
        jobs[j] = std::move(job);
        inodes[j] = inode;
        order[j] = j;
    }
    if (mend)
        writeIndex(archiveIndexPath(), jobs, inodes);
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
        const QString archived = archiveFolder() + QLatin1Char('/') + r.id + QStringLiteral(".json");
        writeRecord(archived, r);
        // The line holds the record as read back, so a listing from the
        // index is exactly a listing from the records.
        if (const auto written = readRecord(archived, r.id + QStringLiteral(".json")))
            appendToIndex(archiveIndexPath(), indexLine(*written, inodeOf(archived)));
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
