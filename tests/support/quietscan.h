#pragma once

#include "config/addresstext.h"
#include "config/settings.h"
#include "core/eventlogfile.h"
#include "core/scanview.h"
#include "scan/scaninputs.h"

#include <QStringList>

namespace keelwatch {

// The windows of a scan that runs without any: what it would tell the user
// is kept in messages ("setup" when it would open the Setup dialog).
class QuietScanWindows : public ScanView, public CaptureStatus, public WorkerMessages
{
  public:
    void ShowScanPhase(ScanPhase) override {}
    void ShowMessage(const QString &text) override { messages << text; }
    bool ConfirmLargeRange(quint64) override { return true; }
    void ShowSetup() override { messages << QStringLiteral("setup"); }
    void ShowScanMode() override {}
    void ShowTestColumns(bool, const std::array<bool, TestCount> &) override {}
    void EnableRangeControls(bool) override {}
    void EnableSetupGroups(bool) override {}
    void SwitchBrOn() override {}
    void SetRangeText(bool, const QString &) override {}
    void ShowCaptureState(CaptureState) override {}
    void ShowRelayedCount(quint64) override {}
    void ShowSweepProgress(qint64, qint64, qint64) override {}
    void ShowWorkerMessage(const QString &text) override { messages << text; }
    QStringList messages;
};

// An event log file that opens and closes nothing.
class NoEventLog : public EventLogFile
{
  public:
    void OpenEventLog() override {}
    void CloseEventLog() override {}
};

// A scan of the memory driver's segment from 10.0.0.1 with every test on,
// one probe each and no pause: tests add their cycle options.
inline Settings MemoryScanSettings(const QString &from, const QString &to)
{
    Settings s;
    s.adapter = {QStringLiteral("lab0"), *IpFromText(QStringLiteral("10.0.0.1"))};
    s.ownIp = IpFromText(QStringLiteral("10.0.0.1"));
    s.ownMac = OwnMacFromText(QStringLiteral("00 11 22 33 44 50"));
    s.from = from;
    s.to = to;
    s.tests.fill(true);
    s.sp1Mac = MacFromText(QStringLiteral("01 00 5E 00 00 02"));
    s.sp2Mac = MacFromText(QStringLiteral("01 00 5E 00 00 06"));
    s.listMode = false;
    s.packetCount = 1;
    s.nodeTimerMs = 0;
    return s;
}

} // namespace keelwatch
