#include "ui/scanwindows.h"

#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/setupdialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableView>

namespace keelwatch {

ScanWindows::ScanWindows(MainWindow &form1, SetupDialog &form2, PromiscuousAlertWindow &form10)
    : form1(form1), form2(form2), form10(form10), message(MessageBoxSink(&form1))
{
}

void ScanWindows::SetPanelText(int panel, const QString &text)
{
    form1.SetPanelText(panel, text);
}

void ScanWindows::ShowMessage(const QString &text)
{
    message(text);
}

void ScanWindows::ShowSetup()
{
    form2.show();
    form2.raise();
    form2.activateWindow();
}

void ScanWindows::ShowScanMode()
{
    form1.ShowScanMode(form2.Read());
}

void ScanWindows::ShowTestColumns(bool showAll, const std::array<bool, TestCount> &tests)
{
    form1.ShowTestColumns(showAll, tests);
}

void ScanWindows::ShowPromiscuousAlert(int row, bool started)
{
    form10.ShowPromiscuousAlert(row, started);
}

void ScanWindows::EnableRangeControls(bool enabled)
{
    form1.SetScanControlsEnabled(enabled);
}

void ScanWindows::EnableSetupGroups(bool enabled)
{
    form2.SetScanGroupsEnabled(enabled);
}

void ScanWindows::SwitchBrOn()
{
    form2.fbr->setChecked(true);
}

void ScanWindows::SetOwnMac(const QString &text)
{
    form2.Edit2->setText(text);
}

void ScanWindows::SetSpMac(int column, const QString &text)
{
    (column == 10 ? form2.Edit5 : form2.Edit6)->setText(text);
}

void ScanWindows::SetRangeText(bool to, const QString &text)
{
    Settings range;
    form1.ReadSettings(range);
    (to ? range.to : range.from) = text;
    form1.ApplySettings(range);
}

void ScanWindows::ShowWorkerMessage(const QString &text)
{
    QMessageBox::warning(&form1, QCoreApplication::applicationName(), text);
}

void ScanWindows::SelectNodeRow(int row)
{
    form1.SelectNodeRow(row);
}

} // namespace keelwatch
