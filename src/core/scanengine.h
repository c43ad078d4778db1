#pragma once

#include "config/settings.h"
#include "scan/scaninputs.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace keelwatch {

// What a scan's workers are given at Start. The settings are a copy taken
// then: the groups that hold them are locked while the scan runs.
struct ScanSnapshot
{
    Settings settings;
    std::uint32_t rangeStart = 0;
    std::uint32_t rangeEnd = 0;
    SourceMacs probeSourceMacs;
};

// The capture path and the probe sender as the scan controller drives them.
// Every call comes from the main thread; the sweep-finished handler is called
// there too.
class ScanEngine
{
  public:
    virtual ~ScanEngine() = default;

    // Called with the sweep id given to StartSweep when that sweep has sent
    // its last probe (never after StopSweep for that sweep).
    void SetSweepFinishedHandler(std::function<void(std::uint64_t)> handler)
    {
        sweepFinished = std::move(handler);
    }

    // Called when more of the captured replies have been classified.
    void SetRepliesClassifiedHandler(std::function<void()> handler)
    {
        repliesClassified = std::move(handler);
    }
    // How far the current scan's captured replies have come. An engine
    // without a capture of its own has nothing on its way.
    virtual CaptureTally Tally() const { return {}; }

    // Opens the capture adapter of the snapshot's interface. False with the
    // reason the system gave when it cannot be opened.
    virtual bool OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason) = 0;
    // Creates the capture pipe. False with the system's error code.
    virtual bool CreateCapturePipe(int &errorCode) = 0;
    // Releases what OpenCaptureAdapter and CreateCapturePipe made when the
    // start is abandoned before the workers run.
    virtual void AbandonCapture() = 0;
    // Starts the reply analyser, then the capture relay. Both read scanStep.
    virtual void StartCapture(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep) = 0;
    // Starts one probe sender sweep over the range for the current step.
    virtual void StartSweep(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                            std::uint64_t sweep) = 0;
    // Sends the targets their tests again, at the send rate, as a sweep of
    // the current step with this id; its end is told as a sweep's is. An
    // engine without a wire has nobody to ask, so its recheck ends at once.
    virtual void StartRecheck(const ScanSnapshot &, const std::atomic<ScanStep> &,
                              std::vector<RecheckTarget>, std::uint64_t sweep)
    {
        if (sweepFinished)
            sweepFinished(sweep);
    }
    // Asks the running sweep, if any, to stop before its next address.
    virtual void StopSweep() = 0;
    // Asks the relay and then the analyser to stop; what they used is
    // released once both have ended.
    virtual void StopCapture() = 0;

  protected:
    std::function<void(std::uint64_t)> sweepFinished;
    std::function<void()> repliesClassified;
};

} // namespace keelwatch
