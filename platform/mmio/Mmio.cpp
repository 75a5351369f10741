#include "platform/mmio/Mmio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// The buffer is a window on the file: buffer[0] is file offset bufStart,
// the first `valid` bytes hold the file's content (read from disk or
// written here), and the cursor `next` never goes past `valid`. Since every
// byte below `valid` is the file's true content, unwritten bytes are kept as
// one range [dirtyLo, dirtyHi) covering all writes; any gap in it is written
// back unchanged. Unbuffered handles have bufSize 0 and keep their position
// in bufStart.
struct MmioFile {
    int fd = -1;
    std::uint32_t openFlags = 0;
    bool canRead = false;
    bool canWrite = false;

    std::unique_ptr<char[]> ownBuffer;
    char *buffer = nullptr;
    std::int32_t bufSize = 0;

    std::int64_t bufStart = 0;
    std::int32_t valid = 0;
    std::int32_t next = 0;
    bool dirty = false;
    std::int32_t dirtyLo = 0;
    std::int32_t dirtyHi = 0;

    std::int64_t diskOffset = 0;

    std::int64_t position() const { return bufStart + next; }
};

namespace {

constexpr std::int64_t maxPosition = std::numeric_limits<std::int32_t>::max();

bool preadAll(MmioFile *f, char *dst, std::int64_t count, std::int64_t offset, std::int64_t &got)
{
    got = 0;
    while (got < count) {
        const ssize_t n = ::pread(f->fd, dst + got, size_t(count - got), off_t(offset + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            break;
        got += n;
    }
    f->diskOffset = offset + got;
    return true;
}

bool pwriteAll(MmioFile *f, const char *src, std::int64_t count, std::int64_t offset)
{
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(f->fd, src + done, size_t(count - done), off_t(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += n;
    }
    f->diskOffset = offset + done;
    return true;
}

bool flushBuffer(MmioFile *f)
{
    if (!f->dirty)
        return true;
    if (!pwriteAll(f, f->buffer + f->dirtyLo, f->dirtyHi - f->dirtyLo, f->bufStart + f->dirtyLo))
        return false;
    f->dirty = false;
    return true;
}

// Moves the buffer window to start at `pos`, empty; the next read fills it.
bool restartBuffer(MmioFile *f, std::int64_t pos)
{
    if (!flushBuffer(f))
        return false;
    f->bufStart = pos;
    f->valid = 0;
    f->next = 0;
    return true;
}

std::int64_t fileEnd(MmioFile *f)
{
    struct stat st {};
    std::int64_t end = 0;
    if (::fstat(f->fd, &st) == 0)
        end = st.st_size;
    // Bytes still in the buffer may lie past the end on disk.
    return f->valid > 0 ? std::max(end, f->bufStart + f->valid) : end;
}

// Positions at any non-negative offset; the chunk functions use it so that
// a chunk claiming a size beyond 2 GB is still left cleanly.
bool seekTo(MmioFile *f, std::int64_t pos)
{
    if (pos < 0)
        return false;
    if (f->bufSize > 0 && pos >= f->bufStart && pos <= f->bufStart + f->valid) {
        f->next = std::int32_t(pos - f->bufStart);
        return true;
    }
    return restartBuffer(f, pos);
}

std::int64_t readBytes(MmioFile *f, char *dst, std::int64_t count)
{
    std::int64_t done = 0;
    while (done < count) {
        const std::int32_t avail = f->valid - f->next;
        if (avail > 0) {
            const std::int64_t n = std::min<std::int64_t>(avail, count - done);
            std::memcpy(dst + done, f->buffer + f->next, size_t(n));
            f->next += std::int32_t(n);
            done += n;
            continue;
        }
        const std::int64_t pos = f->position();
        if (!restartBuffer(f, pos))
            return -1;
        std::int64_t got = 0;
        if (count - done >= f->bufSize) {
            // Large reads go straight to the caller's memory.
            if (!preadAll(f, dst + done, count - done, pos, got))
                return -1;
            f->bufStart = pos + got;
            done += got;
            break;
        }
        if (!preadAll(f, f->buffer, f->bufSize, pos, got))
            return -1;
        f->valid = std::int32_t(got);
        if (got == 0)
            break;
    }
    return done;
}

std::int64_t writeBytes(MmioFile *f, const char *src, std::int64_t count)
{
    std::int64_t done = 0;
    while (done < count) {
        const std::int64_t pos = f->position();
        if (f->bufSize == 0 || (count - done >= f->bufSize && !f->dirty)) {
            if (!restartBuffer(f, pos) || !pwriteAll(f, src + done, count - done, pos))
                return -1;
            f->bufStart = pos + (count - done);
            return count;
        }
        if (f->next == f->bufSize) {
            if (!restartBuffer(f, pos))
                return -1;
            continue;
        }
        const std::int32_t n = std::int32_t(std::min<std::int64_t>(f->bufSize - f->next, count - done));
        std::memcpy(f->buffer + f->next, src + done, size_t(n));
        if (f->dirty) {
            f->dirtyLo = std::min(f->dirtyLo, f->next);
            f->dirtyHi = std::max(f->dirtyHi, f->next + n);
        } else {
            f->dirty = true;
            f->dirtyLo = f->next;
            f->dirtyHi = f->next + n;
        }
        f->next += n;
        f->valid = std::max(f->valid, f->next);
        done += n;
    }
    return done;
}

bool readFourcc(MmioFile *f, std::uint32_t &value)
{
    char bytes[4];
    if (readBytes(f, bytes, 4) != 4)
        return false;
    std::memcpy(&value, bytes, 4);
    return true;
}

bool writeFourcc(MmioFile *f, std::uint32_t value)
{
    char bytes[4];
    std::memcpy(bytes, &value, 4);
    return writeBytes(f, bytes, 4) == 4;
}

MMRESULT openError(int err, bool creating)
{
    switch (err) {
    case ENOENT:
        return creating ? MMIOERR_PATHNOTFOUND : MMIOERR_FILENOTFOUND;
    case ENOTDIR:
        return MMIOERR_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return MMIOERR_ACCESSDENIED;
    case EMFILE:
    case ENFILE:
        return MMIOERR_TOOMANYOPENFILES;
    case ENOMEM:
        return MMIOERR_OUTOFMEMORY;
    case ETXTBSY:
        return MMIOERR_SHARINGVIOLATION;
    default:
        return MMIOERR_CANNOTOPEN;
    }
}

HMMIO failOpen(MMIOINFO *info, MMRESULT code)
{
    if (info)
        info->wErrorRet = code;
    return nullptr;
}

} // namespace

HMMIO mmioOpen(const char *szFilename, MMIOINFO *lpmmioinfo, std::uint32_t dwOpenFlags)
{
    constexpr std::uint32_t known = 0x3 | 0x70 | MMIO_CREATE | MMIO_ALLOCBUF;
    if (dwOpenFlags & ~known)
        return failOpen(lpmmioinfo, MMSYSERR_INVALFLAG);
    const std::uint32_t access = dwOpenFlags & 0x3;
    if (access == 0x3)
        return failOpen(lpmmioinfo, MMSYSERR_INVALFLAG);
    if (!szFilename || !*szFilename)
        return failOpen(lpmmioinfo, MMIOERR_FILENOTFOUND);
    if (lpmmioinfo &&
        (lpmmioinfo->pIOProc || (lpmmioinfo->fccIOProc != 0 && lpmmioinfo->fccIOProc != FOURCC_DOS) ||
         lpmmioinfo->cchBuffer < 0))
        return failOpen(lpmmioinfo, MMSYSERR_INVALPARAM);

    const bool create = dwOpenFlags & MMIO_CREATE;
    int oflags = O_CLOEXEC;
    if (access == MMIO_WRITE)
        oflags |= O_WRONLY;
    else if (access == MMIO_READWRITE || create)
        oflags |= O_RDWR;
    else
        oflags |= O_RDONLY;
    if (create)
        oflags |= O_CREAT | O_TRUNC;

    auto file = std::unique_ptr<MmioFile>(new (std::nothrow) MmioFile);
    if (!file)
        return failOpen(lpmmioinfo, MMIOERR_OUTOFMEMORY);

    std::int32_t size = 0;
    char *given = nullptr;
    if (lpmmioinfo && lpmmioinfo->pchBuffer && lpmmioinfo->cchBuffer > 0) {
        given = lpmmioinfo->pchBuffer;
        size = lpmmioinfo->cchBuffer;
    } else if (dwOpenFlags & MMIO_ALLOCBUF) {
        size = (lpmmioinfo && lpmmioinfo->cchBuffer > 0) ? lpmmioinfo->cchBuffer : MMIO_DEFAULTBUFFER;
        file->ownBuffer.reset(new (std::nothrow) char[size_t(size)]);
        if (!file->ownBuffer)
            return failOpen(lpmmioinfo, MMIOERR_OUTOFMEMORY);
        given = file->ownBuffer.get();
    }
    file->buffer = given;
    file->bufSize = size;

    int fd;
    do {
        fd = ::open(szFilename, oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return failOpen(lpmmioinfo, openError(errno, create));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return failOpen(lpmmioinfo, MMIOERR_ACCESSDENIED);
    }

    file->fd = fd;
    file->openFlags = dwOpenFlags;
    file->canRead = (oflags & O_ACCMODE) != O_WRONLY;
    file->canWrite = (oflags & O_ACCMODE) != O_RDONLY;
    if (lpmmioinfo) {
        lpmmioinfo->wErrorRet = MMSYSERR_NOERROR;
        lpmmioinfo->hmmio = file.get();
    }
    return file.release();
}

MMRESULT mmioClose(HMMIO hmmio, std::uint32_t)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    std::unique_ptr<MmioFile> file(hmmio);
    MMRESULT result = MMSYSERR_NOERROR;
    if (!flushBuffer(file.get()))
        result = MMIOERR_CANNOTWRITE;
    if (::close(file->fd) != 0 && result == MMSYSERR_NOERROR)
        result = MMIOERR_CANNOTCLOSE;
    return result;
}

std::int32_t mmioRead(HMMIO hmmio, char *pch, std::int32_t cch)
{
    if (!hmmio || !hmmio->canRead || cch < 0 || (cch > 0 && !pch))
        return -1;
    return std::int32_t(readBytes(hmmio, pch, cch));
}

std::int32_t mmioWrite(HMMIO hmmio, const char *pch, std::int32_t cch)
{
    if (!hmmio || !hmmio->canWrite || cch < 0 || (cch > 0 && !pch))
        return -1;
    if (hmmio->position() + cch > maxPosition)
        return -1;
    return std::int32_t(writeBytes(hmmio, pch, cch));
}

std::int32_t mmioSeek(HMMIO hmmio, std::int32_t lOffset, int iOrigin)
{
    if (!hmmio)
        return -1;
    std::int64_t base;
    switch (iOrigin) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = hmmio->position();
        break;
    case SEEK_END:
        base = fileEnd(hmmio);
        break;
    default:
        return -1;
    }
    const std::int64_t target = base + lOffset;
    if (target < 0 || target > maxPosition || !seekTo(hmmio, target))
        return -1;
    return std::int32_t(target);
}

MMRESULT mmioGetInfo(HMMIO hmmio, MMIOINFO *lpmmioinfo, std::uint32_t)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    if (!lpmmioinfo)
        return MMSYSERR_INVALPARAM;
    MMIOINFO info;
    info.dwFlags = hmmio->openFlags | (hmmio->dirty ? MMIO_DIRTY : 0);
    info.fccIOProc = FOURCC_DOS;
    info.cchBuffer = hmmio->bufSize;
    info.pchBuffer = hmmio->buffer;
    if (hmmio->buffer) {
        info.pchNext = hmmio->buffer + hmmio->next;
        info.pchEndRead = hmmio->buffer + hmmio->valid;
        info.pchEndWrite = hmmio->buffer + hmmio->bufSize;
    }
    info.lBufOffset = std::int32_t(std::min(hmmio->bufStart, maxPosition));
    info.lDiskOffset = std::int32_t(std::min(hmmio->diskOffset, maxPosition));
    info.hmmio = hmmio;
    *lpmmioinfo = info;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioFlush(HMMIO hmmio, std::uint32_t fuFlush)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    if (!flushBuffer(hmmio))
        return MMIOERR_CANNOTWRITE;
    if (fuFlush & MMIO_EMPTYBUF)
        restartBuffer(hmmio, hmmio->position());
    return MMSYSERR_NOERROR;
}

MMRESULT mmioDescend(HMMIO hmmio, MMCKINFO *lpck, const MMCKINFO *lpckParent, std::uint32_t wFlags)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    if (!lpck)
        return MMSYSERR_INVALPARAM;
    if (!hmmio->canRead)
        return MMIOERR_CANNOTREAD;
    const std::uint32_t find = wFlags & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    if (find != 0 && find != MMIO_FINDCHUNK && find != MMIO_FINDRIFF && find != MMIO_FINDLIST)
        return MMSYSERR_INVALFLAG;

