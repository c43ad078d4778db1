#pragma once

#include "config/addresstext.h"
#include "config/settingsstore.h"

#include <QObject>

#include <functional>
#include <optional>

namespace keelwatch {

class MainWindow;
class SetupDialog;

// Keeps the settings model and the two windows that edit it in step: what
// the user changes in the Setup dialog or in the main window's From, To,
// "Auto Scroll" and "Beep" reaches the model at once, and a change made by
// the program is shown in both windows. The Setup dialog's scan mode shows
// in the status bar as it changes; "Show all" shows or hides the result
// columns at once. An interface picked in Setup offers its network as the
// range when From and To are both empty. Main thread only.
class SettingsLink : public QObject
{
    Q_OBJECT

  public:
    // The network an interface belongs to, as a range of host addresses.
    using NetworkLookup = std::function<std::optional<IpRange>(const NetworkAdapter &)>;

    // failed hears a save that did not reach the file. network tells the
    // range to offer for a picked interface: the system's by default.
    SettingsLink(SettingsModel &model, MainWindow &mainWindow, SetupDialog &setup,
                 MessageSink saveFailed, NetworkLookup network = {});

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
    NetworkLookup network;
    bool showing = false;
};

} // namespace keelwatch
