// How fast the contact grid opens and scrolls on a large table.
//
//   bench_grid [contacts=100000] [folder]
//
// Builds a table of that many contacts in folder (a temporary one by
// default), then times opening it behind a data source and a grid, painting
// the first screen, jumping to the last record, scrolling page by page and
// switching a filter. Runs on the offscreen platform unless QT_QPA_PLATFORM
// says otherwise.

#include "contacts/DbfTable.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/DBGrid.h"
#include "ui/DataSource.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

namespace {
template <class F> double timed(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    if (!getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int contacts = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir tmp;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : tmp.path();
    const QString path = folder + "/contacdata.dbf";

    const double build = timed([&] {
        CreateContactTable(path);
        TDbfTable t("build");
        t.setTableName(path);
        t.Open();
        for (int i = 0; i < contacts; ++i) {
            t.Append();
            t.SetAsString("COMPNAME", QString("Company %1").arg(i % 997));
            t.SetAsString("NAME", QString("Name%1").arg(i));
            t.SetAsString("LAST", QString("Last%1").arg(i));
            t.SetAsString("PHONE", QString("555-%1").arg(i, 6, 10, QChar('0')));
            t.SetAsString("EMAIL", QString("name%1@example.com").arg(i));
            if (i % 10 == 0)
                t.SetAsDate("CALLBACK", QDate::currentDate());
            t.Post();
        }
        t.Close();
    });

    TDbfTable table;
    DataSource source(table);
    ScriptedDialogs dialogs;
    std::unique_ptr<DBGrid> grid;
    const double open = timed([&] {
        table.setTableName(path);
        table.Open();
        grid = std::make_unique<DBGrid>(source, dialogs,
                                        QList<DBGridColumn>{{"COMPNAME", "COMPANY NAME", 188},
                                                            {"NAME", {}, 120},
                                                            {"LAST", {}, 107},
                                                            {"PHONE", {}, 105},
                                                            {"EMAIL", {}, 364}});
        grid->resize(688, 169);
        grid->show();
        QApplication::processEvents();
        grid->grab();
    });
    const double last = timed([&] {
        source.last();
        grid->grab();
    });
    const int pages = 200;
    const double scroll = timed([&] {
        QScrollBar *bar = grid->verticalScrollBar();
        for (int i = 0; i < pages; ++i) {
            bar->setValue(bar->maximum() * i / pages);
            grid->grab();
        }
    });
    const double filter = timed([&] {
        table.OnFilterRecord = [](TDbfTable &t) { return t.AsDate("CALLBACK").has_value(); };
        table.setFiltered(true);
        source.notifyDataSetChanged();
        grid->grab();
    });
    std::printf("contacts %d\n", contacts);
    std::printf("build table          %10.1f ms\n", build);
    std::printf("open + first paint   %10.1f ms\n", open);
    std::printf("go to last + paint   %10.1f ms\n", last);
    std::printf("scroll, per page     %10.2f ms\n", scroll / pages);
    std::printf("filter + paint       %10.1f ms (%lld rows)\n", filter, table.VisibleCount());
    return 0;
}
