// The tracking window's e-mail list over Sent Items of 100,000 mails,
// through the message store session as the window drives it:
//  - the first refresh of a run: logon (which reads the standard folders)
//    and the match of every message's display-to text;
//  - a later refresh: the match alone, on the list read at logon;
//  - the memory the logged-on session holds (heap in use, before and after).
// Each case runs a few times; the figures are the work itself.

#include "bench/mail/SentStore.h"
#include "tracking/MapiSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <benchmark/benchmark.h>
#include <malloc.h>

namespace {

constexpr int kSent = 100000;

// The window's filter: display-to without surrounding apostrophes, trimmed,
// upper case, containing the contact's address; at most 200 entries.
int refresh(TMAPISession &session, const QString &email)
{
    session.setActive(true);
    const QString key = email.trimmed().toUpper();
    int found = 0;
    TMAPIFolder *sent = session.SENTBOX();
    for (int i = 0; i < sent->Messages().Count(); ++i) {
        TMAPIMessage *m = sent->Messages().Items(i);
        if (!m->messageObject())
            continue;
        QString s = GetStringProperty(m->messageObject().get(), PR_DISPLAY_TO);
        if (s.startsWith(QLatin1Char('\'')))
            s[0] = QLatin1Char(' ');
        if (s.endsWith(QLatin1Char('\'')))
            s[s.size() - 1] = QLatin1Char(' ');
        s = s.trimmed().toUpper();
        if (!s.isEmpty() && !key.isEmpty() && s.contains(key)) {
            benchmark::DoNotOptimize(m->MessageDeliveryTime());
            if (++found == 200)
                break;
        }
    }
    return found;
}

// The contact of the last mail: every message is looked at.
const QString kContact = QStringLiteral("kunde%1@example.test").arg(kSent - 1);

void FirstEmailRefresh(benchmark::State &state)
{
    const QString root = bench::sentStore(kSent);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        TMAPISession session(root);
        const int found = refresh(session, kContact);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (found != 1 || session.SENTBOX()->Messages().Count() != kSent)
            state.SkipWithError("wrong list");
    }
}

void LaterEmailRefresh(benchmark::State &state)
{
    TMAPISession session(bench::sentStore(kSent));
    refresh(session, kContact);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const int found = refresh(session, kContact);
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
        if (found != 1)
            state.SkipWithError("wrong list");
    }
}

size_t heapInUse()
{
    malloc_trim(0);
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void SessionMemory(benchmark::State &state)
{
    const QString root = bench::sentStore(kSent);
    for (auto _ : state) {
        const size_t before = heapInUse();
        auto session = std::make_unique<TMAPISession>(root);
        refresh(*session, kContact);
        const size_t after = heapInUse();
        state.counters["held_MB"] = double(after - before) / (1024.0 * 1024.0);
        state.SetIterationTime(0.001);
    }
}

} // namespace

BENCHMARK(FirstEmailRefresh)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(LaterEmailRefresh)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SessionMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
