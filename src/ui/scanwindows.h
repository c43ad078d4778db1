#pragma once

#include "config/addresstext.h"
#include "core/scanview.h"
#include "scan/scaninputs.h"

namespace keelwatch {

class MainWindow;
class SetupDialog;
class PromiscuousAlertWindow;

// The windows as the scan controller and the scan workers see them.
class ScanWindows : public ScanView, public StatusPanels, public WorkerMessages
{
  public:
    ScanWindows(MainWindow &form1, SetupDialog &form2, PromiscuousAlertWindow &form10);

    void SetPanelText(int panel, const QString &text) override;
    void ShowMessage(const QString &text) override;
    void ShowSetup() override;
    void ShowScanMode() override;
    void ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests) override;
    void ShowPromiscuousAlert(int row, bool started) override;
    void EnableRangeControls(bool enabled) override;
    void EnableSetupGroups(bool enabled) override;
    void SwitchBrOn() override;
    void SetOwnMac(const QString &text) override;
    void SetSpMac(int column, const QString &text) override;
    void SetRangeText(bool to, const QString &text) override;
    // Modal: the worker that raised it waits until the user has seen it.
    void ShowWorkerMessage(const QString &text) override;
    // Makes a node row the grid's current row, which scrolls it into view.
    void SelectNodeRow(int row);

  private:
    MainWindow &form1;
    SetupDialog &form2;
    PromiscuousAlertWindow &form10;
    MessageSink message;
};

} // namespace keelwatch
