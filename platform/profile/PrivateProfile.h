#pragma once

// The private-profile (INI) file functions with the behaviour Windows gives
// them: sections and keys compare without regard to case, the first of
// several equal sections or keys wins, every other line of the file (comments,
// blank lines, lines before the first section, lines without "=") is kept
// as it stands, a missing file reads as empty and is created by the first
// write, and a key or a whole section is deleted by a null value.
//
// Text is kept in the encoding the file has: UTF-8 (with or without BOM),
// UTF-16 LE with BOM, or the Windows ANSI code page (Windows-1252) when the
// bytes are not valid UTF-8. Line ends follow the file; new files get CR LF.
//
// Where Windows would change a value on the way back (it trims blanks and
// strips one pair of enclosing quotes), the writer protects it with quotes,
// so every value written reads back as it was written. Line breaks cannot
// stand in a one-line value and are written as spaces.

#include <QString>
#include <QStringList>

#include <optional>

// The buffer of 2048 characters a caller normally reads through: at most
// 2047 characters of a value come back.
inline constexpr int kProfileBufferSize = 2048;

// Copies the value of key in section into the result, truncated to
// bufferSize - 1 characters; the default (trailing blanks removed) when the
// file, the section or the key is missing. bufferSize <= 0 means no limit.
QString GetPrivateProfileString(const QString &section, const QString &key, const QString &defaultValue,
                                const QString &fileName, int bufferSize = kProfileBufferSize);

// The value read as an integer the way Windows reads it: leading blanks, an
// optional sign, then decimal digits (or hex after "0x"); reading stops at
// the first other character, and text without digits gives 0. A missing or
// empty value gives defaultValue.
int GetPrivateProfileInt(const QString &section, const QString &key, int defaultValue,
                         const QString &fileName);

// Writes value under key in section, creating the file, the section or the
// key as needed. A null value (std::nullopt) deletes the key; a null key
// deletes the whole section. Returns false when the file cannot be read or
// written, or when a section or key name cannot be stored in an INI line.
bool WritePrivateProfileString(const QString &section, const std::optional<QString> &key,
                               const std::optional<QString> &value, const QString &fileName);

// Names of all sections, and of all keys of one section, in file order (the
// first spelling of each, without repeats).
QStringList GetPrivateProfileSectionNames(const QString &fileName);
QStringList GetPrivateProfileSectionKeys(const QString &section, const QString &fileName);
