#pragma once

#include "scan/capturechannel.h"
#include "scan/scaninputs.h"

#include "scan/scanthread.h"
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

namespace keelwatch {

class ProbeSender;
class CaptureRelay;
class ReplyAnalyser;

// The wire side of a scan, as the scan controller drives it from the main
// thread. A scan runs:
//
//   OpenCaptureAdapter(name, &error)  Start step 10: false when the adapter
//                                     cannot be opened; error holds the
//                                     driver's reason for the second line
//                                     under "Cannot find WinPcap.".
//   CreateCapturePipe(&code)          Start step 11: false with the system's
//                                     error code ("Error" + code, then quit).
//   StartCapture(inputs, onReplies)   Start step 13: the reply analyser, then
//                                     the capture relay. onReplies gets the
//                                     decoded replies on the main thread, in
//                                     order, for ClassifyReply.
//   StartSweep(inputs, onFinished)    each sending step: one probe sender;
//                                     returns the sweep id. onFinished(id) is
//                                     the sender's RestartCycleTimer, on the
//                                     main thread; it never comes for a sweep
//                                     that was stopped or replaced, so a late
//                                     notice cannot restart the cycle.
//   StopSweep()                       Stop: the sender ends before its next
//                                     address and is forgotten.
//   StopCapture()                     EndScan: relay, then analyser, are told
//                                     to stop and forgotten; the capture
//                                     adapter, packet object, pipe and the
//                                     scan's send handles are released once
//                                     both capture workers (and the last
//                                     sender) have ended.
//
// Workers release themselves when they end. Their failure messages go to
// WorkerMessages while the worker waits; panel texts go to StatusPanels.
// Destroying this object stops every worker it started and waits for them
// (a second or so), so that none outlives the objects it reads.
class ScanWorkers : public QObject
{
    Q_OBJECT

  public:
    using ReplyHandler = std::function<void(const QList<DecodedReply> &replies)>;
    using SweepFinished = std::function<void(quint64 sweepId)>;

    ScanWorkers(std::shared_ptr<PacketDriver> driver, StatusPanels &panels,
                WorkerMessages &messages, QObject *parent = nullptr);
    ~ScanWorkers() override;

    bool OpenCaptureAdapter(const QString &adapterName, QString *error);
    bool CreateCapturePipe(int *errorCode);
    void StartCapture(std::shared_ptr<const ScanInputs> inputs, ReplyHandler onReplies);
    quint64 StartSweep(std::shared_ptr<const ScanInputs> inputs, SweepFinished onFinished);
    void StopSweep();
    void StopCapture();

    bool SweepRunning() const;
    bool CaptureRunning() const;
    // Threads started here that have not ended yet, forgotten ones too.
    int LiveWorkers() const;

  private:
    void Track(ScanThread *worker);

    std::shared_ptr<PacketDriver> driver;
    StatusPanels &panels;
    WorkerMessages &messages;

    std::shared_ptr<CaptureChannel> channel;
    std::shared_ptr<SendAdapters> sendAdapters;
    QPointer<ProbeSender> sender;
    QPointer<CaptureRelay> relay;
    QPointer<ReplyAnalyser> analyser;
    QList<QPointer<ScanThread>> live;
    quint64 lastSweepId = 0;
    quint64 captureGeneration = 0;
};

} // namespace keelwatch
