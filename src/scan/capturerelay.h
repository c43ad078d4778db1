#pragma once

#include "scan/capturebatch.h"
#include "scan/capturechannel.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <atomic>
#include <memory>

namespace keelwatch {

// The scan's sixteen source addresses and its confirmation probes' sources.
ReplyDestinations ReplyDestinationsOf(const ScanInputs &inputs);

// The capture relay: receives batches from the capture adapter and hands the
// capture pipe the records of the well-formed ARP replies to one of the
// scan's source addresses, the records of a batch together; malformed ones
// sent to those addresses are counted in the channel's rejected replies.
class CaptureRelay : public ScanThread
{
    Q_OBJECT

  public:
    CaptureRelay(std::shared_ptr<CaptureChannel> channel, ReplyDestinations destinations,
                 const std::atomic<bool> *counterShown, QObject *parent = nullptr);

    // A stop takes effect before the next receive, within the read
    // time-out.

  Q_SIGNALS:
    // Replies relayed so far, told while the counter is shown.
    void captureCounted(quint64 count);
    // Frames the capture has lost since it was opened, told when it grows.
    void captureDropped(quint64 count);
    // Replies rejected in this capture so far, told when the relay's
    // rejections made it grow.
    void repliesRejected(quint64 count);

  protected:
    void Work() override;

  private:
    void Relay();
    void ReadDropCount();

    std::shared_ptr<CaptureChannel> channel;
    const ReplyDestinations destinations;
    const std::atomic<bool> *counterShown;
};

} // namespace keelwatch
