#include "platform/fax/FaxService.h"
#include "platform/fax/FaxTiff.h"
#include "platform/fax/tools/CoverPageEditorWindow.h"
#include "platform/fax/tools/FaxConsoleWindow.h"
#include "platform/fax/tools/SenderSettingsDialog.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestFiles.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTableWidget>
#include <gtest/gtest.h>

namespace {

QStringList row(QTableWidget *t, int r)
{
    QStringList cells;
    for (int c = 0; c < t->columnCount(); ++c)
        cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return cells;
}

TEST(FaxConsole, ListsWaitingJobsAndSentFaxesAndFollowsTheLine)
{
    TestEnvironment t;
    FaxServer server(*t.env);
    server.Connect("");
    writeBytes(t.path("body.txt"), "Hello\n");
    FaxDocument doc(*t.env);
    doc.setBody(t.path("body.txt"));
    doc.Recipients().Add("555-0101", "Ann Lee");
    const QString sentId = doc.ConnectedSubmit(server).value(0);
    doc.setScheduleType(1);
    doc.setScheduleTime(t.clock.now().addSecs(600));
    doc.setSubject("Later");
    const QString laterId = doc.ConnectedSubmit(server).value(0);

    FaxConsoleWindow console(server);
    ASSERT_EQ(console.tblOutbox->rowCount(), 1);
    EXPECT_EQ(row(console.tblOutbox, 0).mid(0, 4),
              QStringList({laterId, "Scheduled", "Ann Lee", "555-0101"}));
    ASSERT_EQ(console.tblSent->rowCount(), 1);
    EXPECT_EQ(row(console.tblSent, 0).mid(0, 4), QStringList({sentId, "Sent", "Ann Lee", "555-0101"}));

    t.clock.advance(600 * 1000);
    EXPECT_EQ(console.tblOutbox->rowCount(), 0);
    ASSERT_EQ(console.tblSent->rowCount(), 2);
    EXPECT_EQ(row(console.tblSent, 0)[0], laterId); // newest first

    // Cancelling a job that is gone says so instead of pretending.
    EXPECT_THROW(server.Folders().OutgoingQueue().Cancel(laterId), EFaxError);
}

TEST(FaxCoverPageEditor, EditedCoverPageIsSavedAsTheServiceReadsIt)
{
    TestEnvironment t;
    CoverPageEditorWindow editor;
    const int generic = int(editor.coverPage().items.size());
    editor.addField();
    editor.cbField->setCurrentIndex(editor.cbField->findData("note"));
    emit editor.cbField->activated(editor.cbField->currentIndex());
    editor.spinY->setValue(2100);
    // A height past the page's end is cut to fit.
    editor.spinHeight->setValue(5000);
    const QString path = t.path("mine.bcp");
    ASSERT_TRUE(editor.saveTo(path));

    const fax::CoverPage saved = fax::CoverPage::load(path);
    ASSERT_EQ(saved.items.size(), generic + 1);
    const fax::CoverPageItem &added = saved.items.back();
    EXPECT_TRUE(added.isField);
    EXPECT_EQ(added.text, "note");
    EXPECT_EQ(added.rect.y(), 2100);
    EXPECT_EQ(added.rect.bottom(), fax::kPageHeight - 1);
    EXPECT_EQ(editor.lstItems->count(), generic + 1);
}

TEST(FaxSenderSettings, SavedDetailsAreTheDefaultSender)
{
    TestEnvironment t;
    const QString folder = FaxServer::faxFolder(*t.env);
    {
        SenderSettingsDialog dlg(folder);
        dlg.editName->setText("Sales Desk");
        dlg.editFaxNumber->setText("555-0000");
        ASSERT_TRUE(dlg.save());
    }
    SenderSettingsDialog again(folder);
    EXPECT_EQ(again.editName->text(), "Sales Desk");
    FaxSender s(folder);
    s.LoadDefaultSender();
    EXPECT_EQ(s.info.FaxNumber, "555-0000");
}

} // namespace
