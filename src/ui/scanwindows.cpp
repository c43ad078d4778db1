#include "ui/scanwindows.h"

#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <QCoreApplication>
#include <QMessageBox>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// Status bar panels.
constexpr int StatePanel = 0;
constexpr int ModePanel = 1;
constexpr int PhasePanel = 2;
constexpr int CapturePanel = 6;
constexpr int CounterPanel = 7;

} // namespace

ScanWindows::ScanWindows(MainWindow &main, SetupDialog &dialog, SettingsLink &link)
    : mainWindow(main), setup(dialog), settings(link), message(MessageBoxSink(&main))
{
}

void ScanWindows::ShowScanPhase(ScanPhase phase)
{
    switch (phase) {
    case ScanPhase::FindingNodes:
        mainWindow.SetPanelText(PhasePanel, ScanWindows::tr("Finding Nodes"));
        break;
    case ScanPhase::Scanning:
        mainWindow.SetPanelText(PhasePanel, ScanWindows::tr("Scanning"));
        break;
    case ScanPhase::Ready:
        mainWindow.SetPanelText(StatePanel, ScanWindows::tr("READY"));
        for (int panel : {ModePanel, PhasePanel, CapturePanel})
            mainWindow.SetPanelText(panel, QString());
        mainWindow.ShowSweepProgress(QString());
        break;
    }
    if (scanRunning)
        scanRunning(phase != ScanPhase::Ready);
}

void ScanWindows::ShowCaptureState(CaptureState state)
{
    switch (state) {
    case CaptureState::Opening:
        mainWindow.SetPanelText(StatePanel, ScanWindows::tr("RUN"));
        framesLost = 0;
        repliesRejected = 0;
        ShowCounterToolTip();
        break;
    case CaptureState::On:
        mainWindow.SetPanelText(CapturePanel, ScanWindows::tr("Capture On"));
        break;
    case CaptureState::ModeRefused:
        mainWindow.SetPanelText(CapturePanel, ScanWindows::tr("Capture Error"));
        break;
    case CaptureState::NoPacket:
        mainWindow.SetPanelText(CapturePanel, ScanWindows::tr("Packet Error"));
        break;
    }
}

void ScanWindows::ShowRelayedCount(quint64 count)
{
    mainWindow.SetPanelText(CounterPanel, QString::number(count) + u' ');
}

void ScanWindows::ShowCaptureDrops(quint64 dropped)
{
    framesLost = dropped;
    ShowCounterToolTip();
}

void ScanWindows::ShowRejectedReplies(quint64 rejected)
{
    repliesRejected = rejected;
    ShowCounterToolTip();
}

void ScanWindows::ShowCounterToolTip()
{
    QStringList lines;
    if (framesLost > 0)
        lines.append(ScanWindows::tr("Frames the capture lost since Start: %1").arg(framesLost));
    if (repliesRejected > 0)
        lines.append(ScanWindows::tr("Replies rejected since Start: %1").arg(repliesRejected));
    mainWindow.SetPanelToolTip(CounterPanel, lines.join(u'\n'));
}

QString SweepProgressText(qint64 address, qint64 addresses, qint64 msLeft)
{
    const qint64 seconds = (std::max<qint64>(msLeft, 0) + 999) / 1000;
    const QString left = seconds >= 3600
                             ? u"%1:%2:%3"_s.arg(seconds / 3600)
                                   .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
                                   .arg(seconds % 60, 2, 10, QChar(u'0'))
                             : u"%1:%2"_s.arg(seconds / 60).arg(seconds % 60, 2, 10, QChar(u'0'));
    return ScanWindows::tr("Address %1 of %2, %3 left").arg(address).arg(addresses).arg(left);
}

// The text goes when the sweep has sent to its last address: the wait for
// replies that follows is the Scan Timer's, shown in its panel.
void ScanWindows::ShowSweepProgress(qint64 address, qint64 addresses, qint64 msLeft)
{
    mainWindow.ShowSweepProgress(
        address >= addresses ? QString() : SweepProgressText(address, addresses, msLeft));
}

void ScanWindows::ShowMessage(const QString &text)
{
    message(text);
}

void ScanWindows::ShowSetup()
{
    setup.show();
    setup.raise();
    setup.activateWindow();
}

bool ScanWindows::ConfirmLargeRange(quint64 addresses)
{
    const QString question =
        ScanWindows::tr(
            "The range holds %1 addresses, more than a /16: one sweep may take hours or days.\n"
            "Scan it all the same?")
            .arg(addresses);
    return QMessageBox::question(&mainWindow, QCoreApplication::applicationName(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void ScanWindows::ShowScanMode()
{
    mainWindow.ShowScanMode(settings.Values());
}

void ScanWindows::ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests)
{
    mainWindow.ShowTestColumns(showAll, tests);
}

void ScanWindows::EnableRangeControls(bool enabled)
{
    mainWindow.SetScanControlsEnabled(enabled);
}

void ScanWindows::EnableSetupGroups(bool enabled)
{
    setup.SetScanGroupsEnabled(enabled);
}

void ScanWindows::Correct(const std::function<void(Settings &)> &change)
{
    Settings values = settings.Values();
    change(values);
    settings.Show(values);
}

void ScanWindows::SwitchBrOn()
{
    Correct([](Settings &s) { s.tests[size_t(BroadcastColumn - FirstResultColumn)] = true; });
}

void ScanWindows::SetRangeText(bool to, const QString &text)
{
    Correct([to, &text](Settings &s) { (to ? s.to : s.from) = text; });
}

void ScanWindows::ShowWorkerMessage(const QString &text)
{
    QMessageBox::warning(&mainWindow, QCoreApplication::applicationName(), WindowText(text));
}

} // namespace keelwatch
