#include "telephony/WaveStream.h"
#include "tests/support/RiffBytes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

// The 16 bytes from format tag to bits per sample.
QByteArray fmt16(std::uint16_t tag, std::uint16_t channels = 1, std::uint32_t rate = 8000,
                 std::uint16_t bits = 16, std::optional<std::uint16_t> align = std::nullopt)
{
    const std::uint16_t blockAlign = align ? *align : std::uint16_t(channels * ((bits + 7) / 8));
    return le16(tag) + le16(channels) + le32(rate) + le32(rate * blockAlign) + le16(blockAlign) + le16(bits);
}

QByteArray extraBytes(int n)
{
    QByteArray e;
    for (int i = 0; i < n; ++i)
        e += char(0xA0 + i);
    return e;
}

const QByteArray samples8 = QByteArray("\x01\x00\x02\x00\x03\x00\x04\x00", 8);

class WaveStreamTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    QByteArray readFile(const QString &name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // The text of the error a constructor raises, or "" when it succeeds.
    static std::string openError(const QString &file)
    {
        try {
            TFileWaveStream stream(file);
        } catch (const EWaveStreamError &e) {
            return e.what();
        }
        return "";
    }
};

int openDescriptors()
{
    return int(
        QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size());
}

// --- parsing ------------------------------------------------------------

struct ParseCase {
    const char *what;
    QByteArray file;
    const char *error; // nullptr: parses
    std::uint16_t tag = 0;
    std::uint16_t cbSize = 0;
    std::int32_t length = 0;
    std::int32_t dataOffset = 0;
};

std::vector<ParseCase> parseCases()
{
    const QByteArray pcm = fmt16(WAVE_FORMAT_PCM);
    const QByteArray adpcm = fmt16(2, 1, 8000, 4, 256);
    const QByteArray mp3 = fmt16(WAVE_FORMAT_MPEGLAYER3, 1, 8000, 0, 1);
    const QByteArray data = chunk("data", samples8);
    QByteArray truncatedData = riff(chunk("fmt ", pcm) + chunk("data", QByteArray(1000, 'x')));
    truncatedData.chop(990);
    QByteArray truncatedFmt = riff(chunk("fmt ", pcm) + data);
    truncatedFmt.truncate(12 + 8 + 10);
    QByteArray lyingRiff = riff(chunk("fmt ", pcm) + data);
    lyingRiff.replace(4, 4, le32(4 + 24)); // covers the "fmt " chunk only

    return {
        {"PCM, 16-byte fmt", riff(chunk("fmt ", pcm) + data), nullptr, 1, 0, 4, 44},
        {"PCM, 18-byte fmt: the extra size is not read", riff(chunk("fmt ", pcm + le16(0)) + data), nullptr,
         1, 0, 4, 46},
        {"PCM with a stray extra size", riff(chunk("fmt ", pcm + le16(22)) + data), nullptr, 1, 0, 4, 46},
        {"non-PCM with 32 extra bytes", riff(chunk("fmt ", adpcm + le16(32) + extraBytes(32)) + data),
         nullptr, 2, 32, 0, 78},
        {"non-PCM, 16-byte fmt without an extra size", riff(chunk("fmt ", fmt16(3, 1, 8000, 32)) + data),
         nullptr, 3, 0, 2, 44},
        {"odd data size rounds down", riff(chunk("fmt ", pcm) + chunk("data", samples8.left(7))), nullptr, 1,
         0, 3, 44},
        {"chunks before fmt and between fmt and data",
         riff(chunk("junk", "abc") + chunk("LIST", "INFO" + chunk("INAM", "x")) + chunk("fmt ", pcm) +
              chunk("fact", le32(4)) + data),
         nullptr, 1, 0, 4, 44 + 12 + 22 + 12},
        {"data before fmt", riff(data + chunk("fmt ", pcm)), nullptr, 1, 0, 4, 20},
        {"truncated data: length is what the file holds", truncatedData, nullptr, 1, 0, 5, 44},

        {"empty file", QByteArray(), "Invalid multimedia file!"},
        {"short text", "hi\n", "Invalid multimedia file!"},
        {"text named .wav", "This is not a sound file.\r\n", "Not a wave file!"},
        {"RIFF of another form", riff(chunk("fmt ", pcm) + data, "AVI "), "Not a wave file!"},
        {"LIST at the top", QByteArray("LIST") + le32(4) + "WAVE", "Not a wave file!"},
        {"no fmt chunk", riff(data), "Couldn't find 'fmt' chunk!"},
        {"RIFF size 0", riff(chunk("fmt ", pcm) + data).replace(4, 4, le32(0)), "Couldn't find 'fmt' chunk!"},
        {"14-byte fmt", riff(chunk("fmt ", pcm.left(14)) + data), "Abnormal 'fmt' size!"},
        {"file ends inside fmt", truncatedFmt, "Error reading 'fmt' chunk!"},
        {"non-PCM, 17-byte fmt", riff(chunk("fmt ", adpcm + "\x20") + data),
         "Error reading 'waveformatex' length!"},
        {"extra size larger than the chunk", riff(chunk("fmt ", adpcm + le16(32) + extraBytes(10)) + data),
         "Error reading 'waveformatex'!"},
        {"lying extra size at the end of the file", riff(chunk("fmt ", adpcm + le16(0xffff))),
         "Error reading 'waveformatex'!"},
        {"MPEG Layer-3", riff(chunk("fmt ", mp3 + le16(12) + extraBytes(12)) + data),
         "MPEG Layer-3 compression is not supported."},
        {"MPEG Layer-3 with a short format", riff(chunk("fmt ", mp3 + le16(12) + extraBytes(4)) + data),
         "Error reading 'waveformatex'!"},
        {"no data chunk", riff(chunk("fmt ", pcm)), "Couldn't find 'data' chunk!"},
        {"data chunk outside the RIFF", lyingRiff, "Couldn't find 'data' chunk!"},
        {"block alignment 0", riff(chunk("fmt ", fmt16(1, 1, 8000, 16, 0)) + data),
         "Abnormal 'fmt' block alignment!"},
    };
}

