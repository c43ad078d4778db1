#pragma once

#include "config/settings.h"

#include <QString>

#include <array>

namespace keelwatch {

// Where a scan stands, as the status bar shows it.
enum class ScanPhase {
    FindingNodes, // List Mode's node-finding sweep
    Scanning,     // the sweep with every switched-on test
    Ready,        // no scan runs
};

// What the scan controller needs of the windows. The GUI implements it;
// tests record it.
class ScanView
{
  public:
    virtual ~ScanView() = default;

    virtual void ShowScanPhase(ScanPhase phase) = 0;
    // A modal message box.
    virtual void ShowMessage(const QString &text) = 0;
    virtual void ShowSetup() = 0;
    // Whether a range of more than LargestPlainRange addresses is to be
    // swept all the same.
    virtual bool ConfirmLargeRange(quint64 addresses) = 0;
    // The scan mode and its three numbers from the current settings.
    virtual void ShowScanMode() = 0;
    // The grid's result columns: all ten with showAll, else the switched-on tests'.
    virtual void ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests) = 0;

    // From, To, Start, Clear and the File menu's Save and Load node list.
    virtual void EnableRangeControls(bool enabled) = 0;
    // The Setup dialog's "Own PC", "Scan Options" and "Log" groups.
    virtual void EnableSetupGroups(bool enabled) = 0;

    // Start writes these back into their controls.
    virtual void SwitchBrOn() = 0;
    virtual void SetRangeText(bool to, const QString &text) = 0;
};

} // namespace keelwatch
