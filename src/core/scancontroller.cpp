#include "core/scancontroller.h"

#include "config/addresstext.h"
#include "core/classifyreply.h"
#include "core/eventlogfile.h"
#include "core/nodelist.h"
#include "core/scanevents.h"
#include "core/scanview.h"
#include "scan/probeframe.h"

#include <algorithm>
#include <climits>
#include <map>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr int AutoStartDelayMs = 10000;
constexpr int SkippedStepMs = 100;

// An answer of this sweep alone, "O" or "X": neither carried over nor on a
// switched-off test.
bool FreshAnswer(const Mark &mark, Answer answer)
{
    return mark.answer == answer && !mark.carried && !mark.off;
}

// An answer of the last cycle heard again, "+O".
bool RepeatedAnswer(const Mark &mark, Answer answer)
{
    return mark.answer == answer && mark.carried && !mark.off;
}

// The node answered something in this cycle: any reply, in any step.
bool Alive(const Node &node)
{
    if (node.heard)
        return true;
    return std::any_of(node.marks.begin(), node.marks.end(),
                       [](const Mark &mark) { return mark.Answered() && !mark.off; });
}

// The first illegal test the node answered in this cycle, or 0.
int AnsweredIllegalColumn(const Node &node)
{
    for (int column = BroadcastColumn + 1; column <= LastResultColumn; ++column) {
        const Mark &mark = node.MarkOf(column);
        if (mark.answer == Answer::Illegal && !mark.off)
            return column;
    }
    return 0;
}

} // namespace

ScanController::ScanController(Parts p, QObject *parent) : QObject(parent), parts(p)
{
    connect(&cycleTimer, &QTimer::timeout, this, &ScanController::OnCycleTimer);
    connect(&restartTimer, &QTimer::timeout, this, &ScanController::OnRestartTimer);
    restartTimer.setInterval(AutoStartDelayMs);
    parts.engine.SetSweepFinishedHandler([this](std::uint64_t sweep) { RestartCycleTimer(sweep); });
    parts.engine.SetRepliesClassifiedHandler([this] { OnRepliesClassified(); });
}

ScanController::~ScanController()
{
    parts.engine.SetSweepFinishedHandler({});
    parts.engine.SetRepliesClassifiedHandler({});
}

void ScanController::ArmAutomaticStart()
{
    restartTimer.start(AutoStartDelayMs);
}

void ScanController::Start()
{
    if (running)
        return;
    // Opening the capture already shows "RUN"; a refused start must not
    // leave that or a capture error behind.
    if (!TryStart())
        parts.view.ShowScanPhase(ScanPhase::Ready);
}

bool ScanController::TryStart()
{
    if (parts.settings.Read().cyclic)
        parts.view.SwitchBrOn();

    Settings s = parts.settings.Read();
    scanStartDate = parts.clock.Now().date();
    cycleCount = 0;
    awaitedReplies.reset();
    rechecking = false;
    droppedBefore = 0;
    failedBefore = 0;
    rejectedBefore = 0;
    parts.view.ShowTestColumns(s.showAll, s.tests);
    if (!PassStartChecks(s))
        return false;

    // The checks above leave an own MAC and a range.
    const IpRange range = *s.Range();
    scan.settings = s;
    scan.rangeStart = range.first.ToIpv4();
    scan.rangeEnd = range.last.ToIpv4();
    scan.probeSourceMacs = BuildProbeSourceMacs(*s.ownMac);

    if (!OpenCapture())
        return false;
    parts.engine.StartCapture(scan, scanStep);
    running = true;

    cycleTimer.stop();
    cycleTimer.setInterval(ScanTimerMs());
    scanStep = ScanStep::Start;
    LockScanControls();
    parts.nodes.ClearResults();
    parts.nodes.MarkScanOffAll(s.tests);
    if (s.cyclic) {
        parts.log.OpenEventLog();
        Q_EMIT parts.events.scanStarted();
    }
    AdvanceScanStep();
    return true;
}

