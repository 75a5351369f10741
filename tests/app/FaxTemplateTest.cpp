#include "messaging/TFrmRichEditor.h"
#include "platform/richedit/RichEdit.h"
#include "tests/app/AppFixture.h"

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
