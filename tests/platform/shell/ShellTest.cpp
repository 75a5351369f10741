#include "platform/shell/Shell.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

struct Started {
    QString program;
    QStringList arguments;
    QString folder;
};

// A shell whose programs live in a folder of our own, with the starts and
// opened addresses recorded instead of carried out.
class ShellTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString bin = root.path() + "/bin";
    QString work = root.path() + "/work";
    std::vector<Started> starts;
    std::vector<QUrl> urls;
    bool startSucceeds = true;
    bool desktopHandlesRtf = false;

    void SetUp() override
    {
        QDir().mkpath(bin);
        QDir().mkpath(work);
    }

    void install(const QString &name)
    {
        QFile f(bin + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    SystemShell make()
    {
        SystemShell::Options o = SystemShell::defaults(root.path() + "/state");
        o.searchPath = {bin};
        o.startDetached = [this](const QString &p, const QStringList &a, const QString &w) {
            starts.push_back({p, a, w});
            return startSucceeds;
        };
        o.openUrl = [this](const QUrl &u) {
            urls.push_back(u);
            return true;
        };
        o.desktopHandles = [this](const QString &mime) {
            return mime == "application/rtf" && desktopHandlesRtf;
        };
        return SystemShell(o);
    }
};

TEST_F(ShellTest, ToolNamesExistInTheSystemDirectoryWhenTheirProgramIsInstalled)
{
    SystemShell shell = make();
    const QString sys = shell.GetSystemDirectory();
    EXPECT_EQ(sys, root.path() + "/state/shell/system32");
    for (const char *tool : {"wordpad.exe", "sndrec32.exe", "sndvol32.exe", "fxsclnt.exe", "fxscover.exe"})
        EXPECT_FALSE(shell.FileExists(sys + "/" + tool)) << tool;

    install("pavucontrol");
    install("audacity");
    EXPECT_TRUE(shell.FileExists(sys + "/sndvol32.exe"));
    EXPECT_TRUE(shell.FileExists(sys + "/SNDREC32.EXE"));
    // Elsewhere than in the system directory the name is an ordinary file.
    EXPECT_FALSE(shell.FileExists(work + "/sndvol32.exe"));
    // No fax service: the fax tools stay missing.
    EXPECT_FALSE(shell.FileExists(sys + "/fxsclnt.exe"));

    const ShellResult r = shell.ShellExecute("open", sys + "/sndvol32.exe", "", "", ShowCommand::Normal);
    ASSERT_TRUE(r.ok());
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, bin + "/pavucontrol");
    EXPECT_TRUE(starts[0].arguments.isEmpty());
}

TEST_F(ShellTest, RegisteredProgramMakesAToolExist)
{
    SystemShell shell = make();
    install("fax-console");
    shell.registerProgram("FXSCLNT.EXE", {"fax-console", {"--outbox"}});
    const QString console = shell.GetSystemDirectory() + "/fxsclnt.exe";
    EXPECT_TRUE(shell.FileExists(console));
    ASSERT_TRUE(shell.ShellExecute("", console, "", "", ShowCommand::Normal).ok());
    EXPECT_EQ(starts.at(0).arguments, QStringList{"--outbox"});
}

TEST_F(ShellTest, ScriptGoesToTheDesktopsRtfProgramElseAnInstalledRtfEditor)
{
    const QString doc = work + "/script.rtf";
    QFile f(doc);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\\rtf1}");
    f.close();

    // Neither: a failure the caller can see, and nothing handed to a desktop
    // that has no program for the file.
    {
        SystemShell shell = make();
        const ShellResult r =
            shell.ShellExecute("open", "wordpad.exe", "script.rtf", work, ShowCommand::Show);
        EXPECT_EQ(r.error, ShellError::FileNotFound);
        EXPECT_TRUE(urls.empty());
        EXPECT_TRUE(starts.empty());
    }
    // The desktop's own RTF program wins over an installed editor.
    install("abiword");
    {
        desktopHandlesRtf = true;
        SystemShell shell = make();
        ASSERT_TRUE(shell.ShellExecute("open", "wordpad.exe", "script.rtf", work, ShowCommand::Show).ok());
        ASSERT_EQ(urls.size(), 1u);
        EXPECT_EQ(urls[0], QUrl::fromLocalFile(doc));
        EXPECT_TRUE(starts.empty());
        desktopHandlesRtf = false;
    }
    // LibreOffice without its window-system plugins cannot show the script.
    install("libreoffice");
    SystemShell shell = make();
    ASSERT_TRUE(shell.ShellExecute("open", "wordpad.exe", "script.rtf", work, ShowCommand::Show).ok());
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].program, bin + "/abiword");
    EXPECT_EQ(starts[0].arguments, QStringList{"script.rtf"});
    EXPECT_EQ(starts[0].folder, work);

    install("libvclplug_gtk3lo.so");
    ASSERT_TRUE(shell.ShellExecute("open", "wordpad.exe", "script.rtf", work, ShowCommand::Show).ok());
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[1].program, bin + "/libreoffice");
    EXPECT_EQ(starts[1].arguments, (QStringList{"--writer", "script.rtf"}));
}

