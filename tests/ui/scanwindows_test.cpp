#include "config/clock.h"
#include "ui/mainwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/scanwindows.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <gtest/gtest.h>

#include <functional>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class StillClock : public Clock
{
  public:
    QDateTime Now() const override { return QDateTime(QDate(2026, 1, 5), QTime(12, 0)); }
};

struct Windows
{
    MainWindow main;
    SetupDialog setup{&main};
    SettingsModel model;
    SettingsLink link{model, main, setup, [](const QString &) {}};
    StillClock clock;
    PromiscuousAlertWindow alerts{main.Nodes(), clock, &main};
    ScanWindows scan{main, setup, link, alerts};
};

struct StatusCase
{
    const char *name;
    std::function<void(ScanWindows &)> report;
    int panel;
    const char16_t *text;
};

class StatusTexts : public testing::TestWithParam<StatusCase>
{
};

// What the scan reports shows in the status bar as these very texts.
TEST_P(StatusTexts, ShowInTheirPanel)
{
    Windows w;
    for (int panel = 0; panel < MainWindow::PanelCount; ++panel)
        w.main.SetPanelText(panel, u"old"_s);
    GetParam().report(w.scan);
    EXPECT_EQ(w.main.PanelText(GetParam().panel), QString::fromUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Reports, StatusTexts,
    testing::Values(
        StatusCase{"Opening", [](ScanWindows &s) { s.ShowCaptureState(CaptureState::Opening); }, 0,
                   u"RUN"},
        StatusCase{"On", [](ScanWindows &s) { s.ShowCaptureState(CaptureState::On); }, 6,
                   u"Capture On"},
        StatusCase{"ModeRefused",
                   [](ScanWindows &s) { s.ShowCaptureState(CaptureState::ModeRefused); }, 6,
                   u"Capture Error"},
        StatusCase{"NoPacket", [](ScanWindows &s) { s.ShowCaptureState(CaptureState::NoPacket); },
                   6, u"Packet Error"},
        StatusCase{"Counted", [](ScanWindows &s) { s.ShowRelayedCount(42); }, 7, u"42 "},
        StatusCase{"Finding", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::FindingNodes); }, 2,
                   u"Finding Nodes"},
        StatusCase{"Scanning", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Scanning); }, 2,
                   u"Scanning"},
        StatusCase{"Ready", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Ready); }, 0, u"READY"},
        StatusCase{"ReadyClearsMode", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Ready); }, 1,
                   u""},
        StatusCase{"ReadyClearsPhase", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Ready); }, 2,
                   u""},
        StatusCase{"ReadyClearsCapture", [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Ready); },
                   6, u""},
        StatusCase{"ReadyKeepsTheCounter",
                   [](ScanWindows &s) { s.ShowScanPhase(ScanPhase::Ready); }, 7, u"old"}),
    [](const auto &info) { return std::string(info.param.name); });

// A start corrects settings the user typed; the corrections reach the model
// and both windows.
TEST(ScanCorrections, ReachTheModelAndBothWindows)
{
    Windows w;
    Settings s = w.model.Read();
    s.tests.fill(false);
    w.link.Show(s);
    w.scan.SwitchBrOn();
    w.scan.SetOwnMac(u"02 AA BB CC DD E0"_s);
    w.scan.SetSpMac(Sp2Column, u"01 00 5E 00 00 04"_s);
    w.scan.SetRangeText(true, QString());
    const Settings now = w.model.Read();
    EXPECT_TRUE(now.TestEnabled(BroadcastColumn));
    EXPECT_FALSE(now.TestEnabled(BroadcastColumn + 1));
    EXPECT_EQ(now.ownMac, u"02 AA BB CC DD E0"_s);
    EXPECT_EQ(now.sp2Mac, u"01 00 5E 00 00 04"_s);
    EXPECT_EQ(now.sp1Mac, QString());
    EXPECT_EQ(w.setup.Values(), now);
    Settings shown = now;
    w.main.ReadSettings(shown);
    EXPECT_EQ(shown, now);
}

} // namespace
