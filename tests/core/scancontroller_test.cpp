#include "config/addresstext.h"
#include "core/eventlogfile.h"
#include "core/nodecolumns.h"
#include "core/nodelist.h"
#include "core/scancontroller.h"
#include "core/scanview.h"
#include "support/eventrecorder.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>

#include <algorithm>
#include <map>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct FakeEngine : ScanEngine
{
    bool adapterOpens = true;
    QString reason;
    bool pipeCreates = true;
    int pipeError = 0;
    QStringList calls;
    std::uint64_t sweep = 0;
    int sweepStep = 0;
    std::vector<RecheckTarget> rechecked;

    bool OpenCaptureAdapter(const ScanSnapshot &, QString &why) override
    {
        calls << u"open"_s;
        why = reason;
        return adapterOpens;
    }
    bool CreateCapturePipe(int &error) override
    {
        calls << u"pipe"_s;
        error = pipeError;
        return pipeCreates;
    }
    void AbandonCapture() override { calls << u"abandon"_s; }
    void StartCapture(const ScanSnapshot &, const std::atomic<ScanStep> &) override
    {
        calls << u"capture"_s;
    }
    void StartSweep(const ScanSnapshot &, const std::atomic<ScanStep> &step,
                    std::uint64_t id) override
    {
        calls << u"sweep%1"_s.arg(int(step.load()));
        sweep = id;
        sweepStep = int(step.load());
    }
    void StartRecheck(const ScanSnapshot &, const std::atomic<ScanStep> &step,
                      std::vector<RecheckTarget> targets, std::uint64_t id) override
    {
        calls << u"recheck%1"_s.arg(int(step.load()));
        sweep = id;
        rechecked = std::move(targets);
    }
    void StopSweep() override { calls << u"stopsweep"_s; }
    void StopCapture() override { calls << u"stopcapture"_s; }

    // The sender reaches its last address.
    void FinishSweep() { sweepFinished(sweep); }

    CaptureTally tally;
    CaptureTally Tally() const override { return tally; }
    // The replies counted in tally.handled have been classified.
    void Classified(quint64 handled)
    {
        tally.handled = handled;
        repliesClassified();
    }
};

struct FakeView : ScanView
{
    FixedSettings &settings;
    std::map<int, QString> panels;
    QStringList messages;
    int setupShown = 0;
    bool rangeEnabled = true;
    bool groupsEnabled = true;
    // "all", or one digit per test: the result columns the grid shows.
    QString testColumns;

    explicit FakeView(FixedSettings &s) : settings(s) {}
    // The status bar as the windows show the phases.
    void ShowScanPhase(ScanPhase phase) override
    {
        if (phase == ScanPhase::FindingNodes)
            panels[2] = u"Finding Nodes"_s;
        else if (phase == ScanPhase::Scanning)
            panels[2] = u"Scanning"_s;
        else
            panels = {{0, u"READY"_s}, {1, QString()}, {2, QString()}, {6, QString()}};
    }
    void ShowMessage(const QString &text) override { messages << text; }
    bool ConfirmLargeRange(quint64 addresses) override
    {
        largeRangesAsked << addresses;
        return largeRangeConfirmed;
    }
    QList<quint64> largeRangesAsked;
    bool largeRangeConfirmed = false;
    void ShowSetup() override { ++setupShown; }
    void ShowScanMode() override { panels[1] = u"mode"_s; }
    void ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests) override
    {
        testColumns.clear();
        for (bool on : tests)
            testColumns += on ? u'1' : u'0';
        if (showAll)
            testColumns = u"all"_s;
    }
    void EnableRangeControls(bool on) override { rangeEnabled = on; }
    void EnableSetupGroups(bool on) override { groupsEnabled = on; }
    void SwitchBrOn() override { settings.values.tests[0] = true; }
    void SetRangeText(bool to, const QString &t) override
    {
        (to ? settings.values.to : settings.values.from) = t;
    }
};

// The scan's events and the log file's opening and closing, in one order.
struct RecordedEvents : EventRecorder, EventLogFile
{
    using EventRecorder::EventRecorder;
    void OpenEventLog() override { lines << u"open"_s; }
    void CloseEventLog() override { lines << u"close"_s; }
    int Count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &l : lines)
            n += l.startsWith(prefix);
        return n;
    }
};

Settings ReadySettings()
{
    Settings s;
    s.from = u"10.77.0.1"_s;
    s.to = u"10.77.0.20"_s;
    s.ownIp = IpFromText(u"10.77.0.250"_s);
    s.adapter = {u"kw0"_s, *IpFromText(u"10.77.0.250"_s)};
    s.scanTimerSeconds = 2;
    // Without confirmation probes: the plain rule, which most cases pin.
    s.confirmSuspects = false;
    // Node Timer pacing: a step's silences are judged when it ends. A paced
    // scan asks them again first (the Recheck cases).
    s.sendRate = 0;
    return s;
}

class ScanControllerTest : public ::testing::Test
{
  protected:
    ScanControllerTest()
    {
        // What the promiscuous alert window shows.
        QObject::connect(&scanEvents, &ScanEvents::promiscuousStarted,
                         [this](const Node &node) { alerts << u"START "_s + node.ip.ToText(); });
        QObject::connect(&scanEvents, &ScanEvents::promiscuousStopped,
                         [this](const Node &node) { alerts << u"STOP "_s + node.ip.ToText(); });
    }

