#include "platform/mail/MaildirStore.h"

#include "platform/mail/MailError.h"
#include "platform/mail/MailMessage.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#include <QSysInfo>
#include <QTimeZone>
#include <atomic>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <future>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *kIndexFile = "brenvoy-index";
const char *kStateFile = "brenvoy-state";

qint64 dirStamp(const QString &path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return -2;
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

QStringList listDir(const QString &path)
{
    QStringList out;
    DIR *d = ::opendir(QFile::encodeName(path).constData());
    if (!d)
        return out;
    while (dirent *e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        out << QFile::decodeName(e->d_name);
    }
    ::closedir(d);
    return out;
}

QString escapeField(const QString &s)
{
    QString out = s;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    out.replace(QChar(0x1f), QLatin1String("\\u"));
    return out;
}

QString unescapeField(QStringView s)
{
    if (!s.contains(QLatin1Char('\\')))
        return s.toString();
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\') && i + 1 < s.size()) {
            const QChar n = s[++i];
            out += n == QLatin1Char('t')   ? QChar(u'\t')
                   : n == QLatin1Char('n') ? QChar(u'\n')
                   : n == QLatin1Char('r') ? QChar(u'\r')
                   : n == QLatin1Char('u') ? QChar(0x1f)
                                           : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

// A field of an index line: most hold no escapes and plain ASCII.
QString indexField(QByteArrayView bytes)
{
    if (!bytes.contains('\\'))
        return QString::fromUtf8(bytes);
    return unescapeField(QString::fromUtf8(bytes));
}

// One line per message, tab-separated:
//   id, time (seconds since 1970, empty for none), To, Subject, From, size,
//   attachments (their count, then each name after a 0x1f).
// Lines of four fields come from stores written before the details were
// kept; their messages are read once more and the index written anew.
QByteArray indexLine(const QString &id, const MessageSummary &s)
{
    QString atts = QString::number(s.attachments.size());
    for (const QString &a : s.attachments)
        atts += QChar(0x1f) + escapeField(a);
    return (id + QLatin1Char('\t') +
            (s.time.isValid() ? QString::number(s.time.toSecsSinceEpoch()) : QString()) + QLatin1Char('\t') +
            escapeField(s.to) + QLatin1Char('\t') + escapeField(s.subject) + QLatin1Char('\t') +
            escapeField(s.from) + QLatin1Char('\t') + QString::number(std::max<qint64>(s.size, 0)) +
            QLatin1Char('\t') + atts + QLatin1Char('\n'))
        .toUtf8();
}

// Parses one index line; false for a line that is not one.
// The sender is nearly always the same account: its text is shared
// between the lines that have it (lastFrom).
bool parseIndexLine(QByteArrayView line, MessageSummary &s, QString &lastFrom)
{
    constexpr qsizetype kCols = 7;
    QByteArrayView cols[kCols];
    qsizetype n = 0, from = 0;
    for (qsizetype i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == '\t') {
            if (n == kCols)
                return false;
            cols[n++] = line.sliced(from, i - from);
            from = i + 1;
        }
    }
    if ((n != 4 && n != kCols) || cols[0].isEmpty())
        return false;
    s.id = QString::fromUtf8(cols[0]);
    bool ok = false;
    const qint64 t = cols[1].toLongLong(&ok);
    // Four-field lines wrote -1 for no time; now no time is an empty field,
    // and times before 1970 are kept. UTC: local time costs a zone lookup.
    if (ok && (n == kCols || t >= 0))
        s.time = QDateTime::fromSecsSinceEpoch(t, Qt::UTC); // a zone object would cost an allocation each
    s.to = indexField(cols[2]);
    s.subject = indexField(cols[3]);
    if (n == 4)
        return true;
    s.from = indexField(cols[4]);
    if (s.from == lastFrom)
        s.from = lastFrom;
    else
        lastFrom = s.from;
    s.size = cols[5].toLongLong(&ok);
    if (!ok || s.size < 0)
        s.size = 0;
    const QByteArrayView atts = cols[6];
    const qsizetype sep = atts.indexOf('\x1f');
    const qint64 count = (sep < 0 ? atts : atts.first(sep)).toLongLong(&ok);
    // The count says what follows; the names themselves bound the list.
    if (!ok || count < 0 || count > atts.size())
        return false;
    if (count > 0) {
        if (sep < 0)
            return false;
        QByteArrayView rest = atts.sliced(sep + 1);
        for (qint64 k = 0; k < count; ++k) {
            const qsizetype cut = rest.indexOf('\x1f');
            if ((cut < 0) != (k == count - 1))
                return false;
            s.attachments.append(indexField(cut < 0 ? rest : rest.first(cut)));
            if (cut >= 0)
                rest = rest.sliced(cut + 1);
        }
    }
    s.detailed = true;
    return true;
}

// Fills what the store keeps of a message from its bytes; an unreadable
// message is listed with what is known.
void detailFrom(const QByteArray &bytes, StoreFolder folder, MessageSummary &s, bool headersToo)
{
    s.size = bytes.size();
    s.detailed = true;
    try {
        const Mime::MailOutline o = Mime::outline(bytes);
        s.from = o.from;
        s.attachments = o.attachments;
        if (headersToo) {
            s.to = o.to;
            s.subject = o.subject;
            s.time =
                folder != StoreFolder::Outbox && o.delivered.isValid() ? o.delivered.toUTC() : o.date.toUTC();
        }
    } catch (const MailError &) {
    }
}

// Store order is the order of arrival: Maildir names begin with the
// seconds of their delivery, ours then with ".M" and the microseconds. The
// key orders by that time; names of the same time order by their text.
using StoreKey = quint64;
StoreKey storeKey(QByteArrayView id)
{
    quint64 secs = 0, micros = 0;
    qsizetype i = 0;
    for (; i < id.size() && i < 12 && id[i] >= '0' && id[i] <= '9'; ++i)
        secs = secs * 10 + quint64(id[i] - '0');
    if (i == 0)
        return std::numeric_limits<StoreKey>::max();
    if (i + 1 < id.size() && id[i] == '.' && id[i + 1] == 'M') {
        qsizetype j = i + 2, digits = 0;
        for (; j < id.size() && digits < 6 && id[j] >= '0' && id[j] <= '9'; ++j, ++digits)
            micros = micros * 10 + quint64(id[j] - '0');
        for (; digits < 6; ++digits)
            micros *= 10;
    }
    return secs * 1000000 + micros;
}

QByteArray readLimited(const QString &path, qint64 limit)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw MailError(QStringLiteral("Cannot read %1").arg(path));
    if (f.size() > limit)
        throw MailError(QStringLiteral("%1 is too large").arg(path));
    return f.read(limit);
}

void writeAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size() || !f.commit())
        throw MailError(QStringLiteral("Cannot write %1").arg(path));
}

QString stateName(OutboxState s)
{
    switch (s) {
    case OutboxState::Draft:
        return QStringLiteral("draft");
    case OutboxState::Refused:
        return QStringLiteral("refused");
    case OutboxState::Queued:
        break;
    }
    return QStringLiteral("queued");
}

} // namespace

QString uniqueStoreName()
{
    using namespace std::chrono;
    static std::atomic<qint64> last{0};
    qint64 now = duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    qint64 prev = last.load();
    qint64 next;
    do {
        next = std::max(now, prev + 1);
    } while (!last.compare_exchange_weak(prev, next));
    static const QString host = [] {
        QString h = QSysInfo::machineHostName();
        h.replace(QLatin1Char('/'), QLatin1String("\\057")).replace(QLatin1Char(':'), QLatin1String("\\072"));
        return h.isEmpty() ? QStringLiteral("localhost") : h;
    }();
    return QStringLiteral("%1.M%2P%3.%4")
        .arg(next / 1000000, 10, 10, QLatin1Char('0'))
        .arg(next % 1000000, 6, 10, QLatin1Char('0'))
        .arg(::getpid())
        .arg(host);
}

MaildirStore::MaildirStore(QString root) : m_root(std::move(root))
{
    for (const QString &f : {folderPath(StoreFolder::Outbox), folderPath(StoreFolder::SentItems),
                             folderPath(StoreFolder::DeletedItems), folderPath(StoreFolder::Inbox)})
        for (const char *sub : {"tmp", "new", "cur"})
            if (!QDir().mkpath(f + "/" + sub))
                throw MailError(QStringLiteral("Cannot create the mail folder %1").arg(f));
    if (!QDir().mkpath(contactsPath()))
        throw MailError(QStringLiteral("Cannot create the contacts folder %1").arg(contactsPath()));
    // Maildir++ marks a subfolder with this file.
    for (StoreFolder f : {StoreFolder::Outbox, StoreFolder::SentItems, StoreFolder::DeletedItems}) {
        QFile marker(folderPath(f) + "/maildirfolder");
        if (!marker.exists())
            marker.open(QIODevice::WriteOnly);
    }
}

