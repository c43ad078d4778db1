#include "ui/settingslink.h"

#include "ui/mainwindow.h"
#include "ui/networkrange.h"
#include "ui/setupdialog.h"

namespace keelwatch {

SettingsLink::SettingsLink(SettingsModel &m, MainWindow &main, SetupDialog &dialog,
                           MessageSink failed, NetworkLookup lookup)
    : QObject(&main), model(m), mainWindow(main), setup(dialog), saveFailed(std::move(failed)),
      network(lookup ? std::move(lookup) : NetworkLookup(AdapterNetwork))
{
    connect(&setup, &SetupDialog::valuesEdited, this, &SettingsLink::TakeEdits);
    connect(&mainWindow, &MainWindow::rangeOrOptionsEdited, this, &SettingsLink::TakeEdits);
    connect(&setup, &SetupDialog::scanModeEdited, this,
            [this] { mainWindow.ShowScanMode(model.Read()); });
    connect(&setup, &SetupDialog::showAllToggled, this, &SettingsLink::ShowTestColumns);
    connect(&setup, &SetupDialog::closing, this, &SettingsLink::Save);
    connect(&setup, &SetupDialog::adapterChosen, this, [this] {
        if (const std::optional<IpRange> range = network(setup.Values().adapter))
            mainWindow.OfferRange(*range);
    });
    Show(model.Read());
}

void SettingsLink::TakeEdits()
{
    if (showing)
        return;
    Settings values = setup.Values();
    mainWindow.ReadSettings(values);
    model.Replace(values);
    setup.ShowRange(values.from, values.to);
}

void SettingsLink::Load(const NetworkAdapters &adapters, const MessageSink &damaged)
{
    setup.SetAdapters(adapters);
    model.Load(adapters, damaged);
    mainWindow.RestoreGeometry(model.Read().windowGeometry);
    Show(model.Read());
    ShowTestColumns();
}

bool SettingsLink::Save()
{
    // What the windows show is what is saved, also a text put in a field
    // by a tool or a test, which announces no edit; the window's place is
    // no edit either, so it is taken now.
    TakeEdits();
    Settings values = model.Read();
    values.windowGeometry = mainWindow.StoredGeometry();
    model.Replace(values);
    return model.Save(saveFailed);
}

void SettingsLink::Show(const Settings &values)
{
    model.Replace(values);
    // The main window announces changes by program too; they are the model's
    // already.
    showing = true;
    setup.SetValues(values);
    mainWindow.ApplySettings(values);
    showing = false;
}

void SettingsLink::ShowTestColumns()
{
    const Settings values = model.Read();
    mainWindow.ShowTestColumns(values.showAll, values.tests);
}

} // namespace keelwatch