    FixedSettings settings{ReadySettings()};
    NodeList nodes;
    FakeEngine engine;
    FakeView view{settings};
    ScanEvents scanEvents;
    RecordedEvents events{scanEvents};
    QStringList alerts;
    FixedClock clock{QDateTime(QDate(2026, 12, 6), QTime(12, 0))};
    ScanController controller{{settings, nodes, engine, view, scanEvents, events, clock}};

    NodeList::Tests Tests() const { return settings.values.tests; }
    QString Cell(int index, int column) const { return NodeCellText(nodes.At(index), column); }

    // A reply as the analyser records it.
    void Reply(const QString &ip, int column)
    {
        const IpAddress address = *IpAddress::FromText(ip);
        const auto found = nodes.Find(address);
        const int index =
            found ? *found
                  : nodes.Add(address, *MacAddress::FromText(u"00:11:22:33:44:55"), Tests());
        if (controller.Step() == ScanStep::FindingNodes)
            return;
        Mark mark = nodes.At(index).MarkOf(column);
        if (mark.Answered())
            return;
        mark.answer = AnswerOfTest(column);
        nodes.SetMark(index, column, mark);
    }

    // The node of ip answers the first count of its batch's group probes
    // and the first controls of its controls.
    void Confirm(const QString &ip, int count, int controls = ConfirmationControlCount)
    {
        const IpAddress address = *IpAddress::FromText(ip);
        const MacAddress mac = nodes.At(*nodes.Find(address)).mac;
        nodes.BeginConfirmation(address, mac);
        for (int probe = 0; probe < count; ++probe)
            nodes.CountConfirmationAnswer(address, probe, mac);
        for (int probe = 0; probe < controls; ++probe)
            nodes.CountConfirmationAnswer(address, ConfirmationProbeCount + probe, mac);
    }
};

TEST_F(ScanControllerTest, StartChecksInOrder)
{
    struct Case
    {
        std::function<void(Settings &)> change;
        QString message;
        bool setup;
    };
    const std::vector<Case> cases = {
        {[](Settings &s) { s.ownMac = OwnMacFromText(u"00:11:22:33:44"_s); }, QString(), true},
        {[](Settings &s) {
             s.tests[8] = true;
             s.sp1Mac = MacFromText(u"1-2-3"_s);
         },
         QString(), true},
        {[](Settings &s) { s.ownIp.reset(); }, u"IP address should be set"_s, true},
        {[](Settings &s) {
             s.ownIp.reset();
             s.adapter = {};
         },
         u"Netword Interface should be selected."_s, true},
        {[](Settings &s) { s.adapter = {}; }, u"Netword Interface should be selected."_s, true},
        {[](Settings &s) { s.adapter.ethernet = false; }, u"kw0 is no Ethernet interface."_s, true},
        {[](Settings &s) { s.to.clear(); }, u"IP Address range should be specified."_s, false},
        {[](Settings &s) { s.from = u"10.77.0.300"_s; }, u"IP Address range should be specified."_s,
         false},
        {[](Settings &s) { s.from = u"10.77.0.21"_s; }, u"Wrong IP addres range."_s, false},
    };
    for (const Case &c : cases) {
        settings.values = ReadySettings();
        c.change(settings.values);
        view.messages.clear();
        view.setupShown = 0;
        controller.Start();
        EXPECT_EQ(view.messages, c.message.isEmpty() ? QStringList() : QStringList{c.message})
            << c.message.toStdString();
        EXPECT_EQ(view.setupShown, c.setup ? 1 : 0) << c.message.toStdString();
        EXPECT_FALSE(controller.Running());
    }
    // Nothing was opened by a refused start.
    EXPECT_TRUE(engine.calls.isEmpty());
    // The invalid From was emptied as its own exit check would.
    EXPECT_EQ(settings.values.from, u"10.77.0.21"_s);
}

TEST_F(ScanControllerTest, RefusedStartLeavesEveryPanelIdle)
{
    const std::vector<std::function<void()>> refusals = {
        [this] { settings.values.ownIp = IpFromText(u"ten"_s); },
        [this] { settings.values.from.clear(); },
        [this] { engine.adapterOpens = false; },
        [this] {
            engine.adapterOpens = true;
            engine.pipeCreates = false;
        },
    };
    for (size_t i = 0; i < refusals.size(); ++i) {
        settings.values = ReadySettings();
        refusals[i]();
        // What opening the capture shows before the start gives up.
        view.panels = {{0, u"RUN"_s}, {6, u"Capture Error"_s}};
        controller.Start();
        EXPECT_FALSE(controller.Running()) << i;
        EXPECT_EQ(view.panels[0], u"READY"_s) << i;
        EXPECT_EQ(view.panels[6], QString()) << i;
    }
}

TEST_F(ScanControllerTest, CyclicStartSwitchesBrOnEvenWhenRefused)
{
    settings.values.tests[0] = false;
    settings.values.ownIp.reset();
    controller.Start();
    EXPECT_TRUE(settings.values.tests[0]);
    // The grid follows the tests as they are at Start, Br switched on included.
    EXPECT_EQ(view.testColumns, u"1111100000"_s);
    EXPECT_FALSE(controller.Running());
}

