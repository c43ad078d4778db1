#pragma once

#include "config/addresstext.h"
#include "core/scanview.h"
#include "scan/scaninputs.h"

#include <QCoreApplication>

#include <functional>

namespace keelwatch {

class MainWindow;
class SetupDialog;
class SettingsLink;
struct Settings;

// The windows as the scan controller and the scan workers see them: scan
// phases and capture states become the status bar's texts, and the values
// a start corrects go back into the settings.
// "Address 37 of 254, 0:03 left": minutes and seconds, rounded up, and
// hours once the rest takes that long.
QString SweepProgressText(qint64 address, qint64 addresses, qint64 msLeft);

class ScanWindows : public ScanView, public CaptureStatus, public WorkerMessages
{
    Q_DECLARE_TR_FUNCTIONS(keelwatch::ScanWindows)

  public:
    ScanWindows(MainWindow &mainWindow, SetupDialog &setup, SettingsLink &settings);

    // ScanView
    void ShowScanPhase(ScanPhase phase) override;
    void ShowMessage(const QString &text) override;
    void ShowSetup() override;
    bool ConfirmLargeRange(quint64 addresses) override;
    void ShowScanMode() override;
    void ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests) override;
    void EnableRangeControls(bool enabled) override;
    void EnableSetupGroups(bool enabled) override;
    void SwitchBrOn() override;
    void SetRangeText(bool to, const QString &text) override;

    // CaptureStatus
    void ShowCaptureState(CaptureState state) override;
    void ShowRelayedCount(quint64 count) override;
    void ShowSweepProgress(qint64 address, qint64 addresses, qint64 msLeft) override;
    void ShowCaptureDrops(quint64 dropped) override;
    void ShowRejectedReplies(quint64 rejected) override;

    // Modal: the worker that raised it waits until the user has seen it.
    void ShowWorkerMessage(const QString &text) override;

    // Told true when a scan starts and false when it ends (the tray's state).
    void SetScanRunningHook(std::function<void(bool)> hook) { scanRunning = std::move(hook); }

  private:
    void Correct(const std::function<void(Settings &)> &change);
    // The counter panel's tooltip: the capture's losses and rejections.
    void ShowCounterToolTip();

    MainWindow &mainWindow;
    SetupDialog &setup;
    SettingsLink &settings;
    MessageSink message;
    std::function<void(bool)> scanRunning;
    // Since the scan's capture was opened.
    quint64 framesLost = 0;
    quint64 repliesRejected = 0;
};

} // namespace keelwatch
