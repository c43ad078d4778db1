#include "core/classifyreply.h"
#include "scan/pcapdriver.h"
#include "scan/scanworkers.h"

#include "support/eventwait.h"
#include "support/labsegment.h"

#include <gtest/gtest.h>

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
    s.adapterItem = u"10.77.0.1 : wire0"_s;
    s.ownIp = u"10.77.0.1"_s;
    s.ownMac = u"02 00 00 77 00 50"_s;
    s.tests.fill(true);
    // Group addresses no lab host has joined.
    s.sp1Mac = u"01 00 5E 00 00 02"_s;
    s.sp2Mac = u"01 00 5E 00 00 06"_s;
    s.listMode = false;
    s.cyclic = false;
    s.packetNumber = u"1"_s;
    s.nodeTimer = u"0"_s;
    std::atomic<int> step{3};
    inputs->probeSourceMacs = BuildProbeSourceMacs(s.ownMac);
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
    ASSERT_TRUE(workers.OpenCaptureAdapter(s.AdapterName(), &error)) << error.toStdString();
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
