#pragma once

#include "scan/confirmationprobes.h"
#include "scan/packetdriver.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace keelwatch {

// Sends the confirmation probes of a scan: a worker of its own, fed with the
// nodes to confirm while the sweep goes on, so the sweep's pace is not
// changed by the suspects it finds.
class ConfirmationSender : public ScanThread
{
    Q_OBJECT

  public:
    // The destinations are drawn once for the scan.
    ConfirmationSender(std::shared_ptr<const ScanInputs> inputs,
                       std::shared_ptr<SendAdapters> adapters,
                       ConfirmationDestinations destinations, QObject *parent = nullptr);

    // Queues ConfirmationProbeCount probes for the node at address, to the
    // destinations of family, probe j from the scan's confirmation source j.
    // Any thread.
    void Confirm(quint32 address, ConfirmationFamily family);
    // Wakes the worker so that it sees the stop.
    void Abandon() override;
    // Pause between two probes (default ProbeGapUs), for segments whose
    // switches queue group frames; tests replace the pause.
    void SetProbeGap(std::function<void()> gap);

    // A macvlan or software bridge copies every group frame to all its
    // ports from a bounded queue; spacing them keeps that queue short.
    static constexpr int ProbeGapUs = 500;

  protected:
    void Work() override;

  private:
    struct Request
    {
        quint32 address;
        ConfirmationFamily family;
    };

    void SendProbes(const Request &request, quint32 ownIp);
    void SendProbe(const MacBytes &destination, const MacBytes &source, quint32 ownIp,
                   quint32 address);

    std::shared_ptr<const ScanInputs> inputs;
    std::shared_ptr<SendAdapters> adapters;
    const ConfirmationDestinations destinations;
    std::function<void()> gap;

    std::mutex queueMutex;
    std::condition_variable queued;
    std::deque<Request> requests;
    bool abandoned = false;
    ProbeFrame frame;
};

} // namespace keelwatch