bool ScanController::PassStartChecks(Settings &s)
{
    if (!s.ownMac) {
        parts.view.ShowSetup();
        return false;
    }
    for (int column : {Sp1Column, Sp2Column}) {
        if (s.TestEnabled(column) && !s.TestDestination(column)) {
            parts.view.ShowSetup();
            return false;
        }
    }
    if (!s.ownIp) {
        // Without an interface there is no own IP to take from it either:
        // the interface is what to set first.
        parts.view.ShowMessage(s.adapter.name.isEmpty()
                                   ? tr("Netword Interface should be selected.")
                                   : tr("IP address should be set"));
        parts.view.ShowSetup();
        return false;
    }
    if (s.adapter.name.isEmpty()) {
        parts.view.ShowMessage(tr("Netword Interface should be selected."));
        parts.view.ShowSetup();
        return false;
    }
    // ARP probes are Ethernet frames; another link would carry none.
    if (!s.adapter.ethernet) {
        parts.view.ShowMessage(tr("%1 is no Ethernet interface.").arg(s.adapter.name));
        parts.view.ShowSetup();
        return false;
    }
    // A range text restored from the settings has not passed the fields'
    // own check; it is emptied as that check would.
    for (bool to : {false, true}) {
        QString &text = to ? s.to : s.from;
        if (!text.isEmpty() && !IpFromText(text)) {
            text.clear();
            parts.view.SetRangeText(to, text);
        }
    }
    if (s.from.isEmpty() || s.to.isEmpty()) {
        parts.view.ShowMessage(tr("IP Address range should be specified."));
        return false;
    }
    const std::optional<IpRange> range = s.Range();
    if (!range) {
        parts.view.ShowMessage(tr("Wrong IP addres range."));
        return false;
    }
    // Asked once per range, so the restarts of a confirmed scan go on alone.
    if (range->Count() > LargestPlainRange && range != confirmedLargeRange) {
        if (!parts.view.ConfirmLargeRange(range->Count()))
            return false;
        confirmedLargeRange = range;
    }
    return true;
}

bool ScanController::OpenCapture()
{
    QString reason;
    if (!parts.engine.OpenCaptureAdapter(scan, reason)) {
        QString text = tr("libpcap cannot open the adapter.");
        if (!reason.isEmpty())
            text += u'\n' + reason;
        parts.view.ShowMessage(text);
        return false;
    }
    int error = 0;
    if (!parts.engine.CreateCapturePipe(error)) {
        // Ending the program here would lose the node table and unsaved
        // comments; the start is abandoned instead.
        parts.engine.AbandonCapture();
        parts.view.ShowMessage(tr("Error%1").arg(error));
        return false;
    }
    return true;
}

void ScanController::Stop()
{
    EndScan();
    cycleTimer.stop();
    restartTimer.stop();
    if (currentSweep != 0) {
        parts.engine.StopSweep();
        currentSweep = 0;
    }
    parts.log.CloseEventLog();
}

void ScanController::OnCycleTimer()
{
    // Replies captured up to now belong to the step that ends here, however
    // far behind a busy main thread is with classifying them.
    cycleTimer.stop();
    const CaptureTally tally = parts.engine.Tally();
    if (tally.handled < tally.relayed) {
        awaitedReplies = tally.relayed;
        return;
    }
    EndStep(tally);
}

void ScanController::OnRepliesClassified()
{
    if (!awaitedReplies || !running)
        return;
    const CaptureTally tally = parts.engine.Tally();
    if (tally.handled < *awaitedReplies)
        return;
    awaitedReplies.reset();
    EndStep(tally);
}

void ScanController::EndStep(const CaptureTally &tally)
{
    // A probe or its answer lost on a busy segment is no node gone: a
    // silence is asked again before it is judged.
    const ScanStep step = scanStep;
    if (step == ScanStep::Scanning && !rechecking && RecheckSilences())
        return;
    rechecking = false;
    const bool cyclic = scan.settings.cyclic;
    // Any node's reply may have been among frames the capture lost, so the
    // scanning step's silences are not judged then; answers still are.
    bool judgeLosses = true;
    if (step == ScanStep::Scanning) {
        const quint64 dropped = tally.dropped - droppedBefore;
        droppedBefore = tally.dropped;
        // Nor when the capture failed: a broken capture is no silent range.
        const quint64 failed = tally.failedReceives - failedBefore;
        failedBefore = tally.failedReceives;
        judgeLosses = dropped == 0 && failed == 0;
        if (!judgeLosses)
            Q_EMIT parts.events.framesDropped(int(std::min<quint64>(dropped, INT_MAX)));
        // Rejected replies change no result, so they only leave a line.
        const quint64 rejected = tally.rejected - rejectedBefore;
        rejectedBefore = tally.rejected;
        if (rejected > 0)
            Q_EMIT parts.events.repliesRejected(int(std::min<quint64>(rejected, INT_MAX)));
    }
    if (cyclic && step != ScanStep::FindingNodes && judgeLosses)
        ReportLostResponses();
    if (step == ScanStep::Scanning)
        EvaluateCycle(judgeLosses);
    if (cyclic && step != ScanStep::FindingNodes) {
        if (!judgeLosses)
            parts.nodes.RestoreUnansweredMarks(scan.settings.format);
        else if (scan.settings.confirmSuspects)
            KeepBroadcastOfLiveNodes();
        parts.nodes.SettleMarks();
    }
    AdvanceScanStep();
}

