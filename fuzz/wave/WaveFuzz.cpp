// Parses arbitrary bytes as a wave file, then reads and seeks through what
// parsed, checking that the stream stays inside its data.

#include "telephony/WaveStream.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// One in-memory file for the whole run, reached by name like a real one.
int memoryFile()
{
    static const int fd = memfd_create("fuzz.wav", 0);
    return fd;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Descends into every chunk, RIFF and LIST ones recursively, and ascends
// again: children stay inside their parent and the ascent lands after the
// chunk and its pad byte.
void walk(HMMIO h, const MMCKINFO *parent, int depth)
{
    MMCKINFO ck;
    for (int i = 0; i < 64 && mmioDescend(h, &ck, parent, 0) == MMSYSERR_NOERROR; ++i) {
        if (parent)
            check(std::int64_t(ck.dwDataOffset) <= std::int64_t(parent->dwDataOffset) + parent->cksize);
        const bool form = ck.ckid == FOURCC_RIFF || ck.ckid == FOURCC_LIST;
        check(mmioSeek(h, 0, SEEK_CUR) == std::int32_t(ck.dwDataOffset + (form ? 4 : 0)));
        if (form && depth < 8)
            walk(h, &ck, depth + 1);
        if (mmioAscend(h, &ck, 0) != MMSYSERR_NOERROR)
            return;
        const std::int64_t after = std::int64_t(ck.dwDataOffset) + ck.cksize + (ck.cksize & 1);
        if (after > 0x7fffffff)
            return;
        check(mmioSeek(h, 0, SEEK_CUR) == after);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const int fd = memoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || (size && pwrite(fd, data, size, 0) != ssize_t(size)))
        return 0;
    const QString name = QString("/proc/self/fd/%1").arg(fd);
    const QByteArray encoded = name.toLocal8Bit();
    MMIOINFO info;
    info.cchBuffer = 64; // small, so that the walk crosses buffer windows
    if (HMMIO h = mmioOpen(encoded.constData(), &info, MMIO_READ | MMIO_ALLOCBUF)) {
        walk(h, nullptr, 0);
        mmioClose(h, 0);
    }
    try {
        TFileWaveStream stream(name);
        const WAVEFORMATEX *f = stream.Format();
        check(f != nullptr && f->nBlockAlign > 0);
        check(stream.Length() >= 0 && stream.DataOffset() >= 12);
        check(std::int64_t(stream.DataOffset()) + std::int64_t(stream.Length()) * f->nBlockAlign <=
              std::int64_t(size));
        // The extra bytes must be readable.
        volatile std::uint8_t sink = 0;
        const auto *extra = reinterpret_cast<const std::uint8_t *>(f) + sizeof(WAVEFORMATEX);
        for (unsigned i = 0; i < f->cbSize; ++i)
            sink = sink + extra[i];

        std::vector<char> buffer(std::size_t(f->nBlockAlign) * 64);
        std::int64_t total = 0;
        for (;;) {
            const std::int32_t n = stream.Read(buffer.data(), 64);
            check(n >= 0 && n <= 64);
            if (n == 0)
                break;
            total += n;
        }
        check(total == stream.Length());
        check(stream.Seek(0, TStream::soFromEnd) == stream.Length());
        check(stream.Seek(0, TStream::soFromBeginning) == 0);
        try {
            stream.Seek(-1, TStream::soFromBeginning);
            check(false);
        } catch (const EWaveStreamError &) {
        }
        check(stream.Seek(0, TStream::soFromCurrent) == 0);
        stream.close();
    } catch (const EWaveStreamError &) {
    }
    return 0;
}
