#include "app/Tools.h"
#include "app/AboutBox.h"
#include "tests/support/TestFiles.h"

#include "tests/app_tools/RecordingShell.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(ToolsTest, MissingToolShowsItsMessageAndStartsNothing)
{
    struct Case {
        SystemTool tool;
        const char *file;
        const char *message;
    };
    const Case cases[] = {
        {SystemTool::FaxConsole, "fxsclnt.exe", "Fax Console not found !"},
        {SystemTool::FaxCoverPageEditor, "fxscover.exe", "Fax Cover Page Editor not found !"},
        {SystemTool::SoundRecorder, "sndrec32.exe", "Sound Recorder not found !"},
        {SystemTool::VolumeControl, "sndvol32.exe", "Mixer / Volume Control not found !"},
    };
    for (const Case &c : cases) {
        RecordingShell shell;
        ScriptedDialogs dialogs;
        OpenSystemTool(c.tool, dialogs, shell);
        ASSERT_EQ(dialogs.shown.size(), 1u) << c.file;
        EXPECT_EQ(dialogs.shown[0].text, c.message);
        EXPECT_EQ(dialogs.shown[0].caption, Dialogs::applicationTitle());
        EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::Ok);
        EXPECT_TRUE(shell.calls.empty()) << c.file;

        // Present in the system directory: opened from there, no message.
        shell.present.insert(QStringLiteral("/sys32/") + c.file);
        dialogs.shown.clear();
        OpenSystemTool(c.tool, dialogs, shell);
        EXPECT_TRUE(dialogs.shown.empty()) << c.file;
        ASSERT_EQ(shell.calls.size(), 1u) << c.file;
        EXPECT_EQ(shell.calls[0].verb, "open");
        EXPECT_EQ(shell.calls[0].file, QStringLiteral("/sys32/") + c.file);
        EXPECT_EQ(shell.calls[0].parameters, "");
        EXPECT_EQ(shell.calls[0].directory, "");
        EXPECT_EQ(shell.calls[0].show, ShowCommand::Normal);
    }
}

TEST(ToolsTest, FirstScriptPressCreatesTheEmptyScriptAndLaterPressesKeepIt)
{
    TestEnvironment t;
    RecordingShell shell;
    const QString script = t.path("script.rtf");

    OpenCallScript(shell, t.programFolder());
    EXPECT_EQ(readBytes(script), kEmptyCallScript);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, "wordpad.exe");
    EXPECT_EQ(shell.calls[0].parameters, "script.rtf");
    EXPECT_EQ(shell.calls[0].directory, t.programFolder());
    EXPECT_EQ(shell.calls[0].show, ShowCommand::Show);

    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1 Ask for the buyer.}");
    f.close();
    OpenCallScript(shell, t.programFolder());
    EXPECT_EQ(readBytes(script), "{\\rtf1 Ask for the buyer.}");
    EXPECT_EQ(shell.calls.size(), 2u);
}

// The editor that stands for WordPad must take a fresh script; AbiWord, the
// one this program installs, refuses a bare "{\rtf1}".
TEST(ToolsTest, ANewScriptOpensInTheRtfEditor)
{
    const QString abiword = QStandardPaths::findExecutable("abiword");
    if (abiword.isEmpty())
        GTEST_SKIP() << "abiword is not installed";
    TestEnvironment t;
    RecordingShell shell;
    OpenCallScript(shell, t.programFolder());
    QProcess convert;
    convert.setWorkingDirectory(t.programFolder());
    convert.start(abiword, {"--to=txt", "script.rtf", "-o", "script.txt"});
    ASSERT_TRUE(convert.waitForFinished(120000));
    EXPECT_EQ(convert.exitCode(), 0) << convert.readAllStandardError().toStdString();
    EXPECT_TRUE(QFile::exists(t.path("script.txt")));
}

TEST(ToolsTest, WithoutAnRtfEditorTheScriptGoesToTheProgramsOwnEditor)
{
    TestEnvironment t;
    RecordingShell shell;
    QStringList opened;
    const auto ownEditor = [&](const QString &path) { opened << path; };
    OpenCallScript(shell, t.programFolder(), ownEditor);
    EXPECT_TRUE(opened.isEmpty()); // the shell found an editor

    shell.result = ShellError::FileNotFound;
    OpenCallScript(shell, t.programFolder(), ownEditor);
    EXPECT_EQ(opened, QStringList{QDir(t.programFolder()).filePath("script.rtf")});
    EXPECT_EQ(shell.calls.size(), 2u);
}

TEST(ToolsTest, ScriptThatCannotBeCreatedIsAnErrorAndNothingStarts)
{
    TestEnvironment t;
    RecordingShell shell;
    const QString missing = t.programFolder() + "/gone";
    try {
        OpenCallScript(shell, missing);
        FAIL() << "no exception";
    } catch (const EFCreateError &e) {
        EXPECT_TRUE(
            QString::fromUtf8(e.what()).startsWith("Cannot create file \"" + missing + "/script.rtf\"."))
            << e.what();
    }
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_FALSE(QFile::exists(missing + "/script.rtf"));
}

TEST(AboutBoxTest, ShowsTheProductAndVisitWebsiteOpensTheAddressAndCloses)
{
    RecordingShell shell;
    TfrmAbout about(shell);
    EXPECT_EQ(about.windowTitle(), "About Brenvoy");
    EXPECT_EQ(about.size(), QSize(228, 179));
    EXPECT_EQ(about.minimumSize(), about.maximumSize()); // fixed dialog border
    EXPECT_EQ(about.Button1->objectName(), "Button1");
    EXPECT_EQ(about.Button1->text(), "Visit Website");
    EXPECT_EQ(about.lblWebsite->text(), TfrmAbout::websiteAddress());
    EXPECT_EQ(about.font().pointSize(), 8);

    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    // Everything fits inside the box.
    for (QWidget *w : {static_cast<QWidget *>(about.lblProduct), static_cast<QWidget *>(about.lblDescription),
                       static_cast<QWidget *>(about.lblNotice), static_cast<QWidget *>(about.lblWebsite),
                       static_cast<QWidget *>(about.Button1)})
        EXPECT_TRUE(about.rect().contains(w->geometry())) << w->objectName().toStdString();

    QTest::mouseClick(about.Button1, Qt::LeftButton);
    ASSERT_EQ(shell.calls.size(), 1u);
    EXPECT_EQ(shell.calls[0].verb, "open");
    EXPECT_EQ(shell.calls[0].file, TfrmAbout::websiteAddress());
    EXPECT_EQ(shell.calls[0].show, ShowCommand::Normal);
    EXPECT_FALSE(about.isVisible());
}

} // namespace
