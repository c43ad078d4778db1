#pragma once

#include "config/clock.h"
#include "config/settings.h"
#include "core/node.h"
#include "core/scanengine.h"

#include <QDate>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace keelwatch {

class EventLogFile;
class NodeList;
class ScanEvents;
class ScanView;

// Runs scans as timed steps: a cycle is an optional node-finding sweep (List
// Mode), a scanning sweep and an end-of-cycle step, each followed by one Scan
// Timer interval. Lives on the main thread.
class ScanController : public QObject
{
    Q_OBJECT

  public:
    struct Parts
    {
        const LiveSettings &settings;
        NodeList &nodes;
        ScanEngine &engine;
        ScanView &view;
        ScanEvents &events;
        EventLogFile &log;
        const Clock &clock;
    };

    explicit ScanController(Parts parts, QObject *parent = nullptr);
    ~ScanController() override;

    // A launch with "auto": the scan starts when the restart timer fires ten
    // seconds later, with the restored settings.
    void ArmAutomaticStart();

    // The user's Start and Stop.
    void Start();
    void Stop();
    // One Scan Timer interval after a step: once every reply captured until
    // now is classified, evaluate and take the next step.
    void OnCycleTimer();
    // More captured replies were classified: a step that waits for them may
    // end.
    void OnRepliesClassified();
    // The automatic start, and the new scan of a new day: end the scan and
    // start afresh.
    void OnRestartTimer();
    void AdvanceScanStep();
    void EndScan();
    void LockScanControls();
    // Without judgeLosses a node that stopped answering raises nothing.
    void EvaluateCycle(bool judgeLosses = true);
    void ReportLostResponses();
    // A probe sender has finished the sweep with this id.
    void RestartCycleTimer(std::uint64_t sweep);
    // The program ends: no further step, and the workers are told to stop.
    // Their owner joins them when it goes.
    void Shutdown();

  Q_SIGNALS:
    // DayChanged() changed: the event log renews its file for the new day's
    // scan.
    void dayChanged(bool changed);

  public:
    ScanStep Step() const { return scanStep.load(); }
    int CycleCount() const { return cycleCount; }
    QDate ScanStartDate() const { return scanStartDate; }
    bool Running() const { return running; }
    // The Scan Timer has run out and the step waits for replies still being
    // classified.
    bool AwaitingReplies() const { return awaitedReplies.has_value(); }
    // The scanning step asks its silent tests again before it ends.
    bool Rechecking() const { return rechecking; }
    // Set when a cycle ends on a later date than the scan's start, until a
    // cycle ends on the scan's date again.
    bool DayChanged() const { return dayChange; }
    const QTimer &CycleTimer() const { return cycleTimer; }
    const QTimer &RestartTimer() const { return restartTimer; }
    const ScanSnapshot &Snapshot() const { return scan; }

  private:
    // Start up to the first sweep; false when the start was refused.
    bool TryStart();
    bool PassStartChecks(Settings &s);
    bool OpenCapture();
    void StartSweep();
    // The step's evaluation and the next step; tally is the capture's count
    // now.
    void EndStep(const CaptureTally &tally);
    // With rate pacing on, a cyclic scanning step sends the tests that fell
    // silent once more before it judges them; false when there are none.
    bool RecheckSilences();
    // The tests answered last cycle and silent in this one, by address.
    std::vector<RecheckTarget> SilentTests() const;
    // With confirmation the verdicts, not the marks, drive the alerts: each
    // cycle's batch is weighed into the node's evidence; a node whose
    // verdict becomes confirmed raises START with its CONFIRMED line, a
    // confirmed node that falls back (to a filter match, or answering no
    // illegal test) raises STOP, a node gone silent is lost and forgets its
    // verdict and evidence. Each once per change.
    void JudgeVerdicts(bool judgeLosses);
    void JudgeVerdict(const Node &node, bool judgeLosses);
    // A node that answered anything keeps its Br answer through the cycle.
    void KeepBroadcastOfLiveNodes();
    int ScanTimerMs() const;
    void SetDayChanged(bool changed);

    Parts parts;
    ScanSnapshot scan;
    std::atomic<ScanStep> scanStep{ScanStep::Start};
    int cycleCount = 0;
    QDate scanStartDate;
    // The range larger than a /16 the user last confirmed.
    std::optional<IpRange> confirmedLargeRange;
    bool dayChange = false;
    bool running = false;
    // Id of the sweep whose end may restart the cycle timer; 0 for none.
    std::uint64_t currentSweep = 0;
    std::uint64_t lastSweep = 0;
    // The relayed count the ending step waits for the classification of.
    std::optional<quint64> awaitedReplies;
    // The step's recheck was sent; its end ends the step.
    bool rechecking = false;
    // The capture's loss count at the last scanning step's end.
    quint64 droppedBefore = 0;
    quint64 failedBefore = 0;
    // The capture's rejected replies at the last scanning step's end.
    quint64 rejectedBefore = 0;
    QTimer cycleTimer;
    QTimer restartTimer;
};

} // namespace keelwatch