TEST_F(WaveStreamTest, ParsesCraftedFilesOrGivesTheirError)
{
    for (const ParseCase &c : parseCases()) {
        SCOPED_TRACE(c.what);
        const QString file = writeFile("crafted.wav", c.file);
        if (c.error) {
            EXPECT_EQ(openError(file), c.error);
            continue;
        }
        TFileWaveStream stream(file);
        ASSERT_NE(stream.Format(), nullptr);
        EXPECT_EQ(stream.Format()->wFormatTag, c.tag);
        EXPECT_EQ(stream.Format()->cbSize, c.cbSize);
        EXPECT_EQ(stream.Length(), c.length);
        EXPECT_EQ(stream.DataOffset(), c.dataOffset);
    }
}

TEST_F(WaveStreamTest, ExtraFormatBytesFollowTheRecord)
{
    const QByteArray extra = extraBytes(32);
    const QString file = writeFile(
        "adpcm.wav", riff(chunk("fmt ", fmt16(2, 1, 8000, 4, 256) + le16(32) + extra) + chunk("data", "")));
    TFileWaveStream stream(file);
    const auto *bytes = reinterpret_cast<const char *>(stream.Format());
    EXPECT_EQ(QByteArray(bytes + sizeof(WAVEFORMATEX), 32), extra); // a 50-byte record
    EXPECT_EQ(stream.Format()->nBlockAlign, 256);
}

TEST_F(WaveStreamTest, MissingFileCannotBeOpened)
{
    EXPECT_EQ(openError(path("none.wav")), "Can't open file stream.");
    EXPECT_EQ(openError(dir.path()), "Can't open file stream.");
}

TEST_F(WaveStreamTest, FailedConstructorClosesTheFile)
{
    const QString bad = writeFile("bad.wav", riff(chunk("fmt ", fmt16(1)))); // no data chunk
    const int before = openDescriptors();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(openError(bad), "Couldn't find 'data' chunk!");
    EXPECT_EQ(openDescriptors(), before);
}

// --- reading and seeking ---------------------------------------------------

