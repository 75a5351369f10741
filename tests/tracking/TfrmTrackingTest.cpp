#include "tracking/TfrmTracking.h"

#include "platform/fax/FaxService.h"
#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"
#include "tests/app/AppFixture.h"
#include "tests/support/RiffBytes.h"
#include "tests/support/TestFiles.h"
#include "ui/RadioGroup.h"

#include "ui/DBControls.h"
#include "ui/DBGrid.h"

#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// The tracking window as the program creates it, over the main window's
// contacts and the local fax service.
class TfrmTrackingTest : public AppFixture {
protected:
    struct Sound {
        QByteArray file; // empty: a stop
        std::uint32_t flags;
    };
    std::vector<Sound> sounds;
    TfrmTracking *tracking = nullptr;

    void SetUp() override
    {
        makeTable({contact("Ann"), contact("Bob"), contact("Cy")});
        start();
        tracking = qobject_cast<TfrmTracking *>(registry.frmTracking);
        ASSERT_TRUE(tracking);
        tracking->voiceReplay().playSound = [this](const char *name, HMODULE, std::uint32_t flags) {
            sounds.push_back({name ? QByteArray(name) : QByteArray(), flags});
            return TRUE;
        };
    }
    void TearDown() override { tracking->hide(); }

    QString current() const { return main->dsTable().AsString("NAME"); }
    void setField(const QString &field, const QString &value)
    {
        TDbfTable &t = main->dsTable();
        t.Edit();
        t.SetAsString(field, value);
        t.Post();
        main->dataSource().notifyDataSetChanged();
    }
    void sendFax(const QStringList &numbers)
    {
        FaxServer server(*te.env);
        server.Connect(QString());
        FaxDocument doc(*te.env);
        writeBytes(te.path("body.txt"), "Price list.\n");
        doc.setBody(te.path("body.txt"));
        for (const QString &n : numbers)
            doc.Recipients().Add(n);
        doc.ConnectedSubmit(server);
    }
    void sentMail(const QString &to)
    {
        MaildirStore store(te.env->stateFolderFor("mail"));
        MailMessage m{"office@brenvoy.test", to, "Offer", "Hello", {}, te.clock.now(), te.clock.now()};
        store.addMessage(StoreFolder::SentItems, Mime::build(m), {QString(), to, m.subject, m.delivered});
    }
    static QStringList items(QComboBox *box)
    {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }
    int stops() const
    {
        return int(
            std::count_if(sounds.begin(), sounds.end(), [](const Sound &s) { return s.file.isEmpty(); }));
    }
};

TEST_F(TfrmTrackingTest, CreatedWithTheOtherWindowsAndShownByTheMenuCommand)
{
    EXPECT_EQ(tracking->windowTitle(), "Tracking");
    EXPECT_TRUE(registry.trackingClearArchiveLists);
    EXPECT_EQ(main->racking1->text(), "History &Tracking");
    EXPECT_EQ(tracking->PageControl1->currentWidget(), tracking->tsCALL);
    QStringList captions;
    for (int i = 0; i < tracking->PageControl1->count(); ++i)
        captions << tracking->PageControl1->tabText(i);
    EXPECT_EQ(captions, (QStringList{"CALL", "EMAIL", "FAX", "WAVE"}));
    // Opening the table at start-up made a contact current.
    EXPECT_EQ(tracking->cbEmailArchive->placeholderText(), "Please Refresh first");
    EXPECT_EQ(tracking->cbFaxArchive->placeholderText(), "Please Refresh first");

    // The menu command shows it modally; closing it hides it.
    QTimer::singleShot(0, tracking, [this] {
        EXPECT_TRUE(tracking->isVisible());
        EXPECT_TRUE(tracking->isModal());
        tracking->close();
    });
    main->racking1->trigger();
    EXPECT_FALSE(tracking->isVisible());
    EXPECT_EQ(registry.frmTracking, tracking); // kept for the next opening
}

TEST_F(TfrmTrackingTest, FieldsFollowTheMainTablesCurrentContact)
{
    setField("TM_CALL3", "04-Mar-2007 11:15");
    setField("DUR_CALL3", "42");
    setField("TM_WAVE5", "03-Mar-2007 08:00");
    setField("CONTACTED", "Yes");
    EXPECT_EQ(tracking->DBEdit[3]->text(), "04-Mar-2007 11:15");
    EXPECT_EQ(tracking->DBEdit[8]->text(), "42");
    EXPECT_EQ(tracking->DBEdit[35]->text(), "03-Mar-2007 08:00");
    EXPECT_EQ(tracking->DBEdit[16]->text(), "Yes");
    EXPECT_EQ(tracking->DBEdit[3]->objectName(), "DBEdit3");

    // Moving in this window's grid moves the main table.
    QTest::keyClick(tracking->DBGrid, Qt::Key_End);
    EXPECT_EQ(current(), "Cy");
    EXPECT_EQ(tracking->DBEdit[3]->text(), "");
}

TEST_F(TfrmTrackingTest, ShowingResetsTheMainViewToAll)
{
    main->rgView->setItemIndex(1); // nobody is due today
    ASSERT_TRUE(listed().isEmpty());
    tracking->show();
    EXPECT_EQ(main->rgView->ItemIndex(), 0);
    EXPECT_EQ(listed(), (QStringList{"Ann", "Bob", "Cy"}));
}

