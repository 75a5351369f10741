#include "messaging/MessageTemplate.h"
#include "messaging/TFrmRichEditor.h"
#include "messaging/TfrmTemplate.h"
#include "platform/profile/IniFile.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestEnvironment.h"
#include "ui/RadioGroup.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTimeEdit>
#include <gtest/gtest.h>

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A template with every value away from its default.
MessageTemplate sample()
{
    MessageTemplate t;
    t.email.addFirstName = false;
    t.email.addAttachment = true;
    t.email.attachmentFile = QStringLiteral("/tmp/price list.pdf");
    t.email.subject = QStringLiteral("Offre spéciale");
    t.email.viewBeforeSend = false;
    t.fax.faxSource = 1;
    t.fax.coverPage = 2;
    t.fax.schedule = 1;
    t.fax.subject = QStringLiteral("Prices");
    t.fax.note = QStringLiteral("Call us");
    t.fax.sourceFile = QStringLiteral("/tmp/offer.doc");
    t.fax.scheduleDate = QDate(2007, 3, 6);
    t.fax.scheduleTime = QTime(14, 30, 0);
    return t;
}

TEST(TemplateFile, LongNonAsciiBodiesComeBackWhole)
{
    TestEnvironment env;
    MessageTemplate t = sample();
    // Far beyond a 2048-character value buffer once hex-encoded; one line
    // holds characters the ANSI code page has, another some it has not.
    t.email.body = {QString(5000, QLatin1Char('x')), QStringLiteral("Grüße aus Köln"), QString(),
                    QStringLiteral("Привет"), QStringLiteral("end")};
    QString rtf = QStringLiteral("{\\rtf1\\ansi ");
    while (rtf.size() < 5000)
        rtf += QStringLiteral("Fax body text \\'e9 ");
    rtf += QLatin1Char('}');
    t.fax.bodyRtf = rtf.toLatin1();

    const QString path = env.path("long.tpl");
    WriteTemplateFile(path, t);
    const MessageTemplate back = ReadTemplateFile(path, env.clock.now());

    EXPECT_EQ(back.email.body, t.email.body);
    EXPECT_EQ(back.fax.bodyRtf, t.fax.bodyRtf);
    EXPECT_EQ(back.email.subject, t.email.subject);
    EXPECT_FALSE(back.email.addFirstName);
    EXPECT_TRUE(back.email.addAttachment);
    EXPECT_EQ(back.email.attachmentFile, t.email.attachmentFile);
    EXPECT_FALSE(back.email.viewBeforeSend);
    EXPECT_EQ(back.fax.faxSource, 1);
    EXPECT_EQ(back.fax.coverPage, 2);
    EXPECT_EQ(back.fax.schedule, 1);
    EXPECT_EQ(back.fax.note, t.fax.note);
    EXPECT_EQ(back.fax.sourceFile, t.fax.sourceFile);
    EXPECT_EQ(back.fax.scheduleDate, t.fax.scheduleDate);
    EXPECT_EQ(back.fax.scheduleTime, t.fax.scheduleTime);
}

TEST(TemplateFile, KeysInOrderWithHexBodiesAndEmptyBodyAsEmptyValue)
{
    TestEnvironment env;
    MessageTemplate t = sample();
    t.email.body = {QStringLiteral("Hi"), QStringLiteral("é")};
    const QString path = env.path("order.tpl");
    WriteTemplateFile(path, t);

    QStringList keys;
    for (const QByteArray &line : readFile(path).split('\n')) {
        const QByteArray l = line.trimmed();
        if (!l.isEmpty())
            keys << QString::fromLatin1(l.left(l.indexOf('=') < 0 ? l.size() : l.indexOf('=')));
    }
    EXPECT_EQ(keys, (QStringList{"[Email]", "AddFirstName", "AddAttachment", "AttachmentFile", "Subject",
                                 "ViewBeforeSend", "Body", "[Fax]", "FaxSource", "CoverPage", "Schedule",
                                 "Subject", "Note", "SourceFile", "ScheduleDate", "ScheduleTime", "Body"}));
    const IniFile ini(path);
    // Lines in the ANSI code page, each ended by CR LF.
    EXPECT_EQ(ini.ReadString("Email", "Body", {}, 0), QStringLiteral("48690D0AE90D0A"));
    EXPECT_TRUE(readFile(path).split('\n').contains("Body=\r") ||
                readFile(path).split('\n').contains("Body="));
    EXPECT_TRUE(ReadTemplateFile(path, env.clock.now()).email.body == t.email.body);
    EXPECT_TRUE(ReadTemplateFile(path, env.clock.now()).fax.bodyRtf.isEmpty());
}