class ReadStreamTest : public WaveStreamTest {
protected:
    void SetUp() override
    {
        // Four samples, then a LIST chunk that is not sound.
        file = writeFile("four.wav", riff(chunk("fmt ", fmt16(1)) + chunk("data", samples8) +
                                          chunk("LIST", "INFO" + chunk("ICMT", "noise!"))));
        stream = std::make_unique<TFileWaveStream>(file);
    }

    std::vector<std::int16_t> read(std::int32_t blocks, std::int32_t *got = nullptr)
    {
        std::vector<std::int16_t> out(size_t(blocks) + 4, -1);
        const std::int32_t n = stream->Read(out.data(), blocks);
        if (got)
            *got = n;
        out.resize(size_t(n));
        return out;
    }

    QString file;
    std::unique_ptr<TFileWaveStream> stream;
};

TEST_F(ReadStreamTest, ReadsBlocksAndStopsAtTheEndOfTheData)
{
    EXPECT_EQ(read(3), (std::vector<std::int16_t>{1, 2, 3}));
    EXPECT_EQ(read(10), (std::vector<std::int16_t>{4}));
    EXPECT_TRUE(read(10).empty());
    EXPECT_EQ(stream->Read(nullptr, 0), 0);
}

TEST_F(ReadStreamTest, SeeksInBlocksFromTheDataStart)
{
    EXPECT_EQ(stream->Seek(2, TStream::soFromBeginning), 2);
    EXPECT_EQ(read(1), (std::vector<std::int16_t>{3}));
    EXPECT_EQ(stream->Seek(-2, TStream::soFromCurrent), 1);
    EXPECT_EQ(read(1), (std::vector<std::int16_t>{2}));
    EXPECT_EQ(stream->Seek(-1, TStream::soFromEnd), 3);
    EXPECT_EQ(read(4), (std::vector<std::int16_t>{4}));
    EXPECT_EQ(stream->Seek(0, TStream::soFromEnd), stream->Length());

    EXPECT_EQ(stream->Seek(0, TStream::soFromBeginning), 0);
    EXPECT_EQ(read(1), (std::vector<std::int16_t>{1})); // the first data byte
}

TEST_F(ReadStreamTest, SeekingBeforeTheDataIsRefusedAndChangesNothing)
{
    ASSERT_EQ(stream->Seek(1, TStream::soFromBeginning), 1);
    const std::pair<int, int> refused[] = {{-1, 0}, {-2, 1}, {-5, 2}, {0x7fffffff, 0}, {0, 7}};
    for (auto [offset, origin] : refused) {
        SCOPED_TRACE(offset);
        try {
            stream->Seek(offset, std::uint16_t(origin));
            ADD_FAILURE() << "no error";
        } catch (const EWaveStreamError &e) {
            EXPECT_STREQ(e.what(), "Seeking to an invalid location in the file.");
        }
    }
    EXPECT_EQ(read(1), (std::vector<std::int16_t>{2}));
}

TEST_F(ReadStreamTest, WritingToAFileOpenedForReadingFails)
{
    const std::int16_t s = 9;
    try {
        stream->Write(&s, 1);
        ADD_FAILURE() << "no error";
    } catch (const EWaveStreamError &e) {
        EXPECT_STREQ(e.what(), "Error writing to file.");
    }
    stream.reset();
    EXPECT_EQ(readFile("four.wav").mid(44, 8), samples8); // and the file is as it was
}

TEST(WaveStreamErrors, ReadingAFileOpenOnlyForWritingFails)
{
    QTemporaryDir dir;
    const QByteArray name = QFile::encodeName(dir.filePath("w.wav"));
    HMMIO h = mmioOpen(name.constData(), nullptr, MMIO_CREATE | MMIO_WRITE | MMIO_ALLOCBUF);
    ASSERT_NE(h, nullptr);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    {
        TWaveStream stream(h, &format);
        std::int16_t s[2];
        try {
            stream.Read(s, 2);
            ADD_FAILURE() << "no error";
        } catch (const EWaveStreamError &e) {
            EXPECT_STREQ(e.what(), "Error reading from file.");
        }
    }
    mmioClose(h, 0);
}

