#include "platform/fax/FaxService.h"
#include "platform/fax/BodyRenderer.h"
#include "platform/fax/CoverPage.h"
#include "platform/fax/FaxStore.h"
#include "platform/fax/FaxTiff.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cstdio>

namespace {

const QByteArray kRtf = "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs48 Quarterly price list\\par "
                        "\\fs24 Call us back before Friday.\\par}";

// What libtiff's own tool says about a file.
QString tiffinfo(const QString &path)
{
    QProcess p;
    p.start(QStringLiteral("tiffinfo"), {path});
    EXPECT_TRUE(p.waitForFinished(30000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

int blackPixels(const QImage &gray, QRect area = {})
{
    if (area.isNull())
        area = gray.rect();
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += gray.constScanLine(y)[x] < 128;
    return n;
}

// Pixels whose black/white value differs once both pages are 1 bit.
int differingPixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return std::numeric_limits<int>::max();
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += (a.constScanLine(y)[x] < 128) != (b.constScanLine(y)[x] < 128);
    return n;
}

class FaxServiceTest : public ::testing::Test {
protected:
    TestEnvironment t;
    FaxServer server{*t.env};
    FaxDocument doc{*t.env};

    void SetUp() override { server.Connect(QString()); }

    QString file(const QString &name, const QByteArray &bytes)
    {
        const QString path = t.path(name);
        writeBytes(path, bytes);
        return path;
    }

    std::vector<FaxOutgoingMessage> archive()
    {
        std::vector<FaxOutgoingMessage> out;
        auto it = server.Folders().OutgoingArchive().GetMessages(0);
        for (it->MoveFirst(); !it->AtEOF(); it->MoveNext())
            out.push_back(it->Message());
        return out;
    }

    std::vector<QImage> pagesOf(const QString &id)
    {
        const QString tif = t.path(id + ".tif");
        server.Folders().OutgoingArchive().GetMessage(id).CopyTiff(tif);
        std::vector<QImage> pages;
        for (auto &p : fax::readTiffPages(tif, 50))
            pages.push_back(p.image);
        return pages;
    }
};

TEST_F(FaxServiceTest, OneJobPerRecipientInOrderAndEachArchivedWithItsNumber)
{
    doc.setBody(file("body.rtf", kRtf));
    doc.Recipients().Add("555-0101", "Ann Lee");
    doc.Recipients().Add("555-0102", "Bob Ray");
    doc.Recipients().Add("555-0103", "Cy Fox");

    const QStringList ids = doc.ConnectedSubmit(server);

    ASSERT_EQ(ids.size(), 3);
    EXPECT_EQ(QSet<QString>(ids.begin(), ids.end()).size(), 3);
    const auto sent = archive();
    ASSERT_EQ(sent.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i].Id(), ids[i]);
        EXPECT_EQ(sent[i].Recipient().FaxNumber, QString("555-010%1").arg(i + 1));
        EXPECT_EQ(sent[i].SubmissionTime(), t.clock.now());
    }
    EXPECT_TRUE(server.Folders().OutgoingQueue().GetJobs().empty());
}

TEST_F(FaxServiceTest, RecipientsCanBeEmptiedFromTheFront)
{
    doc.Recipients().Add("1", "A");
    doc.Recipients().Add("2", "B");
    doc.Recipients().Remove(1);
    EXPECT_EQ(doc.Recipients().Count(), 1);
    EXPECT_EQ(doc.Recipients().Item(1).FaxNumber, "2");
    doc.Recipients().Remove(1);
    EXPECT_EQ(doc.Recipients().Count(), 0);
    EXPECT_THROW(doc.Recipients().Remove(1), EFaxError);
}

TEST_F(FaxServiceTest, ScheduledJobWaitsInTheQueueUntilItsTime)
{
    doc.setBody(file("body.txt", "Meeting moved to Monday.\n"));
    doc.Recipients().Add("555-0199", "Dee");
    doc.setScheduleType(1);
    const QDateTime at = t.clock.now().addSecs(3 * 3600 + 120);
    doc.setScheduleTime(at);

    const QString id = doc.ConnectedSubmit(server).value(0);

    auto queue = server.Folders().OutgoingQueue().GetJobs();
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].Id(), id);
    EXPECT_EQ(queue[0].ScheduledTime(), at);

    QStringList sentSignals;
    QObject::connect(&server, &FaxServer::jobSent, [&](const QString &s) { sentSignals << s; });
    t.clock.advance(3 * 3600 * 1000 + 119 * 1000);
    EXPECT_TRUE(sentSignals.isEmpty());
    EXPECT_TRUE(archive().empty());

    t.clock.advance(1000);
    EXPECT_EQ(sentSignals, QStringList{id});
    const auto sent = archive();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].TransmissionEnd(), at);
    EXPECT_TRUE(server.Folders().OutgoingQueue().GetJobs().empty());
}

