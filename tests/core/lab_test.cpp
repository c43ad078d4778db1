#include "config/addresstext.h"
#include "core/classifyreply.h"
#include "core/scanassembly.h"
#include "core/scanview.h"
#include "scan/pcapdriver.h"
#include "scan/scanworkers.h"

#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/quietscan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>

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

class NoEvents : public EventSink
{
  public:
    void WriteEvent(const QString &, int, int) override {}
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

// One sweep with all ten test addresses from the scanner's namespace through
// libpcap, replies classified into a node table as the scan controller does.
TEST(LabSegment, SweepFindsEveryHostAndThePromiscuousOnes)
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
    std::atomic<int> step{3};
    inputs->probeSourceMacs = BuildProbeSourceMacs(*s.ownMac);
    inputs->rangeStart = 0x0A4D0001; // 10.77.0.1
    inputs->rangeEnd = 0x0A4D001E;   // 10.77.0.30
    inputs->scanStep = &step;

    NodeTable table;
    NoEvents events;
    ReplyTargets targets{table, events, {}, {}};
    ReplyOptions options{FrameFormat::Ethernet2, false, false, 3, s.tests};

    Status status;
    Messages messages;
    ScanWorkers workers(std::make_shared<PcapDriver>(), status, messages);
    QString error;
    ASSERT_TRUE(workers.OpenCaptureAdapter(s.adapter.name, &error)) << error.toStdString();
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
            const int row = table.FindNodeRow(host.ip);
            if (row == 0 || table.Cell(row, 2).isEmpty() || table.Cell(row, 8).isEmpty())
                return false;
            for (int c = 3; host.promiscuous && c <= LastResultColumn; ++c) {
                if (c != 8 && table.Cell(row, c).isEmpty())
                    return false;
            }
        }
        return true;
    };
    WaitUntil(complete, 5000);
    workers.StopCapture();
    EXPECT_TRUE(WaitUntil([&] { return workers.LiveWorkers() == 0; }));

    EXPECT_EQ(table.RowCount(), 2 + int(Hosts.size()));
    for (const LabHost &host : Hosts) {
        SCOPED_TRACE(host.ip.toStdString());
        const int row = table.FindNodeRow(host.ip);
        ASSERT_NE(row, 0);
        EXPECT_EQ(table.Cell(row, NodeTable::MacColumn), host.mac);
        EXPECT_EQ(table.Cell(row, 2), u"O"_s);
        EXPECT_EQ(table.Cell(row, 8), u"O"_s);
        if (host.promiscuous) {
            for (int c : {3, 4, 5, 6, 7, 9, 10, 11})
                EXPECT_EQ(table.Cell(row, c), u"X"_s) << "column " << c;
        }
    }
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace

namespace {

// Keeps the rows of every promiscuous alert raised.
class LabWindows : public QuietScanWindows
{
  public:
    void ShowPromiscuousAlert(int row, bool started) override
    {
        if (started)
            alertedRows << row;
    }
    QList<int> alertedRows;
};

class LabEvents : public EventSink, public EventLogFile
{
  public:
    void WriteEvent(const QString &kind, int number, int row) override
    {
        if (kind == u"cycle"_s)
            cycles = number;
        else if (cycles == 0 &&
                 (kind == u"SUSPECT"_s || kind == u"CONFIRMED"_s || kind == u"FILTER-MATCH"_s))
            firstCycle[kind].append(row);
        else if (kind == u"UP"_s)
            upRows.append(row);
    }
    void OpenEventLog() override {}
    void CloseEventLog() override {}
    int cycles = 0;
    std::map<QString, QList<int>> firstCycle;
    QList<int> upRows;
};

constexpr int LabHosts = LabSegment::LargeHosts;
const QList<int> PromiscuousLabHosts = {3, 31, 62, 97, 128, 160, 201, 239};

// 240 hosts, 8 promiscuous, every test, Cyclic with "Confirm suspects": the
// 8 sniffers are confirmed in the first cycle and no normal host is
// confirmed or alerted in two cycles, however many answered an illegal test
// address through a coincidence of their hash filter.
TEST(LabSegment, ConfirmationSeparatesSniffersFromFilterCoincidences)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    QStringList promiscuous;
    for (int host : PromiscuousLabHosts)
        promiscuous << QString::number(host);
    LabSegment lab(LabHosts, promiscuous);
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    EnteredNamespace scanner(lab.Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);

    Settings s = LabScanSettings();
    s.from = u"10.77.0.11"_s;
    s.to = u"10.77.0.250"_s;
    s.cyclic = true;
    s.confirmSuspects = true;
    s.scanTimerSeconds = 2;
    // Two copies of each probe: on a busy machine a reply is lost now and
    // then, and a lost M1 would read as a probe the lab did not deliver.
    s.packetCount = 2;
    // Twenty group frames per host every 50 ms: the switch copies each to
    // all 240 hosts from a queue of 1,000 frames, which this rate does not
    // fill.
    s.nodeTimerMs = 50;
    FixedSettings settings(s);

    NodeTable nodes;
    LabWindows windows;
    LabEvents events;
    Status status;
    Messages messages;
    SystemClock clock;
    ScanAssembly scan({std::make_shared<PcapDriver>(), status, messages, settings, nodes, windows,
                       events, events, clock});
    ScanController &controller = scan.Controller();
    controller.Start();
    ASSERT_TRUE(controller.Running()) << windows.messages.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return events.cycles >= 2; }, 120000));
    controller.Stop();
    EXPECT_TRUE(WaitUntil([&] { return scan.Workers().LiveWorkers() == 0; }));

    const auto rowOf = [&](int host) { return nodes.FindNodeRow(LabSegment::HostIp(host)); };
    QList<int> sniffers;
    for (int host : PromiscuousLabHosts)
        sniffers << rowOf(host);
    // Every host answered Br and M1 in the last sweep: no probe was lost.
    EXPECT_EQ(nodes.RowCount(), 2 + LabHosts);
    for (int host = 1; host <= LabHosts; ++host) {
        const int row = rowOf(host);
        ASSERT_NE(row, 0) << "host " << host;
        EXPECT_EQ(nodes.Cell(row, BroadcastColumn), u"O"_s) << "host " << host;
        EXPECT_EQ(nodes.Cell(row, 8), u"O"_s) << "host " << host;
    }
    QList<int> confirmed = events.firstCycle[u"CONFIRMED"_s];
    std::sort(confirmed.begin(), confirmed.end());
    std::sort(sniffers.begin(), sniffers.end());
    EXPECT_EQ(confirmed, sniffers);
    int coincidences = 0;
    for (int row : events.firstCycle[u"SUSPECT"_s])
        coincidences += !sniffers.contains(row);
    EXPECT_EQ(events.firstCycle[u"FILTER-MATCH"_s].size(), coincidences);
    for (int row : windows.alertedRows + events.upRows)
        EXPECT_TRUE(sniffers.contains(row)) << "row " << row << " alerted";
    std::cout << "normal hosts that answered an illegal test address in cycle 1: " << coincidences
              << " of " << LabHosts - sniffers.size()
              << "; sniffers confirmed: " << confirmed.size() << " of " << sniffers.size() << '\n';
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
}

} // namespace
