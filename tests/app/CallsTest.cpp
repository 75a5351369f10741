#include "app/TfrmManualDial.h"
#include "telephony/TapiDevice.h"
#include "tests/app/AppFixture.h"
#include "ui/RadioGroup.h"

#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

// Calls driven through the windows' handlers, on the default simulated line.
class CallsTest : public AppFixture {
protected:
    void SetUp() override
    {
        writeIni("TapiDevice", "Selection", "Brenvoy Voice Modem");
        makeTable({contact("Ann"), contact("Bob"), contact("Cy")});
        start();
    }
    TTapiDevice &dev() { return *main->TapiDevice; }
    bool runUntil(const std::function<bool()> &pred, qint64 ms = 60000)
    {
        return te.clock.waitUntil(pred, ms);
    }
    QString phonePanel() const { return main->StatusBar1->panelText(1); }
};

TEST_F(CallsTest, TheCompactPanelDialsAndTheThreeWindowsFollowTheCall)
{
    TfrmSimple *panel = registry.frmSimple;
    TfrmSimpleNumbers *list = registry.frmSimpleNumbers;
    // idle at start
    EXPECT_EQ(phonePanel(), "Phone: Idle");
    EXPECT_FALSE(panel->btnAbort->isEnabled());
    EXPECT_FALSE(main->btnPlay1->isEnabled());

    panel->btnDialClick();
    EXPECT_EQ(dev().DialedNumber(), "777-Ann");
    // the 200 ms timer runs on the environment clock while the call goes on
    ASSERT_TRUE(runUntil([this] { return phonePanel() == "Phone: Connected"; }));
    EXPECT_FALSE(main->btnDial->isEnabled() || main->btnDialNext->isEnabled() ||
                 main->btnManualDial->isEnabled());
    EXPECT_FALSE(panel->btnDial->isEnabled() || panel->btnNext->isEnabled() || list->btnDial->isEnabled());
    EXPECT_TRUE(main->btnAbort->isEnabled() && panel->btnAbort->isEnabled());
    EXPECT_TRUE(main->btnPlay1->isEnabled() && main->btnPlay2->isEnabled() && panel->btnPlay->isEnabled());
    // recording is off in the default settings
    EXPECT_FALSE(main->btnRecord->isEnabled() || panel->btnRecord->isEnabled());

    panel->btnAbortClick();
    ASSERT_TRUE(runUntil([this] { return phonePanel() == "Phone: Idle"; }));
    EXPECT_TRUE(main->btnDial->isEnabled() && panel->btnDial->isEnabled() && list->btnDial->isEnabled());
    EXPECT_FALSE(panel->btnAbort->isEnabled() || main->btnPlay1->isEnabled());
    EXPECT_GT(main->calls().CallDuration(), 0);

    // the number list's "Dial" goes on to the phone of the same contact
    list->btnDialClick();
    EXPECT_EQ(dev().DialedNumber(), "555-Ann");
    main->btnAbortClick();
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
}

TEST_F(CallsTest, ManualDialWindowIsCreatedInItsPlaceAndDialsTheTypedNumber)
{
    auto *manual = qobject_cast<TfrmManualDial *>(registry.frmManualDial);
    ASSERT_NE(manual, nullptr);
    EXPECT_EQ(manual->windowTitle(), "Manual Dial");
    EXPECT_FALSE(manual->isModal());
    main->btnManualDialClick();
    EXPECT_TRUE(manual->isVisible());
    manual->Edit1->setText("0800 123");
    manual->Button1Click();
    EXPECT_EQ(dev().DialedNumber(), "0800 123");
    EXPECT_EQ(main->LastDialledNumber(), "");
    main->btnAbortClick();
}

TEST_F(CallsTest, AHistoryStampSkipsASelectedRowTheSearchHides)
{
    // GIVEN Ann and Cy selected, then a search that shows only Ann
    main->setViewBeforeSend(false);
    for (Bookmark b : {1, 3}) {
        main->dsTable().GotoBookmark(b);
        main->DBGrid1->setCurrentRowSelected(true);
    }
    main->cbFields->setCurrentText("NAME");
    main->edString->setText("Ann");
    main->edStringKeyUp(Qt::Key_A);

    // WHEN a command stamps the selected contacts
    main->AddEmailHistory();

    // THEN the one shown is stamped and nothing failed part-way
    const RawTable r(folder() + "contacdata.dbf");
    EXPECT_EQ(r.text(1, "TM_EMAIL1"), TfrmMain::TimeStampText(te.clock.now()));
    EXPECT_EQ(r.text(3, "TM_EMAIL1"), "");
    EXPECT_TRUE(dialogs.shown.empty()) << dialogs.texts().join('|').toStdString();
}

TEST_F(CallsTest, MessageListsDrawTheEndOfALongPath)
{
    const QString path = "/a/very/long/folder/name/that/does/not/fit/into/the/list/at/all/message-one.wav";
    main->cbPLayer1->addItem(path);
    main->cbPLayer1->setCurrentIndex(0);
    QImage image(120, 13, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        main->cbPLayer1DrawItem(p, image.rect(), 0, false);
    }
    // Ink ends 2 pixels inside the right edge, so the file name shows.
    int rightmostInk = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 128)
                rightmostInk = x;
    EXPECT_GE(rightmostInk, image.width() - 8);
    EXPECT_LT(rightmostInk, image.width() - 2);
}