    const std::int64_t start = hmmio->position();
    const std::int64_t parentEnd = lpckParent ? std::int64_t(lpckParent->dwDataOffset) + lpckParent->cksize
                                              : std::numeric_limits<std::int64_t>::max();
    std::int64_t pos = start;
    for (;;) {
        if (pos + 8 > parentEnd || !seekTo(hmmio, pos))
            break;
        std::uint32_t id = 0, size = 0, type = 0;
        if (!readFourcc(hmmio, id) || !readFourcc(hmmio, size))
            break;
        const bool form = id == FOURCC_RIFF || id == FOURCC_LIST;
        if (form && (pos + 12 > parentEnd || !readFourcc(hmmio, type)))
            break;
        bool match;
        switch (find) {
        case MMIO_FINDCHUNK:
            match = id == lpck->ckid;
            break;
        case MMIO_FINDRIFF:
            match = id == FOURCC_RIFF && type == lpck->fccType;
            break;
        case MMIO_FINDLIST:
            match = id == FOURCC_LIST && type == lpck->fccType;
            break;
        default:
            match = true;
        }
        if (match) {
            if (pos + 8 > maxPosition)
                break;
            lpck->ckid = id;
            lpck->cksize = size;
            lpck->fccType = form ? type : 0;
            lpck->dwDataOffset = std::uint32_t(pos + 8);
            lpck->dwFlags = 0;
            return MMSYSERR_NOERROR;
        }
        pos += 8 + std::int64_t(size) + (size & 1);
    }
    seekTo(hmmio, start);
    return MMIOERR_CHUNKNOTFOUND;
}