TEST_F(ScanControllerTest, OneAddressRangeAndNormalisedMacs)
{
    settings.values.to = settings.values.from;
    settings.values.ownMac = OwnMacFromText(u"00-11-22-33-44-5f"_s);
    settings.values.tests[9] = true;
    settings.values.sp2Mac = MacFromText(u"01:00:5e:00:00:02"_s);
    controller.Start();
    ASSERT_TRUE(controller.Running());
    EXPECT_EQ(settings.values.ownMac->ToText(u' '), u"00 11 22 33 44 50"_s);
    EXPECT_EQ(settings.values.sp2Mac->ToText(u' '), u"01 00 5E 00 00 02"_s);
    EXPECT_EQ(controller.Snapshot().rangeStart, 0x0A4D0001u);
    EXPECT_EQ(controller.Snapshot().rangeEnd, 0x0A4D0001u);
    EXPECT_EQ(controller.Snapshot().probeSourceMacs[11], u"00 11 22 33 44 5B"_s);
}

// From and To stay as typed; the scan gets the addresses they were read as,
// the same reading the fields' own check makes.
TEST_F(ScanControllerTest, TypedRangeIsReadOnceIntoTheScansAddresses)
{
    settings.values.from = u" 10 77 0 1"_s;
    settings.values.to = u"10.77.000.020"_s;
    controller.Start();
    ASSERT_TRUE(controller.Running());
    EXPECT_TRUE(view.messages.isEmpty());
    EXPECT_EQ(controller.Snapshot().rangeStart, 0x0A4D0001u);
    EXPECT_EQ(controller.Snapshot().rangeEnd, 0x0A4D0014u);
    EXPECT_EQ(settings.values.from, u" 10 77 0 1"_s);
    EXPECT_EQ(controller.Snapshot().settings.to, u"10.77.000.020"_s);
}

// A range larger than a /16 starts only when the user confirms it, and a
// confirmed range is not asked again when the scan restarts.
TEST_F(ScanControllerTest, RangeLargerThanA16IsSweptOnlyWhenConfirmed)
{
    settings.values.from = u"10.0.0.0"_s;
    settings.values.to = u"10.0.255.255"_s;
    controller.Start();
    EXPECT_TRUE(controller.Running());
    EXPECT_TRUE(view.largeRangesAsked.isEmpty());
    controller.Stop();

    settings.values.to = u"10.1.0.0"_s;
    controller.Start();
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(view.largeRangesAsked, QList<quint64>{65537});
    EXPECT_TRUE(view.messages.isEmpty());

    view.largeRangeConfirmed = true;
    controller.Start();
    EXPECT_TRUE(controller.Running());
    controller.Stop();
    controller.Start();
    EXPECT_TRUE(controller.Running());
    EXPECT_EQ(view.largeRangesAsked, (QList<quint64>{65537, 65537}));
    controller.Stop();

    settings.values.from = u"9.255.255.255"_s;
    controller.Start();
    EXPECT_EQ(view.largeRangesAsked.size(), 3);
}

TEST_F(ScanControllerTest, AdapterThatCannotBeOpened)
{
    engine.adapterOpens = false;
    engine.reason = u"socket: Operation not permitted"_s;
    controller.Start();
    EXPECT_EQ(view.messages,
              QStringList{u"libpcap cannot open the adapter.\nsocket: Operation not permitted"_s});
    EXPECT_FALSE(controller.Running());
}

TEST_F(ScanControllerTest, PipeFailureAbandonsTheStartAndReleasesTheAdapter)
{
    engine.pipeCreates = false;
    engine.pipeError = 24;
    controller.Start();
    EXPECT_EQ(view.messages, QStringList{u"Error24"_s});
    EXPECT_EQ(engine.calls, (QStringList{u"open"_s, u"pipe"_s, u"abandon"_s}));
    EXPECT_FALSE(controller.Running());
    EXPECT_TRUE(view.rangeEnabled);
}

