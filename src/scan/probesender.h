#pragma once

#include "scan/capturechannel.h"
#include "scan/packetdriver.h"
#include "scan/probeframe.h"
#include "scan/scaninputs.h"
#include "scan/scanthread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace keelwatch {

// The probe sender: walks the range once and sends the probes of one sweep.
class ProbeSender : public ScanThread
{
    Q_OBJECT

  public:
    // Sends through the scan's adapter, which its capture shares.
    ProbeSender(std::shared_ptr<const ScanInputs> inputs, std::shared_ptr<CaptureChannel> channel,
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
    // How far the sweep is, counted in addresses, and about how long the
    // rest takes. A few times a second at most, and once at the end.
    void progressed(quint64 sweepId, qint64 address, qint64 addresses, qint64 msLeft);

  protected:
    void Work() override;

  private:
    // A destination and source pair that one test sends from.
    struct Test
    {
        MacBytes destination;
        MacBytes source;
        int index; // into TestFlags
    };
    // An address of a rate-paced sweep, how many probe sets it gets (List
    // Mode: one per node row that holds it) and which of the tests.
    struct Target
    {
        quint32 address;
        int sets;
        TestFlags tests;
    };

    // Node Timer pacing: every probe of an address, then the pause.
    void SendByNodeTimer(int nodeTimer);
    // Rate pacing: round the addresses one frame at a time, test by test
    // and repetition by repetition, so that no host gets two frames back to
    // back and a finite receive queue is never flooded. A recheck goes
    // round its own targets the same way.
    void SendAtRate(int framesPerSecond);
    // The tests a sweep sends: List Mode's finding step sends broadcast only.
    std::vector<Test> TestsOfStep(bool findingStep) const;
    // One probe per switched-on test address, in column order, each
    // Packet Number times.
    void AddProbeSet(quint32 address);
    // Adds a probe to the batch; false when it is not sent (no own IP).
    bool AddProbe(const MacBytes &destination, const MacBytes &source, quint32 address, int copies);
    // In the own-IP mode, the request from the card's own MAC that puts the
    // probed host's neighbour entry for the own IP right again.
    void AddRepair(quint32 address);
    bool Repairing() const;
    // Sends the batch, if the card is in promiscuous mode.
    void Flush();
    void Pause(int milliseconds);
    // False when the sweep was stopped first.
    bool WaitUntil(std::chrono::steady_clock::time_point due);
    void ReportProgress(qint64 address, qint64 addresses, qint64 msLeft, bool last);

    std::shared_ptr<const ScanInputs> inputs;
    std::shared_ptr<CaptureChannel> channel;
    const quint64 sweepId;

    std::mutex pauseMutex;
    std::condition_variable pauseWake;
    bool abandoned = false;
    std::function<void(int)> pauseOverride;

    // Worked out once per sweep from the settings.
    std::array<std::optional<MacBytes>, TestCount> destinations;
    std::array<std::optional<MacBytes>, SourceAddressCount> sources;
    std::optional<std::optional<quint32>> ownIp;
    // What the probes give as ARP sender IP, read with ownIp.
    quint32 senderIp = 0;
    std::optional<MacBytes> cardMac;
    int packetNumber = 1;
    ProbeFrame frame;
    ProbeBatch batch;
    std::chrono::steady_clock::time_point lastReport;
};

} // namespace keelwatch