MMRESULT mmioAscend(HMMIO hmmio, MMCKINFO *lpck, std::uint32_t)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    if (!lpck)
        return MMSYSERR_INVALPARAM;
    if (lpck->dwFlags & MMIO_DIRTY) {
        const std::int64_t end = hmmio->position();
        const std::int64_t size = end - std::int64_t(lpck->dwDataOffset);
        if (size < 0 || lpck->dwDataOffset < 4 || size > std::numeric_limits<std::uint32_t>::max())
            return MMIOERR_CANNOTSEEK;
        if (std::uint32_t(size) != lpck->cksize) {
            if (!seekTo(hmmio, std::int64_t(lpck->dwDataOffset) - 4) ||
                !writeFourcc(hmmio, std::uint32_t(size)))
                return MMIOERR_CANNOTWRITE;
            lpck->cksize = std::uint32_t(size);
        }
        if (size & 1) {
            const char pad = 0;
            if (!seekTo(hmmio, end) || writeBytes(hmmio, &pad, 1) != 1)
                return MMIOERR_CANNOTWRITE;
        }
        lpck->dwFlags &= ~MMIO_DIRTY;
    }
    const std::int64_t after = std::int64_t(lpck->dwDataOffset) + lpck->cksize + (lpck->cksize & 1);
    if (!seekTo(hmmio, after))
        return MMIOERR_CANNOTSEEK;
    return MMSYSERR_NOERROR;
}