TEST_F(TfrmTrackingTest, ActivationDisablesTheArchivesThatAreNotAvailableForGood)
{
    main->OutlookAvailable = false;
    main->FaxServiceAvailable = true;
    tracking->FormActivate();
    EXPECT_FALSE(tracking->btnRefreshEmailArchive->isEnabled());
    EXPECT_FALSE(tracking->cbEmailArchive->isEnabled());
    EXPECT_TRUE(tracking->btnRefreshFaxArchive->isEnabled());
    EXPECT_TRUE(tracking->cbFaxArchive->isEnabled());

    main->OutlookAvailable = true;
    main->FaxServiceAvailable = false;
    tracking->show();
    EXPECT_FALSE(tracking->btnRefreshEmailArchive->isEnabled());
    EXPECT_FALSE(tracking->btnRefreshFaxArchive->isEnabled());
    EXPECT_FALSE(tracking->cbFaxArchive->isEnabled());
}

TEST_F(TfrmTrackingTest, AnotherContactEmptiesTheListsAndStopsTheSound)
{
    ASSERT_EQ(current(), "Ann");
    setField("FAX", "555-0101");
    main->dataSource().next();
    setField("FAX", "555-0102");
    main->dataSource().prior();
    sendFax({"555-0101", "555-0101", "555-0102"});
    sentMail("ann@example.com");
    tracking->btnRefreshFaxArchive->click();
    tracking->btnRefreshEmailArchive->click();
    EXPECT_EQ(items(tracking->cbEmailArchive), QStringList{"Sent at 05-Mar-2007 09:00"});
    EXPECT_EQ(items(tracking->cbFaxArchive).size(), 2);
    EXPECT_EQ(tracking->cbFaxArchive->placeholderText(), "Please select to view");
    EXPECT_EQ(tracking->cbFaxArchive->currentIndex(), -1);
    sounds.clear();

    main->dataSource().next();

    EXPECT_TRUE(items(tracking->cbFaxArchive).isEmpty());
    EXPECT_TRUE(items(tracking->cbEmailArchive).isEmpty());
    EXPECT_EQ(tracking->cbFaxArchive->placeholderText(), "Please Refresh first");
    EXPECT_EQ(tracking->cbEmailArchive->placeholderText(), "Please Refresh first");
    EXPECT_EQ(stops(), 1);

    // Bob's own list.
    tracking->btnRefreshFaxArchive->click();
    EXPECT_EQ(items(tracking->cbFaxArchive).size(), 1);
}

TEST_F(TfrmTrackingTest, ChoosingAFaxOpensItsImage)
{
    setField("FAX", "555-0101");
    sendFax({"555-0101"});
    tracking->btnRefreshFaxArchive->click();
    tracking->cbFaxArchive->setCurrentIndex(0);
    emit tracking->cbFaxArchive->activated(0);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].file, main->TemplateFolder() + "preview.tif");
    EXPECT_TRUE(QFile::exists(main->TemplateFolder() + "preview.tif"));
}

TEST_F(TfrmTrackingTest, PlayReplaysTheSlotsWaveFile)
{
    const QString wave = te.path("hello.wav");
    writeBytes(wave, riff(chunk("data", QByteArray(1600, 0))));
    setField("DT_WAVE1", wave);
    setField("DT_WAVE2", "   ");
    setField("DT_WAVE3", te.path("gone.wav"));

    tracking->btnPlayWave[1]->click();
    ASSERT_EQ(sounds.size(), 1u);
    EXPECT_EQ(sounds[0].file, QFile::encodeName(wave));
    EXPECT_EQ(sounds[0].flags, SND_FILENAME | SND_NODEFAULT | SND_ASYNC);

    tracking->btnPlayWave[2]->click(); // an empty slot does nothing
    tracking->btnPlayWave[4]->click();
    EXPECT_EQ(sounds.size(), 1u);
    EXPECT_TRUE(dialogs.texts().isEmpty());

    tracking->btnPlayWave[3]->click();
    EXPECT_EQ(dialogs.texts(), QStringList{"Original Wave file could not found anymore"});
    EXPECT_EQ(sounds.size(), 1u);
}

TEST_F(TfrmTrackingTest, ChangingThePageOrClosingStopsAReplay)
{
    const QString wave = te.path("hello.wav");
    writeBytes(wave, riff(chunk("data", QByteArray(1600, 0))));
    setField("DT_WAVE1", wave);
    tracking->show();
    tracking->PageControl1->setCurrentWidget(tracking->tsWAVE);
    sounds.clear();

    tracking->btnPlayWave[1]->click();
    tracking->PageControl1->setCurrentWidget(tracking->tsCALL);
    ASSERT_EQ(sounds.size(), 2u);
    EXPECT_TRUE(sounds[1].file.isEmpty());

    tracking->btnPlayWave[1]->click();
    tracking->close();
    EXPECT_EQ(stops(), 2);
    EXPECT_FALSE(tracking->isVisible());
}

} // namespace
