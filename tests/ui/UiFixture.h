#pragma once

#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/TableFixture.h"
#include "ui/DataSource.h"

#include <gtest/gtest.h>
#include <memory>

// A table of contacts opened behind a data source, in a temporary folder.
class UiFixture : public ::testing::Test {
protected:
    void open(const QList<ContactRow> &rows)
    {
        path = te.path("contacdata.dbf");
        makeContactTable(path, rows);
        table = std::make_unique<TDbfTable>();
        source = std::make_unique<DataSource>(*table);
        table->setTableName(path);
        table->Open();
    }
    static QList<ContactRow> names(const QStringList &list)
    {
        QList<ContactRow> rows;
        for (const QString &n : list)
            rows.push_back({n, n + "son", "555-" + n, {}, {}, {}, {}, {}, {}});
        return rows;
    }
    RawTable raw() const { return RawTable(path); }

    TestEnvironment te;
    QString path;
    ScriptedDialogs dialogs;
    std::unique_ptr<TDbfTable> table;
    std::unique_ptr<DataSource> source;
};
