#include "platform/environment/Clock.h"
#include "platform/environment/Environment.h"
#include "platform/sip/SipAccountBook.h"
#include "platform/sip/SipLines.h"
#include "platform/tapi/LineProvider.h"
#include "telephony/TSipAccountsForm.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class SipAccountsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SipLines::ensureRegistered();
        QDir().mkpath(dir.path() + "/program");
        env = std::make_unique<Environment>(clock, dir.path() + "/program", dir.path() + "/state");
    }
    QString secretsPath() const { return env->stateFolderFor("sip") + "/secrets"; }
    std::unique_ptr<Secrets::SecretStore> fileStore() const
    {
        return std::make_unique<Secrets::FileSecretStore>(secretsPath());
    }
    static SipAccount account(const QString &user = "sales", const QString &domain = "127.0.0.1:5999")
    {
        SipAccount a;
        a.displayName = "Sales desk";
        a.user = user;
        a.domain = domain;
        return a;
    }
    QStringList lineNames()
    {
        HLINEAPP app = 0;
        DWORD count = 0;
        EXPECT_EQ(lineInitialize(
                      &app, *env, [](DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {},
                      "accounts-test", &count),
                  0);
        QStringList names;
        for (DWORD i = 0; i < count; ++i) {
            std::vector<char> buf(2048);
            auto *caps = reinterpret_cast<LINEDEVCAPS *>(buf.data());
            caps->dwTotalSize = DWORD(buf.size());
            if (lineGetDevCaps(app, i, TAPI_VERSION_1_4, 0, caps) == 0)
                names << QString::fromLocal8Bit(buf.data() + caps->dwLineNameOffset);
        }
        lineShutdown(app);
        return names;
    }

    SystemClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Environment> env;
};

