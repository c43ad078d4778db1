#include "config/addresstext.h"
#include "scan/scanworkers.h"
#include "support/memorydriver.h"

#include "support/eventwait.h"

#include <gtest/gtest.h>

#include <QTimer>

#include <array>
#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class StatusRecorder : public CaptureStatus
{
  public:
    void ShowCaptureState(CaptureState state) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        static const QStringList Names{u"Opening"_s, u"On"_s, u"ModeRefused"_s, u"NoPacket"_s};
        texts.append(Names[int(state)]);
    }
    void ShowRelayedCount(quint64 count) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        texts.append(u"relayed %1"_s.arg(count));
    }
    void ShowSweepProgress(qint64 address, qint64 addresses, qint64 msLeft) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        progress.append(u"%1/%2 %3ms"_s.arg(address).arg(addresses).arg(msLeft));
    }
    void ShowCaptureDrops(quint64 dropped) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        texts.append(u"dropped %1"_s.arg(dropped));
    }
    QStringList progress;
    QStringList texts;
};

class MessageRecorder : public WorkerMessages
{
  public:
    void ShowWorkerMessage(const QString &text) override
    {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        texts.append(text);
    }
    QStringList texts;
};

QByteArray ReplyBatch(std::uint8_t k)
{
    // Reply of 10.0.0.4 (02 77 00 00 00 04) to source address k of own MAC
    // 00 11 22 33 44 50, answering an address probe (sender IP 0.0.0.0).
    const QByteArray frame = QByteArray::fromHex("0011223344") + char(0x50 + k) +
                             QByteArray::fromHex("027700000004"
                                                 "08060001080006040002"
                                                 "027700000004"
                                                 "0A000004") +
                             QByteArray::fromHex("0011223344") + char(0x50 + k) +
                             QByteArray::fromHex("00000000");
    std::uint8_t buffer[128];
    std::size_t used = 0;
    AppendCaptureRecord(buffer, sizeof buffer, used,
                        {reinterpret_cast<const std::uint8_t *>(frame.constData()), 42}, 42, 0, 0);
    return QByteArray(reinterpret_cast<const char *>(buffer), qsizetype(used));
}

// Replies of nodes first to first + count - 1 (10.1.i/256.i%256, MAC 02 00
// 00 00 i/256 i%256) to source address 2, in one batch.
QByteArray FloodBatch(int first, int count)
{
    std::vector<std::uint8_t> buffer(std::size_t(count) * 64);
    std::size_t used = 0;
    for (int i = first; i < first + count; ++i) {
        const auto hi = std::uint8_t(i >> 8);
        const auto lo = std::uint8_t(i);
        const std::array<std::uint8_t, 42> frame = {
            0x00, 0x11, 0x22, 0x33, 0x44, 0x52, 0x02, 0x00, 0x00, 0x00, hi,   lo,   0x08, 0x06,
            0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02, 0x02, 0x00, 0x00, 0x00, hi,   lo,
            0x0A, 0x01, hi,   lo,   0x00, 0x11, 0x22, 0x33, 0x44, 0x52, 0x00, 0x00, 0x00, 0x00};
        AppendCaptureRecord(buffer.data(), buffer.size(), used, frame, frame.size(), 0, 0);
    }
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(used));
}

class Workers : public testing::Test
{
  protected:
    Workers()
    {
        auto in = std::make_shared<ScanInputs>();
        in->settings.adapter = {u"lab0"_s, *IpFromText(u"10.0.0.1"_s)};
        in->settings.ownIp = IpFromText(u"10.0.0.1"_s);
        in->settings.listMode = false;
        in->settings.nodeTimerMs = 0;
        in->settings.sendRate = 0;
        in->probeSourceMacs = BuildProbeSourceMacs(*in->settings.ownMac);
        in->rangeStart = 0x0A000001;
        in->rangeEnd = 0x0A000004;
        in->scanStep = &step;
        in->captureCounterShown = &counterShown;
        inputs = in;
    }

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    StatusRecorder status;
    MessageRecorder messages;
    std::atomic<ScanStep> step{ScanStep::Scanning};
    std::atomic<bool> counterShown{false};
    std::shared_ptr<const ScanInputs> inputs;
};

TEST_F(Workers, OpeningTheCaptureAdapterSetsItUpAndShowsTheOutcome)
{
    ScanWorkers workers(driver, status, messages);
    QString error;
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, &error));
    EXPECT_EQ(status.texts, QStringList({u"Opening"_s, u"On"_s}));
    EXPECT_EQ(driver->Events(), QStringList({u"open lab0"_s, u"promisc lab0"_s, u"buffer 520000"_s,
                                             u"timeout 1000"_s, u"filter 6"_s}));
}

TEST_F(Workers, RefusedPromiscuousModeStaysOnShow)
{
    driver->RefusePromiscuous(true);
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    EXPECT_EQ(status.texts, QStringList({u"Opening"_s, u"ModeRefused"_s}));
}

