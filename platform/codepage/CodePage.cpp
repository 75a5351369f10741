#include "platform/codepage/CodePage.h"

#include "platform/codepage/CodePageTables.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace {

struct DriverEntry {
    unsigned char driver;
    const char *codePage;
};

// Language driver bytes of dBase III/IV and the Windows/DOS/Mac tools that
// write them, for single-byte code pages.
const DriverEntry kDrivers[] = {
    {0x01, "IBM437"},       {0x02, "IBM850"},         {0x03, "Windows-1252"}, {0x04, "macintosh"},
    {0x08, "IBM865"},       {0x09, "IBM437"},         {0x0A, "IBM850"},       {0x0B, "IBM437"},
    {0x0D, "IBM437"},       {0x0E, "IBM850"},         {0x0F, "IBM437"},       {0x10, "IBM850"},
    {0x11, "IBM437"},       {0x12, "IBM850"},         {0x14, "IBM850"},       {0x15, "IBM437"},
    {0x16, "IBM850"},       {0x17, "IBM865"},         {0x18, "IBM437"},       {0x19, "IBM437"},
    {0x1A, "IBM850"},       {0x1B, "IBM437"},         {0x1C, "IBM863"},       {0x1D, "IBM850"},
    {0x1F, "IBM852"},       {0x22, "IBM852"},         {0x23, "IBM852"},       {0x24, "IBM860"},
    {0x25, "IBM850"},       {0x26, "IBM866"},         {0x37, "IBM850"},       {0x40, "IBM852"},
    {0x57, "Windows-1252"}, {0x58, "Windows-1252"},   {0x59, "Windows-1252"}, {0x64, "IBM852"},
    {0x65, "IBM866"},       {0x66, "IBM865"},         {0x67, "IBM861"},       {0x6A, "IBM737"},
    {0x6B, "IBM857"},       {0x6C, "IBM863"},         {0x7C, "Windows-874"},  {0x7D, "Windows-1255"},
    {0x7E, "Windows-1256"}, {0x96, "x-mac-cyrillic"}, {0x97, "x-mac-ce"},     {0x98, "x-mac-greek"},
    {0xC8, "Windows-1250"}, {0xC9, "Windows-1251"},   {0xCA, "Windows-1254"}, {0xCB, "Windows-1253"},
    {0xCC, "Windows-1257"},
};

const codepage_tables::Table *findTable(const char *name)
{
    for (int i = 0; i < codepage_tables::kTableCount; ++i)
        if (qstrcmp(codepage_tables::kTables[i].name, name) == 0)
            return &codepage_tables::kTables[i];
    return nullptr;
}

} // namespace

std::u16string foldCase(QStringView text)
{
    const QString folded = text.toString().toCaseFolded();
    return std::u16string(reinterpret_cast<const char16_t *>(folded.utf16()), size_t(folded.size()));
}

CodePage::CodePage(const char *name, const char16_t *upper) : m_name(QString::fromLatin1(name))
{
    for (int b = 0; b < 128; ++b)
        m_toUnicode[b] = char16_t(b);
    for (int b = 0; b < 128; ++b) {
        m_toUnicode[128 + b] = upper[b];
        m_fromUnicode[b] = {upper[b], static_cast<unsigned char>(128 + b)};
    }
    std::sort(m_fromUnicode.begin(), m_fromUnicode.end());
    for (int b = 0; b < 256; ++b) {
        m_folded[b] = foldCase(QStringView(&m_toUnicode[b], 1));
        m_foldedUnit[b] = m_folded[b].size() == 1 ? m_folded[b][0] : u'\0';
    }
}

const CodePage &CodePage::forLanguageDriver(unsigned char driver)
{
    // Built on first use; the deque keeps references stable.
    static std::mutex mutex;
    static std::deque<CodePage> pages;
    const char *name = "Windows-1252";
    for (const DriverEntry &e : kDrivers)
        if (e.driver == driver)
            name = e.codePage;
    std::lock_guard lock(mutex);
    for (const CodePage &p : pages)
        if (p.m_name == QLatin1String(name))
            return p;
    const codepage_tables::Table *table = findTable(name);
    Q_ASSERT(table);
    pages.push_back(CodePage(table->name, table->upper));
    return pages.back();
}

const CodePage &CodePage::windows1252()
{
    return forLanguageDriver(kDefaultLanguageDriver);
}

QString CodePage::decode(const char *data, qsizetype length) const
{
    QString out(length, Qt::Uninitialized);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < length; ++i)
        dst[i] = QChar(m_toUnicode[static_cast<unsigned char>(data[i])]);
    return out;
}

QByteArray CodePage::encode(QStringView text) const
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            out.append(char(c));
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i; // one character outside the page: one '?'
        out.append(encodeChar(QChar(c)).value_or('?'));
    }
    return out;
}

std::optional<char> CodePage::encodeChar(QChar ch) const
{
    const char16_t c = ch.unicode();
    if (c < 0x80)
        return char(c);
    auto it =
        std::lower_bound(m_fromUnicode.begin(), m_fromUnicode.end(), std::make_pair(c, (unsigned char)0));
    if (it != m_fromUnicode.end() && it->first == c)
        return char(it->second);
    return std::nullopt;
}

void CodePage::appendFolded(const char *data, qsizetype length, std::u16string &out) const
{
    // Nearly every byte folds to one unit: write those straight into place
    // (this runs for every text of every record when columns are built).
    const size_t start = out.size();
    out.resize(start + size_t(length));
    char16_t *o = out.data() + start;
    qsizetype i = 0;
    for (; i < length; ++i) {
        const char16_t c = m_foldedUnit[static_cast<unsigned char>(data[i])];
        if (c == u'\0')
            break;
        o[i] = c;
    }
    if (i == length)
        return;
    out.resize(start + size_t(i));
    for (; i < length; ++i) {
        const std::u16string &f = m_folded[static_cast<unsigned char>(data[i])];
        if (f.size() == 1)
            out.push_back(f[0]);
        else
            out.append(f);
    }
}
