#include "tracking/FaxArchiveList.h"

#include "platform/fax/FaxService.h"
#include "platform/fax/FaxTiff.h"
#include "tests/app_tools/RecordingShell.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <gtest/gtest.h>

namespace {

// The fax list over the local fax service, whose archive the test fills by
// sending faxes through it.
class FaxArchiveListTest : public ::testing::Test {
protected:
    TestEnvironment t;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    QString templateFolder = t.programFolder() + "/Template/";
    FaxArchiveList list{*t.env, dialogs, &shell, [this] { return templateFolder; }};

    FaxArchiveListTest() { QDir().mkpath(templateFolder); }

    // Sends one fax to each number now; returns the job ids.
    QStringList send(const QStringList &numbers, const QByteArray &body = "Price list for March.\n")
    {
        FaxServer server(*t.env);
        server.Connect(QString());
        FaxDocument doc(*t.env);
        const QString path = t.path("body.txt");
        writeBytes(path, body);
        doc.setBody(path);
        for (const QString &n : numbers)
            doc.Recipients().Add(n, "Someone");
        return doc.ConnectedSubmit(server);
    }
};

TEST_F(FaxArchiveListTest, ListsOnlyFaxesToExactlyTheTrimmedNumberOldestFirst)
{
    const QString first = send({"555-0101"}).value(0);
    t.clock.advance(90 * 60 * 1000); // 10:30
    send({"555 0101", "5550101", "555-01011", "555-0202"});
    t.clock.advance(60 * 1000);
    const QString second = send({"555-0101"}).value(0);

    list.Refresh(" \t555-0101  ");

    EXPECT_EQ(list.entries(), (QStringList{"Sent at 05-Mar-2007 09:00", "Sent at 05-Mar-2007 10:31"}));
    EXPECT_EQ(list.ids(), (QStringList{first, second}));
    EXPECT_EQ(list.text(), "Please select to view");
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(FaxArchiveListTest, RefreshTwiceListsTheSameAndAnEmptyNumberOnlyFaxesToNoNumber)
{
    send({"555-0101", "", "555-0101"});
    list.Refresh("555-0101");
    list.Refresh("555-0101");
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.ids().size(), 2);

    list.Refresh("   ");
    EXPECT_EQ(list.count(), 1);

    send({"555-0303"});
    list.Refresh("555-0404");
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.text(), ""); // nothing listed, nothing to choose
}

TEST_F(FaxArchiveListTest, StopsAtTwoHundredEntriesAndSaysSo)
{
    QStringList numbers;
    for (int i = 0; i < 203; ++i)
        numbers << "555-0101";
    const QStringList ids = send(numbers);

    list.Refresh("555-0101");

    EXPECT_EQ(list.count(), 200);
    EXPECT_EQ(list.ids(), ids.mid(0, 200));
    EXPECT_EQ(dialogs.texts(), QStringList{"Only show first 200 entries.."});
}

TEST_F(FaxArchiveListTest, ClearAsksForARefresh)
{
    send({"555-0101"});
    list.Refresh("555-0101");
    int changes = 0;
    list.changed = [&] { ++changes; };
    list.Clear();
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(list.ids().isEmpty());
    EXPECT_EQ(list.text(), "Please Refresh first");
    EXPECT_EQ(changes, 1);
}

TEST_F(FaxArchiveListTest, OpeningWritesThePreviewImageAndOpensItInTheViewer)
{
    send({"555-0101"}, "First fax\n");
    send({"555-0101"}, "Second fax, with a much longer line of text on its page.\n");
    list.Refresh("555-0101");
    const QString preview = templateFolder + "preview.tif";

    list.Open(1);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, preview);
    EXPECT_EQ(shell.calls[0].show, ShowCommand::Normal);
    const QByteArray second = readBytes(preview);
    EXPECT_FALSE(fax::readTiffPages(preview, 5).empty());

    // The next opening replaces the image.
    list.Open(0);
    EXPECT_EQ(shell.calls.size(), 2u);
    EXPECT_NE(readBytes(preview), second);
    EXPECT_TRUE(dialogs.texts().isEmpty());
}

TEST_F(FaxArchiveListTest, APreviewThatCannotBeReplacedIsReportedAndNotOpened)
{
    send({"555-0101"});
    list.Refresh("555-0101");
    // Something that will not go away holds the preview's name.
    QDir().mkpath(templateFolder + "preview.tif/held");

    list.Open(0);
    EXPECT_EQ(dialogs.texts(), QStringList{"Please close viewer window first !"});
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(FaxArchiveListTest, AFaxGoneFromTheArchiveEndsTheOpeningWithTheServiceError)
{
    const QString id = send({"555-0101"}).value(0);
    list.Refresh("555-0101");
    const QString archive = FaxServer::faxFolder(*t.env) + "/archive/";
    QFile::remove(archive + id + ".json");

    EXPECT_THROW(list.Open(0), EFaxError);
    EXPECT_TRUE(shell.calls.empty());
}

TEST_F(FaxArchiveListTest, AServiceThatCannotStartEndsTheRefreshWithItsError)
{
    send({"555-0101"});
    list.Refresh("555-0101");
    QDir(FaxServer::faxFolder(*t.env)).removeRecursively();
    writeBytes(FaxServer::faxFolder(*t.env), "not a folder");

    EXPECT_THROW(list.Refresh("555-0101"), EFaxError);
}

TEST_F(FaxArchiveListTest, NoViewerForTheImageIsReported)
{
    send({"555-0101"});
    list.Refresh("555-0101");
    shell.result = ShellError::FileNotFound;
    list.Open(0);
    ASSERT_EQ(dialogs.texts().size(), 1);
    EXPECT_TRUE(dialogs.texts()[0].startsWith("No program is installed to view the fax image"));
}

} // namespace