// --- telephone quality -----------------------------------------------------

TEST(TelephoneQuality, IsChannelsRateAndBitsWhateverTheTag)
{
    struct Case {
        std::uint16_t tag, channels;
        std::uint32_t rate;
        std::uint16_t bits;
        bool telephone;
    } cases[] = {
        {WAVE_FORMAT_PCM, 1, 8000, 16, true},
        {0x11, 1, 8000, 16, true},
        {0xFFFE, 1, 8000, 16, true},
        {WAVE_FORMAT_PCM, 2, 8000, 16, false},
        {WAVE_FORMAT_PCM, 1, 11025, 16, false},
        {WAVE_FORMAT_PCM, 1, 8000, 8, false},
        {7, 1, 8000, 8, false},
    };
    for (const Case &c : cases) {
        WAVEFORMATEX f{c.tag, c.channels, c.rate, 0, 2, c.bits, 0};
        EXPECT_EQ(isTelephoneQuality(f), c.telephone)
            << c.tag << " " << c.channels << " " << c.rate << " " << c.bits;
    }
}

TEST_F(WaveStreamTest, QualityOfAParsedNonPcmFile)
{
    // IMA ADPCM tag with telephone channels, rate and bits.
    const QString file = writeFile(
        "tag.wav", riff(chunk("fmt ", fmt16(0x11, 1, 8000, 16) + le16(2) + "\xf9\x01") + chunk("data", "")));
    TFileWaveStream stream(file);
    EXPECT_TRUE(stream.isTelephoneQuality());
}

// --- writing new files -----------------------------------------------------

WAVEFORMATEX telephoneFormat()
{
    return WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
}

TEST_F(WaveStreamTest, NewFileHasTheExactLayout)
{
    const WAVEFORMATEX format = telephoneFormat();
    {
        TFileWaveStream stream(path("new.wav"), &format);
        EXPECT_EQ(stream.DataOffset(), 46);
        const std::int16_t s[] = {1, 2, 3, 4};
        EXPECT_EQ(stream.Write(s, 4), 4);
        EXPECT_EQ(stream.Length(), 4);
        stream.close();
    }
    const QByteArray record(reinterpret_cast<const char *>(&format), 18);
    EXPECT_EQ(readFile("new.wav"), riff(chunk("fmt ", record) + chunk("data", samples8)));
}

TEST_F(WaveStreamTest, DestructorWritesTheSizesAndPadsOddData)
{
    // 8-bit mono: one-byte blocks, so three blocks make an odd data chunk.
    const WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
    {
        TFileWaveStream stream(path("odd.wav"), &format);
        EXPECT_EQ(stream.Write("\x80\x81\x82", 3), 3);
    }
    const QByteArray record(reinterpret_cast<const char *>(&format), 18);
    EXPECT_EQ(readFile("odd.wav"), riff(chunk("fmt ", record) + chunk("data", "\x80\x81\x82")));

    TFileWaveStream back(path("odd.wav"));
    EXPECT_EQ(back.Length(), 3);
}

TEST_F(WaveStreamTest, NewFileKeepsTheWholeFormatRecord)
{
    struct {
        WAVEFORMATEX head{2, 1, 8000, 4096, 256, 4, 4};
        char extra[4] = {'\x01', '\x02', '\x03', '\x04'};
    } format;
    {
        TFileWaveStream stream(path("ext.wav"), &format.head);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(stream.Format()) + 18, 4), "\x01\x02\x03\x04");
    }
    TFileWaveStream back(path("ext.wav"));
    EXPECT_EQ(back.Format()->cbSize, 4);
    EXPECT_EQ(back.DataOffset(), 12 + 8 + 22 + 8);
}