TEST_F(ScanControllerTest, SingleScanWithoutListMode)
{
    settings.values.listMode = false;
    settings.values.cyclic = false;
    nodes.Add(*IpAddress::FromText(u"10.77.0.9"), MacAddress(), Tests());
    nodes.SetMark(0, 3, Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
    controller.Start();
    ASSERT_TRUE(controller.Running());
    EXPECT_EQ(Cell(0, 3), QString()); // results cleared at Start
    EXPECT_EQ(Cell(0, 7), u"-"_s);
    EXPECT_FALSE(view.groupsEnabled);
    EXPECT_FALSE(view.rangeEnabled);
    // The node-finding step is skipped with a 100 ms pause.
    EXPECT_EQ(controller.Step(), ScanStep::FindingNodes);
    EXPECT_TRUE(controller.CycleTimer().isActive());
    EXPECT_EQ(controller.CycleTimer().interval(), 100);
    EXPECT_EQ(engine.calls, (QStringList{u"open"_s, u"pipe"_s, u"capture"_s}));

    controller.OnCycleTimer();
    EXPECT_EQ(controller.Step(), ScanStep::Scanning);
    EXPECT_EQ(view.panels[2], u"Scanning"_s);
    EXPECT_FALSE(controller.CycleTimer().isActive());
    EXPECT_EQ(engine.calls.last(), u"sweep3"_s);

    Reply(u"10.77.0.9"_s, 2);
    Reply(u"10.77.0.9"_s, 4);
    engine.FinishSweep();
    EXPECT_TRUE(controller.CycleTimer().isActive());
    EXPECT_EQ(controller.CycleTimer().interval(), 2000);

    controller.OnCycleTimer();
    EXPECT_EQ(events.lines, QStringList{u"SUSPECT 4 10.77.0.9"_s});
    EXPECT_FALSE(controller.Running());
    EXPECT_EQ(view.panels[0], u"READY"_s);
    EXPECT_EQ(view.panels[2], QString());
    EXPECT_TRUE(view.rangeEnabled);
    EXPECT_EQ(engine.calls.last(), u"stopcapture"_s);
}

TEST_F(ScanControllerTest, ListModeCyclesFollowANodeIntoAndOutOfPromiscuousMode)
{
    const QString ip = u"10.77.0.5"_s;
    auto cycle = [&](bool promiscuous) {
        // Step 1 -> 2: the node-finding sweep.
        controller.OnCycleTimer();
        ASSERT_EQ(controller.Step(), ScanStep::FindingNodes);
        EXPECT_EQ(view.panels[2], u"Finding Nodes"_s);
        Reply(ip, 2);
        engine.FinishSweep();
        controller.OnCycleTimer(); // -> 3, scanning sweep
        ASSERT_EQ(controller.Step(), ScanStep::Scanning);
        Reply(ip, 2);
        if (promiscuous)
            Reply(ip, 3);
        engine.FinishSweep();
        controller.OnCycleTimer(); // evaluation, cycle end
        ASSERT_EQ(controller.Step(), ScanStep::Start);
    };

    controller.Start();
    ASSERT_TRUE(controller.Running());
    EXPECT_EQ(events.lines, (QStringList{u"open"_s, u"start 0"_s}));
    EXPECT_EQ(controller.Step(), ScanStep::FindingNodes); // first finding sweep already running
    Reply(ip, 2);
    engine.FinishSweep();
    controller.OnCycleTimer();
    Reply(ip, 2);
    engine.FinishSweep();
    controller.OnCycleTimer(); // end of cycle 1: normal node
    EXPECT_EQ(controller.CycleCount(), 1);

    cycle(true); // cycle 2: answers B47
    EXPECT_EQ(events.Count(u"UP"_s), 1);
    EXPECT_EQ(events.Count(u"SUSPECT"_s), 0);
    EXPECT_EQ(alerts, QStringList{u"START 10.77.0.5"_s});

    cycle(true); // cycle 3: still promiscuous, nothing new
    EXPECT_EQ(events.Count(u"UP"_s), 1);
    EXPECT_EQ(alerts.size(), 1);

    cycle(false); // cycle 4: stops answering B47
    EXPECT_EQ(events.Count(u"DOWN 3 10.77.0.5"_s), 1);
    EXPECT_EQ(events.Count(u"+ 3 10.77.0.5"_s), 1); // the lost response
    EXPECT_EQ(alerts, (QStringList{u"START 10.77.0.5"_s, u"STOP 10.77.0.5"_s}));
    EXPECT_EQ(controller.CycleCount(), 4);
    EXPECT_EQ(events.Count(u"cycle"_s), 4);
    EXPECT_EQ(Cell(0, 3), QString());
    EXPECT_EQ(Cell(0, 2), u"O"_s);
}

TEST_F(ScanControllerTest, StepEndsOnlyOnceItsCapturedRepliesAreClassified)
{
    const QString ip = u"10.77.0.5"_s;
    controller.Start();
    Reply(ip, 2);
    engine.FinishSweep();
    controller.OnCycleTimer(); // -> 3, scanning sweep
    Reply(ip, 2);
    engine.FinishSweep();
    // Five replies were captured; two are still on their way.
    engine.tally = {.relayed = 5, .handled = 3};
    controller.OnCycleTimer();
    EXPECT_TRUE(controller.AwaitingReplies());
    EXPECT_EQ(controller.Step(), ScanStep::Scanning);
    EXPECT_FALSE(controller.CycleTimer().isActive());
    engine.Classified(4);
    EXPECT_EQ(controller.Step(), ScanStep::Scanning);
    Reply(ip, 3);
    engine.Classified(5);
    EXPECT_FALSE(controller.AwaitingReplies());
    EXPECT_EQ(controller.CycleCount(), 1);
    // The late B47 answer counted in cycle 1.
    EXPECT_EQ(events.Count(u"SUSPECT 3 10.77.0.5"_s), 1);
}

TEST_F(ScanControllerTest, CycleThatLostFramesJudgesNoSilenceAndTheNextDoes)
{
    const QString ip = u"10.77.0.5"_s;
    const auto cycle = [&](bool promiscuous, quint64 droppedSoFar) {
        controller.OnCycleTimer(); // -> 2, finding sweep
        Reply(ip, 2);
        engine.FinishSweep();
        controller.OnCycleTimer(); // -> 3, scanning sweep
        Reply(ip, 2);
        if (promiscuous)
            Reply(ip, 3);
        engine.FinishSweep();
        engine.tally.dropped = droppedSoFar;
        controller.OnCycleTimer(); // evaluation, cycle end
    };
    controller.Start();
    Reply(ip, 2);
    engine.FinishSweep();
    controller.OnCycleTimer();
    Reply(ip, 2);
    Reply(ip, 3);
    engine.FinishSweep();
    controller.OnCycleTimer(); // cycle 1: a suspect
    ASSERT_EQ(events.Count(u"SUSPECT 3 10.77.0.5"_s), 1);

    // Cycle 2: B47's answer may have been among 7 lost frames.
    cycle(false, 7);
    EXPECT_EQ(events.Count(u"dropped 7"_s), 1);
    EXPECT_EQ(events.Count(u"+ "_s), 0);
    EXPECT_EQ(events.Count(u"DOWN"_s), 0);
    EXPECT_TRUE(alerts.isEmpty());
    EXPECT_EQ(Cell(0, 3), u"X"_s);

    // Cycle 3 lost nothing: the silence is the node's.
    cycle(false, 7);
    EXPECT_EQ(events.Count(u"dropped"_s), 1);
    EXPECT_EQ(events.Count(u"+ 3 10.77.0.5"_s), 1);
    EXPECT_EQ(events.Count(u"DOWN 3 10.77.0.5"_s), 1);
    EXPECT_EQ(alerts, QStringList{u"STOP 10.77.0.5"_s});
}

// Rejected replies change no result; each cycle that had some says how
// many in one line, and a cycle without any says nothing.
TEST_F(ScanControllerTest, RejectedRepliesLeaveOneLinePerCycleThatHadThem)
{
    const auto cycle = [&](quint64 rejectedSoFar) {
        controller.OnCycleTimer(); // finding sweep
        engine.FinishSweep();
        controller.OnCycleTimer(); // scanning sweep
        Reply(u"10.77.0.5"_s, 2);
        engine.FinishSweep();
        engine.tally.rejected = rejectedSoFar;
        controller.OnCycleTimer(); // evaluation, cycle end
    };
    controller.Start();
    engine.FinishSweep();
    controller.OnCycleTimer();
    engine.FinishSweep();
    controller.OnCycleTimer(); // cycle 1, nothing rejected
    cycle(40);
    cycle(40);
    cycle(45);
    EXPECT_EQ(events.lines.filter(u"rejected"_s), (QStringList{u"rejected 40"_s, u"rejected 5"_s}));
    EXPECT_EQ(events.Count(u"dropped"_s), 0);
}

TEST_F(ScanControllerTest, NodeFirstSeenPromiscuousIsASuspect)
{
    controller.Start();
    engine.FinishSweep();
    controller.OnCycleTimer(); // scanning sweep
    Reply(u"10.77.0.7"_s, 2);
    Reply(u"10.77.0.7"_s, 6);
    Reply(u"10.77.0.7"_s, 3);
    engine.FinishSweep();
    controller.OnCycleTimer();
    // The first illegal column in order decides.
    EXPECT_EQ(events.Count(u"SUSPECT 3 10.77.0.7"_s), 1);
    EXPECT_EQ(events.Count(u"UP"_s), 0);
    EXPECT_TRUE(alerts.isEmpty());
}

TEST_F(ScanControllerTest, StopDuringASweepAndAStaleNotice)
{
    controller.Start();
    ASSERT_EQ(controller.Step(), ScanStep::FindingNodes);
    controller.Stop();
    EXPECT_TRUE(engine.calls.contains(u"stopsweep"_s));
    EXPECT_EQ(events.lines.last(), u"close"_s);
    EXPECT_EQ(view.panels[0], u"READY"_s);
    // The sender had passed its last stop check and reports its end anyway.
    engine.FinishSweep();
    EXPECT_FALSE(controller.CycleTimer().isActive());

    // A notice of the earlier scan's sweep arriving during a new scan.
    const std::uint64_t stale = engine.sweep;
    controller.Start();
    ASSERT_TRUE(controller.Running());
    EXPECT_NE(engine.sweep, stale);
    controller.RestartCycleTimer(stale);
    EXPECT_FALSE(controller.CycleTimer().isActive());
    engine.FinishSweep();
    EXPECT_TRUE(controller.CycleTimer().isActive());
}

// With rate pacing a scanning step asks exactly its silent tests again: .5
// answers Br and B47, .6 only the finding sweep of cycle 1. (What stays
// silent is judged as before: cycles_threads_test.)
TEST_F(ScanControllerTest, PacedStepAsksExactlyItsSilentTestsAgain)
{
    settings.values.sendRate = 20000;
    const QString a = u"10.77.0.5"_s;
    const QString b = u"10.77.0.6"_s;
    // Ends the scanning step, whose recheck gets these answers of a.
    const auto recheck = [&](const QString &ip, std::initializer_list<int> answers) {
        engine.FinishSweep();
        controller.OnCycleTimer();
        EXPECT_TRUE(controller.Rechecking());
        EXPECT_EQ(engine.calls.last(), u"recheck3"_s);
        const std::vector<RecheckTarget> asked = engine.rechecked;
        for (int column : answers)
            Reply(ip, column);
        engine.FinishSweep();
        EXPECT_TRUE(controller.CycleTimer().isActive());
        controller.OnCycleTimer();
        EXPECT_FALSE(controller.Rechecking());
        return asked;
    };
    controller.Start();
    Reply(a, 2);
    Reply(b, 2);
    engine.FinishSweep();
    controller.OnCycleTimer(); // -> 3
    Reply(a, 2);
    Reply(a, 3);
    // Cycle 1: .6 was found but its Br answer was lost, so it is asked all
    // it did not answer; its answer then flags it in this cycle.
    std::vector<RecheckTarget> asked = recheck(b, {2, 4});
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].address, 0x0A4D0006u);
    EXPECT_EQ(asked[0].tests, settings.values.tests);
    EXPECT_EQ(controller.CycleCount(), 1);
    EXPECT_EQ(events.Count(u"SUSPECT"_s), 2);

    // Cycle 2: .5's answers were lost and come to the recheck.
    controller.OnCycleTimer(); // -> 2
    engine.FinishSweep();
    controller.OnCycleTimer(); // -> 3
    Reply(b, 2);
    Reply(b, 4);
    asked = recheck(a, {2, 3});
    ASSERT_EQ(asked.size(), 1u);
    TestFlags answeredByA{};
    answeredByA[0] = answeredByA[1] = true;
    EXPECT_EQ(asked[0].tests, answeredByA);
    EXPECT_EQ(events.Count(u"+"_s) + events.Count(u"DOWN"_s), 0);
    EXPECT_EQ(controller.CycleCount(), 2);
}

