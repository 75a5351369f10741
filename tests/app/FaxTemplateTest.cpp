#include "messaging/TFrmRichEditor.h"
#include "messaging/TfrmTemplate.h"
#include "ui/RadioGroup.h"

#include "platform/richedit/RichEdit.h"
#include "tests/app/AppFixture.h"
#include <QCheckBox>
#include <QLineEdit>

#include <QDir>
#include <QFile>

using FaxTemplateTest = AppFixture;

TEST_F(FaxTemplateTest, TheSideFileFillsTheFaxEditorAndTheEditorIsSavedBack)
{
    // GIVEN a fax body kept from an earlier run
    QDir().mkpath(folder() + "Template");
    QFile f(folder() + "Template/faxtemplate.rtf");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Dear {\\b customer}\\par}");
    f.close();

    // WHEN the program starts, the fax editor shows it
    start();
    RichEdit *editor = registry.frmRichEditor->Editor;
    EXPECT_EQ(editor->toPlainText(), "Dear customer");

    // and WHEN the operator changes it and closes the main window
    editor->setPlainText("New offer");
    main->FormClose();

    // THEN the side file holds the editor's document
    RichEdit reread;
    reread.loadFromFile(folder() + "Template/faxtemplate.rtf");
    EXPECT_EQ(reread.toPlainText(), "New offer");
}

TEST_F(FaxTemplateTest, TemplateWindowHoldsTheTemplateKeysForTheRun)
{
    // GIVEN template keys and a mail body kept from an earlier run
    writeIni("Email", "Subject", "Spring offer");
    writeIni("Email", "ViewBeforeSend", "0");
    writeIni("Fax", "CoverPage", "2");
    QDir().mkpath(folder() + "Template");
    QFile f(folder() + "Template/mailmessage.txt");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Hello\r\nBye\r\n");
    f.close();

    // WHEN the program starts, the template window shows them
    start();
    TfrmTemplate *w = registry.frmTemplate;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->editMailSubject->text(), "Spring offer");
    EXPECT_FALSE(w->cbEditInOutlook->isChecked());
    EXPECT_TRUE(main->DBGrid1->MultiSelect());
    EXPECT_EQ(w->rbgroupCoverPageType->ItemIndex(), 2);
    EXPECT_EQ(w->mailLines(), (QStringList{"Hello", "Bye"}));

    // and WHEN the operator edits them and closes the main window
    w->editMailSubject->setText("Summer offer");
    w->cbEditInOutlook->click();
    w->setMailLines({"Hi"});
    main->FormClose();

    // THEN the settings file and side file hold the controls' values
    EXPECT_EQ(iniValue("Email", "Subject"), "Summer offer");
    EXPECT_EQ(iniValue("Email", "ViewBeforeSend"), "1");
    EXPECT_FALSE(main->DBGrid1->MultiSelect());
    QFile back(folder() + "Template/mailmessage.txt");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), QByteArray("Hi\r\n"));
}