MMRESULT mmioCreateChunk(HMMIO hmmio, MMCKINFO *lpck, std::uint32_t wFlags)
{
    if (!hmmio)
        return MMSYSERR_INVALHANDLE;
    if (!lpck)
        return MMSYSERR_INVALPARAM;
    if ((wFlags & MMIO_CREATERIFF) && (wFlags & MMIO_CREATELIST))
        return MMSYSERR_INVALFLAG;
    if (!hmmio->canWrite)
        return MMIOERR_CANNOTWRITE;
    if (wFlags & MMIO_CREATERIFF)
        lpck->ckid = FOURCC_RIFF;
    else if (wFlags & MMIO_CREATELIST)
        lpck->ckid = FOURCC_LIST;
    const bool form = lpck->ckid == FOURCC_RIFF || lpck->ckid == FOURCC_LIST;
    const std::int64_t pos = hmmio->position();
    if (pos + (form ? 12 : 8) > maxPosition)
        return MMIOERR_CANNOTEXPAND;
    if (!writeFourcc(hmmio, lpck->ckid) || !writeFourcc(hmmio, lpck->cksize) ||
        (form && !writeFourcc(hmmio, lpck->fccType)))
        return MMIOERR_CANNOTWRITE;
    lpck->dwDataOffset = std::uint32_t(pos + 8);
    lpck->dwFlags = MMIO_DIRTY;
    return MMSYSERR_NOERROR;
}