QString MaildirStore::folderPath(StoreFolder folder) const
{
    switch (folder) {
    case StoreFolder::Outbox:
        return m_root + "/Maildir/.Outbox";
    case StoreFolder::SentItems:
        return m_root + "/Maildir/.Sent";
    case StoreFolder::DeletedItems:
        return m_root + "/Maildir/.Trash";
    case StoreFolder::Inbox:
        break;
    }
    return m_root + "/Maildir";
}

QString MaildirStore::contactsPath() const
{
    return m_root + "/Contacts";
}

MaildirStore::Listing &MaildirStore::listing(StoreFolder folder)
{
    Listing &l = m_listings[int(folder)];
    const QString base = folderPath(folder);
    const qint64 curStamp = dirStamp(base + "/cur"), newStamp = dirStamp(base + "/new");
    if (curStamp == l.curStamp && newStamp == l.newStamp)
        return l;

    // The folder's file names, all in one buffer: a large folder costs no
    // allocation per file.
    struct File {
        StoreKey key;
        quint32 offset;
        quint16 length, idLength;
        bool inNew;
    };
    QByteArray names;
    std::vector<File> files;
    for (const char *sub : {"cur", "new"}) {
        DIR *d = ::opendir(QFile::encodeName(base + "/" + sub).constData());
        if (!d)
            continue;
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            const qsizetype len = qsizetype(strlen(e->d_name));
            if (len > 0xFFFF || names.size() + len > std::numeric_limits<quint32>::max())
                continue; // no Maildir name is this long
            const char *colon = static_cast<const char *>(memchr(e->d_name, ':', size_t(len)));
            const auto idLen = quint16(colon ? colon - e->d_name : len);
            files.push_back({storeKey(QByteArrayView(e->d_name, idLen)), quint32(names.size()), quint16(len),
                             idLen, sub[0] == 'n'});
            names.append(e->d_name, len);
        }
        ::closedir(d);
    }
    auto fileId = [&](const File &f) { return QByteArrayView(names).sliced(f.offset, f.idLength); };
    auto fileName = [&](const File &f) { return QByteArrayView(names).sliced(f.offset, f.length); };
    std::sort(files.begin(), files.end(), [&](const File &x, const File &y) {
        return x.key != y.key ? x.key < y.key : fileId(x) < fileId(y);
    });

    // The index, in the order its lines were written; a later line for the
    // same id (a rewritten message) wins.
    struct Entry {
        StoreKey key;
        QByteArrayView id;
        qsizetype summary;
    };
    std::vector<MessageSummary> summaries;
    std::vector<Entry> entries;
    QByteArray text;
    bool rewrite = false;
    {
        QFile f(base + "/" + kIndexFile);
        if (f.open(QIODevice::ReadOnly) && f.size() <= kMaxIndexBytes) {
            text = f.readAll();
            summaries.reserve(files.size());
            entries.reserve(files.size());
            qsizetype from = 0;
            QString lastFrom;
            while (from < text.size()) {
                qsizetype end = text.indexOf('\n', from);
                if (end < 0)
                    end = text.size(); // a line cut short by a crash is not trusted
                const QByteArrayView line = QByteArrayView(text).sliced(from, end - from);
                const bool complete = end < text.size();
                from = end + 1;
                if (line.isEmpty())
                    continue;
                MessageSummary s;
                if (!complete || !parseIndexLine(line, s, lastFrom)) {
                    rewrite = true;
                    continue;
                }
                const QByteArrayView id = line.first(line.indexOf('\t'));
                entries.push_back({storeKey(id), id, qsizetype(summaries.size())});
                summaries.push_back(std::move(s));
            }
        } else if (f.exists()) {
            rewrite = true;
        }
    }
    auto entryLess = [](const Entry &x, const Entry &y) {
        return x.key != y.key ? x.key < y.key : x.id < y.id;
    };
    // Lines are written in store order; only other writers interleave them.
    if (!std::is_sorted(entries.begin(), entries.end(), entryLess))
        std::stable_sort(entries.begin(), entries.end(), entryLess);

    QList<MessageSummary> items;
    items.reserve(qsizetype(files.size()));
    QHash<QString, QString> odd;
    QByteArray additions;
    size_t next = 0, used = 0;
    const QByteArrayView flags = folder == StoreFolder::SentItems ? ":2,S" : ":2,";
    for (const File &file : files) {
        const QByteArrayView id = fileId(file);
        const Entry probe{file.key, id, 0};
        while (next < entries.size() && entryLess(entries[next], probe))
            ++next;
        // The last of equal ids is the latest line.
        size_t found = entries.size();
        while (next < entries.size() && entries[next].key == file.key && entries[next].id == id)
            found = next++;
        const QByteArrayView name = fileName(file);
        const bool standard = file.inNew ? name.size() == id.size() : name.sliced(id.size()) == flags;
        if (!standard)
            odd.insert(QString::fromUtf8(id), (file.inNew ? QStringLiteral("new/") : QStringLiteral("cur/")) +
                                                  QString::fromUtf8(name));
        if (found < entries.size() && summaries[size_t(entries[found].summary)].detailed) {
            items.append(std::move(summaries[size_t(entries[found].summary)]));
            ++used;
            continue;
        }
        MessageSummary s;
        if (found < entries.size()) {
            s = std::move(summaries[size_t(entries[found].summary)]);
            rewrite = true; // the index gets the details it lacked
        }
        s.id = QString::fromUtf8(id);
        const QString path =
            base + (file.inNew ? QStringLiteral("/new/") : QStringLiteral("/cur/")) + QString::fromUtf8(name);
        try {
            detailFrom(readLimited(path, kMaxMessageBytes), folder, s, found >= entries.size());
        } catch (const MailError &) {
            // Listed with what is known; the item itself reports the fault.
            s.detailed = true;
        }
        items.append(s);
        additions += indexLine(s.id, s);
    }
    // Lines of removed or rewritten messages make the index be written anew.
    if (rewrite || used != entries.size()) {
        QByteArray all;
        all.reserve(text.size() + additions.size());
        for (const MessageSummary &s : items)
            all += indexLine(s.id, s);
        try {
            writeAtomically(base + "/" + kIndexFile, all);
        } catch (const MailError &) {
        }
    } else if (!additions.isEmpty()) {
        QFile f(base + "/" + kIndexFile);
        if (f.open(QIODevice::Append))
            f.write(additions);
    }
    l.items = std::move(items);
    l.oddFiles = std::move(odd);
    l.curStamp = curStamp;
    l.newStamp = newStamp;
    return l;
}