TEST(TemplateFile, ReaderRulesForHandWrittenValues)
{
    TestEnvironment env;
    const QString path = env.path("hand.tpl");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Email]\r\nAddFirstName=0x0\r\nViewBeforeSend=7\r\nBody=410D0A4\r\n"
            "[Fax]\r\nCoverPage=0X2\r\nSchedule=later\r\nScheduleDate=31/31/31\r\nBody=7B5C72\r\n");
    f.close();
    const MessageTemplate t = ReadTemplateFile(path, env.clock.now());
    EXPECT_FALSE(t.email.addFirstName);
    EXPECT_TRUE(t.email.viewBeforeSend);
    EXPECT_EQ(t.email.body, QStringList{"A"}); // the trailing odd digit is ignored
    EXPECT_EQ(t.fax.coverPage, 2);
    EXPECT_EQ(t.fax.schedule, 0);
    EXPECT_EQ(t.fax.scheduleDate, env.clock.now().date());
    EXPECT_EQ(t.fax.bodyRtf, QByteArray("{\\r"));

    // A file that is not there gives every default and empty bodies.
    const MessageTemplate none = ReadTemplateFile(env.path("missing.tpl"), env.clock.now());
    EXPECT_TRUE(none.email.addFirstName);
    EXPECT_TRUE(none.email.viewBeforeSend);
    EXPECT_TRUE(none.email.body.isEmpty());
    EXPECT_EQ(none.fax.coverPage, 1);
    EXPECT_EQ(none.fax.scheduleTime, env.clock.now().time());
}

TEST(TemplateFile, PythonConfigParserReadsTheSameValues)
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        GTEST_SKIP() << "python3 is not installed";
    TestEnvironment env;
    MessageTemplate t = sample();
    t.email.body = {QStringLiteral("Hello")};
    const QString path = env.path("py.tpl");
    WriteTemplateFile(path, t);

    QProcess p;
    p.start(python, {"-c",
                     "import configparser,sys\n"
                     "c=configparser.ConfigParser(interpolation=None)\n"
                     "c.optionxform=str\n"
                     "c.read(sys.argv[1], encoding='cp1252')\n"
                     "for s in c.sections():\n"
                     "  for k,v in c[s].items(): print(s+'/'+k+'='+v)\n",
                     path});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(lines.contains("Email/Subject=Offre spéciale"));
    EXPECT_TRUE(lines.contains("Email/AddFirstName=0"));
    EXPECT_TRUE(lines.contains("Email/Body=48656C6C6F0D0A"));
    EXPECT_TRUE(lines.contains("Fax/CoverPage=2"));
    EXPECT_TRUE(lines.contains("Fax/ScheduleDate=" + QDate(2007, 3, 6).toString(IniFile::shortDateFormat())));
    EXPECT_TRUE(lines.contains("Fax/Body="));
}

class TemplateWindow : public ::testing::Test {
protected:
    TestEnvironment env;
    ScriptedDialogs dialogs;
    std::unique_ptr<TFrmRichEditor> editor;
    std::unique_ptr<TfrmTemplate> w;
    QList<bool> viewBeforeSend;

    void SetUp() override
    {
        editor = std::make_unique<TFrmRichEditor>(dialogs, QStringList{"brenvoy"});
        w = std::make_unique<TfrmTemplate>(dialogs, env.clock, nullptr, editor.get(), env.programFolder());
        w->OnViewBeforeSendChange = [this](bool on) { viewBeforeSend << on; };
    }
    void TearDown() override
    {
        editor->Editor->setModified(false);
        EXPECT_TRUE(dialogs.allAnswersUsed());
        editor.reset(); // first: it may sit in the window's panel
        w.reset();
    }
};

TEST_F(TemplateWindow, OpeningRestoresControlsAndKeepsPastScheduleWithoutWarning)
{
    MessageTemplate t = sample();
    t.fax.scheduleDate = QDate(2001, 1, 1); // long past
    t.email.body = {QStringLiteral("Dear customer"), QStringLiteral("see you")};
    t.fax.bodyRtf = QByteArray("{\\rtf1\\ansi Fax text}");
    const QString path = env.path("past.tpl");
    WriteTemplateFile(path, t);
    w->CustomCoverPage->setText(QStringLiteral("/covers/mine.cov"));

    dialogs.answerFile(path);
    w->BitBtn2Click();

    ASSERT_EQ(dialogs.shown.size(), 1u) << "no warning, only the open dialog";
    EXPECT_EQ(dialogs.shown[0].kind, ScriptedDialogs::Shown::Open);
    EXPECT_EQ(w->dtpDate->date(), QDate(2001, 1, 1));
    EXPECT_EQ(w->dtpTime->time(), QTime(14, 30));
    EXPECT_EQ(w->rbgroupSchedule->ItemIndex(), 1);
    EXPECT_FALSE(w->dtpDate->isHidden());
    EXPECT_EQ(w->CustomCoverPage->text(), "/covers/mine.cov");
    EXPECT_FALSE(w->CustomCoverPage->isHidden()); // "Custom" shows it
    EXPECT_FALSE(w->editSourceFileName->isHidden());
    EXPECT_FALSE(w->editAttachmentFile->isHidden());
    EXPECT_EQ(w->mailLines(), t.email.body);
    EXPECT_EQ(editor->Editor->toPlainText(), "Fax text");
    EXPECT_EQ(viewBeforeSend, QList<bool>{false}); // multiple selection back on
    EXPECT_EQ(dialogs.shown[0].request.folder, env.programFolder());
    EXPECT_EQ(dialogs.shown[0].request.filter, "Template(*.tpl)|*.tpl");
}

