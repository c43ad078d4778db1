#include "config/addresstext.h"
#include "core/classifyreply.h"
#include "core/nodecolumns.h"
#include "core/scanassembly.h"
#include "core/scanview.h"
#include "scan/pcapdriver.h"
#include "scan/scanworkers.h"

#include "support/eventrecorder.h"
#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/quietscan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <map>
#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class Status : public CaptureStatus
{
  public:
    void ShowCaptureState(CaptureState state) override { states.push_back(state); }
    void ShowRelayedCount(quint64) override {}
    void ShowSweepProgress(qint64, qint64, qint64) override {}
    std::vector<CaptureState> states;
};

class Messages : public WorkerMessages
{
  public:
    void ShowWorkerMessage(const QString &text) override { texts.append(text); }
    QStringList texts;
};

struct LabHost
{
    QString ip;
    QString mac;
    bool promiscuous;
};

// Six hosts on the lab segment, hosts 2 and 5 promiscuous; see scripts/labnet
// for the addresses.
const QList<LabHost> Hosts = {
    {u"10.77.0.11"_s, u"02:77:00:00:00:02"_s, false},
    {u"10.77.0.12"_s, u"02:77:00:00:00:03"_s, true},
    {u"10.77.0.13"_s, u"02:77:00:00:00:04"_s, false},
    {u"10.77.0.14"_s, u"02:77:00:00:00:05"_s, false},
    {u"10.77.0.15"_s, u"02:77:00:00:00:06"_s, true},
    {u"10.77.0.16"_s, u"02:77:00:00:00:07"_s, false},
};

// A single sweep from the scanner's namespace with every test on, one probe
// each and no pause.
Settings LabScanSettings()
{
    Settings s;
    s.adapter = {u"wire0"_s, *IpFromText(u"10.77.0.1"_s)};
    s.ownIp = IpFromText(u"10.77.0.1"_s);
    s.ownMac = OwnMacFromText(u"02 00 00 77 00 50"_s);
    s.tests.fill(true);
    // Group addresses no lab host has joined.
    s.sp1Mac = MacFromText(u"01 00 5E 00 00 02"_s);
    s.sp2Mac = MacFromText(u"01 00 5E 00 00 06"_s);
    s.listMode = false;
    s.cyclic = false;
    s.packetCount = 1;
    s.nodeTimerMs = 0;
    return s;
}

// The packet driver over libpcap, opening adapters in this process or
// through the capture helper of this build.
std::shared_ptr<PcapDriver> LabDriver(CaptureAccess access)
{
    return std::make_shared<PcapDriver>(access, QStringLiteral(KEELWATCH_CAPTURE_HELPER));
}

class LabSweep : public ::testing::TestWithParam<CaptureAccess>
{
};

