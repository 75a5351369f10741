#include "platform/mmio/Mmio.h"
#include "tests/support/RiffBytes.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

class MmioTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    std::string path(const char *name) const { return QFile::encodeName(dir.filePath(name)).toStdString(); }

    void writeFile(const char *name, const QByteArray &bytes) const
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray readFile(const char *name) const
    {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

std::int32_t tell(HMMIO h)
{
    return mmioSeek(h, 0, SEEK_CUR);
}

TEST_F(MmioTest, OpenReportsWhyItFailed)
{
    QDir(dir.path()).mkdir("folder");
    writeFile("present", "x");
    struct Case {
        std::string name;
        std::uint32_t flags;
        MMRESULT error;
    } cases[] = {
        {path("missing.wav"), MMIO_READ, MMIOERR_FILENOTFOUND},
        {path("no/such/dir.wav"), MMIO_CREATE | MMIO_READWRITE, MMIOERR_PATHNOTFOUND},
        {path("folder"), MMIO_READ, MMIOERR_ACCESSDENIED},
        {path("present"), 0x3, MMSYSERR_INVALFLAG},
        {path("present"), MMIO_READ | 0x00400000, MMSYSERR_INVALFLAG},
        {"", MMIO_READ, MMIOERR_FILENOTFOUND},
    };
    for (const Case &c : cases) {
        MMIOINFO info;
        info.wErrorRet = 12345;
        EXPECT_EQ(mmioOpen(c.name.c_str(), &info, c.flags), nullptr) << c.name;
        EXPECT_EQ(info.wErrorRet, c.error) << c.name;
    }
    // Without an info record a failure is still a null handle.
    EXPECT_EQ(mmioOpen(path("missing.wav").c_str(), nullptr, MMIO_READ), nullptr);
}

TEST_F(MmioTest, CreateTruncatesAndAccessModesAreEnforced)
{
    writeFile("f", "old contents");
    HMMIO h = mmioOpen(path("f").c_str(), nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    char c;
    EXPECT_EQ(mmioRead(h, &c, 1), -1); // write-only
    EXPECT_EQ(mmioWrite(h, "new", 3), 3);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(readFile("f"), "new");

    h = mmioOpen(path("f").c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "x", 1), -1); // read-only
    MMCKINFO ck;
    EXPECT_EQ(mmioCreateChunk(h, &ck, 0), MMIOERR_CANNOTWRITE);
    char buf[8];
    EXPECT_EQ(mmioRead(h, buf, 8), 3);
    EXPECT_EQ(mmioRead(h, buf, 8), 0); // end of file
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(readFile("f"), "new");
}

TEST_F(MmioTest, InvalidHandleAndArguments)
{
    char buf[4];
    MMCKINFO ck;
    MMIOINFO info;
    EXPECT_EQ(mmioRead(nullptr, buf, 4), -1);
    EXPECT_EQ(mmioWrite(nullptr, buf, 4), -1);
    EXPECT_EQ(mmioSeek(nullptr, 0, SEEK_SET), -1);
    EXPECT_EQ(mmioClose(nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioFlush(nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioGetInfo(nullptr, &info, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioDescend(nullptr, &ck, nullptr, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioAscend(nullptr, &ck, 0), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(mmioCreateChunk(nullptr, &ck, 0), MMSYSERR_INVALHANDLE);

    writeFile("f", "abc");
    HMMIO h = mmioOpen(path("f").c_str(), nullptr, MMIO_READ);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioRead(h, buf, -1), -1);
    EXPECT_EQ(mmioSeek(h, 0, 7), -1);
    EXPECT_EQ(mmioSeek(h, 2, SEEK_SET), 2);
    EXPECT_EQ(mmioSeek(h, -3, SEEK_CUR), -1); // before the start: position unchanged
    EXPECT_EQ(tell(h), 2);
    EXPECT_EQ(mmioSeek(h, 0x7fffffff, SEEK_END), -1); // beyond a 32-bit position
    EXPECT_EQ(tell(h), 2);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

// Random reads, writes and seeks on a read-write file, checked step by step
// against a byte string, for unbuffered I/O and buffers smaller and larger
// than the transfers.
TEST_F(MmioTest, BufferedIoMatchesTheFileWhateverTheBufferSize)
{
    for (auto [bufferSize, access] : {std::pair{0, MMIO_READWRITE},
                                      {1, MMIO_READWRITE},
                                      {7, MMIO_READWRITE},
                                      {64, MMIO_READWRITE},
                                      {8192, MMIO_READWRITE},
                                      {7, MMIO_WRITE},
                                      {64, MMIO_WRITE}}) {
        SCOPED_TRACE(testing::Message() << bufferSize << (access == MMIO_WRITE ? " write-only" : ""));
        std::string model(300, '\0');
        for (size_t i = 0; i < model.size(); ++i)
            model[i] = char('a' + i % 26);
        writeFile("rw", QByteArray::fromStdString(model));

        MMIOINFO info;
        info.cchBuffer = bufferSize;
        HMMIO h = mmioOpen(path("rw").c_str(), &info, access | (bufferSize ? MMIO_ALLOCBUF : 0));
        ASSERT_NE(h, nullptr);
        std::mt19937 rng(std::uint32_t(bufferSize + access));
        std::int64_t pos = 0;
        for (int step = 0; step < 2000; ++step) {
            const int op = int(rng() % 4);
            const std::int32_t n = std::int32_t(rng() % 100);
            if (op == 0) {
                std::string data(size_t(n), '\0');
                for (char &c : data)
                    c = char('A' + rng() % 26);
                ASSERT_EQ(mmioWrite(h, data.data(), n), n);
                if (n > 0) {
                    if (pos > std::int64_t(model.size()))
                        model.resize(size_t(pos), '\0');
                    model.replace(size_t(pos), std::min<size_t>(size_t(n), model.size() - size_t(pos)), data);
                }
                pos += n;
            } else if (op == 1) {
                std::string got(size_t(n), '?');
                const std::int32_t r = mmioRead(h, got.data(), n);
                if (access == MMIO_WRITE) {
                    ASSERT_EQ(r, -1);
                    continue;
                }
                const std::int64_t expect =
                    std::max<std::int64_t>(0, std::min<std::int64_t>(n, std::int64_t(model.size()) - pos));
                ASSERT_EQ(r, expect) << "step " << step;
                if (r > 0) {
                    ASSERT_EQ(got.substr(0, size_t(r)), model.substr(size_t(pos), size_t(r)))
                        << "step " << step;
                }
                pos += r;
            } else {
                const int origin = int(rng() % 3);
                const std::int64_t base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? pos : model.size();
                const std::int32_t off = std::int32_t(rng() % 400) - std::int32_t(base > 0 ? 200 : 0);
                const std::int64_t target = base + off;
                const std::int32_t r = mmioSeek(h, off, origin);
                if (target < 0) {
                    ASSERT_EQ(r, -1);
                } else {
                    ASSERT_EQ(r, target) << "step " << step;
                    pos = target;
                }
            }
            ASSERT_EQ(tell(h), pos);
        }
        ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
        EXPECT_EQ(readFile("rw").toStdString(), model);
    }
}

TEST_F(MmioTest, FlushWritesTheBufferAndGetInfoDescribesIt)
{
    MMIOINFO open;
    open.cchBuffer = 16;
    HMMIO h = mmioOpen(path("f").c_str(), &open, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(open.hmmio, h);
    ASSERT_EQ(mmioWrite(h, "hello", 5), 5);
    EXPECT_EQ(readFile("f"), ""); // still in the buffer

    MMIOINFO info;
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, 16);
    ASSERT_NE(info.pchBuffer, nullptr);
    EXPECT_EQ(info.pchNext - info.pchBuffer, 5);
    EXPECT_EQ(info.pchEndWrite - info.pchBuffer, 16);
    EXPECT_EQ(info.lBufOffset, 0);
    EXPECT_TRUE(info.dwFlags & MMIO_DIRTY);
    EXPECT_EQ(info.hmmio, h);

    ASSERT_EQ(mmioFlush(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(readFile("f"), "hello");
    ASSERT_EQ(mmioFlush(h, MMIO_EMPTYBUF), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_FALSE(info.dwFlags & MMIO_DIRTY);
    EXPECT_EQ(info.lBufOffset, 5);
    EXPECT_EQ(info.pchEndRead, info.pchBuffer);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    // Unbuffered: the info has no buffer.
    h = mmioOpen(path("f").c_str(), nullptr, MMIO_READ);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(mmioGetInfo(h, &info, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(info.cchBuffer, 0);
    EXPECT_EQ(info.pchBuffer, nullptr);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

TEST_F(MmioTest, CallersBufferIsUsed)
{
    char mine[32];
    MMIOINFO open;
    open.pchBuffer = mine;
    open.cchBuffer = sizeof mine;
    HMMIO h = mmioOpen(path("f").c_str(), &open, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(mmioWrite(h, "abc", 3), 3);
    EXPECT_EQ(std::string(mine, 3), "abc");
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(readFile("f"), "abc");
}

TEST_F(MmioTest, DiskFullIsReported)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    HMMIO h = mmioOpen("/dev/full", nullptr, MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "abc", 3), -1);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    h = mmioOpen("/dev/full", nullptr, MMIO_WRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(mmioWrite(h, "abc", 3), 3); // buffered
    EXPECT_EQ(mmioFlush(h, 0), MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioClose(h, 0), MMIOERR_CANNOTWRITE);

    h = mmioOpen("/dev/full", nullptr, MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    MMCKINFO ck;
    ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
    EXPECT_EQ(mmioCreateChunk(h, &ck, 0), MMIOERR_CANNOTWRITE);
    EXPECT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
}

// A file with a top-level RIFF, a LIST inside it, an odd-sized chunk with its
// pad byte, and a second RIFF after the first.
class ChunkTest : public MmioTest {
protected:
    void SetUp() override
    {
        const QByteArray list = QByteArray("LIST") + le32(4 + 8 + 2) + "INFO" + chunk("INAM", "ab");
        body = chunk("odd ", "xyz") + list + chunk("fmt ", QByteArray(16, 'f')) + chunk("data", "0123");
        file = riff(body, "WAVE") + riff(chunk("junk", "12"), "AVI ");
        writeFile("t.wav", file);
        h = mmioOpen(path("t.wav").c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
        ASSERT_NE(h, nullptr);
    }
    void TearDown() override
    {
        if (h)
            mmioClose(h, 0);
    }

    QByteArray body, file;
    HMMIO h = nullptr;
};

TEST_F(ChunkTest, DescendReadsHeadersAndPositionsAtTheData)
{
    MMCKINFO riffCk;
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(riffCk.ckid, FOURCC_RIFF);
    EXPECT_EQ(riffCk.fccType, mmioFOURCC('W', 'A', 'V', 'E'));
    EXPECT_EQ(riffCk.cksize, std::uint32_t(body.size() + 4));
    EXPECT_EQ(riffCk.dwDataOffset, 8u); // the form type is the first data
    EXPECT_EQ(tell(h), 12);

    MMCKINFO ck;
    ASSERT_EQ(mmioDescend(h, &ck, &riffCk, 0), MMSYSERR_NOERROR); // next chunk, whatever it is
    EXPECT_EQ(ck.ckid, mmioFOURCC('o', 'd', 'd', ' '));
    EXPECT_EQ(ck.cksize, 3u);
    EXPECT_EQ(ck.fccType, 0u);
    EXPECT_EQ(ck.dwDataOffset, 20u);
    ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(tell(h), 24); // past the pad byte

    MMCKINFO list;
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioDescend(h, &list, &riffCk, MMIO_FINDLIST), MMSYSERR_NOERROR);
    EXPECT_EQ(list.dwDataOffset, 32u);
    EXPECT_EQ(tell(h), 36);
    ASSERT_EQ(mmioDescend(h, &ck, &list, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(ck.ckid, mmioFOURCC('I', 'N', 'A', 'M'));
    // Nothing more inside the LIST, although the file goes on.
    ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(mmioDescend(h, &ck, &list, 0), MMIOERR_CHUNKNOTFOUND);
}

TEST_F(ChunkTest, FindSkipsSiblingsAndStopsAtTheParentsEnd)
{
    MMCKINFO riffCk;
    riffCk.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);

    MMCKINFO ck;
    ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioDescend(h, &ck, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(ck.cksize, 4u);
    char data[4];
    ASSERT_EQ(mmioRead(h, data, 4), 4);
    EXPECT_EQ(std::string(data, 4), "0123");

    // "junk" exists only in the second RIFF: searching the first fails, and
    // the position is where the search began.
    ASSERT_EQ(mmioSeek(h, 12, SEEK_SET), 12);
    MMCKINFO junk;
    junk.ckid = mmioFOURCC('j', 'u', 'n', 'k');
    junk.cksize = 77;
    EXPECT_EQ(mmioDescend(h, &junk, &riffCk, MMIO_FINDCHUNK), MMIOERR_CHUNKNOTFOUND);
    EXPECT_EQ(tell(h), 12);
    EXPECT_EQ(junk.cksize, 77u);
    // Without a parent the search runs on past the first RIFF's end.
    MMCKINFO second;
    second.ckid = FOURCC_RIFF;
    ASSERT_EQ(mmioDescend(h, &second, nullptr, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    EXPECT_EQ(second.fccType, mmioFOURCC('A', 'V', 'I', ' '));

    // Top-level search by form type skips the first RIFF.
    ASSERT_EQ(mmioSeek(h, 0, SEEK_SET), 0);
    MMCKINFO avi;
    avi.fccType = mmioFOURCC('A', 'V', 'I', ' ');
    ASSERT_EQ(mmioDescend(h, &avi, nullptr, MMIO_FINDRIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(avi.dwDataOffset, std::uint32_t(body.size() + 12 + 8));
}

TEST_F(ChunkTest, TruncatedAndLyingHeadersAreNotFound)
{
    struct Case {
        const char *what;
        QByteArray bytes;
        std::uint32_t cutParentTo; // parent size; 0 = no parent
    } cases[] = {
        {"empty file", QByteArray(), 0},
        {"half a header", QByteArray("RIFF\x10\0", 6), 0},
        {"RIFF without form type", QByteArray("RIFF\x10\0\0\0WA", 10), 0},
        {"huge size skips past the end",
         chunk("big ", "1").replace(4, 4, le32(0xfffffff0)) + chunk("data", "2"), 0},
        {"header crossing the parent's end", chunk("pad ", "12") + chunk("data", "34"), 13},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        writeFile("bad.wav", c.bytes);
        HMMIO b = mmioOpen(path("bad.wav").c_str(), nullptr, MMIO_READ | MMIO_ALLOCBUF);
        ASSERT_NE(b, nullptr);
        MMCKINFO parent;
        parent.dwDataOffset = 0;
        parent.cksize = c.cutParentTo;
        MMCKINFO ck;
        ck.ckid = mmioFOURCC('d', 'a', 't', 'a');
        const std::uint32_t flags = c.bytes.startsWith("RIFF") ? 0 : MMIO_FINDCHUNK;
        EXPECT_EQ(mmioDescend(b, &ck, c.cutParentTo ? &parent : nullptr, flags), MMIOERR_CHUNKNOTFOUND);
        EXPECT_EQ(tell(b), 0);
        mmioClose(b, 0);
    }
}

TEST_F(ChunkTest, AscendingAReadChunkWritesNothing)
{
    mmioClose(h, 0);
    h = mmioOpen(path("t.wav").c_str(), nullptr, MMIO_READWRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    MMCKINFO riffCk, ck;
    ASSERT_EQ(mmioDescend(h, &riffCk, nullptr, 0), MMSYSERR_NOERROR);
    ck.ckid = mmioFOURCC('f', 'm', 't', ' ');
    ASSERT_EQ(mmioDescend(h, &ck, &riffCk, MMIO_FINDCHUNK), MMSYSERR_NOERROR);
    char two[2];
    ASSERT_EQ(mmioRead(h, two, 2), 2);
    ASSERT_EQ(mmioAscend(h, &ck, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(tell(h), std::int32_t(ck.dwDataOffset + 16));
    ASSERT_EQ(mmioSeek(h, 0, SEEK_END), file.size());
    ASSERT_EQ(mmioAscend(h, &riffCk, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    h = nullptr;
    EXPECT_EQ(readFile("t.wav"), file);
}

TEST_F(MmioTest, CreatedChunksGetTheirSizesAndPadByteOnAscent)
{
    HMMIO h = mmioOpen(path("new.wav").c_str(), nullptr, MMIO_CREATE | MMIO_READWRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    MMCKINFO riffCk;
    riffCk.fccType = mmioFOURCC('W', 'A', 'V', 'E');
    ASSERT_EQ(mmioCreateChunk(h, &riffCk, MMIO_CREATERIFF), MMSYSERR_NOERROR);
    EXPECT_EQ(riffCk.ckid, FOURCC_RIFF);
    EXPECT_EQ(riffCk.dwDataOffset, 8u);
    EXPECT_TRUE(riffCk.dwFlags & MMIO_DIRTY);
    EXPECT_EQ(tell(h), 12);

    MMCKINFO fmt;
    fmt.ckid = mmioFOURCC('f', 'm', 't', ' ');
    fmt.cksize = 4; // given and right: written as is
    ASSERT_EQ(mmioCreateChunk(h, &fmt, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(h, "FFFF", 4), 4);
    ASSERT_EQ(mmioAscend(h, &fmt, 0), MMSYSERR_NOERROR);

    MMCKINFO data;
    data.ckid = mmioFOURCC('d', 'a', 't', 'a');
    ASSERT_EQ(mmioCreateChunk(h, &data, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(h, "12345", 5), 5);
    ASSERT_EQ(mmioAscend(h, &data, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(data.cksize, 5u);
    EXPECT_FALSE(data.dwFlags & MMIO_DIRTY);
    EXPECT_EQ(tell(h), 12 + 12 + 8 + 6);
    ASSERT_EQ(mmioAscend(h, &riffCk, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(riffCk.cksize, 4u + 12 + 8 + 6);
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);

    EXPECT_EQ(readFile("new.wav"), riff(chunk("fmt ", "FFFF") + chunk("data", "12345")));
}

TEST_F(MmioTest, ChunksWrittenUnbufferedAndReadBack)
{
    HMMIO h = mmioOpen(path("u.wav").c_str(), nullptr, MMIO_CREATE | MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    MMCKINFO list;
    list.fccType = mmioFOURCC('I', 'N', 'F', 'O');
    ASSERT_EQ(mmioCreateChunk(h, &list, MMIO_CREATELIST), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioWrite(h, "x", 1), 1);
    ASSERT_EQ(mmioAscend(h, &list, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(mmioClose(h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(readFile("u.wav"), QByteArray("LIST") + le32(5) + "INFOx" + '\0');
}

} // namespace
