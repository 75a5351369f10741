#include "platform/mail/MailMessage.h"
#include "platform/mail/MaildirStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

// The folder index is a cache: whatever happened to it, a listing gives
// every message with what the message itself says, and repairs the index.
class MaildirIndexTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MaildirStore store(root);
        for (int i = 0; i < 3; ++i) {
            MailMessage m;
            m.from = "Büro <office@brenvoy.test>";
            m.to = QStringLiteral("k%1@example.test").arg(i);
            m.subject = QStringLiteral("Tab\there %1").arg(i);
            m.body = "x";
            m.date = QDateTime(QDate(2026, 3, 1), QTime(9, i), QTimeZone::utc());
            m.delivered = m.date;
            if (i == 1)
                m.attachments = {{"a\x1f"
                                  "b.pdf",
                                  "data"},
                                 {"", "nameless"}};
            store.addMessage(StoreFolder::SentItems, Mime::build(m),
                             {QString(), m.to, m.subject, m.delivered});
        }
        index = store.folderPath(StoreFolder::SentItems) + "/brenvoy-index";
    }

    QByteArray readIndex() const
    {
        QFile f(index);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeIndex(const QByteArray &bytes) const
    {
        QFile f(index);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void expectWholeListing(const char *what)
    {
        const QList<MessageSummary> list = MaildirStore(root).messages(StoreFolder::SentItems);
        ASSERT_EQ(list.size(), 3) << what;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(list[i].to, QStringLiteral("k%1@example.test").arg(i)) << what;
            EXPECT_EQ(list[i].subject, QStringLiteral("Tab\there %1").arg(i)) << what;
            EXPECT_EQ(list[i].from, "Büro <office@brenvoy.test>") << what;
            EXPECT_EQ(list[i].time, QDateTime(QDate(2026, 3, 1), QTime(9, i), QTimeZone::utc())) << what;
            EXPECT_GT(list[i].size, 0) << what;
        }
        EXPECT_EQ(list[1].attachments, QStringList({"a\x1f"
                                                    "b.pdf",
                                                    ""}))
            << what;
        EXPECT_TRUE(list[0].attachments.isEmpty()) << what;
    }

    QTemporaryDir dir;
    QString root = dir.path() + "/mail";
    QString index;
};

TEST_F(MaildirIndexTest, DamagedIndexNeverLosesMessages)
{
    expectWholeListing("as written");
    const QByteArray good = readIndex();
    const QList<QByteArray> lines = good.split('\n');
    QByteArray absurdCount = lines[1];
    absurdCount.replace("\t2\x1f", "\t99999999999999\x1f");
    QByteArray fewerNames = lines[1];
    fewerNames.replace("\t2\x1f", "\t3\x1f");
    QByteArray oldFormat; // four fields, as earlier versions wrote
    for (const QByteArray &l : lines)
        if (!l.isEmpty())
            oldFormat += l.split('\t').mid(0, 4).join('\t') + "\n";
    const struct {
        const char *what;
        QByteArray index;
    } cases[] = {
        {"removed", {}},
        {"cut inside the last line", good.left(good.size() - 5)},
        {"absurd attachment count", lines[0] + "\n" + absurdCount + "\n" + lines[2] + "\n"},
        {"count above the names", lines[0] + "\n" + fewerNames + "\n" + lines[2] + "\n"},
        {"extra field", lines[0] + "\tmore\n" + lines[1] + "\n" + lines[2] + "\n"},
        {"binary garbage", QByteArray(5000, '\xff') + "\n\t\t\t\n" + QByteArray(300, '\t')},
        {"old format", oldFormat},
        {"doubled lines", good + good},
        {"line of a removed message", good + "1.M1P1.gone\t\tx\ty\tz\t1\t0\n"},
    };
    for (const auto &c : cases) {
        if (c.index.isNull())
            QFile::remove(index);
        else
            writeIndex(c.index);
        expectWholeListing(c.what);
        // The listing wrote a sound index back: the next one reads it.
        EXPECT_EQ(readIndex().count('\n'), 3) << c.what;
        expectWholeListing(c.what);
    }
}

// Mail from other programs keeps its place by its arrival time and is
// indexed with what it says.
TEST_F(MaildirIndexTest, ForeignFilesListInArrivalOrder)
{
    MaildirStore store(root);
    const QString sent = store.folderPath(StoreFolder::SentItems);
    auto drop = [&](const QString &rel, const QByteArray &subject) {
        QFile f(sent + "/" + rel);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("From: x@example.test\r\nTo: y@example.test\r\nSubject: " + subject + "\r\n\r\nbody\r\n");
    };
    drop("new/1000000000.P1Q1.host", "oldest");
    drop("cur/9999999999.P1Q1.host:2,RS", "newest");
    drop("cur/notime.host:2,S", "no time");
    const QList<MessageSummary> list = MaildirStore(root).messages(StoreFolder::SentItems);
    ASSERT_EQ(list.size(), 6);
    EXPECT_EQ(list[0].subject, "oldest");
    EXPECT_EQ(list[4].subject, "newest");
    EXPECT_EQ(list[5].subject, "no time");
    EXPECT_EQ(list[5].from, "x@example.test");
    // Every message is found by its id, whatever its file is called.
    for (const MessageSummary &s : list)
        EXPECT_TRUE(store.readMessage(StoreFolder::SentItems, s.id).contains("body") ||
                    s.subject.startsWith("Tab"))
            << s.id.toStdString();
}

} // namespace
