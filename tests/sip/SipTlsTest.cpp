#include "tests/sip/SipTestSupport.h"

#include "platform/sip/SipAccounts.h"
#include "platform/tapi/Tapi.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <ostream>

// Registrars over TLS and unreachable ones, with the line itself (no SIPp:
// it speaks no TLS here). The TLS far end is `openssl s_server` with a
// certificate made by the test; the test trusts it, or not, through
// BRENVOY_SIP_TEST_CA_FILE.

namespace {

enum class Peer { TlsServer, PlainTcp, Nothing };

struct Case {
    const char *name;
    SipAccount::Transport transport;
    Peer peer;
    const char *subjectAltName; // of the server's certificate
    bool trusted;
    bool registerArrives; // the REGISTER reaches the peer through TLS
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

class SipTlsTest : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.path() + "/program");
        QDir().mkpath(dir.path() + "/state");
        env = std::make_unique<Environment>(clock, dir.path() + "/program", dir.path() + "/state");
    }
    void TearDown() override
    {
        qunsetenv("BRENVOY_SIP_TEST_CA_FILE");
        if (server.state() != QProcess::NotRunning) {
            server.kill();
            server.waitForFinished(3000);
        }
    }

    bool makeCertificate(const QString &subjectAltName)
    {
        QProcess p;
        p.start(QStringLiteral("openssl"),
                {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-days",
                 "1", "-subj", "/CN=Brenvoy test registrar", "-addext", "subjectAltName=" + subjectAltName,
                 "-keyout", dir.path() + "/key.pem", "-out", dir.path() + "/cert.pem"});
        return p.waitForFinished(20000) && p.exitCode() == 0;
    }

    // openssl s_server on port; true once it accepts connections.
    bool startTlsServer(quint16 port)
    {
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(QStringLiteral("openssl"),
                     {"s_server", "-accept", QStringLiteral("127.0.0.1:%1").arg(port), "-cert",
                      dir.path() + "/cert.pem", "-key", dir.path() + "/key.pem"});
        return clock.waitUntil(
            [&] {
                readServer();
                return serverOutput.contains("ACCEPT");
            },
            20000);
    }

    void readServer()
    {
        if (server.state() != QProcess::NotRunning)
            serverOutput += server.readAll();
    }

    SystemClock clock;
    QTemporaryDir dir;
    std::unique_ptr<Environment> env;
    QProcess server;
    QByteArray serverOutput;
};

TEST_P(SipTlsTest, RegistrarIsReachedOnlyWhenItsCertificateHolds)
{
    const Case &c = GetParam();
    if ((c.peer == Peer::TlsServer) && QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        GTEST_SKIP() << "openssl is not installed: the TLS registrar tests need it as the far end";

    const quint16 port = SipPeer::freePort(true);
    QTcpServer plain;
    std::vector<std::unique_ptr<QTcpSocket>> plainPeers;
    if (c.peer == Peer::TlsServer) {
        ASSERT_TRUE(makeCertificate(QString::fromLatin1(c.subjectAltName)));
        if (c.trusted)
            qputenv("BRENVOY_SIP_TEST_CA_FILE", QFile::encodeName(dir.path() + "/cert.pem"));
        ASSERT_TRUE(startTlsServer(port)) << serverOutput.constData();
    } else if (c.peer == Peer::PlainTcp) {
        // A registrar that answers in plain text where a TLS handshake belongs.
        ASSERT_TRUE(plain.listen(QHostAddress::LocalHost, port));
        QObject::connect(&plain, &QTcpServer::newConnection, [&] {
            while (QTcpSocket *s = plain.nextPendingConnection()) {
                s->write("SIP/2.0 200 OK\r\nContent-Length: 0\r\n\r\n");
                s->flush();
                plainPeers.emplace_back(s);
            }
        });
    }

    SipAccount a;
    a.displayName = QStringLiteral("Sales desk");
    a.user = QStringLiteral("brenvoy");
    a.domain = QStringLiteral("127.0.0.1:%1").arg(port);
    a.registrar = a.domain;
    a.transport = c.transport;
    QElapsedTimer elapsed;
    elapsed.start();
    {
        SipLines lines(*env, {a},
                       [](const Environment &, const SipAccount &) { return QStringLiteral("secret"); });
        if (c.registerArrives) {
            EXPECT_TRUE(clock.waitUntil(
                [&] {
                    readServer();
                    return serverOutput.contains("REGISTER sip:127.0.0.1");
                },
                10000))
                << serverOutput.constData();
            EXPECT_GE(lines.registration(0), 0);
        } else {
            // Refused quickly: a closed port or a failed handshake, not the 32 s transaction timeout.
            EXPECT_TRUE(clock.waitUntil([&] { return lines.registration(0) < 0; }, 10000))
                << "registration state " << lines.registration(0);
            EXPECT_EQ(lines.registration(0), -1);
            EXPECT_EQ(lines.checkCall(0, QStringLiteral("555-0100")), LINEERR_RESOURCEUNAVAIL);
            readServer();
            EXPECT_FALSE(serverOutput.contains("REGISTER")) << serverOutput.constData();
        }
    }
    EXPECT_LT(elapsed.elapsed(), 15000);
}

INSTANTIATE_TEST_SUITE_P(
    Registrars, SipTlsTest,
    ::testing::Values(
        Case{"TrustedCertificate", SipAccount::Transport::Tls, Peer::TlsServer, "IP:127.0.0.1", true, true},
        Case{"UntrustedCertificate", SipAccount::Transport::Tls, Peer::TlsServer, "IP:127.0.0.1", false,
             false},
        Case{"CertificateForAnotherHost", SipAccount::Transport::Tls, Peer::TlsServer,
             "DNS:registrar.example,IP:127.0.0.2", true, false},
        Case{"PlainTextWhereTlsBelongs", SipAccount::Transport::Tls, Peer::PlainTcp, "", false, false},
        Case{"ClosedTcpPort", SipAccount::Transport::Tcp, Peer::Nothing, "", false, false}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

} // namespace