// One sweep with all ten test addresses from the scanner's namespace through
// libpcap, replies classified into a node list as the scan controller does;
// with the capture helper the same frames go out and the same replies come
// back.
TEST_P(LabSweep, FindsEveryHostAndThePromiscuousOnes)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    LabSegment lab(6, {u"2"_s, u"5"_s});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    EnteredNamespace scanner(lab.Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);

    auto inputs = std::make_shared<ScanInputs>();
    Settings &s = inputs->settings;
    s = LabScanSettings();
    std::atomic<ScanStep> step{ScanStep::Scanning};
    inputs->probeSourceMacs = BuildProbeSourceMacs(*s.ownMac);
    inputs->rangeStart = 0x0A4D0001; // 10.77.0.1
    inputs->rangeEnd = 0x0A4D001E;   // 10.77.0.30
    inputs->scanStep = &step;

    NodeList nodes;
    ScanEvents events;
    ReplyTargets targets{nodes, events, {}, {}};
    ReplyOptions options{FrameFormat::Ethernet2, false, false, ScanStep::Scanning, s.tests};
    // The cell of the host's node, empty while it has none.
    const auto cell = [&](const QString &ip, int column) {
        const auto index = nodes.Find(*IpAddress::FromText(ip));
        return index ? NodeCellText(nodes.At(*index), column) : QString();
    };

    Status status;
    Messages messages;
    ScanWorkers workers(LabDriver(GetParam()), status, messages);
    QString error;
    ASSERT_TRUE(workers.OpenCaptureAdapter(s.adapter.name, ScanSenders(s, {}), &error))
        << error.toStdString();
    EXPECT_EQ(status.states, std::vector({CaptureState::Opening, CaptureState::On}));
    ASSERT_TRUE(workers.CreateCapturePipe(nullptr));
    workers.StartCapture(inputs, [&](const QList<DecodedReply> &replies) {
        for (const DecodedReply &reply : replies)
            ClassifyReply(targets, options, reply);
    });
    bool swept = false;
    workers.StartSweep(inputs, [&](quint64) { swept = true; });
    ASSERT_TRUE(WaitUntil([&] { return swept; }));

    const auto complete = [&] {
        for (const LabHost &host : Hosts) {
            if (cell(host.ip, 2).isEmpty() || cell(host.ip, 8).isEmpty())
                return false;
            for (int c = 3; host.promiscuous && c <= LastResultColumn; ++c) {
                if (c != 8 && cell(host.ip, c).isEmpty())
                    return false;
            }
        }
        return true;
    };
    WaitUntil(complete, 5000);
    workers.StopCapture();
    EXPECT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));

    EXPECT_EQ(nodes.Count(), int(Hosts.size()));
    for (const LabHost &host : Hosts) {
        SCOPED_TRACE(host.ip.toStdString());
        ASSERT_TRUE(nodes.Find(*IpAddress::FromText(host.ip)));
        EXPECT_EQ(cell(host.ip, NodeColumn::Mac), host.mac);
        EXPECT_EQ(cell(host.ip, 2), u"O"_s);
        EXPECT_EQ(cell(host.ip, 8), u"O"_s);
        if (host.promiscuous) {
            for (int c : {3, 4, 5, 6, 7, 9, 10, 11})
                EXPECT_EQ(cell(host.ip, c), u"X"_s) << "column " << c;
        }
    }
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

INSTANTIATE_TEST_SUITE_P(LabSegment, LabSweep,
                         ::testing::Values(CaptureAccess::Direct, CaptureAccess::Helper),
                         [](const auto &info) {
                             return info.param == CaptureAccess::Direct ? "Direct" : "Helper";
                         });

} // namespace

namespace {

// The IPs of the first cycle's suspects and verdicts, and of every
// promiscuous alert raised.
class LabEvents
{
  public:
    explicit LabEvents(const ScanEvents &events)
    {
        ForwardScanEvents(events, &context, [this](const ScanEvent &event) {
            const QString word = EventWord(event);
            if (event.kind == ScanEventKind::CycleEnded)
                cycles = event.count;
            else if (cycles == 0 &&
                     (word == u"SUSPECT"_s || word == u"CONFIRMED"_s || word == u"FILTER-MATCH"_s))
                firstCycle[word].append(event.node.ip.ToText());
            else if (event.kind == ScanEventKind::PromiscuousStarted)
                alerted.append(event.node.ip.ToText());
        });
    }
    int cycles = 0;
    std::map<QString, QStringList> firstCycle;
    QStringList alerted;

