#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <string>

// A single-byte code page as named by a dBase table's language driver byte.
// Every one of the 256 byte values has exactly one character, and every such
// character writes back as the same byte, so text read and written again is
// never altered. Characters the page cannot hold are written as '?'.
class CodePage {
public:
    // The code page a language driver byte names. Driver 0 (dBase III tables)
    // and drivers of multi-byte or unknown code pages read as Windows-1252,
    // which is lossless for every byte.
    static const CodePage &forLanguageDriver(unsigned char driver);
    static const CodePage &windows1252();

    // The language driver byte tables are created with (Windows-1252).
    static constexpr unsigned char kDefaultLanguageDriver = 0x03;

    QString name() const { return m_name; }
    char16_t toUnicode(unsigned char byte) const { return m_toUnicode[byte]; }
    QString decode(const char *data, qsizetype length) const;
    QByteArray encode(QStringView text) const;
    // The byte for one UTF-16 unit; none when the page cannot hold it
    // (encode writes '?' there).
    std::optional<char> encodeChar(QChar c) const;

    // The case-folded form of one byte's character (one or more UTF-16 units),
    // so that text can be compared without case straight from record bytes.
    void appendFolded(const char *data, qsizetype length, std::u16string &out) const;

private:
    CodePage(const char *name, const char16_t *upper);

    QString m_name;
    std::array<char16_t, 256> m_toUnicode{};
    std::array<std::u16string, 256> m_folded;
    std::array<char16_t, 256> m_foldedUnit{}; // 0 where the fold is not one non-zero unit
    // Reverse map for 0x80 and above, sorted by character.
    std::array<std::pair<char16_t, unsigned char>, 128> m_fromUnicode{};
};

// Case folding of a whole text, the same rule appendFolded applies per byte.
std::u16string foldCase(QStringView text);
