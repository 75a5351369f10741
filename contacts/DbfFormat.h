#pragma once

#include "contacts/DbfTable.h"

#include <QByteArray>
#include <QDate>
#include <QVector>

#include <cstdint>

// The byte layout of a dBase III/IV table file: the 32-byte header, the
// 32-byte field descriptors and the encodings of the field values.
namespace dbf {

constexpr int kHeaderPrefix = 32;
constexpr int kDescriptorSize = 32;
constexpr char kDescriptorEnd = 0x0D;
constexpr char kEndOfFile = 0x1A;
constexpr char kLiveFlag = ' ';
constexpr char kDeletedFlag = '*';

constexpr uint8_t kVersionDbase3 = 0x03;
constexpr uint8_t kVersionDbase3Memo = 0x83;
constexpr uint8_t kVersionDbase4Memo = 0x8B;

struct Layout {
    uint8_t version = kVersionDbase4Memo;
    QDate lastUpdate;
    uint32_t headerCount = 0;
    uint16_t headerSize = 0;
    uint16_t recordSize = 0;
    uint8_t languageDriver = 0;
    QVector<FieldDef> fields;

    bool hasMemo() const;
};

inline uint16_t readU16(const char *p)
{
    return uint16_t(uint8_t(p[0]) | (uint8_t(p[1]) << 8));
}
inline uint32_t readU32(const char *p)
{
    return uint32_t(uint8_t(p[0])) | (uint32_t(uint8_t(p[1])) << 8) | (uint32_t(uint8_t(p[2])) << 16) |
           (uint32_t(uint8_t(p[3])) << 24);
}
inline void writeU16(char *p, uint16_t v)
{
    p[0] = char(v & 0xFF);
    p[1] = char(v >> 8);
}
inline void writeU32(char *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = char((v >> (8 * i)) & 0xFF);
}

// The header size a file declares, read from its first 32 bytes.
uint16_t declaredHeaderSize(const char *prefix32);

// Checks and decodes a header of headerSize bytes (or fewer when the file
// ends first). Anything that is not a consistent dBase III/IV header throws
// EDbfError("Invalid DBF file.").
Layout parseHeader(const QByteArray &header);

// The full header (prefix, descriptors, 0x0D) for a layout; offsets and the
// record size are computed from the fields.
QByteArray buildHeader(const Layout &layout);

// The 8 header bytes 0..7 (version, update date, record count).
QByteArray headerPrefix8(uint8_t version, const QDate &date, uint32_t count);

// Field value encodings.
QByteArray encodeNumber(qint64 value, int width, int decimals); // empty when it does not fit
bool decodeNumber(const char *p, int width, double *value);     // false: blank or not a number
std::optional<QDate> decodeDate(const char *p);                 // nullopt: blank or not a date
QByteArray encodeDate(const std::optional<QDate> &date);        // 8 bytes
bool decodeLogical(char c);
bool isBlank(const char *p, int width);
int trimmedLength(const char *p, int width); // without trailing spaces

// Memo pointer: ten decimal digits; 0 for blank, zeros or anything else.
uint64_t decodeMemoBlock(const char *p, int width);
QByteArray encodeMemoBlock(uint64_t block, int width);

} // namespace dbf
