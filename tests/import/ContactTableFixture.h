#pragma once

#include "contacts/DbfTable.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>
#include <gtest/gtest.h>

#include <memory>

// A new, open contact table in a temporary program folder, and the raw
// bytes of its records as they stand in the file.
class ContactTableFixture : public ::testing::Test {
protected:
    static constexpr int kHeaderSize = 1761;
    static constexpr int kRecordSize = 2102;
    struct Field {
        int offset;
        int width;
    };
    static constexpr Field NAME{51, 50}, LAST{101, 50}, PHONE{166, 15}, FAX{181, 15}, EMAIL{196, 50};

    void SetUp() override
    {
        tablePath = env.path("contacdata.dbf");
        CreateContactTable(tablePath);
        table = std::make_unique<TDbfTable>();
        table->setTableName(tablePath);
        table->Open();
    }

    QByteArray fileBytes() const
    {
        QFile f(tablePath);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    // Records in file order, deleted ones included.
    qint64 recordsInFile() const { return (fileBytes().size() - kHeaderSize) / kRecordSize; }
    // The stored bytes of a field of record n (from 0), trailing blanks kept.
    QByteArray fieldBytes(qint64 record, Field field) const
    {
        return fileBytes().mid(kHeaderSize + record * kRecordSize + field.offset, field.width);
    }
    static QByteArray padded(QByteArray value, int width)
    {
        return value + QByteArray(width - value.size(), ' ');
    }

    void addRecord(const QString &first, const QString &last, const QString &email = {},
                   const QString &phone = {}, const QString &fax = {})
    {
        table->Append();
        table->SetAsString("NAME", first);
        table->SetAsString("LAST", last);
        table->SetAsString("EMAIL", email);
        table->SetAsString("PHONE", phone);
        table->SetAsString("FAX", fax);
        table->Post();
    }

    TestEnvironment env;
    QString tablePath;
    std::unique_ptr<TDbfTable> table;
};
