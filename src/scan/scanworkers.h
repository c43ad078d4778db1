#pragma once

#include "scan/capturechannel.h"
#include "scan/confirmationprobes.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <QList>
#include <QObject>
#include <QSet>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace keelwatch {

class ProbeSender;
class CaptureRelay;
class ConfirmationSender;
class ReplyAnalyser;

// The wire side of a scan, as the scan controller drives it from the main
// thread. A scan runs:
//
//   OpenCaptureAdapter(name, senders, &error)
//                                     Start step 10: the scan's one adapter,
//                                     for its capture and every probe it
//                                     sends from senders; false when it
//                                     cannot be opened; error holds the
//                                     driver's reason for the second line
//                                     under "libpcap cannot open the adapter.".
//   CreateCapturePipe(&code)          Start step 11: false with the system's
//                                     error code ("Error" + code, then quit).
//   StartCapture(inputs, onReplies)   Start step 13: the reply analyser, then
//                                     the capture relay. onReplies gets the
//                                     decoded replies on the main thread, in
//                                     order, for ClassifyReply, a few
//                                     milliseconds' worth per turn of the
//                                     event loop; Tally says how many are
//                                     still on their way.
//   StartSweep(inputs, onFinished)    each sending step: one probe sender;
//                                     returns the sweep id. onFinished(id) is
//                                     the sender's RestartCycleTimer, on the
//                                     main thread; it never comes for a sweep
//                                     that was stopped or replaced, so a late
//                                     notice cannot restart the cycle.
//   StopSweep()                       Stop: the sender ends before its next
//                                     address and is forgotten.
//   StartConfirmations(inputs)        with "Confirm suspects": the sender of
//                                     confirmation probes, idle until
//                                     Confirm(address, mac, groups) queues a
//                                     node's batch.
//   StopCapture()                     EndScan: relay, then analyser, are told
//                                     to stop and forgotten; the adapter,
//                                     packet object and pipe are released
//                                     once both capture workers and the last
//                                     sender have ended.
//
// Every worker started here is owned here until it has ended. Its failure
// messages go to WorkerMessages while it waits, each text once per scan;
// the capture state and counter go to CaptureStatus. Destroying this object is the one way the
// workers are shut down: it stops them, releases one waiting for a message
// to be seen, and joins them, so that none outlives the objects it reads.
class ScanWorkers : public QObject
{
    Q_OBJECT

  public:
    using ReplyHandler = std::function<void(const QList<DecodedReply> &replies)>;
    using SweepFinished = std::function<void(quint64 sweepId)>;

    ScanWorkers(std::shared_ptr<PacketDriver> driver, CaptureStatus &status,
                WorkerMessages &messages, QObject *parent = nullptr);
    ~ScanWorkers() override;

    bool OpenCaptureAdapter(const QString &adapterName, const ProbeSenders &senders,
                            QString *error);
    bool CreateCapturePipe(int *errorCode);
    void StartCapture(std::shared_ptr<const ScanInputs> inputs, ReplyHandler onReplies);
    quint64 StartSweep(std::shared_ptr<const ScanInputs> inputs, SweepFinished onFinished);
    void StopSweep();
    void StartConfirmations(std::shared_ptr<const ScanInputs> inputs);
    // Nothing happens unless StartConfirmations came first in this scan.
    void Confirm(quint32 address, const MacBytes &mac, std::vector<MacBytes> groups);
    // then is called on this thread once every batch queued so far has been
    // sent; at once without a confirmation sender. It is never called once
    // the capture stopped or ForgetConfirmationWaits came.
    void AfterConfirmations(std::function<void()> then);
    void ForgetConfirmationWaits();
    // Also ends the confirmation sender.
    void StopCapture();

    // How far the current scan's replies have come: handled are the records
    // whose replies onReplies has been given. Replies the analyser can no
    // longer hand over (it ended) count as handled. Zeros without a capture.
    CaptureTally Tally() const;
    // Decoded replies wait for onReplies on this thread.
    bool RepliesWaiting() const { return !decoded.empty(); }

    bool SweepRunning() const;
    bool CaptureRunning() const;
    // Threads started here that have not ended yet, forgotten ones too.
    int LiveWorkers() const;

  Q_SIGNALS:
    // After onReplies had a batch, and when the analyser ended: Tally's
    // handled count may have grown.
    void repliesHandled();

  private:
    // Deleting a worker through this stops it, cuts its waits short and
    // joins its thread first.
    struct StopAndJoin
    {
        void operator()(ScanThread *worker) const;
    };
    using OwnedWorker = std::unique_ptr<ScanThread, StopAndJoin>;

    // Replies the analyser handed over, with its records-read count.
    struct Decoded
    {
        QList<DecodedReply> replies;
        quint64 recordsRead = 0;
    };

    void Own(ScanThread *worker);
    void Release(ScanThread *worker);
    // One turn's share of the waiting replies for onReplies; the rest waits
    // for the next turn.
    void HandOverReplies();

    std::shared_ptr<PacketDriver> driver;
    CaptureStatus &status;
    WorkerMessages &messages;

    std::shared_ptr<CaptureChannel> channel;
    // The workers of the current scan; null once stopped or ended. The
    // objects themselves are owned by workers.
    ProbeSender *sender = nullptr;
    CaptureRelay *relay = nullptr;
    ReplyAnalyser *analyser = nullptr;
    ConfirmationSender *confirmations = nullptr;
    // What waits for the confirmation sender's marks, by mark.
    std::map<quint64, std::function<void()>> confirmationWaits;
    quint64 lastConfirmationMark = 0;
    std::vector<OwnedWorker> workers;
    // The worker messages shown since the scan's capture was opened.
    QSet<QString> messagesShown;
    // The current capture's decoded replies not yet given to onReplies.
    std::deque<Decoded> decoded;
    ReplyHandler onReplies;
    bool handOverQueued = false;
    quint64 handledRecords = 0;
    quint64 rejectedShown = 0;
    quint64 lastSweepId = 0;
    quint64 captureGeneration = 0;
};

} // namespace keelwatch
