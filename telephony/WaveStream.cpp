#include "telephony/WaveStream.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr FOURCC ckidFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC ckidData = mmioFOURCC('d', 'a', 't', 'a');
constexpr FOURCC formWave = mmioFOURCC('W', 'A', 'V', 'E');
constexpr std::int64_t maxPosition = std::numeric_limits<std::int32_t>::max();

[[noreturn]] void fail(const char *text)
{
    throw EWaveStreamError(text);
}

} // namespace

bool isTelephoneQuality(const WAVEFORMATEX &format)
{
    return format.nChannels == 1 && format.nSamplesPerSec == 8000 && format.wBitsPerSample == 16;
}

TWaveStream::TWaveStream(HMMIO file, const WAVEFORMATEX *format) : m_file(file)
{
    try {
        if (format)
            startNewFile(*format);
        else
            parse();
    } catch (...) {
        // Undo as the destructor would; the first error is the one to report.
        try {
            finish();
        } catch (...) {
        }
        throw;
    }
}

TWaveStream::~TWaveStream()
{
    try {
        finish();
    } catch (...) {
        // Nowhere to report from here; close() reports.
    }
}

void TWaveStream::close()
{
    finish();
}

void TWaveStream::finish()
{
    if (m_closed)
        return;
    m_closed = true;
    if (!m_file)
        return;
    mmioSeek(m_file, 0, SEEK_END);
    if (mmioAscend(m_file, &m_dataChunk, 0) != MMSYSERR_NOERROR)
        fail("Cannot ascend chunk.");
    if (mmioAscend(m_file, &m_riffChunk, 0) != MMSYSERR_NOERROR)
        fail("Cannot ascend chunk.");
    if (mmioFlush(m_file, 0) != MMSYSERR_NOERROR)
        fail("Cannot flush.");
}

void TWaveStream::setFormat(const WAVEFORMATEX &head, const char *extra)
{
    m_formatStorage.reset(new std::uint8_t[sizeof(WAVEFORMATEX) + head.cbSize]);
    m_format = new (m_formatStorage.get()) WAVEFORMATEX(head);
    if (head.cbSize)
        std::memcpy(m_formatStorage.get() + sizeof(WAVEFORMATEX), extra, head.cbSize);
}

