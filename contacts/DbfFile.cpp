#include "contacts/DbfFile.h"

#include "contacts/DbfFormat.h"
#include "contacts/DbfTable.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dbf {

namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(strerror(errno));
}

// Lock byte far beyond any table's data, as dBase programs lock above the file.
constexpr off_t kLockOffset = off_t(1) << 62;

uint64_t fnv1a(const char *data, size_t n, uint64_t h = 1469598103934665603ull)
{
    for (size_t i = 0; i < n; ++i) {
        h ^= uint8_t(data[i]);
        h *= 1099511628211ull;
    }
    return h;
}

constexpr char kJournalMagic[4] = {'B', 'V', 'J', '1'};

} // namespace

File::~File()
{
    close();
}

bool File::open(const QString &path, bool create)
{
    close();
    m_path = path;
    const QByteArray native = QFile::encodeName(path);
    int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    m_fd = ::open(native.constData(), flags, 0666);
    m_writable = m_fd >= 0;
    if (m_fd < 0 && !create && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        m_fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC);
        m_writable = false;
    }
    return m_fd >= 0;
}

void File::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_writable = false;
}

qint64 File::size() const
{
    struct stat st;
    if (m_fd < 0 || fstat(m_fd, &st) != 0)
        return 0;
    return qint64(st.st_size);
}

qint64 File::readAt(qint64 offset, char *data, qint64 length) const
{
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, data + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

QByteArray File::readAt(qint64 offset, qint64 length) const
{
    QByteArray out(length, Qt::Uninitialized);
    out.truncate(readAt(offset, out.data(), length));
    return out;
}

void File::writeAt(qint64 offset, const char *data, qint64 length)
{
    if (!m_writable)
        throw EDbfError(QStringLiteral("Cannot write \"%1\": the file is read-only.").arg(m_path));
    qint64 done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(m_fd, data + done, size_t(length - done), off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EDbfError(QStringLiteral("Cannot write \"%1\": %2.").arg(m_path, errnoText()));
        done += n;
    }
}

namespace {
// One byte-range lock request on the table file; wait blocks until granted.
bool lockByte(int fd, short type, off_t offset, bool wait)
{
    struct flock fl;
    memset(&fl, 0, sizeof fl);
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = offset;
    fl.l_len = 1;
    int rc;
    do {
        rc = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
    } while (rc != 0 && errno == EINTR && wait);
    return rc == 0;
}
} // namespace

WriteLock::WriteLock(const File &file) : m_fd(file.fd())
{
    // A read-only descriptor cannot take a write lock; such a table only reads.
    m_locked = lockByte(m_fd, F_WRLCK, kLockOffset, true);
}

WriteLock::~WriteLock()
{
    if (m_locked)
        lockByte(m_fd, F_UNLCK, kLockOffset, false);
}

UseLock::UseLock(const File &file) : m_fd(file.fd())
{
    m_locked = lockByte(m_fd, F_RDLCK, kLockOffset + 1, true);
}

UseLock::~UseLock()
{
    if (m_locked)
        lockByte(m_fd, F_UNLCK, kLockOffset + 1, false);
}

bool UseLock::alone()
{
    return m_locked && lockByte(m_fd, F_WRLCK, kLockOffset + 1, false);
}

Journal::~Journal()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool Journal::ensureOpen()
{
    if (m_fd >= 0) {
        if (m_shared)
            return true;
        // Another program closing the table may have removed the journal
        // file; a descriptor on the removed file would journal into nowhere.
        struct stat mine;
        if (fstat(m_fd, &mine) == 0 && mine.st_nlink > 0)
            return true;
        ::close(m_fd);
        m_fd = -1;
    }
    // Never through a link someone planted under the journal's name: the
    // journal would then overwrite whatever file the link points at.
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_fd < 0 && errno == ELOOP)
        throw EDbfError(QStringLiteral("Cannot write \"%1\": it is a symbolic link.").arg(m_path));
    return m_fd >= 0;
}

