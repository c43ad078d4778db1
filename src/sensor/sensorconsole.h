#pragma once

#include "config/settings.h"
#include "core/scanview.h"
#include "report/eventwindows.h"
#include "scan/scaninputs.h"

#include <functional>

namespace keelwatch {

// The windows of the desktop program, as the sensor has them: messages go
// to standard error, corrections a start makes go back into the sensor's
// settings, and the rest of what a screen would show is dropped.
class SensorConsole : public ScanView,
                      public CaptureStatus,
                      public WorkerMessages,
                      public EventWindows
{
  public:
    using Printer = std::function<void(const QString &text)>;

    SensorConsole(FixedSettings &settings, Printer printError);

    // Called when a scan ends: the end of a single sweep.
    void SetScanEndedHandler(std::function<void()> handler) { scanEnded = std::move(handler); }
    // Whether a message told of a failure since the program started.
    bool Failed() const { return failed; }

    // ScanView
    void ShowScanPhase(ScanPhase phase) override;
    void ShowMessage(const QString &text) override;
    // The command line refused such a range unless it was asked for.
    bool ConfirmLargeRange(quint64) override { return true; }
    void ShowSetup() override;
    void ShowScanMode() override {}
    void ShowTestColumns(bool, const std::array<bool, TestCount> &) override {}
    void EnableRangeControls(bool) override {}
    void EnableSetupGroups(bool) override {}
    void SwitchBrOn() override;
    void SetRangeText(bool to, const QString &text) override;

    // CaptureStatus
    void ShowCaptureState(CaptureState) override {}
    void ShowRelayedCount(quint64) override {}
    void ShowSweepProgress(qint64, qint64, qint64) override {}

    // WorkerMessages: nobody needs to see it first, so the worker goes on.
    void ShowWorkerMessage(const QString &text) override;

    // EventWindows: the events themselves go to the log, syslog and JSON.
    void BoundPane(int) override {}
    void AppendPaneLine(const QString &) override {}
    void Beep() override {}
    void ShowAlertMessage(const QString &text) override;
    void ShowMessageBox(const QString &text) override;
    // A warning like a log failure: the scan goes on.
    void ShowDeliveryNote(const QString &text) override { printError(text); }

  private:
    void Tell(const QString &text);

    FixedSettings &settings;
    Printer printError;
    std::function<void()> scanEnded;
    bool failed = false;
};

} // namespace keelwatch
