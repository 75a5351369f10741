#pragma once

// The wave format record as stored in a RIFF WAVE file's "fmt " chunk and
// handed to wave devices: 18 bytes, then cbSize extra bytes.

#include <cstdint>

constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr std::uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize; // extra bytes following this record
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18, "the record has the file's layout");

// The extensible record's 22 extra bytes: valid bits per sample, channel
// mask and the sub-format GUID, whose first four bytes are the plain format
// tag the sub-format stands for.
constexpr std::uint16_t kExtensibleExtraSize = 22;

// The plain PCM record an extensible record means when its sub-format is
// PCM with every bit of the container valid: tools write such files for
// ordinary PCM. extra points at the record's cbSize extra bytes (extraSize of
// them readable). False for anything else.
inline bool plainPcmOfExtensible(const WAVEFORMATEX &format, const unsigned char *extra,
                                 std::uint32_t extraSize, WAVEFORMATEX &plain)
{
    // KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, as stored.
    static constexpr unsigned char pcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                                       0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format.cbSize < kExtensibleExtraSize || !extra ||
        extraSize < kExtensibleExtraSize)
        return false;
    for (int i = 0; i < 16; ++i)
        if (extra[6 + i] != pcmSubFormat[i])
            return false;
    const std::uint16_t validBits = std::uint16_t(extra[0] | (extra[1] << 8));
    if (validBits != 0 && validBits != format.wBitsPerSample)
        return false;
    plain = format;
    plain.wFormatTag = WAVE_FORMAT_PCM;
    plain.cbSize = 0;
    return true;
}
