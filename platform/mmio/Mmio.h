#pragma once

// Buffered file I/O with RIFF chunk handling, shaped like the Windows
// multimedia file functions the telephony code was written against: the same
// names, structures, flags, results and error codes.
//
// Positions are 32-bit signed file offsets (LONG), as there. Functions that
// return MMRESULT give MMSYSERR_NOERROR (0) or an MMIOERR_ code; mmioRead,
// mmioWrite and mmioSeek return -1 on failure. File names are bytes in the
// local 8-bit encoding (QFile::encodeName of a QString path).
//
// Not thread-safe: one handle is used by one thread.

#include <bit>
#include <cstdint>
#include <cstdio> // SEEK_SET, SEEK_CUR, SEEK_END for mmioSeek

static_assert(std::endian::native == std::endian::little, "RIFF files are little-endian; so is this layer");

// Results shared by the multimedia functions (wave devices use them too).
// Macros as in the Windows headers, so a second layer defining the same codes
// with the same values is a legal redefinition, not a clash.
#ifndef MMSYSERR_NOERROR
#define MMSYSERR_NOERROR 0
#endif
#ifndef MMSYSERR_BASE
#define MMSYSERR_BASE 0
#endif
#ifndef MMSYSERR_ERROR
#define MMSYSERR_ERROR 1
#endif
#ifndef MMSYSERR_INVALHANDLE
#define MMSYSERR_INVALHANDLE 5
#endif
#ifndef MMSYSERR_NOMEM
#define MMSYSERR_NOMEM 7
#endif
#ifndef MMSYSERR_INVALFLAG
#define MMSYSERR_INVALFLAG 10
#endif
#ifndef MMSYSERR_INVALPARAM
#define MMSYSERR_INVALPARAM 11
#endif

typedef std::uint32_t MMRESULT;
typedef std::uint32_t FOURCC;

struct MmioFile;
typedef MmioFile *HMMIO;

constexpr FOURCC mmioFOURCC(char ch0, char ch1, char ch2, char ch3)
{
    return std::uint32_t(std::uint8_t(ch0)) | (std::uint32_t(std::uint8_t(ch1)) << 8) |
           (std::uint32_t(std::uint8_t(ch2)) << 16) | (std::uint32_t(std::uint8_t(ch3)) << 24);
}

constexpr FOURCC FOURCC_RIFF = mmioFOURCC('R', 'I', 'F', 'F');
constexpr FOURCC FOURCC_LIST = mmioFOURCC('L', 'I', 'S', 'T');
constexpr FOURCC FOURCC_DOS = mmioFOURCC('D', 'O', 'S', ' ');
constexpr FOURCC FOURCC_MEM = mmioFOURCC('M', 'E', 'M', ' ');

// Error codes (MMIOERR_BASE + n), the values of the Windows headers.
constexpr MMRESULT MMIOERR_BASE = 256;
constexpr MMRESULT MMIOERR_FILENOTFOUND = MMIOERR_BASE + 1;
constexpr MMRESULT MMIOERR_OUTOFMEMORY = MMIOERR_BASE + 2;
constexpr MMRESULT MMIOERR_CANNOTOPEN = MMIOERR_BASE + 3;
constexpr MMRESULT MMIOERR_CANNOTCLOSE = MMIOERR_BASE + 4;
constexpr MMRESULT MMIOERR_CANNOTREAD = MMIOERR_BASE + 5;
constexpr MMRESULT MMIOERR_CANNOTWRITE = MMIOERR_BASE + 6;
constexpr MMRESULT MMIOERR_CANNOTSEEK = MMIOERR_BASE + 7;
constexpr MMRESULT MMIOERR_CANNOTEXPAND = MMIOERR_BASE + 8;
constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = MMIOERR_BASE + 9;
constexpr MMRESULT MMIOERR_UNBUFFERED = MMIOERR_BASE + 10;
constexpr MMRESULT MMIOERR_PATHNOTFOUND = MMIOERR_BASE + 11;
constexpr MMRESULT MMIOERR_ACCESSDENIED = MMIOERR_BASE + 12;
constexpr MMRESULT MMIOERR_SHARINGVIOLATION = MMIOERR_BASE + 13;
constexpr MMRESULT MMIOERR_NETWORKERROR = MMIOERR_BASE + 14;
constexpr MMRESULT MMIOERR_TOOMANYOPENFILES = MMIOERR_BASE + 15;
constexpr MMRESULT MMIOERR_INVALIDFILE = MMIOERR_BASE + 16;

// mmioOpen flags. The access mode is the low two bits.
constexpr std::uint32_t MMIO_READ = 0x00000000;
constexpr std::uint32_t MMIO_WRITE = 0x00000001;
constexpr std::uint32_t MMIO_READWRITE = 0x00000002;
constexpr std::uint32_t MMIO_COMPAT = 0x00000000;
constexpr std::uint32_t MMIO_EXCLUSIVE = 0x00000010;
constexpr std::uint32_t MMIO_DENYWRITE = 0x00000020;
constexpr std::uint32_t MMIO_DENYREAD = 0x00000030;
constexpr std::uint32_t MMIO_DENYNONE = 0x00000040;
constexpr std::uint32_t MMIO_CREATE = 0x00001000;
constexpr std::uint32_t MMIO_ALLOCBUF = 0x00010000;

// Set in MMIOINFO.dwFlags while the buffer holds unwritten data, and in
// MMCKINFO.dwFlags for a chunk whose size mmioAscend must write back.
constexpr std::uint32_t MMIO_DIRTY = 0x10000000;