void Journal::commit(const std::vector<WriteOp> &ops, File *const files[2])
{
    // A single write that stays within one page cannot be torn; anything
    // larger goes through the journal.
    bool needJournal = ops.size() > 1;
    for (const WriteOp &op : ops)
        if ((op.offset & 4095) + op.data.size() > 4096)
            needJournal = true;
    if (!needJournal || !ensureOpen()) {
        for (const WriteOp &op : ops)
            files[op.target]->writeAt(op.offset, op.data);
        return;
    }
    // A journal still marked valid was left by a writer killed mid-write
    // while this table was open: finish its work before reusing the file.
    char magic[4] = {0, 0, 0, 0};
    if (::pread(m_fd, magic, 4, 0) == 4 && memcmp(magic, kJournalMagic, 4) == 0)
        recover(files);
    // magic, total size, count, entries (target, offset, length, data), checksum
    QByteArray j;
    j.append(kJournalMagic, 4);
    j.append(8, '\0');
    for (const WriteOp &op : ops) {
        char head[13];
        head[0] = char(op.target);
        const uint64_t off = uint64_t(op.offset);
        for (int i = 0; i < 8; ++i)
            head[1 + i] = char((off >> (8 * i)) & 0xFF);
        writeU32(head + 9, uint32_t(op.data.size()));
        j.append(head, 13);
        j.append(op.data);
    }
    writeU32(j.data() + 4, uint32_t(j.size() + 8));
    writeU32(j.data() + 8, uint32_t(ops.size()));
    const uint64_t sum = fnv1a(j.constData(), size_t(j.size()));
    for (int i = 0; i < 8; ++i)
        j.append(char((sum >> (8 * i)) & 0xFF));

    qint64 done = 0;
    while (done < j.size()) {
        const ssize_t n = ::pwrite(m_fd, j.constData() + done, size_t(j.size() - done), off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EDbfError(QStringLiteral("Cannot write \"%1\": %2.").arg(m_path, errnoText()));
        done += n;
    }
    for (const WriteOp &op : ops)
        files[op.target]->writeAt(op.offset, op.data);
    static const char cleared[4] = {0, 0, 0, 0};
    if (::pwrite(m_fd, cleared, 4, 0) != 4)
        throw EDbfError(QStringLiteral("Cannot write \"%1\": %2.").arg(m_path, errnoText()));
}

bool Journal::recover(File *const files[2])
{
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 && errno == ELOOP)
        throw EDbfError(QStringLiteral("Cannot open \"%1\": it is a symbolic link.").arg(m_path));
    if (fd < 0)
        return false;
    bool replayed = false;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size >= 20 && st.st_size <= (qint64(1) << 27)) {
        char head[12];
        if (::pread(fd, head, 12, 0) == 12 && memcmp(head, kJournalMagic, 4) == 0) {
            const uint32_t total = readU32(head + 4);
            if (total >= 20 && total <= uint64_t(st.st_size)) {
                QByteArray j(total, Qt::Uninitialized);
                if (::pread(fd, j.data(), total, 0) == ssize_t(total)) {
                    const uint64_t sum = fnv1a(j.constData(), total - 8);
                    uint64_t stored = 0;
                    for (int i = 0; i < 8; ++i)
                        stored |= uint64_t(uint8_t(j[total - 8 + i])) << (8 * i);
                    if (sum == stored) {
                        std::vector<WriteOp> ops;
                        const uint32_t count = readU32(j.constData() + 8);
                        qint64 pos = 12;
                        bool ok = true;
                        for (uint32_t k = 0; k < count && ok; ++k) {
                            if (pos + 13 > total - 8) {
                                ok = false;
                                break;
                            }
                            WriteOp op;
                            op.target = uint8_t(j[pos]);
                            uint64_t off = 0;
                            for (int i = 0; i < 8; ++i)
                                off |= uint64_t(uint8_t(j[pos + 1 + i])) << (8 * i);
                            const uint32_t len = readU32(j.constData() + pos + 9);
                            pos += 13;
                            if (op.target > 1 || !files[op.target] || !files[op.target]->isOpen() ||
                                off > uint64_t(1) << 50 || pos + len > total - 8) {
                                ok = false;
                                break;
                            }
                            op.offset = qint64(off);
                            op.data = j.mid(pos, len);
                            pos += len;
                            ops.push_back(std::move(op));
                        }
                        if (ok) {
                            for (const WriteOp &op : ops)
                                files[op.target]->writeAt(op.offset, op.data);
                            replayed = true;
                        }
                    }
                }
            }
        }
    }
    static const char cleared[4] = {0, 0, 0, 0};
    if (::pwrite(fd, cleared, 4, 0) != 4) {
        // Leaving a stale journal is harmless: its checksum fails next time.
    }
    ::close(fd);
    return replayed;
}

void Journal::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    ::unlink(QFile::encodeName(m_path).constData());
}

void scanRecords(const File &file, qint64 headerSize, int recordSize, uint32_t first, uint32_t last,
                 const std::function<bool(uint32_t, const char *)> &visit)
{
    if (first == 0 || first > last || recordSize <= 0)
        return;
    const qint64 fileSize = file.size();
    const qint64 fits = (fileSize - headerSize) / recordSize;
    if (fits <= 0)
        return;
    last = uint32_t(std::min<qint64>(last, fits));
    if (first > last)
        return;

    // Read in blocks into one small buffer: copying from the page cache is
    // several times cheaper than mapping the pages, and the scan's memory
    // stays the size of the buffer whatever the table's size.
    constexpr qint64 kBlock = 512 << 10;
    const qint64 perBlock = std::max<qint64>(1, kBlock / recordSize);
    std::vector<char> buffer(size_t(std::min<qint64>(perBlock, qint64(last - first) + 1) * recordSize));
    for (qint64 r = first; r <= last; r += perBlock) {
        const qint64 rEnd = std::min<qint64>(last, r + perBlock - 1);
        const qint64 begin = headerSize + (r - 1) * recordSize;
        const qint64 length = (rEnd - r + 1) * recordSize;
        // The file may have shrunk meanwhile: only whole records are visited.
        const qint64 got = file.readAt(begin, buffer.data(), length);
        const qint64 whole = got / recordSize;
        for (qint64 k = 0; k < whole; ++k)
            if (!visit(uint32_t(r + k), buffer.data() + k * recordSize))
                return;
        if (got < length)
            return;
    }
}

} // namespace dbf
