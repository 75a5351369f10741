#pragma once

#include "contacts/DbfFile.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

// The memo file (.dbt) beside a table: block 0 is the header (next free
// block, block size), every memo starts at a block boundary.
class MemoFile {
public:
    static constexpr int kDefaultBlockSize = 512;
    // A memo is never read past this many bytes, whatever its header claims.
    static constexpr qint64 kMaxMemoBytes = 64ll << 20;

    bool open(const QString &path, bool dBase3);
    void close();
    bool isOpen() const { return m_file.isOpen(); }
    dbf::File &file() { return m_file; }
    int blockSize() const { return m_blockSize; }

    // The text stored at block (0: none). Reads only as far as the file holds.
    QByteArray read(uint64_t block) const;

    // Plans writing text for a memo that now starts at oldBlock (0: none).
    // Fresh blocks past the end are returned in fresh (written at once:
    // nothing points at them yet); writes over existing bytes go to
    // overwrite, for the journal. Call with the table's WriteLock held.
    struct Plan {
        uint64_t block = 0;
        std::vector<dbf::WriteOp> fresh;
        std::vector<dbf::WriteOp> overwrite;
    };
    Plan plan(uint64_t oldBlock, const QByteArray &text);

    // Creates a memo file with just its header block.
    static QByteArray newFileHeader(int blockSize = kDefaultBlockSize);

private:
    // Length in bytes of the text stored at block, -1 when there is none.
    qint64 storedLength(uint64_t block) const;
    QByteArray blocksFor(const QByteArray &text, qint64 *blocks) const;

    dbf::File m_file;
    int m_blockSize = kDefaultBlockSize;
    bool m_dBase3 = false;
};
