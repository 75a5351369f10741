// A fresh process that opens the contact table and runs one search on it,
// as the list's first search does, then prints how many contacts it lists:
//   bench_open_search <table.dbf> <company pattern>
// A program of its own, linked with the table alone, so that its start
// costs what the table costs, as ogrinfo's does for GDAL.

#include "contacts/DbfTable.h"
#include "contacts/SearchExpression.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: bench_open_search <table.dbf> <company pattern>\n");
        return 2;
    }
    try {
        TDbfTable t;
        t.setTableName(QString::fromLocal8Bit(argv[1]));
        t.Open();
        t.setFilter(BuildSearchExpression(QStringLiteral("COMPNAME"), QString::fromLocal8Bit(argv[2])));
        t.setFiltered(true);
        printf("%lld\n", t.VisibleCount());
    } catch (const EDbfError &e) {
        fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
