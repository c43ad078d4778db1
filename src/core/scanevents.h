#pragma once

#include "core/node.h"

#include <QObject>

#include <functional>

namespace keelwatch {

// Everything a scan reports, one signal per kind of event, raised on the main
// thread in the order things happen. The event log, the sensor's JSON
// lines, the alert windows and tests listen; a node is passed as it is at
// that moment, so a listener that writes it later writes what happened.
class ScanEvents : public QObject
{
    Q_OBJECT

  public:
    using QObject::QObject;

  Q_SIGNALS:
    // A cyclic scan started (the log's START banner).
    void scanStarted();
    // A cycle ended; count cycles have ended since the start.
    void cycleEnded(int count);
    // The capture lost frames during the last scanning sweep, so its
    // silences were not judged.
    void framesDropped(int count);
    // Since the last such line, count replies answered no probe of this scan
    // (forged, malformed or for another instance) and were not used.
    void repliesRejected(int count);
    // A reply to source index column came from a new MAC for the node's IP.
    void macChanged(const keelwatch::Node &node, int column);
    // In a cyclic scan, the node answered the test of column afresh.
    void testAnswered(const keelwatch::Node &node, int column, keelwatch::Mark mark);
    // The node did not answer again a test it answered last cycle.
    void responseLost(const keelwatch::Node &node, int column);
    // The node answered Br and the illegal test of column in this sweep.
    void suspectFound(const keelwatch::Node &node, int column);
    // An alert. Without confirmation: a listening node started answering the
    // illegal test of column. With it: the node's verdict became confirmed,
    // column being the first illegal test it answered.
    void promiscuousStarted(const keelwatch::Node &node, int column);
    // An alert. Without confirmation: a listening node stopped answering the
    // test of column. With it: a confirmed node that still answers stopped
    // answering every illegal test, column being the first that fell silent,
    // or its evidence fell to a filter match, column being the illegal test
    // it answered.
    void promiscuousStopped(const keelwatch::Node &node, int column);
    // A suspect's verdict changed; answered of the latest batch's
    // ConfirmationProbeCount group probes.
    void verdictReached(const keelwatch::Node &node, keelwatch::ConfirmationVerdict verdict,
                        int answered);
};

// The kinds of ScanEvents' signals, for listeners that handle every event
// in one place.
enum class ScanEventKind {
    ScanStarted,
    CycleEnded,
    FramesDropped,
    RepliesRejected,
    MacChanged,
    TestAnswered,
    ResponseLost,
    SuspectFound,
    PromiscuousStarted,
    PromiscuousStopped,
    VerdictReached,
};

// The events the promiscuous alert window, the tray and the notifications
// show: the only ones that alert.
constexpr bool RaisesAlert(ScanEventKind kind)
{
    return kind == ScanEventKind::PromiscuousStarted || kind == ScanEventKind::PromiscuousStopped;
}

// One signal of ScanEvents as a value.
struct ScanEvent
{
    ScanEventKind kind = ScanEventKind::ScanStarted;
    // The node as it was; empty for the scan's own events.
    Node node{};
    // The test's column (or source index) of a node event.
    int column = 0;
    // Cycles ended, frames dropped, replies rejected, or confirmation probes
    // answered.
    int count = 0;
    // The new answer of TestAnswered.
    Mark mark{};
    ConfirmationVerdict verdict = ConfirmationVerdict::None;
};

// Hands every signal of events to handler as one ScanEvent, in order, until
// context is destroyed.
void ForwardScanEvents(const ScanEvents &events, const QObject *context,
                       const std::function<void(const ScanEvent &)> &handler);

} // namespace keelwatch