TEST_F(FaxServiceTest, ArchivedFaxIsAClassFTiffWithThePersonalCoverPageFirstAndTheBodyAfter)
{
    doc.setBody(file("body.rtf", kRtf));
    doc.Recipients().Add("555-0101", "Ann Lee");
    doc.Recipients().Add("555-0102", "Bob Ray");
    doc.setCoverPageType(2);
    doc.setCoverPage("generic");
    doc.setSubject("Prices");
    doc.setNote("See attached");
    doc.Sender().info.Name = "Sales Desk";
    const QStringList ids = doc.ConnectedSubmit(server);

    const QString tif = t.path("ann.tif");
    server.Folders().OutgoingArchive().GetMessage(ids[0]).CopyTiff(tif);
    const QString info = tiffinfo(tif);
    EXPECT_EQ(info.count("TIFF Directory at offset"), 2) << info.toStdString();
    EXPECT_EQ(info.count("Image Width: 1728"), 2);
    EXPECT_EQ(info.count("Compression Scheme: CCITT Group 4"), 2);
    EXPECT_EQ(info.count("Resolution: 204, 196 pixels/inch"), 2);
    EXPECT_EQ(info.count("Bits/Sample: 1"), 2);

    // Page 1 is Ann's cover page, not Bob's; page 2 is the body as the
    // rich-text layer lays it out, and it holds text.
    const auto ann = pagesOf(ids[0]);
    ASSERT_EQ(ann.size(), 2u);
    fax::CoverPageValues v;
    v.recipient = "Ann Lee";
    v.recipientFax = "555-0101";
    v.sender = "Sales Desk";
    v.subject = "Prices";
    v.note = "See attached";
    v.date = QLocale().toString(t.clock.now(), QLocale::ShortFormat);
    v.pages = 2;
    EXPECT_EQ(differingPixels(ann[0], fax::CoverPage::generic().render(v)), 0);
    v.recipient = "Bob Ray";
    EXPECT_GT(differingPixels(ann[0], fax::CoverPage::generic().render(v)), 100);

    const QImage expectedBody = fax::renderRtf(kRtf).at(0);
    EXPECT_EQ(differingPixels(ann[1], expectedBody), 0);
    EXPECT_GT(blackPixels(ann[1], QRect(0, 0, 1728, 400)), 2000);
    EXPECT_EQ(blackPixels(ann[1], QRect(0, 1200, 1728, 1000)), 0);

    const auto bob = pagesOf(ids[1]);
    ASSERT_EQ(bob.size(), 2u);
    EXPECT_EQ(differingPixels(bob[1], ann[1]), 0);
}

