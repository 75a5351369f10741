#pragma once

// PlaySound for the sound card, on Qt Multimedia. By file name, synchronous
// or asynchronous, with or without the default sound; a null sound stops
// whatever plays. Without an audio device it fails quietly (FALSE), as
// callers expect of a sound card that may be missing.

#include <cstdint>

using BOOL = int;
using HMODULE = void *;

constexpr std::uint32_t SND_SYNC = 0x0000;
constexpr std::uint32_t SND_ASYNC = 0x0001;
constexpr std::uint32_t SND_NODEFAULT = 0x0002;
constexpr std::uint32_t SND_MEMORY = 0x0004;
constexpr std::uint32_t SND_LOOP = 0x0008;
constexpr std::uint32_t SND_NOSTOP = 0x0010;
constexpr std::uint32_t SND_PURGE = 0x0040;
constexpr std::uint32_t SND_ALIAS = 0x00010000;
constexpr std::uint32_t SND_FILENAME = 0x00020000;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

// pszSound is a file name in the local 8-bit encoding (SND_FILENAME), or
// null to stop. SND_MEMORY and SND_ALIAS are not offered: FALSE.
BOOL PlaySound(const char *pszSound, HMODULE hmod, std::uint32_t fdwSound);

// Whether a sound started by PlaySound is still playing (for tests and
// callers that poll).
bool soundIsPlaying();
