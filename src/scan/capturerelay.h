#pragma once

#include "scan/capturechannel.h"
#include "scan/scanthread.h"

#include <atomic>
#include <memory>

namespace keelwatch {

// The capture relay: receives batches from the capture adapter and hands the
// capture pipe the records of the ARP replies to one of the own source
// addresses, the records of a batch together.
class CaptureRelay : public ScanThread
{
    Q_OBJECT

  public:
    // ownMac is the own MAC text; its first two bytes pick the replies.
    CaptureRelay(std::shared_ptr<CaptureChannel> channel, const QString &ownMac,
                 const std::atomic<bool> *counterShown, QObject *parent = nullptr);

    // A stop takes effect before the next receive, within the read
    // time-out.

  Q_SIGNALS:
    // Replies relayed so far, told while the counter is shown.
    void captureCounted(quint64 count);
    // Frames the capture has lost since it was opened, told when it grows.
    void captureDropped(quint64 count);

  protected:
    void Work() override;

  private:
    void Relay();
    void ReadDropCount();

    std::shared_ptr<CaptureChannel> channel;
    QString ownMac;
    const std::atomic<bool> *counterShown;
};

} // namespace keelwatch
