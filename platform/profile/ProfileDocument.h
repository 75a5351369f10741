#pragma once

// One INI file in memory, as lines, with the lookup and edit rules of the
// private-profile functions (PrivateProfile.h) and what it takes to write
// the file back as it was: its encoding, its line ends, its final line end.
//
// A file is only as big as the disk allows, so lookups and batch edits stay
// linear in its size: sections and keys are found through an index built on
// first use, and each line is parsed once into positions within it rather
// than into copies of its text.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

class ProfileDocument {
public:
    // The largest file read. A settings file is a few kilobytes (a value
    // reads back 2047 characters at most; a play list of ten thousand paths
    // is about a megabyte) and a template with a large hex-encoded body a few
    // megabytes, so a larger file is damaged or not ours: it is not read,
    // and so never overwritten with only our keys.
    static constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

    // A missing file reads as empty. false when the file exists but cannot
    // be read, or is larger than kMaxFileSize.
    bool load(const QString &fileName);
    // Replaces the file in one step. false when it cannot be written.
    bool save(const QString &fileName) const;

    // At most maxLength characters when maxLength >= 0.
    std::optional<QString> value(const QString &section, const QString &key, qsizetype maxLength = -1) const;
    // false when the section or key name cannot stand in an INI line. A key
    // whose value would read back the same keeps its line untouched.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // The same as setValue for each pair in turn, in one pass over the file.
    bool setValues(const QString &section, const std::vector<std::pair<QString, QString>> &values);
    // Whether anything was removed.
    bool removeKey(const QString &section, const QString &key);
    // Removes every key of the section whose name matches, in one pass.
    bool removeKeys(const QString &section, const std::function<bool(const QString &key)> &matches);
    bool removeSection(const QString &section);

    QStringList sections() const;
    QStringList keys(const QString &section) const;

    static bool validSection(const QString &section);
    static bool validKey(const QString &key);

private:
    enum class Kind : quint8 { Section, Key, Blank, Other };
    // A line as the lookups see it, parsed once when it enters the document:
    // where its name and value stand in the raw line.
    struct Parsed {
        Kind kind = Kind::Other;
        qsizetype nameFrom = 0, nameLength = 0;   // section or key name, trimmed
        qsizetype valueFrom = 0, valueLength = 0; // key value, trimmed and unquoted
    };
    static Parsed parse(const QString &raw);
    QStringView nameOf(qsizetype line) const;
    QStringView valueOf(qsizetype line) const;
    QString foldedName(qsizetype line) const { return nameOf(line).toString().toCaseFolded(); }

    void insertLines(qsizetype at, const QStringList &raw);
    void replaceLine(qsizetype at, const QString &raw);
    void removeLines(qsizetype at, qsizetype count);
    void invalidate();

    qsizetype findSection(const QString &name) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString &key) const;
    // Where a new key of the section goes: after its last non-blank line.
    qsizetype insertionPoint(qsizetype header) const;

    QStringList m_lines;
    std::vector<Parsed> m_parsed; // one per line
    QByteArray m_codec = "UTF-8";
    QString m_lineBreak = QStringLiteral("\r\n");
    bool m_endsWithLineBreak = true;

    // Built on first lookup, dropped when lines move.
    mutable std::optional<QHash<QString, qsizetype>> m_sectionIndex; // folded name -> first header
    mutable QHash<qsizetype, QHash<QString, qsizetype>> m_keyIndex;  // header -> folded key -> first line
};
