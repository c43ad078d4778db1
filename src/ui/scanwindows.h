#pragma once

#include "config/addresstext.h"
#include "core/scanview.h"

namespace keelwatch {

class TForm1;
class TForm2;
class TForm10;

// The windows as the scan controller sees them.
class ScanWindows : public ScanView
{
public:
    ScanWindows(TForm1 &form1, TForm2 &form2, TForm10 &form10);

    void SetPanelText(int panel, const QString &text) override;
    void ShowMessage(const QString &text) override;
    void ShowSetup() override;
    void ShowScanMode() override;
    void ShowPromiscuousAlert(int row, bool started) override;
    void EnableRangeControls(bool enabled) override;
    void EnableSetupGroups(bool enabled) override;
    void SwitchBrOn() override;
    void SetOwnMac(const QString &text) override;
    void SetSpMac(int column, const QString &text) override;
    void SetRangeText(bool to, const QString &text) override;

private:
    TForm1 &form1;
    TForm2 &form2;
    TForm10 &form10;
    MessageSink message;
};

} // namespace keelwatch
