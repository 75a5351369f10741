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
#include <dirent.h>
#include <fcntl.h>
#include <future>
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
                                           : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

QByteArray indexLine(const QString &id, const MessageSummary &s)
{
    return (id + QLatin1Char('\t') + QString::number(s.time.isValid() ? s.time.toSecsSinceEpoch() : -1) +
            QLatin1Char('\t') + escapeField(s.to) + QLatin1Char('\t') + escapeField(s.subject) +
            QLatin1Char('\n'))
        .toUtf8();
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
    for (const QString &f :
         {folderPath(StoreFolder::Outbox), folderPath(StoreFolder::SentItems), m_root + "/Maildir"})
        for (const char *sub : {"tmp", "new", "cur"})
            if (!QDir().mkpath(f + "/" + sub))
                throw MailError(QStringLiteral("Cannot create the mail folder %1").arg(f));
    if (!QDir().mkpath(contactsPath()))
        throw MailError(QStringLiteral("Cannot create the contacts folder %1").arg(contactsPath()));
    // Maildir++ marks a subfolder with this file.
    for (StoreFolder f : {StoreFolder::Outbox, StoreFolder::SentItems}) {
        QFile marker(folderPath(f) + "/maildirfolder");
        if (!marker.exists())
            marker.open(QIODevice::WriteOnly);
    }
}

QString MaildirStore::folderPath(StoreFolder folder) const
{
    return m_root + (folder == StoreFolder::Outbox ? "/Maildir/.Outbox" : "/Maildir/.Sent");
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

    QHash<QString, QString> files;
    for (const char *sub : {"cur", "new"})
        for (const QString &name : listDir(base + "/" + sub)) {
            const QString id = name.section(QLatin1Char(':'), 0, 0);
            files.insert(id, QLatin1String(sub) + QLatin1Char('/') + name);
        }

    QHash<QString, MessageSummary> indexed;
    qsizetype indexLines = 0;
    {
        QFile f(base + "/" + kIndexFile);
        if (f.open(QIODevice::ReadOnly)) {
            const QString text = QString::fromUtf8(f.readAll());
            for (QStringView line : QStringView(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const auto cols = line.split(QLatin1Char('\t'));
                if (cols.size() != 4)
                    continue;
                MessageSummary s;
                s.id = cols[0].toString();
                const qint64 t = cols[1].toLongLong();
                if (t >= 0)
                    s.time = QDateTime::fromSecsSinceEpoch(
                        t, QTimeZone::utc()); // local time costs a zone lookup per call
                s.to = unescapeField(cols[2]);
                s.subject = unescapeField(cols[3]);
                indexed.insert(s.id, s);
                ++indexLines;
            }
        }
    }

    QList<MessageSummary> items;
    items.reserve(files.size());
    QByteArray additions;
    qsizetype matched = 0;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        auto found = indexed.constFind(it.key());
        if (found != indexed.cend()) {
            items.append(*found);
            ++matched;
            continue;
        }
        MessageSummary s;
        s.id = it.key();
        try {
            const MailMessage m = Mime::parse(readLimited(base + "/" + it.value(), kMaxMessageBytes));
            s.to = m.to;
            s.subject = m.subject;
            s.time = folder == StoreFolder::SentItems && m.delivered.isValid() ? m.delivered : m.date;
        } catch (const MailError &) {
            // Listed with empty headers; the item itself reports the fault.
        }
        items.append(s);
        additions += indexLine(s.id, s);
    }
    // Lines of removed or rewritten messages make the index be written anew.
    if (matched != indexLines) {
        QByteArray all;
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
    std::sort(items.begin(), items.end(),
              [](const MessageSummary &a, const MessageSummary &b) { return a.id < b.id; });
    l.items = std::move(items);
    l.fileOf = std::move(files);
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
    auto it = l.fileOf.constFind(id);
    if (it == l.fileOf.cend())
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

QString MaildirStore::addMessage(StoreFolder folder, const QByteArray &message, const MessageSummary &summary)
{
    std::lock_guard lock(m_mutex);
    return place(folder, message, summary, m_batchDepth > 0 ? Placing::Batch : Placing::Synced);
}

QString MaildirStore::place(StoreFolder folder, const QByteArray &message, const MessageSummary &summary,
                            Placing how)
{
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
                                  const MessageSummary &summary)
{
    std::lock_guard lock(m_mutex);
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