TEST_F(ScanControllerTest, StopWhileIdleRepeatsTheEndDisplay)
{
    view.panels[1] = u"x"_s;
    controller.Stop();
    EXPECT_EQ(view.panels[0], u"READY"_s);
    EXPECT_EQ(view.panels[1], QString());
    EXPECT_TRUE(engine.calls.isEmpty());
}

TEST_F(ScanControllerTest, CyclicScanAcrossMidnightRestartsOnce)
{
    settings.values.listMode = false;
    clock.Set(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 50)));
    QSignalSpy dayChanges(&controller, &ScanController::dayChanged);
    controller.Start();
    auto runCycle = [&] {
        controller.OnCycleTimer(); // skipped finding step -> scanning sweep
        engine.FinishSweep();
        controller.OnCycleTimer(); // evaluation and cycle end
    };
    runCycle();
    EXPECT_EQ(controller.CycleCount(), 1);
    controller.OnCycleTimer(); // next cycle begins: skipped finding step
    controller.OnCycleTimer(); // scanning sweep
    clock.Set(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 5)));
    engine.FinishSweep();
    controller.OnCycleTimer(); // cycle ends on the new date
    EXPECT_EQ(controller.Step(), ScanStep::EndOfCycle);
    EXPECT_TRUE(controller.DayChanged());
    EXPECT_TRUE(controller.RestartTimer().isActive());
    EXPECT_EQ(controller.RestartTimer().interval(), 2000);
    EXPECT_FALSE(controller.CycleTimer().isActive());
    EXPECT_EQ(events.Count(u"cycle"_s), 1);

    controller.OnRestartTimer(); // the restart
    EXPECT_FALSE(controller.RestartTimer().isActive());
    EXPECT_TRUE(controller.Running());
    EXPECT_EQ(controller.CycleCount(), 0);
    EXPECT_EQ(controller.ScanStartDate(), QDate(2026, 12, 7));
    EXPECT_EQ(events.Count(u"start"_s), 2);
    EXPECT_EQ(events.Count(u"open"_s), 2);
    runCycle();
    EXPECT_EQ(controller.CycleCount(), 1);
    EXPECT_FALSE(controller.RestartTimer().isActive());
    EXPECT_EQ(engine.calls.count(u"open"_s), 2);
    // The new day's file is renewed once; the first cycle on the new date
    // ends the change.
    ASSERT_EQ(dayChanges.size(), 2);
    EXPECT_TRUE(dayChanges[0][0].toBool());
    EXPECT_FALSE(dayChanges[1][0].toBool());
}