TEST_F(WaveStreamTest, SeekingInANewFileCountsFromTheData)
{
    const WAVEFORMATEX format = telephoneFormat();
    {
        TFileWaveStream stream(path("seek.wav"), &format);
        const std::int16_t s[] = {1, 2, 3, 4};
        ASSERT_EQ(stream.Write(s, 4), 4);
        EXPECT_EQ(stream.Seek(1, TStream::soFromBeginning), 1);
        const std::int16_t nine = 9;
        ASSERT_EQ(stream.Write(&nine, 1), 1);
        EXPECT_EQ(stream.Seek(0, TStream::soFromEnd), 4);
        EXPECT_EQ(stream.Seek(-4, TStream::soFromCurrent), 0);
        std::int16_t first[4] = {};
        EXPECT_EQ(stream.Read(first, 4), 4);
        EXPECT_EQ(first[1], 9);
        EXPECT_THROW(stream.Seek(-1, TStream::soFromBeginning), EWaveStreamError);
        EXPECT_EQ(stream.Length(), 4);
    }
    TFileWaveStream back(path("seek.wav"));
    std::int16_t got[5] = {};
    EXPECT_EQ(back.Read(got, 5), 4);
    EXPECT_EQ(std::vector<std::int16_t>(got, got + 4), (std::vector<std::int16_t>{1, 9, 3, 4}));
}

TEST_F(WaveStreamTest, WriteFailuresAreReported)
{
    if (!QFile::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    const WAVEFORMATEX format = telephoneFormat();

    // Buffered: the headers fit the buffer; the disk refuses them at the end.
    {
        TFileWaveStream stream("/dev/full", &format);
        try {
            stream.close();
            ADD_FAILURE() << "no error";
        } catch (const EWaveStreamError &e) {
            EXPECT_STREQ(e.what(), "Cannot flush.");
        }
    }
    // Unbuffered: the first chunk cannot be written.
    HMMIO h = mmioOpen("/dev/full", nullptr, MMIO_WRITE);
    ASSERT_NE(h, nullptr);
    try {
        TWaveStream stream(h, &format);
        ADD_FAILURE() << "no error";
    } catch (const EWaveStreamError &e) {
        EXPECT_STREQ(e.what(), "Error creating chunk.");
    }
    mmioClose(h, 0);

    // Samples beyond the buffer reach the disk, which refuses them.
    TFileWaveStream stream("/dev/full", &format);
    std::vector<std::int16_t> second(8000);
    try {
        stream.Write(second.data(), 8000);
        ADD_FAILURE() << "no error";
    } catch (const EWaveStreamError &e) {
        EXPECT_STREQ(e.what(), "Error writing to file.");
    }
}

TEST_F(WaveStreamTest, NewFileWithBlockAlignmentZeroIsRefused)
{
    WAVEFORMATEX format = telephoneFormat();
    format.nBlockAlign = 0;
    try {
        TFileWaveStream stream(path("zero.wav"), &format);
        ADD_FAILURE() << "no error";
    } catch (const EWaveStreamError &e) {
        EXPECT_STREQ(e.what(), "Abnormal 'fmt' block alignment!");
    }
}

// --- against sox -------------------------------------------------------------

class SoxTest : public WaveStreamTest {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable("sox").isEmpty() ||
            QStandardPaths::findExecutable("soxi").isEmpty())
            GTEST_SKIP() << "sox is not installed (Debian package sox)";
    }

    // Standard output, trimmed.
    static QByteArray run(const QString &program, const QStringList &args)
    {
        return runRaw(program, args).trimmed();
    }

    static QByteArray runRaw(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(30000);
        EXPECT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                                   << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput();
    }
};

TEST_F(SoxTest, SoxReadsWhatWeWrite)
{
    struct Case {
        WAVEFORMATEX format;
        std::int32_t blocks;
    } cases[] = {
        {telephoneFormat(), 8000},
        {WAVEFORMATEX{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0}, 4410},
        {WAVEFORMATEX{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0}, 1001},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format.nSamplesPerSec);
        const QString file = path("ours.wav");
        QByteArray samples(c.blocks * c.format.nBlockAlign, '\0');
        for (int i = 0; i < samples.size(); ++i)
            samples[i] = char(i * 7 % 251);
        {
            TFileWaveStream stream(file, &c.format);
            ASSERT_EQ(stream.Write(samples.constData(), c.blocks), c.blocks);
            stream.close();
        }
        EXPECT_EQ(run("soxi", {"-r", file}).toUInt(), c.format.nSamplesPerSec);
        EXPECT_EQ(run("soxi", {"-c", file}).toUInt(), c.format.nChannels);
        EXPECT_EQ(run("soxi", {"-b", file}).toUInt(), c.format.wBitsPerSample);
        EXPECT_EQ(run("soxi", {"-s", file}).toInt(), c.blocks);
        EXPECT_EQ(runRaw("sox", {file, "-t", "raw", "-"}), samples);
    }
}

