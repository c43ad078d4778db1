#include "recordingoutputs.h"

#include "report/syslogsender.h"
#include "report/syslogspool.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>
#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

QByteArray Message(int i)
{
    return "message " + QByteArray::number(i);
}

TEST(SyslogSpool, FullSpoolDropsTheOldestAndCountsThem)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"spool"_s);
    {
        SyslogSpool spool(path, 100);
        ASSERT_EQ(spool.Open(), QString());
        // Ten bytes each: ten fit, the first five of fifteen go.
        for (int i = 0; i < 15; ++i)
            spool.Append(Message(i).rightJustified(10, ' ').left(10), 1000 + i);
        EXPECT_EQ(spool.Count(), 10);
        EXPECT_EQ(spool.At(0).trimmed(), Message(5));
        EXPECT_EQ(spool.DroppedSoFar().count, 5);
        EXPECT_EQ(spool.DroppedSoFar().firstMSecs, 1000);
        EXPECT_EQ(spool.DroppedSoFar().lastMSecs, 1004);
        spool.RemoveDelivered(3);
    }
    // What a run left is delivered by the next one, drops and all.
    SyslogSpool again(path, 100);
    ASSERT_EQ(again.Open(), QString());
    ASSERT_EQ(again.Count(), 7);
    EXPECT_EQ(again.At(0).trimmed(), Message(8));
    EXPECT_EQ(again.At(6).trimmed(), Message(14));
    EXPECT_EQ(again.DroppedSoFar().count, 5);
    again.ForgetDropped(5);
    again.RemoveDelivered(7);
}

TEST(SyslogSpool, EmptySpoolLeavesNoFileAndASecondUserIsRefused)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"spool"_s);
    {
        SyslogSpool spool(path, 1000);
        ASSERT_EQ(spool.Open(), QString());
        SyslogSpool second(path, 1000);
        EXPECT_EQ(second.Open(), u"in use by another Keelwatch"_s);
        // Without its file the spool still works, in memory.
        second.Append("kept", 1);
        EXPECT_EQ(second.Count(), 1);
        spool.Append("one", 1);
        spool.RemoveDelivered(1);
    }
    EXPECT_FALSE(QFile::exists(path));
}

// A spool file damaged at its end (a crash while a record was written)
// gives back every whole record before it.
TEST(SyslogSpool, CutRecordAtTheEndIsLeftOut)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"spool"_s);
    {
        SyslogSpool spool(path, 1000);
        ASSERT_EQ(spool.Open(), QString());
        spool.Append("first", 1);
        spool.Append("second", 2);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() - 2));
    file.close();
    SyslogSpool again(path, 1000);
    ASSERT_EQ(again.Open(), QString());
    ASSERT_EQ(again.Count(), 1);
    EXPECT_EQ(again.At(0), "first");
}

// A collector on loopback that can be stopped and started again on the same
// port, as a syslog daemon is restarted. It keeps every byte that reached it
// and splits them into octet-counted messages.
class Collector
{
  public:
    bool Listen(quint16 port = 0)
    {
        if (!server.listen(QHostAddress::LocalHost, port))
            return false;
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket *client = server.nextPendingConnection()) {
                clients.push_back(client);
                QObject::connect(client, &QTcpSocket::readyRead, client,
                                 [this, client] { received += client->readAll(); });
            }
        });
        return true;
    }
    // As a daemon that ends: no more listening, every connection closed.
    void Stop()
    {
        server.close();
        for (QTcpSocket *client : clients) {
            received += client->readAll();
            client->abort();
            client->deleteLater();
        }
        clients.clear();
    }
    quint16 Port() const { return server.serverPort(); }

    QList<QByteArray> Messages() const
    {
        QList<QByteArray> messages;
        qsizetype at = 0;
        while (at < received.size()) {
            const qsizetype blank = received.indexOf(' ', at);
            if (blank < 0)
                break;
            const qsizetype length = received.mid(at, blank - at).toLongLong();
            if (blank + 1 + length > received.size())
                break;
            messages.append(received.mid(blank + 1, length));
            at = blank + 1 + length;
        }
        return messages;
    }

  private:
    QTcpServer server;
    std::vector<QTcpSocket *> clients;
    QByteArray received;
};

bool SpinUntil(const std::function<bool()> &done, int ms = 15000)
{
    for (int i = 0; i < ms / 10 && !done(); ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return done();
}

// A server that takes the connection and never answers the handshake, as
// when its answers go astray: the stream gives up after its time, says so
// once, and tries again, keeping the message.
TEST(SyslogStreamAnswer, SilentServerIsGivenUpAndTriedAgain)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        while (QTcpSocket *client = silent.nextPendingConnection()) {
            ++connections;
            client->setParent(&silent);
        }
    });
    QTemporaryDir dir;
    QStringList notes;
    SyslogStream stream(
        {SyslogTransport::Tls, u"127.0.0.1"_s, silent.serverPort(), QString(), QString(), 65536},
        std::make_unique<SyslogSpool>(dir.filePath(u"spool"_s), 65536),
        [&](const QString &text) { notes << text; },
        [](const SyslogSpool::Dropped &) { return QByteArray(); }, nullptr, 300);
    stream.Send("message", 0);
    ASSERT_TRUE(SpinUntil([&] { return connections >= 2; }, 5000));
    ASSERT_EQ(notes.size(), 1) << notes.join(u'|').toStdString();
    EXPECT_TRUE(notes[0].startsWith(u"Syslog to 127.0.0.1 over TLS: no answer within 0.3 s."_s))
        << notes[0].toStdString();
    EXPECT_EQ(stream.Waiting(), 1);
}

class SyslogStreamTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(collector.Listen());
        settings.values.syslog = true;
        settings.values.syslogServer = IpAddress::FromIpv4(0x7F000001);
        settings.values.syslogTransport = SyslogTransport::Tcp;
        sender = std::make_unique<SyslogSender>(settings, out, collector.Port(), 0, dir.path());
    }

    void Send(int i, const QString &extra = QString())
    {
        sender->SendSyslog({.when = QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)),
                            .severity = 6,
                            .text = u"NODE FOUND %1"_s.arg(i) + extra,
                            .event = u"NODE FOUND"_s});
    }

    static QByteArray Bsd(int i) { return " KEELWATCH: NODE FOUND " + QByteArray::number(i); }

    QTemporaryDir dir;
    Collector collector;
    FixedSettings settings;
    RecordingOutputs out;
    std::unique_ptr<SyslogSender> sender;
};

TEST_F(SyslogStreamTest, CollectorAwayLosesNothingAndGetsEverythingOnceInOrder)
{
    for (int i = 0; i < 3; ++i)
        Send(i);
    ASSERT_TRUE(SpinUntil([&] { return collector.Messages().size() == 3; }));
    ASSERT_TRUE(SpinUntil([&] { return sender->WaitingMessages() == 0; }));

    const quint16 port = collector.Port();
    collector.Stop();
    for (int i = 3; i < 10; ++i) {
        Send(i);
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    ASSERT_TRUE(SpinUntil([&] { return !out.Matching(u"note "_s).isEmpty(); }));
    EXPECT_TRUE(
        out.Matching(u"note "_s).first().startsWith(u"note Syslog to 127.0.0.1 over TCP: "_s))
        << out.journal.join(u"|"_s).toStdString();
    EXPECT_EQ(sender->WaitingMessages(), 7);

    ASSERT_TRUE(collector.Listen(port));
    Send(10);
    ASSERT_TRUE(SpinUntil([&] { return collector.Messages().size() >= 11; }));
    ASSERT_TRUE(SpinUntil([&] { return sender->WaitingMessages() == 0; }));
    const QList<QByteArray> messages = collector.Messages();
    ASSERT_EQ(messages.size(), 11);
    for (int i = 0; i < 11; ++i) {
        EXPECT_TRUE(messages[i].startsWith("<166>Jan  5 14:03:27 ")) << messages[i].toStdString();
        EXPECT_TRUE(messages[i].endsWith(Bsd(i))) << messages[i].toStdString();
    }
    const QStringList notes = out.Matching(u"note "_s);
    ASSERT_EQ(notes.size(), 2) << notes.join(u"|"_s).toStdString();
    EXPECT_TRUE(notes[1].startsWith(u"note Syslog to 127.0.0.1 over TCP: connected again"_s));
    // Nothing is left for the next start.
    sender.reset();
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

// A spool that overflows while the collector is away delivers the newest
// messages it kept, after one message that says how many went and when.
TEST_F(SyslogStreamTest, OverflowIsToldToTheCollectorBeforeTheKeptMessages)
{
    settings.values.syslogSpoolKib = 16;
    const quint16 port = collector.Port();
    Send(0);
    ASSERT_TRUE(SpinUntil([&] { return collector.Messages().size() == 1; }));
    ASSERT_TRUE(SpinUntil([&] { return sender->WaitingMessages() == 0; }));
    collector.Stop();
    ASSERT_TRUE(SpinUntil([&] {
        QCoreApplication::processEvents();
        return !out.Matching(u"note "_s).isEmpty();
    }));
    const QString filler = u" "_s + QString(1000, u'x');
    for (int i = 1; i <= 40; ++i)
        Send(i, filler);
    EXPECT_LT(sender->WaitingMessages(), 17);
    EXPECT_EQ(out.Matching(u"note "_s).size(), 2);
    EXPECT_TRUE(out.Matching(u"note "_s).value(1).contains(u"the spool is full"_s));

    ASSERT_TRUE(collector.Listen(port));
    ASSERT_TRUE(SpinUntil([&] { return sender->WaitingMessages() == 0; }));
    // Acknowledged by the collector's system, then read by the collector.
    ASSERT_TRUE(SpinUntil([&] {
        return collector.Messages().value(collector.Messages().size() - 1).contains(Bsd(40));
    }));
    const QList<QByteArray> messages = collector.Messages();
    const qsizetype kept = messages.size() - 2;
    ASSERT_GT(kept, 10);
    const QByteArray note = " KEELWATCH: SPOOL DROPPED " + QByteArray::number(40 - kept) +
                            " messages between 05/Jan/2004 14:03:27 and 05/Jan/2004 14:03:27";
    EXPECT_TRUE(messages[1].endsWith(note)) << messages[1].toStdString();
    EXPECT_TRUE(messages[1].startsWith("<164>"));
    for (qsizetype i = 0; i < kept; ++i)
        EXPECT_TRUE(
            messages[2 + i].endsWith(QByteArray(Bsd(int(40 - kept + 1 + i)) + filler.toLatin1())));
}

} // namespace