bool ScanController::RecheckSilences()
{
    // Without pacing the probes on the wire stay exactly as they were.
    if (!scan.settings.cyclic || scan.settings.sendRate <= 0)
        return false;
    std::vector<RecheckTarget> targets = SilentTests();
    if (targets.empty())
        return false;
    // The recheck's end starts the cycle timer as a sweep's does: the
    // answers get the same Scan Timer wait and classification handshake.
    rechecking = true;
    currentSweep = ++lastSweep;
    parts.engine.StartRecheck(scan, scanStep, std::move(targets), currentSweep);
    return true;
}

std::vector<RecheckTarget> ScanController::SilentTests() const
{
    const Settings &s = scan.settings;
    std::map<quint32, TestFlags> asked;
    for (const Node &node : parts.nodes.All()) {
        const quint32 address = node.ip.ToIpv4();
        if (!node.ip.IsIpv4() || address < scan.rangeStart || address > scan.rangeEnd)
            continue;
        // The first cycle carries nothing over, but a node found without a
        // Br answer in it lost that answer: it is asked whatever it did not
        // answer, so that a sniffer is still flagged in the first cycle.
        // With confirmation so is a node heard in any cycle without its Br.
        const bool unheard = s.TestEnabled(BroadcastColumn) &&
                             !node.MarkOf(BroadcastColumn).Answered() &&
                             (cycleCount == 0 ? node.MarkOf(BroadcastColumn).IsEmpty()
                                              : s.confirmSuspects && Alive(node));
        TestFlags tests{};
        bool any = false;
        for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
            const Mark &mark = node.MarkOf(column);
            const bool silent = (mark.Waiting() && !mark.off) ||
                                (unheard && !mark.Answered() && !mark.off && s.TestEnabled(column));
            tests[size_t(column - FirstResultColumn)] = silent;
            any |= silent;
        }
        if (!any)
            continue;
        // Nodes that share an address get one recheck: any answer reaches
        // the node the address finds.
        TestFlags &flags = asked[address];
        for (size_t i = 0; i < flags.size(); ++i)
            flags[i] = flags[i] || tests[i];
    }
    std::vector<RecheckTarget> targets;
    targets.reserve(asked.size());
    for (const auto &[address, tests] : asked)
        targets.push_back({address, tests});
    return targets;
}

void ScanController::OnRestartTimer()
{
    EndScan();
    restartTimer.stop();
    Start();
}

void ScanController::AdvanceScanStep()
{
    cycleTimer.stop();
    const ScanStep step = ScanStep(int(scanStep.load()) + 1);
    scanStep = step;
    const Settings &s = scan.settings;
    if (step == ScanStep::FindingNodes)
        parts.nodes.ForgetHeard();
    if (!s.listMode && step == ScanStep::FindingNodes) {
        cycleTimer.start(SkippedStepMs);
        return;
    }
    cycleTimer.setInterval(ScanTimerMs());
    if (step != ScanStep::EndOfCycle) {
        if (s.cyclic && step == ScanStep::Scanning)
            parts.nodes.CarryOverMarks();
        parts.view.ShowScanPhase(step == ScanStep::FindingNodes ? ScanPhase::FindingNodes
                                                                : ScanPhase::Scanning);
        StartSweep();
        return;
    }
    if (s.cyclic && parts.clock.Now().date() > scanStartDate) {
        restartTimer.start(ScanTimerMs());
        SetDayChanged(true);
    } else if (s.cyclic) {
        scanStep = ScanStep::Start;
        ++cycleCount;
        Q_EMIT parts.events.cycleEnded(cycleCount);
        cycleTimer.start();
        SetDayChanged(false);
    } else {
        EndScan();
    }
}

void ScanController::StartSweep()
{
    currentSweep = ++lastSweep;
    parts.engine.StartSweep(scan, scanStep, currentSweep);
}

void ScanController::RestartCycleTimer(std::uint64_t sweep)
{
    // A notice from a sweep that was stopped, or from an earlier scan, must
    // not restart the cycle.
    if (sweep == 0 || sweep != currentSweep || !running)
        return;
    currentSweep = 0;
    cycleTimer.stop();
    cycleTimer.start();
}

void ScanController::EndScan()
{
    awaitedReplies.reset();
    rechecking = false;
    parts.view.EnableSetupGroups(true);
    parts.view.EnableRangeControls(true);
    if (running) {
        parts.engine.StopCapture();
        running = false;
    }
    parts.view.ShowScanPhase(ScanPhase::Ready);
}

void ScanController::LockScanControls()
{
    parts.view.EnableSetupGroups(false);
    parts.view.EnableRangeControls(false);
    parts.view.ShowScanMode();
}