TEST_F(FaxServiceTest, UnrenderableBodyFailsTheSubmissionClearlyAndQueuesNothing)
{
    const struct {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"binary.doc", QByteArray("\xD0\xCF\x11\xE0\x00\x00\x01\x02\x03", 9)},
        {"broken.pdf", "%PDF-1.4\nthis is not really a pdf"},
        {"broken.png", "\x89PNG\r\n\x1a\nxx"},
        {"broken.tif", QByteArray("II*\0\xff\xff\xff\x7f", 8)},
    };
    doc.Recipients().Add("555-0101", "Ann Lee");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(c.name, c.bytes);
        doc.setBody(path);
        try {
            doc.ConnectedSubmit(server);
            ADD_FAILURE() << "submitted";
        } catch (const EFaxError &e) {
            EXPECT_TRUE(e.text().contains(path)) << e.what();
            EXPECT_TRUE(e.text().contains("cannot be rendered")) << e.what();
        }
    }
    doc.setBody(t.path("missing.rtf"));
    EXPECT_THROW(doc.ConnectedSubmit(server), EFaxError);
    EXPECT_TRUE(server.Folders().OutgoingQueue().GetJobs().empty());
    EXPECT_TRUE(archive().empty());
    EXPECT_TRUE(
        QDir(FaxServer::faxFolder(*t.env) + "/queue").entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FaxServiceTest, PdfAndImageBodiesBecomeFaxPages)
{
    // A PDF page with a black box in its top left quarter.
    const QString pdf = t.path("body.pdf");
    {
        QPdfWriter w(pdf);
        w.setPageSize(QPageSize(QPageSize::A4));
        w.setResolution(72);
        QPainter p(&w);
        p.fillRect(QRect(0, 0, 200, 300), Qt::black);
    }
    QImage img(400, 400, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter(&img).fillRect(QRect(0, 0, 200, 300), Qt::black);
    const QString png = t.path("body.png"), jpg = t.path("body.jpg");
    ASSERT_TRUE(img.save(png));
    ASSERT_TRUE(img.save(jpg, "JPEG", 95));

    doc.Recipients().Add("555-0101", "Ann Lee");
    for (const QString &body : {pdf, png, jpg}) {
        SCOPED_TRACE(body.toStdString());
        doc.setBody(body);
        const QString id = doc.ConnectedSubmit(server).value(0);
        const auto pages = pagesOf(id);
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].width(), 1728);
        // Top left dark, bottom right paper.
        EXPECT_GT(blackPixels(pages[0], QRect(100, 100, 200, 200)), 39000);
        EXPECT_EQ(blackPixels(pages[0], QRect(1200, 1500, 400, 400)), 0);
    }
}

TEST_F(FaxServiceTest, MultiPageTiffBodyKeepsItsPages)
{
    const QString tif = t.path("two.tif");
    {
        fax::FaxTiffWriter w(tif, 2);
        QImage page(1728, 1000, QImage::Format_Grayscale8);
        page.fill(255);
        w.addPage(page);
        page.fill(0);
        w.addPage(page);
        w.close();
    }
    doc.setBody(tif);
    doc.Recipients().Add("555-0101", "Ann Lee");
    const auto pages = pagesOf(doc.ConnectedSubmit(server).value(0));
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(blackPixels(pages[0]), 0);
    EXPECT_EQ(blackPixels(pages[1], QRect(0, 0, 1728, 1000)), 1728 * 1000);
}

TEST_F(FaxServiceTest, CoverPageFileOfOurOwnIsUsedAndBrokenOnesAreRefused)
{
    fax::CoverPage own;
    own.items << fax::CoverPageItem{false, "Hello from us", QRect(100, 100, 1500, 200), 30, true}
              << fax::CoverPageItem{true, "subject", QRect(100, 400, 1500, 200), 20, false};
    const QString bcp = t.path("ours.bcp");
    own.save(bcp);
    ASSERT_EQ(fax::CoverPage::load(bcp).items, own.items);

    doc.Recipients().Add("555-0101", "Ann Lee");
    doc.setCoverPageType(1);
    doc.setCoverPage(bcp);
    doc.setSubject("Renewal");
    const auto pages = pagesOf(doc.ConnectedSubmit(server).value(0));
    ASSERT_EQ(pages.size(), 1u); // a cover page alone is a fax
    fax::CoverPageValues v;
    v.subject = "Renewal";
    EXPECT_EQ(differingPixels(pages[0], own.render(v)), 0);
    EXPECT_GT(blackPixels(pages[0], QRect(100, 400, 1500, 200)), 500);

    const struct {
        const char *name;
        QByteArray bytes;
    } broken[] = {
        {"notjson.bcp", "hello"},
        {"otherformat.bcp", R"({"format":"something","items":[]})"},
        {"outside.bcp",
         R"({"format":"brenvoy-cover-page","items":[{"kind":"text","text":"x","x":1700,"y":0,"width":500,"height":50}]})"},
        {"badfield.bcp",
         R"({"format":"brenvoy-cover-page","items":[{"kind":"field","field":"password","x":0,"y":0,"width":50,"height":50}]})"},
        {"huge.bcp", QByteArray(2 << 20, ' ')},
    };
    for (const auto &b : broken) {
        SCOPED_TRACE(b.name);
        doc.setCoverPage(file(b.name, b.bytes));
        EXPECT_THROW(doc.ConnectedSubmit(server), EFaxError);
    }
    doc.setCoverPage(QString());
    EXPECT_THROW(doc.ConnectedSubmit(server), EFaxError);
}

