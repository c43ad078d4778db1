#include "config/addresstext.h"
#include "scan/probesender.h"
#include "support/memorydriver.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <QThread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString Br = u"send FF FF FF FF FF FF / 00 11 22 33 44 52 x3"_s;
const QString B47 = u"send FF FF FF FF FF FE / 00 11 22 33 44 53 x3"_s;
const QString B16 = u"send FF FF 00 00 00 00 / 00 11 22 33 44 54 x3"_s;
const QString B8 = u"send FF 00 00 00 00 00 / 00 11 22 33 44 55 x3"_s;
const QString Gr = u"send 01 00 00 00 00 00 / 00 11 22 33 44 56 x3"_s;
const QString Promisc = u"promisc lab0"_s;

// A loaded node list: 192.168.0.2 held by two nodes, .3 by one, the others
// by none.
int NodesOnTwoAndThree(const IpAddress &ip)
{
    const std::uint32_t address = ip.ToIpv4();
    return address == 0xC0A80002 ? 2 : address == 0xC0A80003 ? 1 : 0;
}

class Sender : public testing::Test
{
  protected:
    Sender()
    {
        inputs.settings.adapter = {u"lab0"_s, *IpFromText(u"10.77.0.1"_s)};
        inputs.settings.ownIp = IpFromText(u"192.168.0.1"_s);
        inputs.settings.listMode = false;
        // Node Timer pacing unless a test switches the send rate on.
        inputs.settings.sendRate = 0;
        inputs.probeSourceMacs = BuildProbeSourceMacs(*inputs.settings.ownMac);
        inputs.rangeStart = 0xC0A80001;
        inputs.rangeEnd = 0xC0A80001;
        inputs.scanStep = &step;
    }

    // Runs one sweep to its end and returns what the driver saw, with the
    // pauses, messages and RestartCycleTimer noted in between.
    // The scan's adapter, as the scan opens it before the sweep: nothing
    // when the driver refuses it.
    std::shared_ptr<CaptureChannel> Channel()
    {
        auto channel = std::make_shared<CaptureChannel>();
        channel->adapter = driver->PacketOpenAdapter(u"lab0"_s, {}, nullptr);
        return channel;
    }

    QStringList Sweep(std::function<void(ProbeSender &, int)> onPause = {})
    {
        auto channel = Channel();
        const qsizetype opening = driver->Events().size();
        {
            ProbeSender sender(std::make_shared<ScanInputs>(inputs), channel, 7);
            sender.SetPause([&](int ms) {
                driver->Note(u"pause %1"_s.arg(ms));
                if (onPause)
                    onPause(sender, ms);
            });
            QObject::connect(&sender, &ProbeSender::RestartCycleTimer,
                             [&](quint64 id) { driver->Note(u"restart %1"_s.arg(id)); });
            QObject::connect(&sender, &ScanThread::message,
                             [&](const QString &text) { driver->Note(u"message "_s + text); });
            sender.start();
            sender.Join();
        }
        const QStringList events = driver->Events().mid(opening);
        channel.reset();
        afterRelease = driver->Events();
        return events;
    }

    // The last byte of each sent frame's target IP, with the test's
    // destination's first and last byte: "FF.FE>2" is B47 to .2.
    QStringList SentOrder() const
    {
        QStringList order;
        for (const MemoryDriver::SentFrame &frame : driver->Sent())
            order.append(u"%1.%2>%3"_s.arg(uint(quint8(frame.bytes[0])), 2, 16, QChar(u'0'))
                             .arg(uint(quint8(frame.bytes[5])), 2, 16, QChar(u'0'))
                             .arg(uint(quint8(frame.bytes.back())))
                             .toUpper());
        return order;
    }

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    std::atomic<ScanStep> step{ScanStep::Scanning};
    ScanInputs inputs;
    QStringList afterRelease;
};

TEST_F(Sender, OneAddressWithTheDefaultTestAddresses)
{
    const QStringList events = Sweep();
    // One request for the address's probe set.
    EXPECT_EQ(events, QStringList({Promisc, Br, B47, B16, B8, Gr, u"pause 500"_s, u"restart 7"_s}));
    EXPECT_EQ(driver->SendCalls(), 1);

    const auto sent = driver->Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[1].writes, 3);
    // An address probe: 0.0.0.0 as sender leaves the host's cache alone.
    const QByteArray expected = QByteArray::fromHex("FFFFFFFFFFFE"     // B47
                                                    "001122334453"     // source address 3
                                                    "0806"             // ARP
                                                    "0001080006040001" // request
                                                    "001122334453"     // sender MAC
                                                    "00000000"         // sender IP
                                                    "000000000000"     // target MAC
                                                    "C0A80001");       // probed IP
    EXPECT_EQ(sent[1].bytes, expected);
}

