// Our files read by independent dBase readers, and theirs read by us.

#include "TableTestSupport.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

const char *kPython = "/usr/bin/python3";

bool pythonHas(const char *module)
{
    if (!QFileInfo::exists(kPython))
        return false;
    QProcess p;
    p.start(kPython, {"-c", QString("import %1").arg(module)});
    return p.waitForFinished(30000) && p.exitCode() == 0;
}

QByteArray runPython(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(kPython, QStringList{"-W", "ignore", "-c", script} + args);
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput();
}

struct Row {
    QString name, last;
    std::optional<int> dur;
    std::optional<bool> permission;
    std::optional<QDate> callback;
    QString notes;
};

const QList<Row> &rows()
{
    static const QList<Row> r = {
        {QString::fromUtf8("Zoë"), QString::fromUtf8("Ærøskøbing €"), -5, true, QDate(2007, 3, 5),
         QString::fromUtf8("Notes with é and ü")},
        {"Bob", "", std::nullopt, false, std::nullopt, QString(700, 'x')},
        {"", "Nobody", 9999, std::nullopt, QDate(1999, 12, 31), ""},
    };
    return r;
}

void writeRows(ContactTableFixture &f)
{
    for (const Row &r : rows()) {
        f.table->Append();
        f.table->SetAsString("NAME", r.name);
        f.table->SetAsString("LAST", r.last);
        if (r.dur)
            f.table->SetAsInteger("DUR_CALL1", *r.dur);
        if (r.permission)
            f.table->SetAsBoolean("PERMISSION", *r.permission);
        f.table->SetAsDate("CALLBACK", r.callback);
        if (!r.notes.isEmpty())
            f.table->SetAsString("NOTES", r.notes);
        f.table->Post();
    }
    f.table->Close();
}

} // namespace

TEST(Interop, DbfreadReadsOurTable)
{
    if (!pythonHas("dbfread"))
        GTEST_SKIP() << "python3-dbfread is not installed";
    ContactTableFixture f;
    writeRows(f);
    const QByteArray out = runPython(R"(
import sys, json, dbfread
t = dbfread.DBF(sys.argv[1])
rows = []
for r in t:
    rows.append({k: (v.isoformat() if hasattr(v, 'isoformat') else v) for k, v in r.items()
                 if k in ('NAME', 'LAST', 'DUR_CALL1', 'PERMISSION', 'CALLBACK', 'NOTES')})
print(json.dumps({'encoding': t.encoding, 'rows': rows}))
)",
                                     {f.path});
    const QJsonObject doc = QJsonDocument::fromJson(out).object();
    EXPECT_EQ(doc["encoding"].toString(), "cp1252");
    const QJsonArray got = doc["rows"].toArray();
    ASSERT_EQ(got.size(), rows().size());
    for (int i = 0; i < rows().size(); ++i) {
        const Row &r = rows()[i];
        const QJsonObject o = got[i].toObject();
        SCOPED_TRACE(i);
        EXPECT_EQ(o["NAME"].toString(), r.name);
        EXPECT_EQ(o["LAST"].toString(), r.last);
        if (r.dur)
            EXPECT_EQ(o["DUR_CALL1"].toInt(), *r.dur);
        else
            EXPECT_TRUE(o["DUR_CALL1"].isNull());
        if (r.permission)
            EXPECT_EQ(o["PERMISSION"].toBool(), *r.permission);
        else
            EXPECT_TRUE(o["PERMISSION"].isNull());
        EXPECT_EQ(o["CALLBACK"].toString(), r.callback ? r.callback->toString(Qt::ISODate) : QString());
        // dbfread counts the 8-byte block prefix into the text's length.
        QString notes = o["NOTES"].toString();
        if (!r.notes.isEmpty())
            notes.chop(8);
        EXPECT_EQ(notes, r.notes);
    }
}

