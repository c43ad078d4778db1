#pragma once

#include <QString>

namespace keelwatch {

// What the event log and the syslog sender need from the windows. The GUI
// implements it on the main window, the small alert window and the Setup
// dialog; tests record the calls. Called on the main thread only.
class EventWindows
{
  public:
    virtual ~EventWindows() = default;

    // The event pane: drop lines from the top until at most maxLines remain.
    virtual void BoundPane(int maxLines) = 0;
    // A CR LF inside the line (the start banner's) starts a new pane line.
    virtual void AppendPaneLine(const QString &line) = 0;

    virtual void Beep() = 0;

    // Replaces the small alert window's text and shows it, without blocking.
    virtual void ShowAlertMessage(const QString &text) = 0;

    // A message box, modal to the main window.
    virtual void ShowMessageBox(const QString &text) = 0;

    // A change in how events reach the syslog server: an outage, its end, a
    // full spool. Shown beside the events (the pane; the sensor's standard
    // error), never in a window that waits for the user.
    virtual void ShowDeliveryNote(const QString &text) = 0;
};

} // namespace keelwatch
