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
//   id, time (seconds since 1970, -1 for none), To, Subject, From, size,
//   attachments (their count, then each name after a 0x1f), start of text.
// Lines of four fields come from stores written before the details were
// kept; their messages are read once more and the index written anew.
QByteArray indexLine(const QString &id, const MessageSummary &s)
{
    QString atts = QString::number(s.attachments.size());
    for (const QString &a : s.attachments)
        atts += QChar(0x1f) + escapeField(a);
    return (id + QLatin1Char('\t') + QString::number(s.time.isValid() ? s.time.toSecsSinceEpoch() : -1) +
            QLatin1Char('\t') + escapeField(s.to) + QLatin1Char('\t') + escapeField(s.subject) +
            QLatin1Char('\t') + escapeField(s.from) + QLatin1Char('\t') +
            QString::number(std::max<qint64>(s.size, 0)) + QLatin1Char('\t') + atts + QLatin1Char('\t') +
            escapeField(s.bodyStart) + QLatin1Char('\n'))
        .toUtf8();
}

// Parses one index line; false for a line that is not one.
bool parseIndexLine(QByteArrayView line, MessageSummary &s)
{
    QByteArrayView cols[8];
    qsizetype n = 0, from = 0;
    for (qsizetype i = 0; i <= line.size() && n < 9; ++i) {
        if (i == line.size() || line[i] == '\t') {
            if (n == 8)
                return false;
            cols[n++] = line.sliced(from, i - from);
            from = i + 1;
        }
    }
    if ((n != 4 && n != 8) || cols[0].isEmpty())
        return false;
    s.id = QString::fromUtf8(cols[0]);
    bool ok = false;
    const qint64 t = cols[1].toLongLong(&ok);
    if (ok && t >= 0)
        s.time =
            QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()); // local time costs a zone lookup per call
    s.to = indexField(cols[2]);
    s.subject = indexField(cols[3]);
    if (n == 4)
        return true;
    s.from = indexField(cols[4]);
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
    s.bodyStart = indexField(cols[7]);
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
        const Mime::MailOutline o = Mime::outline(bytes, MessageSummary::kBodyStartChars);
        s.from = o.from;
        s.attachments = o.attachments;
        s.bodyStart = o.bodyStart;
        if (headersToo) {
            s.to = o.to;
            s.subject = o.subject;
            s.time =
                folder != StoreFolder::Outbox && o.delivered.isValid() ? o.delivered.toUTC() : o.date.toUTC();
        }
    } catch (const MailError &) {
    }
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

    // The folder's files by id, in id order, which is the order they were
    // stored in. Names stay bytes until a message needs them.
    struct File {
        QByteArray id;
        QByteArray rel; // cur/... or new/...
    };
    std::vector<File> files;
    for (const char *sub : {"cur", "new"}) {
        DIR *d = ::opendir(QFile::encodeName(base + "/" + sub).constData());
        if (!d)
            continue;
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            const QByteArray name(e->d_name);
            const qsizetype colon = name.indexOf(':');
            files.push_back({colon < 0 ? name : name.left(colon), QByteArray(sub) + '/' + name});
        }
        ::closedir(d);
    }
    std::sort(files.begin(), files.end(), [](const File &a, const File &b) { return a.id < b.id; });

    // The index, in the order its lines were written; a later line for the
    // same id (a rewritten message) wins.
    std::vector<std::pair<QByteArray, MessageSummary>> indexed;
    bool rewrite = false;
    {
        QFile f(base + "/" + kIndexFile);
        if (f.open(QIODevice::ReadOnly) && f.size() <= kMaxIndexBytes) {
            const QByteArray text = f.readAll();
            indexed.reserve(size_t(files.size()));
            qsizetype from = 0;
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
                if (!complete || !parseIndexLine(line, s)) {
                    rewrite = true;
                    continue;
                }
                indexed.emplace_back(line.first(line.indexOf('\t')).toByteArray(), std::move(s));
            }
        } else if (f.exists()) {
            rewrite = true;
        }
    }
    std::stable_sort(indexed.begin(), indexed.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });

    QList<MessageSummary> items;
    items.reserve(qsizetype(files.size()));
    QHash<QString, QString> odd;
    QByteArray additions;
    size_t next = 0, used = 0;
    for (const File &file : files) {
        while (next < indexed.size() && indexed[next].first < file.id)
            ++next;
        // The last of equal ids is the latest line.
        size_t found = indexed.size();
        while (next < indexed.size() && indexed[next].first == file.id)
            found = next++;
        const QString id = QString::fromUtf8(file.id);
        const QByteArray standard = "cur/" + file.id + (folder == StoreFolder::SentItems ? ":2,S" : ":2,");
        if (file.rel != standard && file.rel != "new/" + file.id)
            odd.insert(id, QString::fromUtf8(file.rel));
        if (found < indexed.size() && indexed[found].second.detailed) {
            items.append(std::move(indexed[found].second));
            ++used;
            continue;
        }
        MessageSummary s;
        if (found < indexed.size()) {
            s = std::move(indexed[found].second);
            rewrite = true; // the index gets the details it lacked
        }
        s.id = id;
        try {
            detailFrom(readLimited(base + "/" + QString::fromUtf8(file.rel), kMaxMessageBytes), folder, s,
                       found >= indexed.size());
        } catch (const MailError &) {
            // Listed with what is known; the item itself reports the fault.
            s.detailed = true;
        }
        items.append(s);
        additions += indexLine(s.id, s);
    }
    // Lines of removed or rewritten messages make the index be written anew.
    if (rewrite || used != indexed.size()) {
        QByteArray all;
        all.reserve(qsizetype(items.size()) * 160);
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
    MessageSummary summary = given;
    if (!summary.detailed)
        detailFrom(message, folder, summary, false);
    summary.size = message.size();
    const QString id = uniqueStoreName();
    const QString base = folderPath(folder);
    const QString tmp = base + "/tmp/" + id;
    {
        QFile f(tmp);
        if (!f.open(QIODevice::WriteOnly) || f.write(message) != message.size() || !f.flush()) {
            f.remove();
            throw MailError(QStringLiteral("Cannot store the message in %1").arg(base));
        }
    }
    // The index line goes first: a listing that sees the file finds its line.
    appendIndex(folder, id, summary);
    const QString dest = base + "/cur/" + id + (folder == StoreFolder::SentItems ? ":2,S" : ":2,");
    if (::rename(QFile::encodeName(tmp).constData(), QFile::encodeName(dest).constData()) != 0) {
        QFile::remove(tmp);
        throw MailError(QStringLiteral("Cannot store the message in %1").arg(base));
    }
    return id;
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