// mmioDescend / mmioCreateChunk flags.
constexpr std::uint32_t MMIO_FINDCHUNK = 0x0010;
constexpr std::uint32_t MMIO_FINDRIFF = 0x0020;
constexpr std::uint32_t MMIO_FINDLIST = 0x0040;
constexpr std::uint32_t MMIO_CREATERIFF = 0x0020;
constexpr std::uint32_t MMIO_CREATELIST = 0x0040;

// mmioFlush / mmioClose flags.
constexpr std::uint32_t MMIO_EMPTYBUF = 0x0010;
constexpr std::uint32_t MMIO_FHOPEN = 0x0010;

// Buffer size MMIO_ALLOCBUF uses when MMIOINFO.cchBuffer is 0.
constexpr std::int32_t MMIO_DEFAULTBUFFER = 8192;

struct MMCKINFO {
    FOURCC ckid = 0;                // chunk id
    std::uint32_t cksize = 0;       // size of the chunk's data, without header and pad byte
    FOURCC fccType = 0;             // form or list type of a RIFF or LIST chunk, else 0
    std::uint32_t dwDataOffset = 0; // file offset of the chunk's data (of the form type for RIFF/LIST)
    std::uint32_t dwFlags = 0;      // MMIO_DIRTY for a chunk made by mmioCreateChunk
};

struct MMIOINFO {
    std::uint32_t dwFlags = 0;   // open flags, plus MMIO_DIRTY while the buffer holds unwritten data
    FOURCC fccIOProc = 0;        // 0 or FOURCC_DOS: only disk files are handled
    void *pIOProc = nullptr;     // must be null
    std::uint32_t wErrorRet = 0; // mmioOpen's error code when it returns null
    void *htask = nullptr;
    std::int32_t cchBuffer = 0;   // buffer size: given to mmioOpen, reported by mmioGetInfo
    char *pchBuffer = nullptr;    // caller's buffer for mmioOpen; the buffer in use from mmioGetInfo
    char *pchNext = nullptr;      // next byte to read or write in the buffer
    char *pchEndRead = nullptr;   // end of the valid bytes in the buffer
    char *pchEndWrite = nullptr;  // end of the buffer
    std::int32_t lBufOffset = 0;  // file offset of the buffer's first byte
    std::int32_t lDiskOffset = 0; // file offset just after the last disk transfer
    std::uint32_t adwInfo[3] = {0, 0, 0};
    std::uint32_t dwReserved1 = 0;
    std::uint32_t dwReserved2 = 0;
    HMMIO hmmio = nullptr;
};

// Opens a file. Returns null on failure; the error code is then in
// lpmmioinfo->wErrorRet when lpmmioinfo is given. With MMIO_ALLOCBUF the
// buffer is lpmmioinfo->cchBuffer bytes (MMIO_DEFAULTBUFFER when 0); a caller's
// buffer in pchBuffer/cchBuffer is used as is; otherwise I/O is unbuffered.
// MMIO_CREATE creates or truncates the file; with MMIO_READ it opens the new
// file for reading and writing.
HMMIO mmioOpen(const char *szFilename, MMIOINFO *lpmmioinfo, std::uint32_t dwOpenFlags);

// Writes the buffer if needed, closes the file and frees the handle, which
// is gone whatever the result.
MMRESULT mmioClose(HMMIO hmmio, std::uint32_t wFlags);

// Returns the bytes read (0 at the end of the file) or -1.
std::int32_t mmioRead(HMMIO hmmio, char *pch, std::int32_t cch);

// Returns the bytes written or -1.
std::int32_t mmioWrite(HMMIO hmmio, const char *pch, std::int32_t cch);

// iOrigin is SEEK_SET, SEEK_CUR or SEEK_END. Returns the new position, or -1
// (position unchanged) for a position outside 0 .. 2^31-1. Seeking past the
// end is allowed; a later write fills the gap with zeros.
std::int32_t mmioSeek(HMMIO hmmio, std::int32_t lOffset, int iOrigin);

MMRESULT mmioGetInfo(HMMIO hmmio, MMIOINFO *lpmmioinfo, std::uint32_t wFlags);

// Writes the buffer to the file; MMIO_EMPTYBUF also empties it.
MMRESULT mmioFlush(HMMIO hmmio, std::uint32_t fuFlush);

// Reads the chunk header at the current position (flags 0), or searches from
// the current position for a chunk with lpck->ckid (MMIO_FINDCHUNK), a RIFF
// chunk (MMIO_FINDRIFF) or a LIST chunk (MMIO_FINDLIST) with form type
// lpck->fccType. With a parent, the search stops at the parent's end: no
// header past it is read. Afterwards the position is at the chunk's data
// (after the form type for RIFF and LIST). MMIOERR_CHUNKNOTFOUND when no
// chunk matches; the position and *lpck are then left as they were.
MMRESULT mmioDescend(HMMIO hmmio, MMCKINFO *lpck, const MMCKINFO *lpckParent, std::uint32_t wFlags);

// Leaves a chunk: positions after its end and pad byte. For a chunk made by
// mmioCreateChunk (MMIO_DIRTY) the size is taken from the current position,
// written back into the header when it changed, and an odd size gets a zero
// pad byte.
MMRESULT mmioAscend(HMMIO hmmio, MMCKINFO *lpck, std::uint32_t wFlags);

// Writes a chunk header at the current position: lpck->ckid (or RIFF with
// MMIO_CREATERIFF, LIST with MMIO_CREATELIST, then lpck->fccType) and
// lpck->cksize. Sets dwDataOffset and MMIO_DIRTY; the position is then at
// the chunk's data.
MMRESULT mmioCreateChunk(HMMIO hmmio, MMCKINFO *lpck, std::uint32_t wFlags);