  private:
    QObject context;
};

constexpr int LabHosts = LabSegment::LargeHosts;
const QList<int> PromiscuousLabHosts = {3, 31, 62, 97, 128, 160, 201, 239};

// The large lab with its 8 sniffers; the test enters its scanner's side.
std::unique_ptr<LabSegment> LargeLab()
{
    QStringList promiscuous;
    for (int host : PromiscuousLabHosts)
        promiscuous << QString::number(host);
    return std::make_unique<LabSegment>(LabHosts, promiscuous);
}

// Every host of the large lab, Cyclic with "Confirm suspects", 2 s apart.
Settings LargeLabSettings()
{
    Settings s = LabScanSettings();
    s.from = u"10.77.0.11"_s;
    s.to = u"10.77.0.250"_s;
    s.cyclic = true;
    s.confirmSuspects = true;
    s.scanTimerSeconds = 2;
    return s;
}

// Scans through the capture driver until done() (two minutes at most), then
// stops and waits for the workers.
void ScanLabUntil(const LiveSettings &settings, NodeList &nodes, QuietScanWindows &windows,
                  ScanEvents &scanEvents, Messages &messages, const std::function<bool()> &done)
{
    NoEventLog log;
    Status status;
    SystemClock clock;
    ScanAssembly scan({std::make_shared<PcapDriver>(), status, messages, settings, nodes, windows,
                       scanEvents, log, clock});
    ScanController &controller = scan.Controller();
    controller.Start();
    ASSERT_TRUE(controller.Running()) << windows.messages.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil(done, 120000));
    controller.Stop();
    EXPECT_TRUE(WaitUntil([&] { return scan.Workers().LiveWorkers() == 0; }));
}

// 240 hosts, 8 promiscuous, every test, Cyclic with "Confirm suspects": the
// 8 sniffers are confirmed in the first cycle and no normal host is
// confirmed or alerted in two cycles, however many answered an illegal test
// address through a coincidence of their hash filter.
TEST(LabSegment, ConfirmationSeparatesSniffersFromFilterCoincidences)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    const std::unique_ptr<LabSegment> lab = LargeLab();
    ASSERT_TRUE(lab->built) << lab->output.toStdString();
    EnteredNamespace scanner(lab->Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);

    Settings s = LargeLabSettings();
    // Two copies of each probe: on a busy machine a reply is lost now and
    // then, and a lost M1 would read as a probe the lab did not deliver.
    s.packetCount = 2;
    // Twenty group frames per host every 50 ms: the switch copies each to
    // all 240 hosts from a queue of 1,000 frames, which this rate does not
    // fill.
    s.nodeTimerMs = 50;
    FixedSettings settings(s);

    NodeList nodes;
    QuietScanWindows windows;
    ScanEvents scanEvents;
    LabEvents events(scanEvents);
    Messages messages;
    ASSERT_NO_FATAL_FAILURE(ScanLabUntil(settings, nodes, windows, scanEvents, messages,
                                         [&] { return events.cycles >= 2; }));

    QStringList sniffers;
    for (int host : PromiscuousLabHosts)
        sniffers << LabSegment::HostIp(host);
    // Every host answered Br and M1 in the last sweep: no probe was lost.
    EXPECT_EQ(nodes.Count(), LabHosts);
    for (int host = 1; host <= LabHosts; ++host) {
        const auto index = nodes.Find(*IpAddress::FromText(LabSegment::HostIp(host)));
        ASSERT_TRUE(index) << "host " << host;
        EXPECT_EQ(NodeCellText(nodes.At(*index), BroadcastColumn), u"O"_s) << "host " << host;
        EXPECT_EQ(NodeCellText(nodes.At(*index), 8), u"O"_s) << "host " << host;
    }
    QStringList confirmed = events.firstCycle[u"CONFIRMED"_s];
    std::sort(confirmed.begin(), confirmed.end());
    std::sort(sniffers.begin(), sniffers.end());
    EXPECT_EQ(confirmed, sniffers);
    int coincidences = 0;
    for (const QString &ip : events.firstCycle[u"SUSPECT"_s])
        coincidences += !sniffers.contains(ip);
    EXPECT_EQ(events.firstCycle[u"FILTER-MATCH"_s].size(), coincidences);
    for (const QString &ip : events.alerted)
        EXPECT_TRUE(sniffers.contains(ip)) << ip.toStdString() << " alerted";
    std::cout << "normal hosts that answered an illegal test address in cycle 1: " << coincidences
              << " of " << LabHosts - sniffers.size()
              << "; sniffers confirmed: " << confirmed.size() << " of " << sniffers.size() << '\n';
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace

namespace {

// The large lab swept at 20,000 frames/s with one copy of each probe: the
// sweep fills the switch's stock queue, and the confirmation probes wait
// for its end. Within two cycles the 8 sniffers are confirmed and alerted
// once each, and no normal host is.
TEST(LabSegment, ConfirmationAtTwentyThousandFramesPerSecond)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    const std::unique_ptr<LabSegment> lab = LargeLab();
    ASSERT_TRUE(lab->built) << lab->output.toStdString();
    EnteredNamespace scanner(lab->Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);

    Settings s = LargeLabSettings();
    s.sendRate = 20000;
    FixedSettings settings(s);

    NodeList nodes;
    QuietScanWindows windows;
    ScanEvents scanEvents;
    EventRecorder recorder(scanEvents);
    int cycles = 0;
    QStringList alerted;
    ForwardScanEvents(scanEvents, &recorder, [&](const ScanEvent &event) {
        if (event.kind == ScanEventKind::CycleEnded)
            cycles = event.count;
        else if (RaisesAlert(event.kind))
            alerted << EventWord(event) + u' ' + event.node.ip.ToText();
    });
    Messages messages;
    ASSERT_NO_FATAL_FAILURE(
        ScanLabUntil(settings, nodes, windows, scanEvents, messages, [&] { return cycles >= 2; }));

    QStringList expected;
    for (int host : PromiscuousLabHosts)
        expected << u"UP "_s + LabSegment::HostIp(host);
    std::sort(expected.begin(), expected.end());
    std::sort(alerted.begin(), alerted.end());
    EXPECT_EQ(alerted, expected);
    int snifferFilterMatches = 0;
    const QStringList filterMatches = recorder.lines.filter(u"FILTER-MATCH"_s);
    for (const QString &line : filterMatches) {
        for (int host : PromiscuousLabHosts)
            snifferFilterMatches += line.endsWith(u' ' + LabSegment::HostIp(host));
    }
    std::cout << "at 20,000 frames/s: alerts " << alerted.size() << ", filter matches "
              << filterMatches.size() << " (of sniffers " << snifferFilterMatches << "), "
              << recorder.lines.filter(u"dropped"_s).size() << " cycles with dropped frames\n";
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace

namespace {

// The promiscuous alerts of a scan as "START 3" or "STOP 6" (the cycle they
// came in) by IP, and every verdict line, in order.
class CycleAlerts
{
  public:
    explicit CycleAlerts(const ScanEvents &events)
    {
        ForwardScanEvents(events, &context, [this](const ScanEvent &event) {
            if (event.kind == ScanEventKind::CycleEnded) {
                cycles = event.count;
                if (onCycleEnd)
                    onCycleEnd(cycles);
                return;
            }
            const QString cycle = QString::number(cycles + 1);
            const QString ip = event.node.ip.ToText();
            if (event.kind == ScanEventKind::PromiscuousStarted)
                alerts[ip] << u"START "_s + cycle;
            else if (event.kind == ScanEventKind::PromiscuousStopped)
                alerts[ip] << u"STOP "_s + cycle;
            else if (event.kind == ScanEventKind::VerdictReached)
                verdicts[ip] << EventWord(event) + u' ' + cycle;
        });
    }
    int cycles = 0;
    std::function<void(int)> onCycleEnd;
    std::map<QString, QStringList> alerts;
    std::map<QString, QStringList> verdicts;

  private:
    QObject context;
};

// The cycle of an alert line such as "START 4".
int AlertCycle(const QString &line)
{
    return line.section(u' ', 1, 1).toInt();
}

// Ten cycles with "Confirm suspects" on a segment whose hosts change: host 1
// promiscuous throughout, host 2 from cycle 3 to 5, host 3 promiscuous but
// off the segment in cycles 4 and 5, host 4 normal with its M1 requests
// dropped from cycle 3 on, host 5 promiscuous with 30% of its frames lost,
// hosts 6 to 8 normal. Exactly one START per promiscuous episode, a STOP
// only when one ends with the node still there, none for a normal host.
TEST(LabSegment, AlertsFollowTheVerdictOverCycles)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    if (QProcess::execute(u"nft"_s, {u"--version"_s}) != 0)
        GTEST_SKIP() << "nft is missing (scripts/install-deps installs nftables)";
    LabSegment lab(8, {u"1"_s, u"3"_s, u"5"_s});
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    ASSERT_TRUE(lab.Drop(5, u"lossy"_s));
    EnteredNamespace scanner(lab.Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);