TEST_F(Workers, NoPacketObjectShowsPacketError)
{
    driver->FailAllocation(true);
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    EXPECT_EQ(status.texts, QStringList({u"Opening"_s, u"On"_s, u"NoPacket"_s}));
}

TEST_F(Workers, AdapterThatCannotBeOpenedKeepsTheDriversReason)
{
    driver->RefuseOpen(u"lab0"_s, u"socket: Operation not permitted"_s);
    ScanWorkers workers(driver, status, messages);
    QString error;
    EXPECT_FALSE(workers.OpenCaptureAdapter(u"lab0"_s, {}, &error));
    EXPECT_EQ(error, u"socket: Operation not permitted"_s);
}

TEST_F(Workers, ScanFromStartToEnd)
{
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    int error = 0;
    ASSERT_TRUE(workers.CreateCapturePipe(&error));
    QList<DecodedReply> replies;
    counterShown = true;
    workers.StartCapture(inputs, [&](const QList<DecodedReply> &r) {
        EXPECT_EQ(QThread::currentThread(), qApp->thread());
        replies += r;
    });
    EXPECT_TRUE(workers.CaptureRunning());

    QList<quint64> finished;
    const quint64 id = workers.StartSweep(inputs, [&](quint64 s) { finished.append(s); });
    ASSERT_TRUE(WaitUntil([&] { return !finished.isEmpty(); }));
    EXPECT_EQ(finished, QList<quint64>({id}));
    EXPECT_EQ(driver->Sent().size(), 4u * 5u);
    ASSERT_FALSE(status.progress.isEmpty());
    EXPECT_EQ(status.progress.last(), u"4/4 0ms"_s);

    driver->QueueBatch(ReplyBatch(2));
    driver->QueueBatch(ReplyBatch(3));
    ASSERT_TRUE(WaitUntil([&] { return replies.size() == 2; }));
    EXPECT_EQ(replies[0].ip.ToText(), u"10.0.0.4"_s);
    EXPECT_EQ(replies[0].mac.ToText(), u"02:77:00:00:00:04"_s);
    EXPECT_EQ(replies[1].sourceIndex, 3);
    EXPECT_EQ(replies[1].vendor, u"unknown"_s);
    ASSERT_TRUE(WaitUntil([&] { return status.texts.last() == u"relayed 2"_s; }));

    // EndScan: both capture workers end (the relay within its read
    // time-out) and the scan's one adapter is closed.
    workers.StopCapture();
    EXPECT_FALSE(workers.CaptureRunning());
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
    ASSERT_TRUE(WaitUntil([&] { return driver->Events().count(u"close lab0"_s) == 1; }));
    EXPECT_EQ(driver->OpenCount(), 1);
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Workers, TallyCountsEveryRelayedRecordAndWhatTheCaptureLost)
{
    // A promiscuous host answers all five probes; two answers are lost to
    // a full capture buffer.
    driver->AddHost(0x0A000003,
                    {.kind = SimulatedCard::Kind::Promiscuous, .own = {0x02, 0x77, 0, 0, 0, 3}});
    driver->DropNextReplies(2);
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    ASSERT_TRUE(workers.CreateCapturePipe(nullptr));
    int handed = 0;
    int handledSignals = 0;
    QObject::connect(&workers, &ScanWorkers::repliesHandled, [&] { ++handledSignals; });
    workers.StartCapture(inputs, [&](const QList<DecodedReply> &r) { handed += int(r.size()); });
    bool swept = false;
    workers.StartSweep(inputs, [&](quint64) { swept = true; });
    ASSERT_TRUE(WaitUntil([&] { return swept && handed == 3; }));
    // A reply to another IP of ours is relayed but decodes to nothing; it
    // is handled all the same, or a cycle would wait for it for ever.
    QByteArray stranger = ReplyBatch(2);
    stranger[qsizetype(CaptureRecordLayout::Header) + 41] = char(0x09); // target IP 10.0.0.9
    driver->QueueBatch(stranger);
    ASSERT_TRUE(WaitUntil([&] { return workers.Tally().handled == 4; }));
    const CaptureTally tally = workers.Tally();
    EXPECT_EQ(tally.relayed, 4u);
    EXPECT_EQ(tally.dropped, 2u);
    EXPECT_EQ(handed, 3);
    EXPECT_GE(handledSignals, 2);
    EXPECT_EQ(status.texts.filter(u"dropped"_s), QStringList{u"dropped 2"_s});

    workers.StopCapture();
    EXPECT_EQ(workers.Tally().relayed, 0u);
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
}