TEST_F(TemplateWindow, SaveThenOpenGivesTheSameTemplate)
{
    w->editMailSubject->setText("Subject A");
    w->setMailLines({"one", "two"});
    w->cbAttachment->click();
    w->rbgroupCoverPageType->setItemIndex(0);
    EXPECT_FALSE(w->editFaxNote->isEnabled());
    const QString path = env.path("saved.tpl");
    dialogs.answerFile(path);
    w->BitBtn3Click();
    EXPECT_TRUE(dialogs.shown.back().request.overwritePrompt);
    EXPECT_EQ(dialogs.shown.back().request.defaultExt, "tpl");

    dialogs.answer(MsgResult::Yes);
    w->btnClearEMailClick();
    EXPECT_TRUE(w->editMailSubject->text().isEmpty());
    EXPECT_TRUE(w->mailLines().isEmpty());
    EXPECT_FALSE(w->cbAttachment->isChecked());
    EXPECT_TRUE(w->editAttachmentFile->isHidden());

    dialogs.answerFile(path);
    w->BitBtn2Click();
    EXPECT_EQ(w->editMailSubject->text(), "Subject A");
    EXPECT_EQ(w->mailLines(), (QStringList{"one", "two"}));
    EXPECT_TRUE(w->cbAttachment->isChecked());
    EXPECT_EQ(w->rbgroupCoverPageType->ItemIndex(), 0);
}

TEST_F(TemplateWindow, BodiesNotTakenStayAsTheyAre)
{
    // GIVEN bodies in both editors, as the form or the operator left them
    w->setMailLines({QStringLiteral("kept mail")});
    editor->Editor->setPlainText(QStringLiteral("kept fax"));

    // WHEN the settings give keys but no body (their side files are missing)
    MessageTemplate t = sample();
    w->setTemplate(t, false, false);

    // THEN the keys are set and both bodies stay
    EXPECT_EQ(w->editMailSubject->text(), t.email.subject);
    EXPECT_EQ(w->rbgroupCoverPageType->ItemIndex(), t.fax.coverPage);
    EXPECT_EQ(w->mailLines(), QStringList{"kept mail"});
    EXPECT_EQ(editor->Editor->toPlainText(), "kept fax");

    // and an empty body that is taken empties its editor
    t.email.body.clear();
    t.fax.bodyRtf.clear();
    w->setTemplate(t);
    EXPECT_TRUE(w->mailLines().isEmpty());
    EXPECT_EQ(editor->Editor->toPlainText(), "");
}

TEST_F(TemplateWindow, FaxSourceFileRefusesProgramsInAnyCase)
{
    struct Case {
        const char *file;
        bool accepted;
    };
    const QString before = QStringLiteral("/docs/keep.doc");
    for (const Case c : {Case{"setup.exe", false}, Case{"SETUP.Exe", false}, Case{"pack.7zip", false},
                         Case{"offer.doc", true}, Case{"noextension", true}}) {
        w->editSourceFileName->setText(before);
        dialogs.shown.clear();
        dialogs.answerFile(env.path(c.file));
        w->btnFileNameClick();
        EXPECT_EQ(dialogs.shown[0].text, "Make sure you choose a printable document file") << c.file;
        if (c.accepted) {
            EXPECT_EQ(w->editSourceFileName->text(), env.path(c.file)) << c.file;
            EXPECT_EQ(dialogs.shown.size(), 2u) << c.file;
        } else {
            EXPECT_EQ(w->editSourceFileName->text(), before) << c.file;
            EXPECT_EQ(dialogs.shown.back().text, "Not a document file !") << c.file;
        }
    }
}

TEST_F(TemplateWindow, ScheduleLaterMovesAPastMomentToNowAndWarnsOnPastChoice)
{
    w->dtpDate->setDate(QDate(2000, 1, 1));
    EXPECT_EQ(dialogs.texts(), QStringList{"Warning : Schedule date is before current time !!"});
    dialogs.shown.clear();
    w->rbgroupSchedule->setItemIndex(1);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(w->dtpDate->date(), env.clock.now().date());
    EXPECT_GE(w->scheduledMoment(), env.clock.now());
    w->rbgroupSchedule->setItemIndex(0);
    EXPECT_TRUE(w->dtpDate->isHidden());
    EXPECT_TRUE(w->dtpTime->isHidden());
}

} // namespace