TEST_F(Sender, RangeEndBelowStartSendsNothingAndStillRestarts)
{
    inputs.rangeEnd = inputs.rangeStart - 1;
    EXPECT_EQ(Sweep(), QStringList({u"restart 7"_s}));
}

TEST_F(Sender, NodeFindingStepSendsOneBroadcastPerAddressEvenWithBrOff)
{
    inputs.settings.listMode = true;
    inputs.settings.tests = {false, true, false, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + 1;
    step = ScanStep::FindingNodes;
    EXPECT_EQ(Sweep(), QStringList({Promisc, Br, u"pause 500"_s, Promisc, Br, u"pause 500"_s,
                                    u"restart 7"_s}));
}

TEST_F(Sender, ListModeScanningStepProbesKnownNodesOncePerNode)
{
    inputs.settings.listMode = true;
    inputs.settings.tests = {true, true, false, false, false, false, false, false, false, false};
    inputs.settings.nodeTimerMs = 20;
    inputs.rangeEnd = inputs.rangeStart + 2;
    // .1 unknown, .2 held by two nodes (a loaded node list), .3 by one.
    inputs.nodesWithIp = NodesOnTwoAndThree;
    const QStringList set = {Promisc, Br, B47, u"pause 20"_s};
    EXPECT_EQ(Sweep(), set + set + set + QStringList({u"restart 7"_s}));
    const auto sent = driver->Sent();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0].bytes.right(4), QByteArray::fromHex("C0A80002"));
    EXPECT_EQ(sent[4].bytes.right(4), QByteArray::fromHex("C0A80003"));
}

TEST_F(Sender, ListModeScanningStepWithEmptyTableSendsNothing)
{
    inputs.settings.listMode = true;
    inputs.nodesWithIp = [](const IpAddress &) { return 0; };
    inputs.rangeEnd = inputs.rangeStart + 5;
    EXPECT_EQ(Sweep(), QStringList({u"restart 7"_s}));
}

TEST_F(Sender, SkippedNodeFindingStepWithoutListModeSendsNothing)
{
    step = ScanStep::FindingNodes;
    inputs.rangeEnd = inputs.rangeStart + 5;
    EXPECT_EQ(Sweep(), QStringList({u"restart 7"_s}));
}