QList<MessageSummary> MaildirStore::messages(StoreFolder folder)
{
    std::lock_guard lock(m_mutex);
    return listing(folder).items;
}

QString MaildirStore::messageFile(StoreFolder folder, const QString &id)
{
    const QString base = folderPath(folder);
    for (const QString &guess : {"/cur/" + id + ":2,", "/cur/" + id + ":2,S", "/new/" + id})
        if (QFile::exists(base + guess))
            return base + guess;
    const Listing &l = listing(folder);
    auto it = l.oddFiles.constFind(id);
    if (it == l.oddFiles.cend())
        throw MailError(QStringLiteral("The message %1 is not in the folder").arg(id));
    return base + "/" + *it;
}

QByteArray MaildirStore::readMessage(StoreFolder folder, const QString &id)
{
    std::lock_guard lock(m_mutex);
    return readLimited(messageFile(folder, id), kMaxMessageBytes);
}

void MaildirStore::appendIndex(StoreFolder folder, const QString &id, const MessageSummary &s)
{
    QFile f(folderPath(folder) + "/" + kIndexFile);
    if (f.open(QIODevice::Append))
        f.write(indexLine(id, s));
}

QString MaildirStore::addMessage(StoreFolder folder, const QByteArray &message, const MessageSummary &given)
{
    std::lock_guard lock(m_mutex);
    return place(folder, message, given, m_batchDepth > 0 ? Placing::Batch : Placing::Synced);
}

