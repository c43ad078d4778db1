#pragma once

#include "scan/capturechannel.h"
#include "scan/confirmationprobes.h"
#include "scan/packetdriver.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
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
    // Sends through the scan's adapter, which its capture shares.
    ConfirmationSender(std::shared_ptr<const ScanInputs> inputs,
                       std::shared_ptr<CaptureChannel> channel, QObject *parent = nullptr);

    // Queues a batch for the node at address whose card is mac: a probe to
    // each of the ConfirmationProbeCount groups, then ConfirmationControlCount
    // to mac; probe j from the scan's confirmation source j. Any thread.
    void Confirm(quint32 address, const MacBytes &mac, std::vector<MacBytes> groups);
    // Queues a mark: batchesSent(mark) comes once every batch queued before
    // it has been sent (or left unsent by a stop). Any thread.
    void MarkSent(quint64 mark);
    // Wakes the worker so that it sees the stop.
    void Abandon() override;

    // A macvlan or software bridge copies every group frame to all its
    // ports from a bounded queue; spacing them keeps that queue short. With
    // a send rate the probes keep the sweep's pace instead.
    static constexpr int ProbeGapUs = 500;
    static std::chrono::microseconds ProbeGap(int sendRate);

  Q_SIGNALS:
    void batchesSent(quint64 mark);

  protected:
    void Work() override;

  private:
    struct Request
    {
        quint32 address;
        MacBytes mac;
        std::vector<MacBytes> groups;
        // Not 0: no batch, the mark of MarkSent.
        quint64 mark = 0;
    };

    // The batch in one request, paced by the adapter; in the own-IP mode
    // followed by the request from the card that repairs the node's entry.
    void SendProbes(const Request &request, quint32 ownIp);
    void AddProbe(const MacBytes &destination, const MacBytes &source, quint32 senderIp,
                  quint32 address, FrameFormat format);

    std::shared_ptr<const ScanInputs> inputs;
    std::shared_ptr<CaptureChannel> channel;

    std::mutex queueMutex;
    std::condition_variable queued;
    std::deque<Request> requests;
    bool abandoned = false;
    ProbeFrame frame;
    ProbeBatch batch;
};

} // namespace keelwatch