TEST_F(ShellTest, OpensProgramsDocumentsAndAddresses)
{
    install("mailer");
    SystemShell shell = make();

    // A program given with its folder, with a command line of parameters.
    ShellResult r =
        shell.ShellExecute("open", bin + "/mailer", "-compose \"to=a b\"", work, ShowCommand::Normal);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(starts.back().program, bin + "/mailer");
    EXPECT_EQ(starts.back().arguments, (QStringList{"-compose", "to=a b"}));
    // A bare name found on the search path, also under its Windows name.
    ASSERT_TRUE(shell.ShellExecute("open", "mailer.exe", "", "", ShowCommand::Normal).ok());
    EXPECT_EQ(starts.back().program, bin + "/mailer");
    EXPECT_EQ(starts.size(), 2u);

    // A document and a web address go to the desktop.
    QFile doc(work + "/preview.tif");
    ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
    doc.close();
    ASSERT_TRUE(shell.ShellExecute("open", "preview.tif", "", work, ShowCommand::Normal).ok());
    EXPECT_EQ(urls.back(), QUrl::fromLocalFile(work + "/preview.tif"));
    ASSERT_TRUE(shell.ShellExecute("open", "https://example.org/brenvoy", "", "", ShowCommand::Normal).ok());
    EXPECT_EQ(urls.back(), QUrl("https://example.org/brenvoy"));
    EXPECT_EQ(starts.size(), 2u);
}

TEST_F(ShellTest, FailuresAreReportedAsSuch)
{
    SystemShell shell = make();
    EXPECT_EQ(shell.ShellExecute("open", work + "/missing.exe", "", "", ShowCommand::Normal).error,
              ShellError::FileNotFound);
    EXPECT_EQ(
        shell.ShellExecute("open", "C:\\Program Files\\Outlook\\outlook.exe", "", "", ShowCommand::Normal)
            .error,
        ShellError::FileNotFound);
    EXPECT_EQ(shell.ShellExecute("open", "sndrec32.exe", "", "", ShowCommand::Normal).error,
              ShellError::FileNotFound);
    EXPECT_EQ(shell.ShellExecute("print", work, "", "", ShowCommand::Normal).error,
              ShellError::NoAssociation);
    EXPECT_EQ(shell.ShellExecute("open", work, "", root.path() + "/gone", ShowCommand::Normal).error,
              ShellError::PathNotFound);
    install("broken");
    startSucceeds = false;
    EXPECT_EQ(shell.ShellExecute("open", "broken", "", "", ShowCommand::Normal).error, ShellError::Failed);
    EXPECT_TRUE(urls.empty());
}

TEST_F(ShellTest, RealStartRunsDetachedInTheWorkingFolder)
{
    QFile script(bin + "/touch-here");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho \"$1\" > started.txt\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    SystemShell::Options o = SystemShell::defaults(root.path() + "/state");
    o.searchPath = {bin};
    SystemShell shell(o);
    ASSERT_TRUE(shell.ShellExecute("open", "touch-here", "hello", work, ShowCommand::Normal).ok());

    // The program runs on its own; wait for its file (not a timing check).
    QFile out(work + "/started.txt");
    QDeadlineTimer deadline(20000);
    while (!(out.exists() && out.size() > 0) && !deadline.hasExpired())
        QThread::msleep(20);
    ASSERT_TRUE(out.open(QIODevice::ReadOnly));
    EXPECT_EQ(out.readAll(), "hello\n");
}

} // namespace
