#pragma once

// Small contact tables for window tests, and a reader of the raw bytes so a
// test checks what reached the file, not what the table says it holds.

#include "contacts/DbfTable.h"

#include <QDate>
#include <QFile>
#include <QMap>
#include <QString>

struct ContactRow {
    QString name;
    QString last;
    QString phone;
    QString cell;
    QString fax;
    QString email;
    std::optional<QDate> callback;
    std::optional<QDate> faxback;
    std::optional<QDate> emailback;
};

// Creates a contact table at path holding rows, in that order.
inline void makeContactTable(const QString &path, const QList<ContactRow> &rows)
{
    CreateContactTable(path);
    if (rows.isEmpty())
        return;
    TDbfTable t(QStringLiteral("fixture"));
    t.setTableName(path);
    t.Open();
    for (const ContactRow &r : rows) {
        t.Append();
        t.SetAsString("NAME", r.name);
        t.SetAsString("LAST", r.last);
        t.SetAsString("COMPNAME", r.name.isEmpty() ? QString() : r.name + " Ltd");
        t.SetAsString("PHONE", r.phone);
        t.SetAsString("CELLPHONE", r.cell);
        t.SetAsString("FAX", r.fax);
        t.SetAsString("EMAIL", r.email);
        if (r.callback)
            t.SetAsDate("CALLBACK", r.callback);
        if (r.faxback)
            t.SetAsDate("FAXBACK", r.faxback);
        if (r.emailback)
            t.SetAsDate("EMAILBACK", r.emailback);
        t.Post();
    }
    t.Close();
}

// The bytes of the table file, read field by field from its own header.
class RawTable {
public:
    explicit RawTable(const QString &path)
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            m_bytes = f.readAll();
        if (m_bytes.size() < 32)
            return;
        m_headerSize = quint8(m_bytes[8]) | (quint8(m_bytes[9]) << 8);
        m_recordSize = quint8(m_bytes[10]) | (quint8(m_bytes[11]) << 8);
        m_count = quint8(m_bytes[4]) | (quint8(m_bytes[5]) << 8) | (quint8(m_bytes[6]) << 16) |
                  (quint32(quint8(m_bytes[7])) << 24);
        int offset = 1;
        for (int p = 32; p + 32 <= m_headerSize && m_bytes[p] != '\r'; p += 32) {
            const QString name = QString::fromLatin1(m_bytes.mid(p, 11).constData());
            const int width = quint8(m_bytes[p + 16]);
            m_fields[name] = {offset, width};
            offset += width;
        }
    }
    int count() const { return int(m_count); }
    // The raw field bytes of record n (1-based), trailing spaces kept.
    QByteArray field(int record, const QString &name) const
    {
        const auto f = m_fields.value(name, {-1, 0});
        if (f.first < 0)
            return "<no field>";
        return m_bytes.mid(m_headerSize + (record - 1) * m_recordSize + f.first, f.second);
    }
    QString text(int record, const QString &name) const
    {
        QByteArray b = field(record, name);
        while (b.endsWith(' '))
            b.chop(1);
        return QString::fromLatin1(b);
    }
    bool deleted(int record) const { return m_bytes[m_headerSize + (record - 1) * m_recordSize] == '*'; }
    QByteArray bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    int m_headerSize = 0;
    int m_recordSize = 0;
    quint32 m_count = 0;
    QMap<QString, QPair<int, int>> m_fields;
};
