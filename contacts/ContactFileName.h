#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>

// A file name built from a contact's fields could not be used: a field
// would lead out of the folder meant, or the file system cannot hold it.
class EContactFileName : public std::runtime_error {
public:
    explicit EContactFileName(const QString &text) : std::runtime_error(text.toStdString()), m_text(text) {}
    QString text() const { return m_text; }

private:
    QString m_text;
};

// The one place where contact fields become part of a file name. The parts
// are joined as they stand (nothing trimmed or replaced, so two contacts of
// the same name share their files), and the result is checked: a "/", a
// "..", a NUL or a name longer than the file system allows throws
// EContactFileName, so no file outside folder is ever named.
// folder may or may not end in a separator; the full path is returned.
QString ContactFilePath(const QString &folder, const QString &fileName);

// "call_rec_" + company + "_" + first + "_" + last + "_": the part of a
// recording's name before its slot number.
QString RecordingPrefix(const QString &company, const QString &firstName, const QString &lastName);
// The recording of a history slot (1 to 5) in folder, checked as above.
QString RecordingFilePath(const QString &folder, const QString &prefix, int slot);
