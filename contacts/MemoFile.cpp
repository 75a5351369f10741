#include "contacts/MemoFile.h"

#include "contacts/DbfFormat.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr char kMemoMarker[4] = {char(0xFF), char(0xFF), 0x08, 0x00};
constexpr int kPrefix = 8;
} // namespace

bool MemoFile::open(const QString &path, bool dBase3)
{
    m_dBase3 = dBase3;
    m_blockSize = kDefaultBlockSize;
    if (!m_file.open(path))
        return false;
    const QByteArray head = m_file.readAt(0, 32);
    if (head.size() >= 22 && !dBase3) {
        const int bs = dbf::readU16(head.constData() + 20);
        if (bs >= 32)
            m_blockSize = bs;
    }
    return true;
}

void MemoFile::close()
{
    m_file.close();
}

QByteArray MemoFile::newFileHeader(int blockSize)
{
    QByteArray h(blockSize, '\0');
    dbf::writeU32(h.data(), 1);
    dbf::writeU16(h.data() + 20, uint16_t(blockSize));
    return h;
}

QByteArray MemoFile::read(uint64_t block) const
{
    if (block == 0 || !m_file.isOpen())
        return {};
    const qint64 size = m_file.size();
    if (block > uint64_t(size / m_blockSize))
        return {};
    const qint64 offset = qint64(block) * m_blockSize;
    const qint64 available = std::min(size - offset, kMaxMemoBytes + kPrefix);
    const QByteArray head = m_file.readAt(offset, std::min<qint64>(available, kPrefix));
    if (head.size() == kPrefix && memcmp(head.constData(), kMemoMarker, 4) == 0) {
        const qint64 length = qint64(dbf::readU32(head.constData() + 4)) - kPrefix;
        if (length <= 0)
            return {};
        return m_file.readAt(offset + kPrefix, std::min(length, available - kPrefix));
    }
    // Older style: the text runs up to a 0x1A byte.
    QByteArray out;
    qint64 pos = offset;
    const qint64 end = offset + available;
    while (pos < end) {
        const QByteArray chunk = m_file.readAt(pos, std::min<qint64>(64 * 1024, end - pos));
        if (chunk.isEmpty())
            break;
        const qsizetype stop = chunk.indexOf(dbf::kEndOfFile);
        if (stop >= 0) {
            out.append(chunk.constData(), stop);
            return out;
        }
        out.append(chunk);
        pos += chunk.size();
    }
    return out;
}

qint64 MemoFile::storedLength(uint64_t block) const
{
    if (block == 0 || !m_file.isOpen() || block > uint64_t(m_file.size() / m_blockSize))
        return -1;
    const QByteArray head = m_file.readAt(qint64(block) * m_blockSize, kPrefix);
    if (head.size() == kPrefix && memcmp(head.constData(), kMemoMarker, 4) == 0)
        return std::max<qint64>(0, qint64(dbf::readU32(head.constData() + 4)) - kPrefix);
    return read(block).size();
}

QByteArray MemoFile::blocksFor(const QByteArray &text, qint64 *blocks) const
{
    QByteArray data;
    if (m_dBase3) {
        data = text + QByteArray(2, dbf::kEndOfFile);
    } else {
        data.append(kMemoMarker, 4);
        char len[4];
        dbf::writeU32(len, uint32_t(text.size() + kPrefix));
        data.append(len, 4);
        data.append(text);
    }
    *blocks = (data.size() + m_blockSize - 1) / m_blockSize;
    data.append(QByteArray(*blocks * m_blockSize - data.size(), ' '));
    return data;
}

MemoFile::Plan MemoFile::plan(uint64_t oldBlock, const QByteArray &text)
{
    Plan p;
    if (text.isEmpty())
        return p; // block 0
    qint64 needed = 0;
    const QByteArray data = blocksFor(text, &needed);
    const qint64 oldLength = storedLength(oldBlock);
    if (oldLength >= 0) {
        // The old text without its prefix, rounded up to whole blocks, is the
        // room it is known to own.
        const qint64 oldBlocks = (oldLength + m_blockSize - 1) / m_blockSize;
        if (needed <= oldBlocks) {
            p.block = oldBlock;
            p.overwrite.push_back({1, qint64(oldBlock) * m_blockSize, data});
            return p;
        }
    }
    const QByteArray head = m_file.readAt(0, 4);
    uint64_t next = head.size() == 4 ? dbf::readU32(head.constData()) : 1;
    // Never write over bytes the file already holds, whatever the header says.
    const uint64_t end = uint64_t((m_file.size() + m_blockSize - 1) / m_blockSize);
    next = std::max<uint64_t>({next, end, 1});
    if (next + uint64_t(needed) > 0xFFFFFFFFull)
        throw EDbfError(QStringLiteral("The memo file \"%1\" is full.").arg(m_file.path()));
    p.block = next;
    p.fresh.push_back({1, qint64(next) * m_blockSize, data});
    QByteArray newHead(4, '\0');
    dbf::writeU32(newHead.data(), uint32_t(next + uint64_t(needed)));
    p.overwrite.push_back({1, 0, newHead});
    return p;
}