TEST_F(SipAccountsTest, PasswordsStayOutOfTheAccountsFileInAnOwnerOnlyStore)
{
    SipAccountBook book(*env, fileStore());
    ASSERT_EQ(book.put(-1, account(), true, "pa55=word;[x]"), "");
    QFile accounts(SipAccounts::filePath(*env));
    ASSERT_TRUE(accounts.open(QIODevice::ReadOnly));
    const QByteArray text = accounts.readAll();
    EXPECT_TRUE(text.contains("User=sales"));
    EXPECT_FALSE(text.contains("pa55"));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(secretsPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(Secrets::FileSecretStore(secretsPath()).read("sales@127.0.0.1:5999"), QString("pa55=word;[x]"));

    // A changed address takes its password along; removing the account removes it.
    SipAccount moved = account("sales", "pbx.example.com");
    ASSERT_EQ(book.put(0, moved, false, {}), "");
    EXPECT_EQ(Secrets::FileSecretStore(secretsPath()).read("sales@pbx.example.com"),
              QString("pa55=word;[x]"));
    EXPECT_FALSE(Secrets::FileSecretStore(secretsPath()).read("sales@127.0.0.1:5999").has_value());
    ASSERT_EQ(book.remove(0), "");
    EXPECT_FALSE(Secrets::FileSecretStore(secretsPath()).read("sales@pbx.example.com").has_value());
    EXPECT_TRUE(book.accounts().isEmpty());
}

TEST_F(SipAccountsTest, BrokenAccountsAreRefusedAndChangeNothing)
{
    SipAccountBook book(*env, fileStore());
    ASSERT_EQ(book.put(-1, account(), false, {}), "");
    struct Case {
        const char *what;
        SipAccount account;
    };
    SipAccount injected = account();
    injected.displayName = "x\"\r\nVia: evil";
    SipAccount badRegistrar = account("other");
    badRegistrar.registrar = "pbx example";
    SipAccount badPort = account("other", "127.0.0.1:70000");
    const Case cases[] = {
        {"no user", account("", "pbx.example.com")},
        {"user with a space", account("sa les")},
        {"user with an @", account("a@b")},
        {"no domain", account("other", "")},
        {"domain with a path", account("other", "pbx.example.com/x")},
        {"port out of range", badPort},
        {"registrar with a space", badRegistrar},
        {"header in the display name", injected},
        {"the same address twice", account()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NE(book.put(-1, c.account, true, "x"), "");
        EXPECT_EQ(book.accounts().size(), 1);
    }
    EXPECT_NE(book.put(5, account("other"), false, {}), "");
    EXPECT_NE(book.remove(3), "");
    auto reread = SipAccounts::load(*env, nullptr);
    ASSERT_TRUE(reread);
    EXPECT_EQ(*reread, QList<SipAccount>{account()});
}

TEST_F(SipAccountsTest, AccountsFileThatIsBrokenIsReportedNotUsed)
{
    const char *texts[] = {"[Account0]\nUser=a\nDomain=b\nColour=red\n", "User=a\n", "[Account0]\nUser=a\n",
                           "[Account0]\nUser=a\nDomain=b\nTransport=carrier pigeon\n"};
    for (const char *text : texts) {
        SCOPED_TRACE(text);
        QString error;
        EXPECT_FALSE(SipAccounts::parse(QString::fromLatin1(text), &error));
        EXPECT_FALSE(error.isEmpty());
    }
    QFile f(SipAccounts::filePath(*env));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Account0]\nUser=a\n");
    f.close();
    // The other lines go on without the SIP lines; the account window says why.
    EXPECT_EQ(lineNames(), QStringList{"Brenvoy Voice Modem"});
    SipAccountBook book(*env, fileStore());
    EXPECT_FALSE(book.loadError().isEmpty());
}

TEST_F(SipAccountsTest, LinesFollowTheAccountsWhileTheServiceRuns)
{
    HLINEAPP app = 0;
    DWORD count = 0;
    ASSERT_EQ(lineInitialize(
                  &app, *env, [](DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}, "t", &count),
              0);
    EXPECT_EQ(lineNames(), QStringList{"Brenvoy Voice Modem"});
    SipAccountBook book(*env, fileStore());
    ASSERT_EQ(book.put(-1, account(), false, {}), "");
    ASSERT_EQ(book.put(-1, account("support"), false, {}), "");
    EXPECT_TRUE(book.linesCurrent());
    EXPECT_EQ(lineNames(), QStringList({"Brenvoy Voice Modem", "SIP: sales@127.0.0.1:5999",
                                        "SIP: support@127.0.0.1:5999"}));
    // While a SIP line is open its lines stay as they are.
    HLINE line = 0;
    ASSERT_EQ(lineOpen(app, 1, &line, TAPI_VERSION_1_4, 0, 0, LINECALLPRIVILEGE_NONE,
                       LINEMEDIAMODE_AUTOMATEDVOICE, nullptr),
              0);
    ASSERT_EQ(book.remove(0), "");
    EXPECT_FALSE(book.linesCurrent());
    EXPECT_EQ(lineNames().size(), 3);
    lineClose(line);
    EXPECT_TRUE(TapiCore::refreshProviders(*env));
    EXPECT_EQ(lineNames(), QStringList({"Brenvoy Voice Modem", "SIP: support@127.0.0.1:5999"}));
    lineShutdown(app);
}

TEST_F(SipAccountsTest, WindowAddsEditsAndRemovesAccounts)
{
    TSipAccountsForm form(*env, nullptr, fileStore());
    EXPECT_EQ(form.lbAccounts->count(), 0);
    form.editDisplayName->setText("Front desk");
    form.editUser->setText("front");
    form.editDomain->setText("127.0.0.1:5999");
    form.cbTransport->setCurrentText("TCP");
    form.editPassword->setText("s3cret");
    form.btnAddClick();
    ASSERT_EQ(form.lbAccounts->count(), 1);
    EXPECT_EQ(form.lbAccounts->item(0)->text(), "SIP: front@127.0.0.1:5999");
    EXPECT_EQ(form.book().accounts()[0].transport, SipAccount::Transport::Tcp);
    EXPECT_TRUE(form.editPassword->text().isEmpty()); // never shown back
    EXPECT_TRUE(form.book().hasPassword(0));

    // Saving without touching the password keeps it.
    form.editRegistrar->setText("127.0.0.1:5998");
    form.btnSaveClick();
    EXPECT_EQ(form.book().accounts()[0].registrar, "127.0.0.1:5998");
    EXPECT_EQ(Secrets::FileSecretStore(secretsPath()).read("front@127.0.0.1:5999"), QString("s3cret"));

    form.editDomain->setText("not a host");
    form.btnSaveClick();
    EXPECT_FALSE(form.lblStatus->text().isEmpty());
    EXPECT_EQ(form.book().accounts()[0].domain, "127.0.0.1:5999");

    form.btnRemoveClick();
    EXPECT_EQ(form.lbAccounts->count(), 0);
    EXPECT_FALSE(form.btnRemove->isEnabled());
}

} // namespace
