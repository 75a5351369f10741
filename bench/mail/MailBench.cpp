// The mail client's two heavy paths, each beside what a user would use
// instead:
//  - 1,000 mails from the Outbox to a loopback SMTP server (aiosmtpd, the
//    same server for both) against Python's smtplib sending the same
//    messages over one connection;
//  - listing Sent Items of 100,000 messages (To, subject, delivery time in
//    store order), the first time in a process and again, against Python's
//    mailbox.Maildir reading the same headers. Also the listing of a folder
//    whose header index is gone (every message parsed).
// Each case runs once: the work is the measurement.

#include "SentStore.h"
#include "platform/environment/Clock.h"
#include "platform/mail/DeliveryAgent.h"
#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int kMails = 1000;
constexpr int kSent = 100000;
const char *kPython = "/usr/bin/python3";

QByteArray message(int i)
{
    MailMessage m;
    m.from = "office@brenvoy.test";
    m.to = QStringLiteral("Kunde %1 <kunde%1@example.test>").arg(i);
    m.subject = QStringLiteral("Angebot Nr. %1 – Grüße aus Köln").arg(i);
    m.body = QStringLiteral(
                 "Sehr geehrte Damen und Herren,\nanbei unser Angebot Nr. %1.\nMit freundlichen Grüßen\n")
                 .arg(i);
    m.date = QDateTime(QDate(2026, 12, 1), QTime(9, 0)).addSecs(i);
    return Mime::build(m);
}

class Server {
public:
    Server()
    {
        m_proc.start(kPython, {MAIL_SERVER_SCRIPT, "--dir", m_dir.path(), "--sink"});
        if (m_proc.waitForReadyRead(20000))
            port = m_proc.readLine().trimmed().toInt();
    }
    ~Server()
    {
        m_proc.closeWriteChannel();
        if (!m_proc.waitForFinished(5000))
            m_proc.kill();
    }
    int port = 0;

private:
    QTemporaryDir m_dir;
    QProcess m_proc;
};

// Python's own timing of its work, in seconds, printed as its last line.
double runPython(const QString &script, const QStringList &args)
{
    QProcess p;
    p.start(kPython, QStringList{"-c", script} + args);
    p.waitForFinished(-1);
    const QList<QByteArray> lines = p.readAllStandardOutput().trimmed().split('\n');
    bool ok = false;
    const double s = lines.last().toDouble(&ok);
    if (!ok)
        qFatal("python failed: %s", p.readAllStandardError().constData());
    return s;
}

void DeliverOutbox(benchmark::State &state)
{
    Server server;
    QTemporaryDir dir;
    MaildirStore store(dir.path());
    store.beginBatch();
    for (int i = 0; i < kMails; ++i)
        store.addMessage(StoreFolder::Outbox, message(i),
                         {QString(), QStringLiteral("kunde%1@example.test").arg(i), "x", {}});
    store.commitBatch();
    MailAccount account;
    account.host = "127.0.0.1";
    account.port = server.port;
    account.security = MailAccount::Security::None;
    account.fromAddress = "office@brenvoy.test";
    SystemClock clock;
    SmtpTransport transport;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const DeliveryReport r = DeliveryAgent(store, transport, clock).deliverOutbox(account, {});
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (r.delivered != kMails)
            state.SkipWithError("not every mail was delivered");
    }
    state.counters["mails"] = kMails;
}

void PythonSmtplib(benchmark::State &state)
{
    Server server;
    QTemporaryDir dir;
    for (int i = 0; i < kMails; ++i) {
        QFile f(dir.filePath(QString::number(i) + ".eml"));
        f.open(QIODevice::WriteOnly);
        f.write(message(i));
    }
    for (auto _ : state) {
        const double s =
            runPython("import smtplib, sys, time, os\n"
                      "d, port, n = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])\n"
                      "msgs = [open(os.path.join(d, '%d.eml' % i), 'rb').read() for i in range(n)]\n"
                      "t = time.perf_counter()\n"
                      "s = smtplib.SMTP('127.0.0.1', port)\n"
                      "for i, m in enumerate(msgs):\n"
                      "    s.sendmail('office@brenvoy.test', ['kunde%d@example.test' % i], m)\n"
                      "s.quit()\n"
                      "print(time.perf_counter() - t)\n",
                      {dir.path(), QString::number(server.port), QString::number(kMails)});
        state.SetIterationTime(s);
    }
    state.counters["mails"] = kMails;
}

QString sentRoot()
{
    return bench::sentStore(kSent);
}

void SentItemsFirstListing(benchmark::State &state)
{
    const QString root = sentRoot();
    for (auto _ : state) {
        MaildirStore store(root); // a fresh store: nothing cached in memory
        QElapsedTimer t;
        t.start();
        const auto list = store.messages(StoreFolder::SentItems);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (list.size() != kSent)
            state.SkipWithError("wrong count");
    }
}

void SentItemsListedAgain(benchmark::State &state)
{
    MaildirStore store(sentRoot());
    store.messages(StoreFolder::SentItems);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const auto list = store.messages(StoreFolder::SentItems);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        benchmark::DoNotOptimize(list.size());
    }
}

void SentItemsWithoutIndex(benchmark::State &state)
{
    const QString root = sentRoot();
    const QString index = root + "/Maildir/.Sent/brenvoy-index";
    for (auto _ : state) {
        QFile::remove(index);
        MaildirStore store(root);
        QElapsedTimer t;
        t.start();
        const auto list = store.messages(StoreFolder::SentItems); // parses every message, writes the index
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (list.size() != kSent)
            state.SkipWithError("wrong count");
    }
}

void PythonMailboxMaildir(benchmark::State &state)
{
    const QString root = sentRoot();
    for (auto _ : state) {
        const double s = runPython("import mailbox, sys, time, email.policy\n"
                                   "t = time.perf_counter()\n"
                                   "f = mailbox.Maildir(sys.argv[1], create=False).get_folder('Sent')\n"
                                   "rows = []\n"
                                   "for k in sorted(f.keys()):\n"
                                   "    m = f.get_message(k)\n"
                                   "    rows.append((m['To'], m['Subject'], m['Delivery-Date']))\n"
                                   "assert len(rows) == int(sys.argv[2])\n"
                                   "print(time.perf_counter() - t)\n",
                                   {root + "/Maildir", QString::number(kSent)});
        state.SetIterationTime(s);
    }
}

} // namespace

BENCHMARK(DeliverOutbox)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PythonSmtplib)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SentItemsFirstListing)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SentItemsListedAgain)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SentItemsWithoutIndex)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(PythonMailboxMaildir)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
