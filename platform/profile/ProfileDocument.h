#pragma once

// One INI file in memory, as lines, with the lookup and edit rules of the
// private-profile functions (PrivateProfile.h) and what it takes to write
// the file back as it was: its encoding, its line ends, its final line end.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

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
    qsizetype findSection(const QString &name) const;
    qsizetype sectionEnd(qsizetype header) const;
    qsizetype findKey(qsizetype header, const QString &key) const;

    QStringList m_lines;
    QByteArray m_codec = "UTF-8";
    QString m_lineBreak = QStringLiteral("\r\n");
    bool m_endsWithLineBreak = true;
};