TEST_F(ScanControllerTest, AutomaticStartRunsTheStartTenSecondsLater)
{
    view.rangeEnabled = false; // as the main window leaves them for "auto"
    controller.ArmAutomaticStart();
    EXPECT_TRUE(controller.RestartTimer().isActive());
    EXPECT_EQ(controller.RestartTimer().interval(), 10000);
    controller.OnRestartTimer();
    EXPECT_FALSE(controller.RestartTimer().isActive());
    EXPECT_TRUE(controller.Running());
    EXPECT_EQ(engine.calls.first(), u"open"_s);
}

} // namespace

namespace {

struct ConfirmedCase
{
    int answers;
    const char16_t *verdict;
    bool alerted;
};

class ScanControllerConfirmTest : public ScanControllerTest,
                                  public testing::WithParamInterface<ConfirmedCase>
{
};

// A node normal in cycle 1 answers B47 in cycle 2 and again in cycle 3 as a
// new node would: the verdict, not the marks, decides the lines and alerts.
TEST_P(ScanControllerConfirmTest, VerdictFollowsSuspectAndUpAndGatesTheAlert)
{
    settings.values.confirmSuspects = true;
    settings.values.listMode = false;
    const QString ip = u"10.77.0.9"_s;
    const auto sweep = [&](bool promiscuous) {
        controller.OnCycleTimer(); // the skipped node-finding step
        controller.OnCycleTimer(); // the scanning sweep
        Reply(ip, 2);
        if (promiscuous) {
            Reply(ip, 3);
            Confirm(ip, GetParam().answers);
        }
        engine.FinishSweep();
        controller.OnCycleTimer();
    };
    controller.Start();
    controller.OnCycleTimer();
    Reply(ip, 2);
    Reply(ip, 4);
    Confirm(ip, GetParam().answers);
    engine.FinishSweep();
    controller.OnCycleTimer(); // cycle 1: a new suspect, judged at once
    const bool alerted = GetParam().alerted;
    const QString verdict =
        QString::fromUtf16(GetParam().verdict) + u' ' + QString::number(GetParam().answers);
    QStringList cycle1{u"SUSPECT 4 10.77.0.9"_s};
    if (alerted)
        cycle1 << u"UP 4 10.77.0.9"_s;
    cycle1 << verdict + u" 10.77.0.9"_s << u"cycle 1"_s;
    EXPECT_EQ(events.lines.mid(2), cycle1);
    EXPECT_EQ(alerts, alerted ? QStringList{u"START 10.77.0.9"_s} : QStringList());
    EXPECT_EQ(nodes.ReportedVerdict(*IpAddress::FromText(ip)),
              alerted ? ConfirmationVerdict::Confirmed : ConfirmationVerdict::FilterMatch);

    events.lines.clear();
    alerts.clear();
    sweep(false); // cycle 2: B16 silent, Br answered: the verdict falls back
    EXPECT_EQ(events.lines,
              alerted ? (QStringList{u"+ 4 10.77.0.9"_s, u"DOWN 4 10.77.0.9"_s, u"cycle 2"_s})
                      : (QStringList{u"+ 4 10.77.0.9"_s, u"cycle 2"_s}));
    EXPECT_EQ(alerts, alerted ? QStringList{u"STOP 10.77.0.9"_s} : QStringList());
    events.lines.clear();
    alerts.clear();
    sweep(true); // cycle 3: B47 again
    EXPECT_EQ(events.lines,
              alerted ? (QStringList{u"UP 3 10.77.0.9"_s, verdict + u" 10.77.0.9"_s, u"cycle 3"_s})
                      : (QStringList{verdict + u" 10.77.0.9"_s, u"cycle 3"_s}));
    EXPECT_EQ(alerts, alerted ? QStringList{u"START 10.77.0.9"_s} : QStringList());
}

INSTANTIATE_TEST_SUITE_P(Answers, ScanControllerConfirmTest,
                         testing::Values(ConfirmedCase{192, u"CONFIRMED", true},
                                         ConfirmedCase{188, u"CONFIRMED", true},
                                         ConfirmedCase{170, u"FILTER-MATCH", false},
                                         ConfirmedCase{0, u"FILTER-MATCH", false}));

// What one node does in one cycle of a scan with confirmation.
struct NodeCycle
{
    // The tests it answers in the scanning sweep (columns).
    std::vector<int> answers;
    // Group probes of the batch answered; -1 when none was sent.
    int confirmed = -1;
    // Frames the capture lost in the cycle.
    quint64 dropped = 0;
    // Heard only through a reply without a mark (a confirmation answer).
    bool heardOnly = false;
    // Controls of the batch answered.
    int controls = ConfirmationControlCount;
};

struct VerdictScenario
{
    const char *name;
    std::vector<NodeCycle> cycles;
    // Per cycle: the alert window's lines and the verdict and loss lines
    // ("UP", "DOWN", "CONFIRMED", "FILTER-MATCH" and the Br loss "+ 2").
    std::vector<QStringList> expected;
};

void PrintTo(const VerdictScenario &scenario, std::ostream *os)
{
    *os << scenario.name;
}

class VerdictsOverCycles : public ScanControllerTest,
                           public testing::WithParamInterface<VerdictScenario>
{
  protected:
    void RunCycle(const NodeCycle &cycle)
    {
        if (controller.CycleCount() > 0)
            controller.OnCycleTimer(); // the next cycle's skipped finding step
        controller.OnCycleTimer();     // the scanning sweep
        ASSERT_EQ(controller.Step(), ScanStep::Scanning);
        for (int column : cycle.answers)
            Reply(Ip, column);
        const IpAddress ip = *IpAddress::FromText(Ip);
        if (cycle.heardOnly)
            nodes.NoteHeard(*nodes.Find(ip), 1);
        if (cycle.confirmed >= 0)
            Confirm(Ip, cycle.confirmed, cycle.controls);
        engine.FinishSweep();
        engine.tally.dropped += cycle.dropped;
        controller.OnCycleTimer();
    }

    // The lines that tell verdicts, alerts and node losses, then clears them.
    QStringList TakeVerdictLines()
    {
        QStringList taken = alerts;
        for (const QString &line : std::as_const(events.lines)) {
            const QString word = line.section(u' ', 0, 0);
            if (word == u"UP" || word == u"DOWN" || word == u"CONFIRMED" ||
                word == u"FILTER-MATCH" || line.startsWith(u"+ 2 "_s))
                taken << line.section(u' ', 0, 1);
        }
        alerts.clear();
        events.lines.clear();
        return taken;
    }

    static inline const QString Ip = u"10.77.0.9"_s;
};

// Br 2, B47 3, B8 5, M0 7, M1 8, M3 9.
const NodeCycle Normal{{2, 8}};
const NodeCycle Sniffer{{2, 3, 5, 7, 8}, ConfirmationProbeCount};
const NodeCycle Silent{{}};

TEST_P(VerdictsOverCycles, OneAlertPerChangeOfTheVerdict)
{
    settings.values.confirmSuspects = true;
    settings.values.listMode = false;
    // Br to M3.
    std::fill_n(settings.values.tests.begin(), 8, true);
    controller.Start();
    ASSERT_TRUE(controller.Running());
    const VerdictScenario &scenario = GetParam();
    ASSERT_EQ(scenario.cycles.size(), scenario.expected.size());
    for (size_t i = 0; i < scenario.cycles.size(); ++i) {
        RunCycle(scenario.cycles[i]);
        EXPECT_EQ(TakeVerdictLines(), scenario.expected[i]) << "cycle " << i + 1;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, VerdictsOverCycles,
    testing::Values(
        // Promiscuous from the start: one START in cycle 1, nothing after.
        VerdictScenario{"PromiscuousFromTheStart",
                        {Sniffer, Sniffer, Sniffer, Sniffer},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s}, {}, {}, {}}},
        // Turns promiscuous in cycle 3 and back in cycle 5.
        VerdictScenario{"Episode",
                        {Normal, Normal, Sniffer, Sniffer, Normal, Normal},
                        {{},
                         {},
                         {u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s},
                         {},
                         {u"STOP 10.77.0.9"_s, u"DOWN 3"_s},
                         {}}},
        // Behind a lossy link group probes and controls come short alike:
        // the evidence grows over cycles and the verdict reached in a later
        // cycle is reported then; a batch whose controls were all lost and
        // a lossy batch afterwards do not take it back.
        VerdictScenario{"ReachedInALaterCycle",
                        {{{2, 3, 7}, 120, 0, false, 40},
                         {{2, 5}, 120, 0, false, 40},
                         {{3}, 0, 0, false, 0},
                         {{2, 7}, 130, 0, false, 40}},
                        {{}, {u"START 10.77.0.9"_s, u"UP 5"_s, u"CONFIRMED 120"_s}, {}, {}}},
        // A confirmed node whose group answers fall clearly behind its
        // controls while it still answers an illegal test falls back: STOP.
        VerdictScenario{"FallsBackToAFilterMatch",
                        {Sniffer, {{2, 3}, 96}, {{2, 3}, 90}},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s},
                         {u"STOP 10.77.0.9"_s, u"DOWN 3"_s, u"FILTER-MATCH 96"_s},
                         {}}},
        // Single tests falling silent, M1 and Br included, stop nothing while
        // the node answers other illegal tests; Br silence with other
        // answers is no loss.
        VerdictScenario{"SingleSilencesStopNothing",
                        {Sniffer, {{2, 5, 7}, 192}, {{3}, 190}, {{2, 5}, 188}},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s}, {}, {}, {}}},
        // Gone silent: lost (Br OFF), not stopped; back promiscuous it raises
        // a new START.
        VerdictScenario{"LostAndBack",
                        {Sniffer, Silent, Sniffer},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s},
                         {u"+ 2"_s},
                         {u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s}}},
        // A node heard only through replies without marks is alive.
        VerdictScenario{"HeardWithoutMarks",
                        {Sniffer, {{}, -1, 0, true}, Sniffer},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s},
                         {u"STOP 10.77.0.9"_s, u"DOWN 3"_s},
                         {u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s}}},
        // A hash-filter coincidence never alerts, and says so once per
        // stretch of answers.
        VerdictScenario{"FilterMatchNeverAlerts",
                        {{{2, 9}, 30}, {{2, 9}, 60}, {{2, 8}}, {{2, 9}, 20}},
                        {{u"FILTER-MATCH 30"_s}, {}, {}, {u"FILTER-MATCH 20"_s}}},
        // Silences of a cycle whose frames the capture lost are not judged.
        VerdictScenario{"DroppedFramesJudgeNoSilence",
                        {Sniffer, {{2, 8}, -1, 5}, {{}, -1, 3}, Normal},
                        {{u"START 10.77.0.9"_s, u"UP 3"_s, u"CONFIRMED 192"_s},
                         {},
                         {},
                         {u"STOP 10.77.0.9"_s, u"DOWN 3"_s}}}),
    [](const auto &info) { return std::string(info.param.name); });

