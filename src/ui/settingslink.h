#pragma once

#include "config/addresstext.h"
#include "config/settingsstore.h"

#include <QObject>

namespace keelwatch {

class MainWindow;
class SetupDialog;

// Keeps the settings model and the two windows that edit it in step: what
// the user changes in the Setup dialog or in the main window's From, To,
// "Auto Scroll" and "Beep" reaches the model at once, and a change made by
// the program is shown in both windows. The Setup dialog's scan mode shows
// in the status bar as it changes; "Show all" shows or hides the result
// columns at once. Main thread only.
class SettingsLink : public QObject
{
    Q_OBJECT

  public:
    // failed hears a save that did not reach the file.
    SettingsLink(SettingsModel &model, MainWindow &mainWindow, SetupDialog &setup,
                 MessageSink saveFailed);

    // Loads the user's store (the adapters must be known by then, so the
    // stored one can be selected) and shows it, columns too. Values that
    // could not be read are told to damaged.
    void Load(const NetworkAdapters &adapters, const MessageSink &damaged);
    // Saves the model; the Setup dialog's close does it too. False when the
    // save failed (told to the sink).
    bool Save();

    Settings Values() const { return model.Read(); }
    // Replaces the values and shows them in both windows.
    void Show(const Settings &values);
    // The result columns for the current Show all and test addresses.
    void ShowTestColumns();

  private:
    void TakeEdits();

    SettingsModel &model;
    MainWindow &mainWindow;
    SetupDialog &setup;
    MessageSink saveFailed;
    bool showing = false;
};

} // namespace keelwatch