QString MaildirStore::place(StoreFolder folder, const QByteArray &message, const MessageSummary &given,
                            Placing how)
{
    MessageSummary summary = given;
    if (!summary.detailed)
        detailFrom(message, folder, summary, false);
    summary.size = message.size();
    const QString id = uniqueStoreName();
    const QString base = folderPath(folder);
    const QString tmp = base + "/tmp/" + id;
    {
        QFile f(tmp);
        // On disk before it is named in cur/: after a crash the mail is
        // there whole or not at all. A batch flushes once for all.
        if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size() || !f.flush() ||
            (how == Placing::Synced && ::fdatasync(f.handle()) != 0)) {
            f.remove();
            throw MailError(QStringLiteral("Cannot store the message in %1").arg(base));
        }
    }
    // The index line goes first: a listing that sees the file finds its line.
    appendIndex(folder, id, summary);
    const QString dest = base + "/cur/" + id + (folder == StoreFolder::SentItems ? ":2,S" : ":2,");
    if (how == Placing::Batch) {
        m_pending.append({tmp, dest});
        return id;
    }
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(dest).constData()) != 0) {
        QFile::remove(tmp);
        throw MailError(QStringLiteral("Cannot store the message in %1").arg(base));
    }
    return id;
}

QString MaildirStore::fileDelivered(const QString &outboxId, const QByteArray &message,
                                    const MessageSummary &summary)
{
    std::lock_guard lock(m_mutex);
    // The copy is named in Sent Items first, then the Outbox mail is marked
    // delivered (Maildir's "trashed" flag): from then on no delivery offers
    // it again, and it goes at the next flushDelivered.
    const QString id = place(StoreFolder::SentItems, message, summary, Placing::Unsynced);
    const QString from = messageFile(StoreFolder::Outbox, outboxId);
    const QString to = folderPath(StoreFolder::Outbox) + "/cur/" + outboxId + ":2,T";
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        throw MailError(QStringLiteral("Cannot move the message %1 out of the Outbox").arg(outboxId));
    QHash<QString, OutboxStatus> states = readStates();
    if (states.remove(outboxId))
        writeStates(states);
    return id;
}

void MaildirStore::flushDelivered(bool wait)
{
    std::lock_guard lock(m_mutex);
    // The removals of the previous group ran beside the deliveries since.
    if (m_removal.valid())
        m_removal.get();
    const QString base = folderPath(StoreFolder::Outbox);
    QStringList delivered;
    for (const char *sub : {"cur", "new"})
        for (const QString &name : listDir(base + "/" + sub)) {
            // The flags follow ":2,"; T is Maildir's "trashed".
            const qsizetype flags = name.lastIndexOf(QLatin1String(":2,"));
            if (flags >= 0 && name.indexOf(QLatin1Char('T'), flags + 3) >= 0)
                delivered << base + "/" + sub + "/" + name;
        }
    if (delivered.isEmpty())
        return;
    // Their copies in Sent Items reach the disk before they leave the Outbox:
    // after a power cut a delivered mail may wait to go again, but it is
    // never lost.
    const int fd = ::open(QFile::encodeName(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool flushed = fd >= 0 && ::syncfs(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!flushed)
        return; // kept, marked, until a flush succeeds
    // Removing files is slow on some file systems; it overlaps the next
    // mails' exchange with the server instead of holding it up.
    m_removal = std::async(std::launch::async, [delivered] {
        for (const QString &path : delivered)
            ::unlink(QFile::encodeName(path).constData());
    });
    if (wait)
        m_removal.get();
}

void MaildirStore::beginBatch()
{
    std::lock_guard lock(m_mutex);
    ++m_batchDepth;
}

void MaildirStore::commitBatch()
{
    std::lock_guard lock(m_mutex);
    if (m_batchDepth == 0 || --m_batchDepth > 0)
        return;
    const QList<std::pair<QString, QString>> pending = std::exchange(m_pending, {});
    if (pending.isEmpty())
        return;
    // One flush puts every message's content on disk before any is named.
    bool flushed = false;
    const int fd = ::open(QFile::encodeName(m_root).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        flushed = ::syncfs(fd) == 0;
        ::close(fd);
    }
    QString failed;
    for (const auto &[tmp, dest] : pending) {
        if (!flushed) {
            // Without the flush each one is flushed on its own.
            QFile f(tmp);
            if (!f.open(QIODevice::ReadWrite) || ::fdatasync(f.handle()) != 0) {
                QFile::remove(tmp);
                failed = failed.isEmpty() ? dest : failed;
                continue;
            }
        }
        if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(dest).constData()) != 0) {
            QFile::remove(tmp);
            failed = failed.isEmpty() ? dest : failed;
        }
    }
    if (!failed.isEmpty())
        throw MailError(QStringLiteral("Cannot store the message %1").arg(failed));
}