TEST_F(FaxServiceTest, SenderDefaultsAreKeptByTheService)
{
    FaxSender s(FaxServer::faxFolder(*t.env));
    s.info = {"Sales Desk", "555-0000", "Kestrun Ltd", "555-0001", "sales@example.com"};
    s.SaveDefaultSender();
    doc.Sender().LoadDefaultSender();
    EXPECT_EQ(doc.Sender().info.Company, "Kestrun Ltd");
    EXPECT_EQ(doc.Sender().info.FaxNumber, "555-0000");
}

TEST_F(FaxServiceTest, OnlyTheLocalServerIsReachedAndFoldersNeedAConnection)
{
    FaxServer other(*t.env);
    EXPECT_THROW(other.Folders(), EFaxError);
    EXPECT_THROW(other.Connect("faxhost.example.com"), EFaxError);
    other.Connect("");
    other.Connect("");
    EXPECT_NO_THROW(other.Folders());
}

// What a listing shows of every archived fax, in its order.
QStringList listing(FaxServer &server)
{
    QStringList out;
    auto it = server.Folders().OutgoingArchive().GetMessages(0);
    for (it->MoveFirst(); !it->AtEOF(); it->MoveNext()) {
        const FaxOutgoingMessage m = it->Message();
        out << QStringList{m.Id(),
                           m.Recipient().FaxNumber,
                           m.Recipient().Name,
                           m.SubmissionTime().toString(Qt::ISODateWithMs),
                           m.ScheduledTime().toString(Qt::ISODateWithMs),
                           m.TransmissionEnd().toString(Qt::ISODateWithMs),
                           m.DocumentName(),
                           m.Subject(),
                           QString::number(m.Pages())}
                   .join('|');
    }
    return out;
}