    Settings s = LabScanSettings();
    s.from = u"10.77.0.11"_s;
    s.to = u"10.77.0.18"_s;
    s.cyclic = true;
    s.confirmSuspects = true;
    s.scanTimerSeconds = 1;
    FixedSettings settings(s);

    NodeList nodes;
    QuietScanWindows windows;
    ScanEvents scanEvents;
    CycleAlerts events(scanEvents);
    EventRecorder recorder(scanEvents);
    // Changes between cycles: each takes effect in the cycle after count.
    bool changed = true;
    events.onCycleEnd = [&](int count) {
        if (count == 2)
            changed = lab.SetPromiscuous(2, true) && lab.Drop(4, u"m1"_s);
        else if (count == 3)
            changed = changed && lab.SetLink(3, false);
        else if (count == 5)
            changed = changed && lab.SetPromiscuous(2, false) && lab.SetLink(3, true);
    };
    NoEventLog log;
    Status status;
    Messages messages;
    SystemClock clock;
    ScanAssembly scan({std::make_shared<PcapDriver>(), status, messages, settings, nodes, windows,
                       scanEvents, log, clock});
    ScanController &controller = scan.Controller();
    controller.Start();
    ASSERT_TRUE(controller.Running()) << windows.messages.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return events.cycles >= 10; }, 240000));
    controller.Stop();
    EXPECT_TRUE(WaitUntil([&] { return scan.Workers().LiveWorkers() == 0; }));
    EXPECT_TRUE(changed);

    const auto alerts = [&](int host) { return events.alerts[LabSegment::HostIp(host)]; };
    for (int host = 1; host <= 8; ++host) {
        std::cout << "host " << host << ": alerts " << alerts(host).join(u", "_s).toStdString()
                  << "; verdicts "
                  << events.verdicts[LabSegment::HostIp(host)].join(u", "_s).toStdString() << '\n';
    }
    EXPECT_EQ(alerts(1), QStringList{u"START 1"_s});
    const QStringList episode = alerts(2);
    ASSERT_EQ(episode.size(), 2) << episode.join(u' ').toStdString();
    EXPECT_TRUE(episode[0].startsWith(u"START"_s) && AlertCycle(episode[0]) >= 3 &&
                AlertCycle(episode[0]) <= 5)
        << episode[0].toStdString();
    EXPECT_TRUE(episode[1].startsWith(u"STOP"_s) && AlertCycle(episode[1]) >= 6 &&
                AlertCycle(episode[1]) <= 8)
        << episode[1].toStdString();
    // Gone is lost, not stopped; back, a new episode.
    const QStringList returned = alerts(3);
    ASSERT_EQ(returned.size(), 2) << returned.join(u' ').toStdString();
    EXPECT_EQ(returned[0], u"START 1"_s);
    EXPECT_TRUE(returned[1].startsWith(u"START"_s) && AlertCycle(returned[1]) >= 6 &&
                AlertCycle(returned[1]) <= 8)
        << returned[1].toStdString();
    // The lossy sniffer: one START, never a STOP.
    const QStringList lossy = alerts(5);
    ASSERT_EQ(lossy.size(), 1) << lossy.join(u' ').toStdString();
    EXPECT_TRUE(lossy[0].startsWith(u"START"_s));
    for (int host : {4, 6, 7, 8})
        EXPECT_TRUE(alerts(host).isEmpty()) << "host " << host;
    // Host 4 lost its M1 answers, and is not lost itself.
    int m1Lost = 0;
    for (const QString &line : std::as_const(recorder.lines)) {
        EXPECT_FALSE(line.startsWith(u"+ 2 "_s) && line.endsWith(LabSegment::HostIp(4)))
            << line.toStdString();
        m1Lost += line == u"+ 8 "_s + LabSegment::HostIp(4);
    }
    EXPECT_EQ(m1Lost, 1);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