void TWaveStream::parse()
{
    if (mmioDescend(m_file, &m_riffChunk, nullptr, 0) != MMSYSERR_NOERROR)
        fail("Invalid multimedia file!");
    if (m_riffChunk.ckid != FOURCC_RIFF || m_riffChunk.fccType != formWave)
        fail("Not a wave file!");

    m_dataChunk.ckid = ckidFmt;
    if (mmioDescend(m_file, &m_dataChunk, &m_riffChunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        fail("Couldn't find 'fmt' chunk!");
    if (m_dataChunk.cksize < 16)
        fail("Abnormal 'fmt' size!");

    // Reads stay inside the "fmt " chunk, so a lying extra size cannot pull
    // in the bytes of the chunks after it.
    WAVEFORMATEX head{};
    if (mmioRead(m_file, reinterpret_cast<char *>(&head), 16) != 16)
        fail("Error reading 'fmt' chunk!");
    head.cbSize = 0;
    const std::uint32_t rest = m_dataChunk.cksize - 16;
    if (head.wFormatTag != WAVE_FORMAT_PCM && rest > 0) {
        // A 16-byte chunk is the short format record without an extra size.
        std::uint16_t extraSize = 0;
        if (rest < 2 || mmioRead(m_file, reinterpret_cast<char *>(&extraSize), 2) != 2)
            fail("Error reading 'waveformatex' length!");
        head.cbSize = extraSize;
    }
    std::unique_ptr<char[]> extra;
    if (head.cbSize) {
        // Checked before allocating: the chunk bounds what the size may ask for.
        if (head.cbSize > rest - 2)
            fail("Error reading 'waveformatex'!");
        extra.reset(new char[head.cbSize]);
        if (mmioRead(m_file, extra.get(), head.cbSize) != head.cbSize)
            fail("Error reading 'waveformatex'!");
    }
    setFormat(head, extra.get());

    if (m_format->wFormatTag == WAVE_FORMAT_MPEGLAYER3)
        fail("MPEG Layer-3 compression is not supported.");
    if (mmioAscend(m_file, &m_dataChunk, 0) != MMSYSERR_NOERROR)
        fail("Error ascending from 'fmt' chunk!");
    if (mmioSeek(m_file, std::int32_t(m_riffChunk.dwDataOffset + 4), SEEK_SET) == -1)
        fail("Error seeking data!");

    m_dataChunk.ckid = ckidData;
    if (mmioDescend(m_file, &m_dataChunk, &m_riffChunk, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        fail("Couldn't find 'data' chunk!");
    MMIOINFO info;
    if (mmioGetInfo(m_file, &info, 0) != MMSYSERR_NOERROR)
        fail("Error getting info!");
    if (blockAlign() == 0)
        fail("Abnormal 'fmt' block alignment!");

    m_dataOffset = std::int32_t(m_dataChunk.dwDataOffset);
    // A truncated file holds fewer blocks than its header claims.
    std::int64_t bytes = m_dataChunk.cksize;
    const std::int32_t end = mmioSeek(m_file, 0, SEEK_END);
    if (end >= 0)
        bytes = std::clamp<std::int64_t>(std::int64_t(end) - m_dataOffset, 0, bytes);
    m_length = std::int32_t(std::min<std::int64_t>(bytes / blockAlign(), maxPosition));
    m_dataEnd = m_dataOffset + std::int64_t(m_length) * blockAlign();
    if (mmioSeek(m_file, m_dataOffset, SEEK_SET) == -1)
        fail("Error seeking data!");
}

void TWaveStream::startNewFile(const WAVEFORMATEX &format)
{
    if (format.nBlockAlign == 0)
        fail("Abnormal 'fmt' block alignment!");
    m_writing = true;
    m_riffChunk.fccType = formWave;
    m_riffChunk.cksize = 0;
    if (mmioCreateChunk(m_file, &m_riffChunk, MMIO_CREATERIFF) != MMSYSERR_NOERROR)
        fail("Error creating chunk.");

    const std::int32_t recordSize = std::int32_t(sizeof(WAVEFORMATEX)) + format.cbSize;
    m_dataChunk.ckid = ckidFmt;
    m_dataChunk.cksize = std::uint32_t(recordSize);
    if (mmioCreateChunk(m_file, &m_dataChunk, 0) != MMSYSERR_NOERROR)
        fail("Error creating chunk.");
    if (mmioWrite(m_file, reinterpret_cast<const char *>(&format), recordSize) != recordSize)
        fail("Error writing wave format.");
    // The whole record, extra bytes included, so that cbSize never promises
    // bytes the copy does not hold.
    setFormat(format, reinterpret_cast<const char *>(&format) + sizeof(WAVEFORMATEX));

    if (mmioAscend(m_file, &m_dataChunk, 0) != MMSYSERR_NOERROR)
        fail("Cannot ascend chunk.");
    m_dataChunk.ckid = ckidData;
    m_dataChunk.cksize = 0;
    if (mmioCreateChunk(m_file, &m_dataChunk, 0) != MMSYSERR_NOERROR)
        fail("Error creating chunk.");
    // Seeking counts from the data here too, as when reading.
    m_dataOffset = std::int32_t(m_dataChunk.dwDataOffset);
    m_dataEnd = m_dataOffset;
}

std::int64_t TWaveStream::position() const
{
    return mmioSeek(m_file, 0, SEEK_CUR);
}

std::int32_t TWaveStream::Read(void *buffer, std::int32_t count)
{
    if (m_closed || !m_format)
        fail("Error reading from file.");
    if (count <= 0)
        return 0;
    const std::int64_t pos = position();
    if (pos < 0)
        fail("Error reading from file.");
    // Only the sound data: chunks after it are not samples.
    const std::int64_t bytes = std::clamp<std::int64_t>(std::int64_t(count) * blockAlign(), 0,
                                                        std::max<std::int64_t>(0, m_dataEnd - pos));
    const std::int32_t got = mmioRead(m_file, static_cast<char *>(buffer), std::int32_t(bytes));
    if (got < 0)
        fail("Error reading from file.");
    return got / blockAlign();
}

std::int32_t TWaveStream::Write(const void *buffer, std::int32_t count)
{
    if (m_closed || !m_format)
        fail("Error writing to file.");
    if (count <= 0)
        return 0;
    const std::int64_t pos = position();
    const std::int64_t bytes = std::int64_t(count) * blockAlign();
    if (pos < 0 || pos + bytes > maxPosition)
        fail("Error writing to file.");
    const std::int32_t put = mmioWrite(m_file, static_cast<const char *>(buffer), std::int32_t(bytes));
    if (put != bytes)
        fail("Error writing to file.");
    if (m_writing && pos + put > m_dataEnd) {
        m_dataEnd = pos + put;
        m_length = std::int32_t((m_dataEnd - m_dataOffset) / blockAlign());
    }
    return put / blockAlign();
}

std::int32_t TWaveStream::Seek(std::int32_t offset, std::uint16_t origin)
{
    if (m_closed || !m_format)
        fail("Seeking to an invalid location in the file.");
    std::int64_t base;
    switch (origin) {
    case soFromBeginning:
        base = m_dataOffset;
        break;
    case soFromCurrent:
        base = position();
        break;
    case soFromEnd:
        // The end of the sound data, which is where reading stops.
        base = m_dataEnd;
        break;
    default:
        fail("Seeking to an invalid location in the file.");
    }
    const std::int64_t target = base + std::int64_t(offset) * blockAlign();
    // Checked before moving, so a refused seek leaves the position alone.
    if (base < 0 || target < m_dataOffset || target > maxPosition ||
        mmioSeek(m_file, std::int32_t(target), SEEK_SET) == -1)
        fail("Seeking to an invalid location in the file.");
    return std::int32_t((target - m_dataOffset) / blockAlign());
}

namespace wavestream_detail {

FileHandle::FileHandle(const QString &fileName, const WAVEFORMATEX *format)
{
    const QByteArray name = QFile::encodeName(fileName);
    const std::uint32_t flags = format ? MMIO_ALLOCBUF | MMIO_CREATE | MMIO_READWRITE : MMIO_ALLOCBUF;
    m_ownFile = mmioOpen(name.constData(), nullptr, flags);
    if (!m_ownFile)
        throw EWaveStreamError("Can't open file stream.");
}

FileHandle::~FileHandle()
{
    closeFile();
}

void FileHandle::closeFile()
{
    if (m_ownFile)
        mmioClose(m_ownFile, 0);
    m_ownFile = nullptr;
}

} // namespace wavestream_detail

TFileWaveStream::TFileWaveStream(const QString &fileName, const WAVEFORMATEX *format)
    : FileHandle(fileName, format), TWaveStream(m_ownFile, format)
{
}

TFileWaveStream::~TFileWaveStream() = default;

void TFileWaveStream::close()
{
    try {
        TWaveStream::close();
    } catch (...) {
        closeFile();
        throw;
    }
    closeFile();
}
