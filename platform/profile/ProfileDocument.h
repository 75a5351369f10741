#pragma once

// One INI file in memory, as lines, with the lookup and edit rules of the
// private-profile functions (PrivateProfile.h) and what it takes to write
// the file back as it was: its encoding, its line ends, its final line end.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

class ProfileDocument {
public:
    // A missing file reads as empty. false when the file exists but cannot
    // be read.
    bool load(const QString &fileName);
    // Replaces the file in one step. false when it cannot be written.
    bool save(const QString &fileName) const;

    std::optional<QString> value(const QString &section, const QString &key) const;
    // false when the section or key name cannot stand in an INI line.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // Whether anything was removed.
    bool removeKey(const QString &section, const QString &key);
    bool removeSection(const QString &section);

    QStringList sections() const;
    QStringList keys(const QString &section) const;

    static bool validSection(const QString &section);
    static bool validKey(const QString &key);

private:
    enum class Kind { Section, Key, Blank, Other };
    // A line as the lookups see it, parsed once when it enters the document.
    struct Parsed {
        Kind kind = Kind::Other;
        QString name;   // section or key name, trimmed
        QString folded; // name, case-folded for comparison
        QString value;  // key value, trimmed and unquoted
    };
    static Parsed parse(const QString &raw);

    void insertLine(qsizetype at, const QString &raw);
    void replaceLine(qsizetype at, const QString &raw);
    void removeLines(qsizetype at, qsizetype count);

    qsizetype findSection(const QString &name) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString &key) const;

    QStringList m_lines;
    std::vector<Parsed> m_parsed; // one per line
    QByteArray m_codec = "UTF-8";
    QString m_lineBreak = QStringLiteral("\r\n");
    bool m_endsWithLineBreak = true;
};