void MaildirStore::replaceMessage(StoreFolder folder, const QString &id, const QByteArray &message,
                                  const MessageSummary &given)
{
    std::lock_guard lock(m_mutex);
    MessageSummary summary = given;
    if (!summary.detailed)
        detailFrom(message, folder, summary, false);
    summary.size = message.size();
    writeAtomically(messageFile(folder, id), message);
    appendIndex(folder, id, summary); // the later line wins when the index is read
    m_listings[int(folder)].curStamp = -1;
}

void MaildirStore::removeMessage(StoreFolder folder, const QString &id)
{
    std::lock_guard lock(m_mutex);
    if (!QFile::remove(messageFile(folder, id)))
        throw MailError(QStringLiteral("Cannot remove the message %1").arg(id));
    if (folder == StoreFolder::Outbox) {
        QHash<QString, OutboxStatus> states = readStates();
        if (states.remove(id))
            writeStates(states);
    }
}

QHash<QString, OutboxStatus> MaildirStore::readStates()
{
    QHash<QString, OutboxStatus> out;
    QFile f(folderPath(StoreFolder::Outbox) + "/" + kStateFile);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QString text = QString::fromUtf8(f.read(kMaxContactBytes * 16));
    for (QStringView line : QStringView(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const auto cols = line.split(QLatin1Char('\t'));
        if (cols.size() < 2)
            continue;
        OutboxStatus s;
        s.state = cols[1] == QLatin1String("draft")     ? OutboxState::Draft
                  : cols[1] == QLatin1String("refused") ? OutboxState::Refused
                                                        : OutboxState::Queued;
        if (cols.size() > 2)
            s.reason = unescapeField(cols[2]);
        out.insert(cols[0].toString(), s);
    }
    return out;
}

void MaildirStore::writeStates(const QHash<QString, OutboxStatus> &states)
{
    QByteArray all;
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        all += (it.key() + QLatin1Char('\t') + stateName(it->state) + QLatin1Char('\t') +
                escapeField(it->reason) + QLatin1Char('\n'))
                   .toUtf8();
    writeAtomically(folderPath(StoreFolder::Outbox) + "/" + kStateFile, all);
}

OutboxStatus MaildirStore::outboxStatus(const QString &id)
{
    std::lock_guard lock(m_mutex);
    return readStates().value(id);
}

QHash<QString, OutboxStatus> MaildirStore::outboxStatuses()
{
    std::lock_guard lock(m_mutex);
    return readStates();
}

void MaildirStore::setOutboxStatus(const QString &id, const OutboxStatus &status)
{
    std::lock_guard lock(m_mutex);
    QLockFile lockFile(folderPath(StoreFolder::Outbox) + "/brenvoy-state.lock");
    lockFile.lock();
    QHash<QString, OutboxStatus> states = readStates();
    if (status.state == OutboxState::Queued && status.reason.isEmpty())
        states.remove(id);
    else
        states.insert(id, status);
    writeStates(states);
}

QStringList MaildirStore::contactIds()
{
    std::lock_guard lock(m_mutex);
    const qint64 stamp = dirStamp(contactsPath());
    if (stamp != m_contactsStamp) {
        QStringList ids;
        for (const QString &name : listDir(contactsPath()))
            if (name.endsWith(QLatin1String(".vcf")))
                ids << name.chopped(4);
        ids.sort();
        m_contactIds = ids;
        m_contactsStamp = stamp;
    }
    return m_contactIds;
}

QByteArray MaildirStore::readContact(const QString &id)
{
    std::lock_guard lock(m_mutex);
    return readLimited(contactsPath() + "/" + id + ".vcf", kMaxContactBytes);
}

QString MaildirStore::saveContact(const QString &id, const QByteArray &vcard)
{
    std::lock_guard lock(m_mutex);
    const QString name = id.isEmpty() ? uniqueStoreName() : id;
    if (name.contains(QLatin1Char('/')))
        throw MailError(QStringLiteral("Bad contact id %1").arg(name));
    writeAtomically(contactsPath() + "/" + name + ".vcf", vcard);
    return name;
}
