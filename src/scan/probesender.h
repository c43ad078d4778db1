#pragma once

#include "scan/packetdriver.h"
#include "scan/probeframe.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace keelwatch {

// The probe sender: walks the range once and sends the probes of one sweep.
class ProbeSender : public ScanThread
{
    Q_OBJECT

  public:
    ProbeSender(std::shared_ptr<const ScanInputs> inputs, std::shared_ptr<SendAdapters> adapters,
                quint64 sweepId, QObject *parent = nullptr);

    // A stop takes effect before the next address: no further probe, no
    // RestartCycleTimer. Abandon also cuts a Node Timer pause short.
    void Abandon() override;
    // Replaces the Node Timer pause (tests record it instead of sleeping).
    void SetPause(std::function<void(int milliseconds)> pause);

    quint64 SweepId() const { return sweepId; }

  Q_SIGNALS:
    // The sweep is done and the cycle timer should start one Scan Timer
    // interval from now.
    void RestartCycleTimer(quint64 sweepId);

  protected:
    void Work() override;

  private:
    // One probe per switched-on test address, in column order.
    void SendProbeSet(quint32 address);
    void SendProbe(const MacBytes &destination, const MacBytes &source, quint32 address);
    void Pause(int milliseconds);

    std::shared_ptr<const ScanInputs> inputs;
    std::shared_ptr<SendAdapters> adapters;
    const quint64 sweepId;

    std::mutex pauseMutex;
    std::condition_variable pauseWake;
    bool abandoned = false;
    std::function<void(int)> pauseOverride;

    // Worked out once per sweep from the settings.
    std::array<std::optional<MacBytes>, TestCount> destinations;
    std::array<std::optional<MacBytes>, SourceAddressCount> sources;
    std::optional<std::optional<quint32>> ownIp;
    int packetNumber = 1;
    ProbeFrame frame;
};

} // namespace keelwatch
