#pragma once

#include "platform/mmio/Mmio.h"
#include "platform/mmio/WaveFormat.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>

// Raised by the wave stream with one of its fixed texts.
class EWaveStreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The general stream: counts are in the stream's own units.
class TStream {
public:
    enum Origin : std::uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

    virtual ~TStream() = default;
    virtual std::int32_t Read(void *buffer, std::int32_t count) = 0;
    virtual std::int32_t Write(const void *buffer, std::int32_t count) = 0;
    virtual std::int32_t Seek(std::int32_t offset, std::uint16_t origin) = 0;
};

// 1 channel, 8000 samples per second, 16 bits per sample; the format tag
// does not matter.
bool isTelephoneQuality(const WAVEFORMATEX &format);

// The sound data of a RIFF WAVE file as a stream of sample blocks: Read,
// Write and Seek count in blocks of the format's block alignment. Reading
// stops at the end of the "data" chunk, Seek counts from its start (also in
// a new file) and soFromEnd means its end; a seek before the data start is
// refused and leaves the position alone.
//
// With no format the open file is parsed and positioned at the first data
// byte; with a format a new RIFF WAVE file is started in it. A failed
// constructor undoes what it did (as the destructor would) and throws
// EWaveStreamError.
//
// close() writes the final chunk sizes and flushes, reporting a failure as
// EWaveStreamError ("Cannot ascend chunk.", "Cannot flush."). The destructor
// does the same for a stream not yet closed, but has no way to report; a
// writer that must know calls close() first.
class TWaveStream : public TStream {
public:
    explicit TWaveStream(HMMIO file, const WAVEFORMATEX *format = nullptr);
    ~TWaveStream() override;

    TWaveStream(const TWaveStream &) = delete;
    TWaveStream &operator=(const TWaveStream &) = delete;

    std::int32_t Read(void *buffer, std::int32_t count) override;
    std::int32_t Write(const void *buffer, std::int32_t count) override;
    std::int32_t Seek(std::int32_t offset, std::uint16_t origin) override;

    // The format record, followed by its cbSize extra bytes.
    const WAVEFORMATEX *Format() const { return m_format; }
    // File position of the first byte of the "data" chunk's content.
    std::int32_t DataOffset() const { return m_dataOffset; }
    // Whole blocks in the "data" chunk.
    std::int32_t Length() const { return m_length; }

    bool isTelephoneQuality() const { return m_format && ::isTelephoneQuality(*m_format); }

    virtual void close();

private:
    void parse();
    void startNewFile(const WAVEFORMATEX &format);
    void setFormat(const WAVEFORMATEX &head, const char *extra);
    void finish();
    std::int64_t position() const;
    std::int32_t blockAlign() const { return m_format->nBlockAlign; }

    std::unique_ptr<std::uint8_t[]> m_formatStorage;
    WAVEFORMATEX *m_format = nullptr;
    std::int32_t m_dataOffset = 0;
    std::int32_t m_length = 0;
    HMMIO m_file = nullptr;
    MMCKINFO m_dataChunk;
    MMCKINFO m_riffChunk;

    // End of the sound data in the file: reads stop there, and a new file's
    // data grows it.
    std::int64_t m_dataEnd = 0;
    bool m_writing = false;
    bool m_closed = false;
};

namespace wavestream_detail {
// Opens the file of a TFileWaveStream before its TWaveStream part is built,
// and closes it after that part is gone, also when its constructor fails.
class FileHandle {
protected:
    FileHandle(const QString &fileName, const WAVEFORMATEX *format);
    ~FileHandle();
    void closeFile();

    HMMIO m_ownFile = nullptr;
};
} // namespace wavestream_detail

// A wave stream over a file it opens by name: for reading with a buffer, or,
// given a format, created for reading and writing with a buffer. A failed
// open raises "Can't open file stream.".
class TFileWaveStream : private wavestream_detail::FileHandle, public TWaveStream {
public:
    explicit TFileWaveStream(const QString &fileName, const WAVEFORMATEX *format = nullptr);
    ~TFileWaveStream() override;

    void close() override;
};
