#include "tests/sip/SipTestSupport.h"

#include "platform/sip/SipAccounts.h"
#include "platform/tapi/LineProvider.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

namespace {

class SipLineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SipLines::registerProvider([](const SipAccount &) { return QStringLiteral("secret"); });
    }

    void SetUp() override
    {
        if (!SipPeer::available())
            GTEST_SKIP() << "sip-tester (SIPp) is not installed: the SIP line tests need it as the far end";
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.path() + "/program");
        QDir().mkpath(dir.path() + "/state");
        env = std::make_unique<Environment>(clock, dir.path() + "/program", dir.path() + "/state");
    }

    // Starts the far end and a phone on an account pointing at it.
    void startCall(const QString &scenario, QStringList extra = {}, const QString &wave = {})
    {
        ASSERT_TRUE(peer.start(scenario, dir.path(), extra, 1, wave)) << peer.output().toStdString();
        writeAccount(*env, peer.port());
        phone = std::make_unique<Phone>(clock, *env);
        ASSERT_TRUE(phone->ok());
        ASSERT_EQ(phone->lineName(), QStringLiteral("SIP: brenvoy@127.0.0.1:%1").arg(peer.port()));
    }

    SystemClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Environment> env;
    SipPeer peer;
    std::unique_ptr<Phone> phone;
};

TEST_F(SipLineTest, EchoedMessageComesBackAsPlayed)
{
    startCall("answer.xml", {"-rtp_echo"});
    ASSERT_EQ(phone->dial("555-0100"), 0);
    ASSERT_TRUE(phone->waitState(LINECALLSTATE_CONNECTED));
    const QByteArray message = Phone::synthMessage(8000 * 2);
    ASSERT_TRUE(phone->record());
    ASSERT_TRUE(phone->play(message));
    ASSERT_TRUE(clock.waitUntil([&] { return !phone->playing(); }, 10000));
    clock.waitUntil([] { return false; }, 500); // the echo's way back
    const QByteArray heard = phone->stopRecording();
    int shift = 0;
    const double c = Phone::correlation(message, heard, 8000, &shift);
    EXPECT_GE(c, 0.99) << "shift " << shift << " recorded " << heard.size();
    RecordProperty("correlation", std::to_string(c));
    std::printf("correlation %.5f shift %d\n", c, shift);
    phone->drop();
    EXPECT_TRUE(peer.waitFinished());
    EXPECT_EQ(peer.exitCode(), 0) << peer.output().toStdString();
}

} // namespace
