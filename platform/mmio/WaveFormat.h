#pragma once

// The wave format record as stored in a RIFF WAVE file's "fmt " chunk and
// handed to wave devices: 18 bytes, then cbSize extra bytes.

#include <cstdint>

constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr std::uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;

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
