#pragma once

#include "contacts/DbfTable.h"
#include "tests/support/TestEnvironment.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

inline QByteArray readFileBytes(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline void writeFileBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

// A fresh contact table in a temporary program folder, opened.
struct ContactTableFixture {
    TestEnvironment te;
    QString path = te.path("contacdata.dbf");
    QString memoPath = te.path("contacdata.dbt");
    std::unique_ptr<TDbfTable> table;

    ContactTableFixture()
    {
        CreateContactTable(path, te.clock);
        table = openTable();
    }
    std::unique_ptr<TDbfTable> openTable(const QString &name = QStringLiteral("dsTable")) const
    {
        auto t = std::make_unique<TDbfTable>(name);
        t->setClock(&te.clock);
        t->setTableName(path);
        t->Open();
        return t;
    }
    // Appends and posts one contact with the given first and last name.
    Bookmark add(const QString &first, const QString &last = {})
    {
        table->Append();
        table->SetAsString("NAME", first);
        if (!last.isEmpty())
            table->SetAsString("LAST", last);
        table->Post();
        return table->GetBookmark();
    }
    QByteArray bytes() const { return readFileBytes(path); }
    QByteArray recordBytes(Bookmark b) const { return bytes().mid(1761 + (b - 1) * 2102, 2102); }
};