// A node whose Br answer went missing keeps it when it answered anything
// else: no NODE LOST, and the next cycle's Br answer is no new node.
TEST_F(ScanControllerTest, BroadcastSilenceOfALiveNodeKeepsItsAnswer)
{
    settings.values.confirmSuspects = true;
    settings.values.listMode = false;
    settings.values.tests[size_t(8 - FirstResultColumn)] = true; // M1
    controller.Start();
    controller.OnCycleTimer();
    Reply(u"10.77.0.9"_s, 2);
    Reply(u"10.77.0.9"_s, 8);
    engine.FinishSweep();
    controller.OnCycleTimer();
    events.lines.clear();
    controller.OnCycleTimer();
    controller.OnCycleTimer();
    Reply(u"10.77.0.9"_s, 8); // Br lost, M1 answered
    engine.FinishSweep();
    controller.OnCycleTimer();
    EXPECT_EQ(events.lines, QStringList{u"cycle 2"_s});
    EXPECT_EQ(Cell(0, 2), u"O"_s);
    EXPECT_EQ(Cell(0, 8), u"O"_s);
}

// With confirmation a node heard in a later cycle without its Br answer is
// asked every test it did not answer, as a node of the first cycle is.
TEST_F(ScanControllerTest, PacedRecheckAsksALiveNodeWithoutBrEveryTest)
{
    settings.values.confirmSuspects = true;
    settings.values.listMode = false;
    settings.values.sendRate = 20000;
    controller.Start();
    controller.OnCycleTimer();
    Reply(u"10.77.0.9"_s, 2);
    engine.FinishSweep();
    controller.OnCycleTimer(); // cycle 1: nothing silent, no recheck
    ASSERT_EQ(controller.CycleCount(), 1);
    controller.OnCycleTimer();
    controller.OnCycleTimer();
    Reply(u"10.77.0.9"_s, 5); // B8 answered, Br lost
    engine.FinishSweep();
    controller.OnCycleTimer();
    ASSERT_TRUE(controller.Rechecking());
    ASSERT_EQ(engine.rechecked.size(), 1u);
    TestFlags expected = settings.values.tests;
    expected[size_t(5 - FirstResultColumn)] = false;
    EXPECT_EQ(engine.rechecked[0].tests, expected);
}

} // namespace