TEST(Interop, GdalReadsOurTable)
{
    if (QStandardPaths::findExecutable("ogrinfo").isEmpty())
        GTEST_SKIP() << "gdal-bin is not installed";
    ContactTableFixture f;
    writeRows(f);
    QProcess p;
    p.start("ogrinfo", {"-ro", "-al", "-q", f.path});
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    // One block per feature: "  FIELD (Type) = value".
    QList<QMap<QString, QString>> features;
    for (const QString &line : out.split('\n')) {
        if (line.startsWith("OGRFeature"))
            features.append(QMap<QString, QString>());
        const auto m = QRegularExpression(R"(^\s+(\w+) \(\w+\) = (.*)$)").match(line);
        if (m.hasMatch() && !features.isEmpty())
            features.last()[m.captured(1)] = m.captured(2);
    }
    ASSERT_EQ(features.size(), rows().size());
    for (int i = 0; i < rows().size(); ++i) {
        const Row &r = rows()[i];
        const auto &o = features[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(o.value("NAME", "(null)"), r.name.isEmpty() ? "(null)" : r.name);
        EXPECT_EQ(o.value("LAST", "(null)"), r.last.isEmpty() ? "(null)" : r.last);
        EXPECT_EQ(o.value("DUR_CALL1", "(null)"), r.dur ? QString::number(*r.dur) : "(null)");
        EXPECT_EQ(o.value("CALLBACK", "(null)"), r.callback ? r.callback->toString("yyyy/MM/dd") : "(null)");
    }
}

TEST(Interop, OpensADbase3TableWrittenByPythonDbf)
{
    if (!pythonHas("dbf"))
        GTEST_SKIP() << "python3-dbf is not installed";
    TestEnvironment te;
    const QString path = te.path("other.dbf");
    runPython(R"(
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'NAME C(20); DUR N(4,0); OK L; WHEN D; NOTES M', dbf_type='db3', codepage='cp1252')
t.open(dbf.READ_WRITE)
t.append(('Zoë Ærø', -5, True, datetime.date(2007, 3, 5), 'memo text é'))
t.append(('Bob', None, False, None, ''))
t.append(('Long', 12, None, datetime.date(2020, 2, 29), 'x' * 1500))
t.close()
)",
              {path});
    TDbfTable t;
    t.setTableName(path);
    t.Open();
    EXPECT_EQ(t.TableLevel(), 3);
    ASSERT_EQ(t.VisibleCount(), 3);
    EXPECT_EQ(t.AsString("NAME"), QString::fromUtf8("Zoë Ærø"));
    EXPECT_EQ(t.AsInteger("DUR"), -5);
    EXPECT_TRUE(t.AsBoolean("OK"));
    EXPECT_EQ(t.AsDate("WHEN"), QDate(2007, 3, 5));
    EXPECT_EQ(t.AsString("NOTES"), QString::fromUtf8("memo text é"));
    t.Next();
    EXPECT_EQ(t.AsString("NAME"), "Bob");
    EXPECT_TRUE(t.IsNull("DUR"));
    EXPECT_FALSE(t.AsBoolean("OK"));
    EXPECT_EQ(t.AsDate("WHEN"), std::nullopt);
    EXPECT_EQ(t.AsString("NOTES"), "");
    t.Next();
    EXPECT_EQ(t.AsInteger("DUR"), 12);
    EXPECT_EQ(t.AsDate("WHEN"), QDate(2020, 2, 29));
    EXPECT_EQ(t.AsString("NOTES"), QString(1500, 'x'));

    // What we change there the other tool reads back.
    t.Edit();
    t.SetAsString("NOTES", "changed by us");
    t.SetAsString("NAME", "Renée");
    t.Post();
    t.Close();
    const QByteArray back = runPython(R"(
import sys, dbf
t = dbf.Table(sys.argv[1])
t.open(dbf.READ_ONLY)
r = t[2]
sys.stdout.buffer.write((r.name.strip() + '|' + r.notes.strip()).encode('utf-8'))
t.close()
)",
                                      {path});
    EXPECT_EQ(QString::fromUtf8(back), QString::fromUtf8("Renée|changed by us"));
}