TEST_F(FaxServiceTest, ArchiveIndexThatDisagreesWithTheRecordsIsMendedAndListsAsTheRecordsDo)
{
    doc.setBody(file("body.txt", "Prices\n"));
    doc.setSubject("Tab\there, line\nbreak, back\\slash, \u00e9t\u00e9 \U0001F4E0");
    doc.setDocumentName("Price list");
    doc.Recipients().Add("555-0101", "Ann\tLee");
    doc.Recipients().Add("555-0102", "Bob\\Ray\n");
    doc.Recipients().Add("555-0103", QString::fromUtf8("Zo\u00eb"));
    const QStringList first = doc.ConnectedSubmit(server);
    t.clock.advance(60 * 1000);
    doc.setScheduleType(1);
    doc.setScheduleTime(QDateTime(QDate(2007, 3, 5), QTime(9, 0), Qt::UTC));
    const QStringList second = doc.ConnectedSubmit(server);

    FaxStore &store = server.store();
    const QString indexPath = store.archiveIndexPath();
    const QStringList fromIndex = listing(server);
    ASSERT_EQ(fromIndex.size(), 6);
    // The later submission was scheduled in the past: still listed after the first.
    EXPECT_TRUE(fromIndex[3].startsWith(second[0]));
    ASSERT_TRUE(QFile::remove(indexPath));
    const QStringList fromRecords = listing(server);
    EXPECT_EQ(fromIndex, fromRecords);
    const QByteArray sound = readBytes(indexPath);
    ASSERT_EQ(sound.count('\n'), 7) << sound.toStdString();

    const auto lines = [&] { return sound.split('\n'); };
    const QString removedJob = first[1];
    const struct {
        const char *name;
        std::function<void()> damage;
        QString gone; // a job whose record was removed
    } cases[] = {
        {"job without its line",
         [&] {
             auto l = lines();
             l.removeAt(2);
             writeBytes(indexPath, l.join('\n'));
         },
         {}},
        {"last line cut short", [&] { writeBytes(indexPath, sound.left(sound.size() - 9)); }, {}},
        {"line changed",
         [&] { writeBytes(indexPath, QByteArray(sound).replace("555-0102", "555-0109")); },
         {}},
        {"line twice", [&] { writeBytes(indexPath, sound + lines()[1] + '\n'); }, {}},
        {"zeros after a crash", [&] { writeBytes(indexPath, sound + QByteArray(4096, '\0')); }, {}},
        {"another header",
         [&] { writeBytes(indexPath, "something else\n" + sound.mid(sound.indexOf('\n') + 1)); },
         {}},
        {"empty", [&] { writeBytes(indexPath, ""); }, {}},
        {"one endless line",
         [&] { writeBytes(indexPath, lines()[0] + '\n' + QByteArray(300 * 1024, 'x')); },
         {}},
        {"far larger than the folder", [&] { writeBytes(indexPath, sound + QByteArray(4 << 20, '\n')); }, {}},
        {"a folder in its place",
         [&] {
             QFile::remove(indexPath);
             QDir().mkpath(indexPath);
         },
         {}},
        {"line without its job",
         [&] {
             QFile::remove(store.archiveFolder() + "/" + removedJob + ".json");
             QFile::remove(store.archiveFolder() + "/" + removedJob + ".tif");
         },
         removedJob},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (QFileInfo(indexPath).isDir())
            QDir(indexPath).removeRecursively();
        writeBytes(indexPath, sound);
        c.damage();
        QStringList expected = fromRecords;
        if (!c.gone.isEmpty())
            expected.removeIf([&](const QString &line) { return line.startsWith(c.gone); });
        EXPECT_EQ(listing(server), expected);
        // Mended: the next listing finds nothing to mend and lists the same.
        if (QFileInfo(indexPath).isFile()) {
            const QByteArray mended = readBytes(indexPath);
            EXPECT_EQ(mended.count('\n'), expected.size() + 1);
            EXPECT_EQ(listing(server), expected);
            EXPECT_EQ(readBytes(indexPath), mended);
        }
        if (!c.gone.isEmpty())
            break; // the record is gone for the cases after it
    }
}

TEST_F(FaxServiceTest, ArchivedRecordReplacedOrAddedBehindTheIndexIsListedAsItsRecordSays)
{
    doc.setBody(file("body.txt", "Prices\n"));
    doc.Recipients().Add("555-0101", "Ann Lee");
    const QString id = doc.ConnectedSubmit(server).value(0);
    ASSERT_EQ(listing(server).size(), 1);

    // Another record for the same fax put in its place (a new file renamed
    // over it, as files are saved), and
    // a copy under a new id the index has never seen.
    const QString record = server.store().archiveFolder() + "/" + id + ".json";
    QByteArray json = readBytes(record);
    const QString copy = server.store().archiveFolder() + "/ABCDEF0123456789.json";
    writeBytes(copy,
               QByteArray(json).replace(id.toLatin1(), "ABCDEF0123456789").replace("555-0101", "555-0177"));
    writeBytes(record + ".new", json.replace("555-0101", "555-0199"));
    ASSERT_EQ(::rename(QFile::encodeName(record + ".new").constData(), QFile::encodeName(record).constData()),
              0);

    const QStringList listed = listing(server);
    ASSERT_EQ(listed.size(), 2);
    EXPECT_TRUE(listed.filter("555-0199").size() == 1 && listed.filter(id).size() == 1)
        << listed.join('\n').toStdString();
    EXPECT_EQ(listed.filter("ABCDEF0123456789|555-0177").size(), 1);
    EXPECT_EQ(listing(server), listed);
}

TEST_F(FaxServiceTest, ForeignFilesInTheArchiveAreNotMessages)
{
    const QString archiveDir = FaxServer::faxFolder(*t.env) + "/archive";
    writeBytes(archiveDir + "/junk.json", "{not json");
    writeBytes(archiveDir + "/big.json", QByteArray(1 << 20, '{'));
    writeBytes(archiveDir + "/other.json", R"({"id":"../../etc","submitted":"2007-03-05T09:00:00"})");
    EXPECT_TRUE(archive().empty());
    EXPECT_THROW(server.Folders().OutgoingArchive().GetMessage("../../etc"), EFaxError);
}

} // namespace