TEST_F(Sender, StopDuringASweepFinishesTheAddressAndDoesNotRestart)
{
    inputs.settings.tests = {true, false, false, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + 10;
    const QStringList events = Sweep([](ProbeSender &sender, int) { sender.RequestStop(); });
    EXPECT_EQ(events, QStringList({Promisc, Br, u"pause 500"_s}));
}

TEST_F(Sender, RefusedPromiscuousModeIsReportedForEveryRequestAndSendsNothing)
{
    driver->RefusePromiscuous(true);
    inputs.settings.tests = {true, true, false, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + 1;
    EXPECT_EQ(Sweep(), QStringList({u"message Mode Error !!!"_s, u"pause 500"_s,
                                    u"message Mode Error !!!"_s, u"pause 500"_s, u"restart 7"_s}));
    EXPECT_TRUE(driver->Sent().empty());
}

TEST_F(Sender, BadOwnIpIsReportedOnceAndSendsNoProbe)
{
    inputs.settings.ownIp = IpFromText(u"192.168.0"_s);
    inputs.rangeEnd = inputs.rangeStart + 1;
    EXPECT_EQ(Sweep(), QStringList({u"message IP Address ERROR !!! "_s, u"pause 500"_s,
                                    u"pause 500"_s, u"restart 7"_s}));
}

TEST_F(Sender, AdapterThatCannotBeOpenedSkipsProbesAndStillRestarts)
{
    driver->RefuseOpen(u"lab0"_s, u"gone"_s);
    EXPECT_EQ(Sweep(), QStringList({u"pause 500"_s, u"restart 7"_s}));
}

TEST_F(Sender, UserTestAddressesGoOutWithSourceAddresses10And11)
{
    inputs.settings.tests = {false, false, false, false, false, false, false, false, true, true};
    inputs.settings.sp1Mac = MacFromText(u"01 00 5E 00 00 02"_s);
    inputs.settings.sp2Mac =
        MacFromText(u"1 0 5E 0 0 6"_s); // one-digit bytes as NormalizeMac leaves them
    inputs.settings.packetCount = 1;
    inputs.settings.nodeTimerMs = 0;
    EXPECT_EQ(
        Sweep(),
        QStringList({u"pause 0"_s, Promisc, u"send 01 00 5E 00 00 02 / 00 11 22 33 44 5A x1"_s,
                     u"send 01 00 5E 00 00 06 / 00 11 22 33 44 5B x1"_s, u"restart 7"_s}));
}

TEST_F(Sender, SendHandleIsClosedWhenTheScanLetsGoOfIt)
{
    inputs.rangeEnd = inputs.rangeStart + 3;
    inputs.settings.nodeTimerMs = 0;
    EXPECT_EQ(Sweep().count(u"close lab0"_s), 0);
    EXPECT_EQ(afterRelease.count(u"open lab0"_s), 1);
    // No Node Timer pause: the four addresses' probes in one request.
    EXPECT_EQ(driver->SendCalls(), 1);
    EXPECT_EQ(afterRelease.count(u"close lab0"_s), 1);
    EXPECT_EQ(afterRelease.last(), u"close lab0"_s);
}

// Rate pacing: one frame at a time round the addresses, each sent once,
// test by test and repetition by repetition.
struct PacedCase
{
    const char *name;
    bool listMode;
    ScanStep step;
    int addresses;
    int packetCount;
    QStringList order;
};

class PacedSender : public Sender, public testing::WithParamInterface<PacedCase>
{
};

TEST_P(PacedSender, GoesRoundTheAddressesFrameByFrame)
{
    const PacedCase &c = GetParam();
    inputs.settings.sendRate = 1000000;
    inputs.settings.listMode = c.listMode;
    inputs.settings.packetCount = c.packetCount;
    inputs.settings.tests = {true, true, false, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + quint32(c.addresses) - 1;
    // .2 is held by two nodes (a loaded node list), .3 by one, .1 by none.
    inputs.nodesWithIp = NodesOnTwoAndThree;
    step = c.step;
    const QStringList events = Sweep();
    EXPECT_EQ(SentOrder(), c.order);
    // Never a Node Timer pause, every frame once, and the sweep still ends.
    EXPECT_EQ(events.filter(u"pause"_s), QStringList());
    for (const MemoryDriver::SentFrame &frame : driver->Sent())
        EXPECT_EQ(frame.writes, 1);
    EXPECT_EQ(events.last(), u"restart 7"_s);
    // An IP with more nodes than the others ends alone in its last rounds.
    const bool oneNodeLeftAtTheEnd = c.listMode && c.step == ScanStep::Scanning;
    for (int i = 1; i < c.order.size() && !oneNodeLeftAtTheEnd; ++i)
        EXPECT_NE(c.order[i].right(2), c.order[i - 1].right(2)) << "two frames to one host";
}

INSTANTIATE_TEST_SUITE_P(
    Sender, PacedSender,
    testing::Values(PacedCase{"EveryAddress",
                              false,
                              ScanStep::Scanning,
                              3,
                              2,
                              {u"FF.FF>1"_s, u"FF.FF>2"_s, u"FF.FF>3"_s, u"FF.FE>1"_s, u"FF.FE>2"_s,
                               u"FF.FE>3"_s, u"FF.FF>1"_s, u"FF.FF>2"_s, u"FF.FF>3"_s, u"FF.FE>1"_s,
                               u"FF.FE>2"_s, u"FF.FE>3"_s}},
                    PacedCase{"FindingStepBroadcastOnly",
                              true,
                              ScanStep::FindingNodes,
                              3,
                              1,
                              {u"FF.FF>1"_s, u"FF.FF>2"_s, u"FF.FF>3"_s}},
                    PacedCase{"KnownNodesOncePerNode",
                              true,
                              ScanStep::Scanning,
                              3,
                              1,
                              {u"FF.FF>2"_s, u"FF.FF>3"_s, u"FF.FE>2"_s, u"FF.FE>3"_s, u"FF.FF>2"_s,
                               u"FF.FE>2"_s}},
                    PacedCase{"SkippedFindingStep", false, ScanStep::FindingNodes, 3, 1, {}}),
    [](const testing::TestParamInfo<PacedCase> &info) { return info.param.name; });

// A recheck sends only its targets their own tests, once per target however
// many nodes share the address, in the same interleaved order.
TEST_F(Sender, RecheckGoesRoundItsTargetsOnly)
{
    inputs.settings.sendRate = 1000000;
    inputs.settings.listMode = true;
    inputs.settings.packetCount = 2;
    inputs.settings.tests = {true, true, true, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + 3;
    inputs.nodesWithIp = [](const IpAddress &) { return 2; };
    inputs.recheck = {{0xC0A80002, {true, true}}, {0xC0A80004, {false, true}}};
    const QStringList events = Sweep();
    EXPECT_EQ(SentOrder(), (QStringList{u"FF.FF>2"_s, u"FF.FE>2"_s, u"FF.FE>4"_s, u"FF.FF>2"_s,
                                        u"FF.FE>2"_s, u"FF.FE>4"_s}));
    EXPECT_EQ(events.last(), u"restart 7"_s);
}

TEST_F(Sender, PacedSweepReportsProgressAndEndsAtTheLastAddress)
{
    inputs.settings.sendRate = 1000000;
    inputs.rangeEnd = inputs.rangeStart + 99;
    std::vector<std::array<qint64, 3>> reports;
    ProbeSender sender(std::make_shared<ScanInputs>(inputs), Channel(), 7);
    QObject::connect(&sender, &ProbeSender::progressed,
                     [&](quint64, qint64 i, qint64 n, qint64 ms) {
                         reports.push_back({i, n, ms});
                     });
    sender.start();
    sender.Join();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back(), (std::array<qint64, 3>{100, 100, 0}));
    // Throttled: far fewer reports than the 1,500 frames.
    EXPECT_LT(reports.size(), 50u);
    // The 1,500 frames went out in two requests, paced a microsecond apart
    // by the adapter.
    EXPECT_EQ(driver->SendCalls(), 2);
    EXPECT_EQ(driver->Sent().front().gapNs, 1000U);
}

TEST_F(Sender, StopReachesAPacedSenderBetweenFrames)
{
    // One frame a second: the stop comes while the sender waits for the next.
    inputs.settings.sendRate = 1;
    inputs.rangeEnd = inputs.rangeStart + 100;
    std::atomic<bool> restarted{false};
    ProbeSender sender(std::make_shared<ScanInputs>(inputs), Channel(), 7);
    QObject::connect(&sender, &ProbeSender::RestartCycleTimer, [&](quint64) { restarted = true; });
    sender.start();
    while (driver->Sent().empty())
        QThread::msleep(1);
    sender.RequestStop();
    sender.Join();
    EXPECT_LT(driver->Sent().size(), 5u);
    EXPECT_FALSE(restarted);
}

// In the own-IP mode every probed host's entry for the own IP points at a
// source address afterwards; one broadcast request from the card with the
// own IP puts it right: after the address's probe set with the Node Timer,
// in a last round of its own with a send rate.
TEST_F(Sender, OwnIpModeRepairsEveryProbedHostFromTheCard)
{
    inputs.settings.probeSenderIp = ProbeSenderIp::Own;
    inputs.settings.tests = {true, true, false, false, false, false, false, false, false, false};
    inputs.rangeEnd = inputs.rangeStart + 1;
    const QString repair = u"send FF FF FF FF FF FF / 02 CA 4D 00 00 01 x1"_s;
    EXPECT_EQ(Sweep(), QStringList({Promisc, Br, B47, repair, u"pause 500"_s, Promisc, Br, B47,
                                    repair, u"pause 500"_s, u"restart 7"_s}));
    const auto sent = driver->Sent();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_EQ(sent[0].bytes.mid(28, 4).toHex(), "c0a80001");
    EXPECT_EQ(sent[2].bytes.mid(22, 10).toHex(), "02ca4d000001c0a80001");
    EXPECT_EQ(sent[5].bytes.right(4).toHex(), "c0a80002");

    inputs.settings.sendRate = 1000000;
    inputs.settings.packetCount = 1;
    inputs.rangeEnd = inputs.rangeStart + 2;
    driver = std::make_shared<MemoryDriver>();
    Sweep();
    EXPECT_EQ(SentOrder(),
              (QStringList{u"FF.FF>1"_s, u"FF.FF>2"_s, u"FF.FF>3"_s, u"FF.FE>1"_s, u"FF.FE>2"_s,
                           u"FF.FE>3"_s, u"FF.FF>1"_s, u"FF.FF>2"_s, u"FF.FF>3"_s}));
    for (std::size_t i = 0; i < driver->Sent().size(); ++i)
        EXPECT_EQ(driver->Sent()[i].bytes.mid(6, 6).toHex() == "02ca4d000001", i >= 6) << i;
}

} // namespace