TEST_F(Workers, AFloodOfRepliesIsHandedOverInOrderOverSeveralTurns)
{
    constexpr int Replies = 20000;
    auto flooded = std::make_shared<ScanInputs>(*inputs);
    flooded->rangeStart = 0x0A010000;
    flooded->rangeEnd = 0x0A01FFFF;
    inputs = flooded;
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    ASSERT_TRUE(workers.CreateCapturePipe(nullptr));
    // What the main thread did, in order: "R" a hand-over, "T" a turn of
    // its event loop between two.
    QString turns;
    QList<quint32> ips;
    workers.StartCapture(inputs, [&](const QList<DecodedReply> &r) {
        // A slow classification: a few calls fill a turn.
        QThread::msleep(2);
        turns += u'R';
        for (const DecodedReply &reply : r)
            ips.append(reply.ip.ToIpv4());
    });
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!turns.isEmpty() && !turns.endsWith(u'T'))
            turns += u'T';
    });
    tick.start(0);
    for (int first = 0; first < Replies; first += 2000)
        driver->QueueBatch(FloodBatch(first, 2000));
    ASSERT_TRUE(WaitUntil([&] { return workers.Tally().handled == Replies; }));
    ASSERT_EQ(ips.size(), Replies);
    for (int i = 0; i < Replies; ++i)
        ASSERT_EQ(ips[i], 0x0A010000u + quint32(i)) << i;
    // The event loop ran between hand-overs: it never waited for them all.
    EXPECT_GE(turns.count(u'T'), 5) << turns.toStdString();
    workers.StopCapture();
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
}

TEST_F(Workers, RepliesAfterEndScanAreNotHandedOver)
{
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    ASSERT_TRUE(workers.CreateCapturePipe(nullptr));
    int handed = 0;
    workers.StartCapture(inputs, [&](const QList<DecodedReply> &r) { handed += int(r.size()); });
    driver->QueueBatch(ReplyBatch(2));
    // The reply is on its way to the main thread when the scan ends.
    QThread::msleep(300);
    workers.StopCapture();
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(handed, 0);
}

TEST_F(Workers, StoppedSweepNeverRestartsTheCycle)
{
    auto slow = std::make_shared<ScanInputs>(*inputs);
    slow->settings.nodeTimerMs = 200;
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    QList<quint64> finished;
    workers.StartSweep(slow, [&](quint64 s) { finished.append(s); });
    ASSERT_TRUE(WaitUntil([&] { return !driver->Sent().empty(); }));
    workers.StopSweep();
    EXPECT_FALSE(workers.SweepRunning());
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(finished.isEmpty());
    // The sender stopped after its first address.
    EXPECT_EQ(driver->Sent().size(), 5u);
}

TEST_F(Workers, ReplacedSweepsNoticeIsIgnored)
{
    auto slow = std::make_shared<ScanInputs>(*inputs);
    slow->settings.nodeTimerMs = 100;
    slow->rangeEnd = slow->rangeStart;
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    QList<quint64> finished;
    // The first sender is past its last stop check while in its pause, so
    // it will still raise RestartCycleTimer.
    workers.StartSweep(slow, [&](quint64 s) { finished.append(s); });
    ASSERT_TRUE(WaitUntil([&] { return driver->Sent().size() == 5u; }));
    const quint64 second = workers.StartSweep(inputs, [&](quint64 s) { finished.append(s); });
    ASSERT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(finished, QList<quint64>({second}));
}

TEST_F(Workers, WorkerMessagesReachTheMainThreadOncePerScan)
{
    driver->RefusePromiscuous(true);
    auto one = std::make_shared<ScanInputs>(*inputs);
    one->rangeEnd = one->rangeStart;
    ScanWorkers workers(driver, status, messages);
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    const auto sweep = [&] {
        bool done = false;
        workers.StartSweep(one, [&](quint64) { done = true; });
        return WaitUntil([&] { return done; });
    };
    // A refused request, then a second sweep of the same scan.
    ASSERT_TRUE(sweep());
    ASSERT_TRUE(sweep());
    EXPECT_EQ(messages.texts, QStringList{u"Mode Error !!!"_s});
    // A new scan opens the capture again and may say it again.
    ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
    ASSERT_TRUE(sweep());
    EXPECT_EQ(messages.texts, QStringList(2, u"Mode Error !!!"_s));
}

TEST_F(Workers, GoingAwayStopsEveryWorker)
{
    auto slow = std::make_shared<ScanInputs>(*inputs);
    slow->settings.nodeTimerMs = 60000;
    {
        ScanWorkers workers(driver, status, messages);
        ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
        ASSERT_TRUE(workers.CreateCapturePipe(nullptr));
        workers.StartCapture(inputs, {});
        workers.StartSweep(slow, {});
        ASSERT_TRUE(WaitUntil([&] { return !driver->Sent().empty(); }));
    }
    // The sender in its minute-long pause was cut short; the capture
    // workers left their reads.
    ASSERT_TRUE(WaitUntil([&] { return driver->Events().count(u"close lab0"_s) == 1; }));
}

TEST_F(Workers, GoingAwayReleasesAWorkerWaitingForItsMessageToBeSeen)
{
    driver->RefusePromiscuous(true);
    {
        ScanWorkers workers(driver, status, messages);
        ASSERT_TRUE(workers.OpenCaptureAdapter(u"lab0"_s, {}, nullptr));
        workers.StartSweep(inputs, {});
        // No event loop runs, so the sender's "Mode Error !!!" stays unseen
        // and the sender waits for it.
        QThread::msleep(50);
        EXPECT_EQ(workers.LiveWorkers(), 1);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(driver->Sent().size(), 0u);
}

} // namespace