TEST_F(SoxTest, FilesMadeBySoxParse)
{
    struct Case {
        QStringList format;
        double seconds;
        std::uint16_t tag, channels;
        std::uint32_t rate;
        std::uint16_t bits;
        std::int32_t length;
        bool telephone;
    } cases[] = {
        {{"-r", "8000", "-c", "1", "-b", "16"}, 0.5, WAVE_FORMAT_PCM, 1, 8000, 16, 4000, true},
        {{"-r", "44100", "-c", "2", "-b", "16"}, 0.1, WAVE_FORMAT_PCM, 2, 44100, 16, 4410, false},
        {{"-r", "8000", "-c", "1", "-e", "u-law"}, 0.25, 7, 1, 8000, 8, 2000, false},
        {{"-r", "8000", "-c", "1", "-b", "24"}, 0.25, 0xFFFE, 1, 8000, 24, 2000, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.format.join(' ').toStdString());
        const QString file = path("sox.wav");
        run("sox", QStringList{"-n"} + c.format +
                       QStringList{file, "synth", QString::number(c.seconds), "sine", "440"});
        TFileWaveStream stream(file);
        EXPECT_EQ(stream.Format()->wFormatTag, c.tag);
        EXPECT_EQ(stream.Format()->nChannels, c.channels);
        EXPECT_EQ(stream.Format()->nSamplesPerSec, c.rate);
        EXPECT_EQ(stream.Format()->wBitsPerSample, c.bits);
        EXPECT_EQ(stream.Length(), c.length);
        EXPECT_EQ(stream.isTelephoneQuality(), c.telephone);
    }
}

TEST_F(SoxTest, SoxFileWithExtraChunksBeforeFmtAndData)
{
    const QString made = path("plain.wav");
    run("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", made, "synth", "0.125", "sine", "300"});
    const QByteArray soxRaw = runRaw("sox", {made, "-t", "raw", "-"});

    // Rebuild sox's file with foreign chunks around its own "fmt " and "data".
    QByteArray original = readFile("plain.wav");
    QByteArray fmtChunk, dataChunk;
    for (int pos = 12; pos + 8 <= original.size();) {
        const QByteArray id = original.mid(pos, 4);
        std::uint32_t size;
        std::memcpy(&size, original.constData() + pos + 4, 4);
        const QByteArray whole = original.mid(pos, 8 + int(size) + int(size & 1));
        if (id == "fmt ")
            fmtChunk = whole;
        else if (id == "data")
            dataChunk = whole;
        pos += 8 + int(size) + int(size & 1);
    }
    ASSERT_FALSE(fmtChunk.isEmpty());
    ASSERT_FALSE(dataChunk.isEmpty());
    const QString file = writeFile(
        "extra.wav", riff(chunk("LIST", "INFO" + chunk("ISFT", "Brenvoy test")) + chunk("junk", "x") +
                          fmtChunk + chunk("fact", le32(1000)) + dataChunk + chunk("id3 ", "tag")));

    TFileWaveStream stream(file);
    EXPECT_TRUE(stream.isTelephoneQuality());
    EXPECT_EQ(stream.Length(), 1000);
    QByteArray samples(2 * 1000 + 10, '\0');
    ASSERT_EQ(stream.Read(samples.data(), 1005), 1000);
    samples.truncate(2000);
    EXPECT_EQ(samples, soxRaw);
    // And sox still reads the rebuilt file the same.
    EXPECT_EQ(runRaw("sox", {file, "-t", "raw", "-"}), soxRaw);
}

} // namespace
