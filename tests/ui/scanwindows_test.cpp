#include "support/find.h"
#include "ui/mainwindow.h"
#include "ui/scanwindows.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct Windows
{
    NodeList nodes;
    MainWindow main{nodes};
    SetupDialog setup{&main};
    SettingsModel model;
    SettingsLink link{model, main, setup, [](const QString &) {}};
    ScanWindows scan{main, setup, link};
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

// The frames the capture lost stay on the counter panel's tooltip until the
// next scan opens its capture.
TEST(CaptureDrops, ShowInTheCounterTooltipUntilTheNextStart)
{
    Windows w;
    const auto *counter = Find<QLabel>(w.main, "SBPanel7");
    w.scan.ShowCaptureDrops(17);
    EXPECT_EQ(counter->toolTip(), u"Frames the capture lost since Start: 17"_s);
    w.scan.ShowScanPhase(ScanPhase::Ready);
    EXPECT_EQ(counter->toolTip(), u"Frames the capture lost since Start: 17"_s);
    w.scan.ShowRejectedReplies(5);
    EXPECT_EQ(counter->toolTip(),
              u"Frames the capture lost since Start: 17\nReplies rejected since Start: 5"_s);
    const QString name = Find<QLabel>(Windows().main, "SBPanel7")->toolTip();
    w.scan.ShowCaptureState(CaptureState::Opening);
    // Back to what the panel shows.
    EXPECT_EQ(counter->toolTip(), name);
    EXPECT_FALSE(name.isEmpty());
    w.scan.ShowRejectedReplies(3);
    EXPECT_EQ(counter->toolTip(), u"Replies rejected since Start: 3"_s);
}

struct ProgressCase
{
    qint64 address;
    qint64 addresses;
    qint64 msLeft;
    const char16_t *text;
};

class SweepProgress : public testing::TestWithParam<ProgressCase>
{
};

TEST_P(SweepProgress, ShowsAddressAndTimeLeftRoundedUp)
{
    const ProgressCase &c = GetParam();
    EXPECT_EQ(SweepProgressText(c.address, c.addresses, c.msLeft), QString::fromUtf16(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SweepProgress,
    testing::Values(ProgressCase{1, 254, 126500, u"Address 1 of 254, 2:07 left"},
                    ProgressCase{254, 254, 0, u"Address 254 of 254, 0:00 left"},
                    ProgressCase{3, 65536, 3600000 * 18 + 61000,
                                 u"Address 3 of 65536, 18:01:01 left"},
                    ProgressCase{5, 9, 1, u"Address 5 of 9, 0:01 left"}));

TEST(SweepProgressLabel, ShowsTheSweepAndClearsWhenReady)
{
    Windows w;
    auto *label = Find<QLabel>(w.main, "SweepProgress");
    ASSERT_TRUE(label);
    w.scan.ShowSweepProgress(37, 254, 3000);
    EXPECT_EQ(label->text(), u"Address 37 of 254, 0:03 left"_s);
    w.scan.ShowScanPhase(ScanPhase::Ready);
    EXPECT_EQ(label->text(), QString());
}

// A cyclic scan waits the Scan Timer after each sweep: the finished sweep's
// text is gone by then, and the next sweep shows its own.
TEST(SweepProgressLabel, ClearsWhenTheSweepHasSentToItsLastAddress)
{
    Windows w;
    auto *label = Find<QLabel>(w.main, "SweepProgress");
    ASSERT_TRUE(label);
    w.scan.ShowSweepProgress(253, 254, 20);
    EXPECT_FALSE(label->text().isEmpty());
    w.scan.ShowSweepProgress(254, 254, 0);
    EXPECT_EQ(label->text(), QString());
    w.scan.ShowSweepProgress(1, 254, 5000);
    EXPECT_EQ(label->text(), u"Address 1 of 254, 0:05 left"_s);
}

// A start corrects settings the user typed; the corrections reach the model
// and both windows.
TEST(ScanCorrections, ReachTheModelAndBothWindows)
{
    Windows w;
    Settings s = w.model.Read();
    s.tests.fill(false);
    s.to = u"10.0.0.300"_s;
    w.link.Show(s);
    w.scan.SwitchBrOn();
    w.scan.SetRangeText(true, QString());
    const Settings now = w.model.Read();
    EXPECT_TRUE(now.TestEnabled(BroadcastColumn));
    EXPECT_FALSE(now.TestEnabled(BroadcastColumn + 1));
    EXPECT_EQ(now.to, QString());
    EXPECT_EQ(w.setup.Values(), now);
    Settings shown = now;
    w.main.ReadSettings(shown);
    EXPECT_EQ(shown, now);
}

// A range past a /16 is swept only after the user answers Yes.
TEST(ScanCorrections, LargeRangeIsSweptOnlyAfterYes)
{
    Windows w;
    for (const bool yes : {true, false}) {
        QString asked;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            asked = box->text();
            box->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(w.scan.ConfirmLargeRange(131070), yes);
        EXPECT_TRUE(asked.contains(u"131070 addresses"_s)) << asked.toStdString();
    }
}

} // namespace
