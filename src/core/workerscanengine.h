#pragma once

#include "config/clock.h"
#include "core/classifyreply.h"
#include "core/scanengine.h"
#include "scan/scanworkers.h"

#include <QSet>

#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace keelwatch {

// The scan workers on the wire, driven by the scan controller: replies that
// the analyser decodes are classified into the node list on the main thread.
// The workers read the controller's snapshot and step counter, so whoever
// owns them destroys the workers (which joins them) before the controller.
class WorkerScanEngine : public ScanEngine
{
  public:
    struct Lookups
    {
        // Vendor name of a MAC's first three bytes; called on the
        // analyser's thread.
        std::function<QString(const MacAddress &mac)> vendor;
        // Stored comment of an IP; called on the main thread.
        std::function<QString(const IpAddress &ip)> comment;
        // "Auto Scroll" as the main window shows it now.
        std::function<bool()> autoScroll;
        // Shows a node in the grid.
        std::function<void(int index)> selectNode;
        // The main window's capture counter switch, read by the relay.
        const std::atomic<bool> *captureCounterShown = nullptr;
        // The clock the nodes' seen times are read from; the system's when
        // none is given.
        const Clock *clock = nullptr;
    };

    WorkerScanEngine(ScanWorkers &workers, NodeList &nodes, ScanEvents &events, Lookups lookups);
    ~WorkerScanEngine() override;
    WorkerScanEngine(const WorkerScanEngine &) = delete;
    WorkerScanEngine &operator=(const WorkerScanEngine &) = delete;

    bool OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason) override;
    bool CreateCapturePipe(int &errorCode) override;
    void AbandonCapture() override;
    void StartCapture(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep) override;
    void StartSweep(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                    std::uint64_t sweep) override;
    void StartRecheck(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                      std::vector<RecheckTarget> targets, std::uint64_t sweep) override;
    void StopSweep() override;
    void StopCapture() override;
    CaptureTally Tally() const override;

  private:
    std::shared_ptr<ScanInputs> Inputs(const ScanSnapshot &scan,
                                       const std::atomic<ScanStep> &scanStep) const;
    void Classify(const QList<DecodedReply> &replies, const ScanSnapshot &scan,
                  const std::atomic<ScanStep> &scanStep);

    // With "Confirm suspects": counts an answer to a confirmation probe, or
    // queues the reply's node for confirmation once in the sweep when it has
    // answered an illegal test address. classified is the reply's node
    // index, or -1.
    void FollowSuspect(const DecodedReply &reply, int classified, const Settings &settings);
    // Starts a sweep or recheck of the workers with this id.
    void StartSending(std::shared_ptr<ScanInputs> inputs, std::uint64_t sweep);
    // The sweep with this id has sent its last probe: the confirmations that
    // waited for it go out, and its end is told once they have.
    void SendingFinished(std::uint64_t sweep);

    struct Confirmation
    {
        quint32 address;
        MacBytes mac;
        std::vector<MacBytes> groups;
    };

    ScanWorkers &workers;
    NodeList &nodes;
    // Nodes queued for confirmation in the current sweep.
    QSet<IpAddress> confirming;
    // Sent into a segment the sweep saturates, confirmation probes and their
    // answers would be lost with the sweep's: they wait for its end.
    std::vector<Confirmation> waiting;
    // The sweep or recheck sending now; 0 for none.
    std::uint64_t sending = 0;
    // The current scan's: what its replies must answer.
    std::shared_ptr<ProbeLedger> asked;
    std::vector<std::array<std::uint8_t, 6>> confirmationSources;
    // Draws the fresh group addresses of every batch; seeded at each scan.
    std::mt19937_64 random;
    ScanEvents &events;
    Lookups lookups;
    QMetaObject::Connection handledConnection;
};

} // namespace keelwatch