void ScanController::EvaluateCycle(bool judgeLosses)
{
    const NodeList &nodes = parts.nodes;
    const bool confirm = scan.settings.confirmSuspects;
    const int count = nodes.Count();
    for (int i = 0; i < count; ++i) {
        const Node &node = nodes.At(i);
        if (!FreshAnswer(node.MarkOf(BroadcastColumn), Answer::Normal))
            continue;
        for (int column = BroadcastColumn + 1; column <= LastResultColumn; ++column) {
            if (FreshAnswer(node.MarkOf(column), Answer::Illegal)) {
                Q_EMIT parts.events.suspectFound(node, column);
                break;
            }
        }
    }
    if (confirm) {
        JudgeVerdicts(judgeLosses);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const Node &node = nodes.At(i);
        if (!RepeatedAnswer(node.MarkOf(BroadcastColumn), Answer::Normal))
            continue;
        for (int column = BroadcastColumn + 1; column <= LastResultColumn; ++column) {
            const Mark &mark = node.MarkOf(column);
            if (mark.Waiting() && !mark.off) {
                if (judgeLosses)
                    Q_EMIT parts.events.promiscuousStopped(node, column);
                break;
            }
            if (FreshAnswer(mark, Answer::Illegal)) {
                Q_EMIT parts.events.promiscuousStarted(node, column);
                break;
            }
        }
    }
}

void ScanController::JudgeVerdicts(bool judgeLosses)
{
    NodeList &nodes = parts.nodes;
    for (int i = 0; i < nodes.Count(); ++i) {
        const Node &node = nodes.At(i);
        // Nodes that share an IP share its verdict: the one its replies
        // reach is judged.
        if (nodes.Find(node.ip) == i)
            JudgeVerdict(node, judgeLosses);
    }
}

void ScanController::JudgeVerdict(const Node &node, bool judgeLosses)
{
    NodeList &nodes = parts.nodes;
    const ConfirmationVerdict standing = nodes.ReportedVerdict(node.ip);
    if (!Alive(node)) {
        // Gone silent: lost, not stopped. Back again it is judged afresh.
        if (judgeLosses)
            nodes.SetReportedVerdict(node.ip, ConfirmationVerdict::None);
        return;
    }
    if (const int column = AnsweredIllegalColumn(node)) {
        // The evidence of the batches so far: between its bounds, or after a
        // batch whose controls went unanswered, whatever stood stays.
        const std::optional<ConfirmationVerdict> verdict = nodes.WeighConfirmation(node.ip);
        if (!verdict || *verdict == ConfirmationVerdict::None || *verdict == standing)
            return;
        nodes.SetReportedVerdict(node.ip, *verdict);
        if (*verdict == ConfirmationVerdict::Confirmed)
            Q_EMIT parts.events.promiscuousStarted(node, column);
        else if (standing == ConfirmationVerdict::Confirmed)
            Q_EMIT parts.events.promiscuousStopped(node, column);
        Q_EMIT parts.events.verdictReached(node, *verdict,
                                           nodes.ConfirmationAnswers(node.ip).value_or(0));
        return;
    }
    // Alive without any illegal answer: whatever stood has fallen back,
    // unless the capture lost frames the answers may have been among.
    if (!judgeLosses || standing == ConfirmationVerdict::None)
        return;
    nodes.SetReportedVerdict(node.ip, ConfirmationVerdict::None);
    if (standing == ConfirmationVerdict::Confirmed)
        Q_EMIT parts.events.promiscuousStopped(node, node.FirstSilentIllegalColumn());
}

void ScanController::ReportLostResponses()
{
    const NodeList &nodes = parts.nodes;
    // With confirmation a node that answered anything in the cycle is alive:
    // its Br silence is no loss.
    const bool confirm = scan.settings.confirmSuspects;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        for (const Node &node : nodes.All()) {
            const Mark &mark = node.MarkOf(column);
            if (!mark.Waiting() || mark.off)
                continue;
            if (confirm && column == BroadcastColumn && Alive(node))
                continue;
            Q_EMIT parts.events.responseLost(node, column);
        }
    }
}

void ScanController::KeepBroadcastOfLiveNodes()
{
    NodeList &nodes = parts.nodes;
    for (int i = 0; i < nodes.Count(); ++i) {
        if (Alive(nodes.At(i)))
            nodes.RestoreUnansweredMark(i, BroadcastColumn, scan.settings.format);
    }
}

void ScanController::Shutdown()
{
    awaitedReplies.reset();
    rechecking = false;
    cycleTimer.stop();
    restartTimer.stop();
    currentSweep = 0;
    running = false;
    parts.engine.StopSweep();
    parts.engine.StopCapture();
}

void ScanController::SetDayChanged(bool changed)
{
    if (std::exchange(dayChange, changed) != changed)
        Q_EMIT dayChanged(changed);
}

int ScanController::ScanTimerMs() const
{
    return scan.settings.scanTimerSeconds * 1000;
}

} // namespace keelwatch
