#include "contacts/DbfFormat.h"

#include <cmath>
#include <cstring>

namespace dbf {

namespace {

[[noreturn]] void invalid()
{
    throw EDbfError(QStringLiteral("Invalid DBF file."));
}

bool knownVersion(uint8_t v)
{
    // dBase III, III with memo, IV without and with memo (and IV's SQL-table
    // variants); dBase 7 and FoxPro use other descriptor layouts.
    switch (v) {
    case 0x03:
    case 0x83:
    case 0x8B:
    case 0x43:
    case 0x63:
    case 0xCB:
        return true;
    default:
        return false;
    }
}

} // namespace

bool Layout::hasMemo() const
{
    for (const FieldDef &f : fields)
        if (f.type == FieldType::Memo)
            return true;
    return false;
}

uint16_t declaredHeaderSize(const char *prefix32)
{
    return readU16(prefix32 + 8);
}

Layout parseHeader(const QByteArray &header)
{
    if (header.size() < kHeaderPrefix + kDescriptorSize + 1)
        invalid();
    const char *h = header.constData();
    Layout l;
    l.version = uint8_t(h[0]);
    if (!knownVersion(l.version))
        invalid();
    l.lastUpdate = QDate(1900 + uint8_t(h[1]), uint8_t(h[2]), uint8_t(h[3]));
    l.headerCount = readU32(h + 4);
    l.headerSize = readU16(h + 8);
    l.recordSize = readU16(h + 10);
    l.languageDriver = uint8_t(h[29]);
    if (l.headerSize > header.size() || l.recordSize < 2)
        invalid();

    int offset = 1;
    int pos = kHeaderPrefix;
    for (;;) {
        if (pos >= l.headerSize)
            invalid(); // no terminator inside the declared header
        if (h[pos] == kDescriptorEnd)
            break;
        if (pos + kDescriptorSize >= l.headerSize)
            invalid(); // a descriptor (and the terminator) must fit the header
        const char *d = h + pos;
        int nameLength = 0;
        while (nameLength < 11 && d[nameLength] != 0)
            ++nameLength;
        if (nameLength == 0 || nameLength > 10)
            invalid();
        FieldDef f;
        f.name = QString::fromLatin1(d, nameLength).toUpper();
        for (QChar c : f.name)
            if (c.unicode() < 0x20 || c.unicode() > 0x7E)
                invalid();
        const char type = d[11];
        f.width = uint8_t(d[16]);
        f.decimals = uint8_t(d[17]);
        switch (type) {
        case 'C':
            f.type = FieldType::Character;
            break;
        case 'N':
        case 'F':
            f.type = FieldType::Number;
            if (f.width > 20 || f.decimals >= f.width)
                f.decimals = 0;
            break;
        case 'L':
            f.type = FieldType::Logical;
            break;
        case 'M':
            f.type = FieldType::Memo;
            break;
        case 'D':
            f.type = FieldType::Date;
            break;
        default:
            invalid();
        }
        if (f.width == 0 || (f.type == FieldType::Date && f.width != 8) ||
            (f.type == FieldType::Logical && f.width != 1) || (f.type == FieldType::Memo && f.width != 10))
            invalid();
        f.offset = offset;
        offset += f.width;
        l.fields.push_back(f);
        pos += kDescriptorSize;
    }
    if (l.fields.isEmpty() || offset != l.recordSize)
        invalid();
    return l;
}

QByteArray headerPrefix8(uint8_t version, const QDate &date, uint32_t count)
{
    QByteArray p(8, '\0');
    p[0] = char(version);
    if (date.isValid()) {
        p[1] = char(uint8_t((date.year() - 1900) & 0xFF));
        p[2] = char(date.month());
        p[3] = char(date.day());
    }
    writeU32(p.data() + 4, count);
    return p;
}

QByteArray buildHeader(const Layout &layout)
{
    const int n = int(layout.fields.size());
    const int headerSize = kHeaderPrefix + kDescriptorSize * n + 1;
    int recordSize = 1;
    for (const FieldDef &f : layout.fields)
        recordSize += f.width;
    QByteArray h(headerSize, '\0');
    h.replace(0, 8, headerPrefix8(layout.version, layout.lastUpdate, layout.headerCount));
    writeU16(h.data() + 8, uint16_t(headerSize));
    writeU16(h.data() + 10, uint16_t(recordSize));
    h[29] = char(layout.languageDriver);
    for (int i = 0; i < n; ++i) {
        const FieldDef &f = layout.fields[i];
        char *d = h.data() + kHeaderPrefix + kDescriptorSize * i;
        const QByteArray name = f.name.toUpper().toLatin1().left(10);
        memcpy(d, name.constData(), size_t(name.size()));
        d[11] = char(f.type);
        d[16] = char(f.width);
        d[17] = char(f.decimals);
    }
    h[headerSize - 1] = kDescriptorEnd;
    return h;
}

QByteArray encodeNumber(qint64 value, int width, int decimals)
{
    QByteArray digits = QByteArray::number(value);
    if (decimals > 0)
        digits += '.' + QByteArray(decimals, '0');
    if (digits.size() > width)
        return {};
    return QByteArray(width - digits.size(), ' ') + digits;
}

bool decodeNumber(const char *p, int width, double *value)
{
    int b = 0, e = width;
    while (b < e && p[b] == ' ')
        ++b;
    while (e > b && (p[e - 1] == ' ' || p[e - 1] == 0))
        --e;
    if (b == e)
        return false;
    bool ok = false;
    const double v = QByteArray(p + b, e - b).toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

std::optional<QDate> decodeDate(const char *p)
{
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 8; ++i)
        if (p[i] < '0' || p[i] > '9')
            return std::nullopt;
    for (int i = 0; i < 4; ++i)
        y = y * 10 + (p[i] - '0');
    m = (p[4] - '0') * 10 + (p[5] - '0');
    d = (p[6] - '0') * 10 + (p[7] - '0');
    const QDate date(y, m, d);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QByteArray encodeDate(const std::optional<QDate> &date)
{
    if (!date || !date->isValid() || date->year() < 1 || date->year() > 9999)
        return QByteArray(8, ' ');
    return date->toString(QStringLiteral("yyyyMMdd")).toLatin1();
}

bool decodeLogical(char c)
{
    return c == 'T' || c == 't';
}

bool isBlank(const char *p, int width)
{
    for (int i = 0; i < width; ++i)
        if (p[i] != ' ')
            return false;
    return true;
}

int trimmedLength(const char *p, int width)
{
    // Mostly spaces: skip them eight at a time.
    static const uint64_t spaces = 0x2020202020202020ull;
    while (width >= 8) {
        uint64_t w;
        memcpy(&w, p + width - 8, 8);
        if (w != spaces)
            break;
        width -= 8;
    }
    while (width > 0 && p[width - 1] == ' ')
        --width;
    return width;
}

uint64_t decodeMemoBlock(const char *p, int width)
{
    uint64_t block = 0;
    bool digit = false;
    for (int i = 0; i < width; ++i) {
        const char c = p[i];
        if (c == ' ' && !digit)
            continue;
        if (c < '0' || c > '9')
            return c == ' ' ? block : 0;
        digit = true;
        if (block > (UINT64_MAX - 9) / 10)
            return 0;
        block = block * 10 + uint64_t(c - '0');
    }
    return block;
}

QByteArray encodeMemoBlock(uint64_t block, int width)
{
    QByteArray digits = QByteArray::number(qulonglong(block));
    if (digits.size() > width)
        digits = digits.right(width);
    return QByteArray(width - digits.size(), '0') + digits;
}

} // namespace dbf
