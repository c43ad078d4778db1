#pragma once

#include <QIcon>
#include <QObject>

class QSystemTrayIcon;

namespace keelwatch {

// The program's sign in the system tray: idle, scanning, or an alert not yet
// looked at, and a desktop notification for every node that starts to
// answer as a promiscuous one, so a minimised monitor still alerts.
// Clicking the icon or the notification asks for the alert window. Where the
// desktop has no tray nothing is shown, and the notification is still
// announced by its signal.
class AlertTray : public QObject
{
    Q_OBJECT

  public:
    enum class State { Idle, Scanning, Alert };

    explicit AlertTray(QObject *parent = nullptr);

    void SetScanRunning(bool running);
    // An alert window line; a START notifies and raises the alert state.
    void ShowAlertLine(const QString &line, bool started);
    // The alert window was put away: back to idle or scanning.
    void AcknowledgeAlert();

    State CurrentState() const { return state; }
    bool Shown() const { return trayIcon != nullptr; }

  Q_SIGNALS:
    void notified(const QString &title, const QString &text);
    void alertWindowRequested();

  private:
    void Show(State next);

    QSystemTrayIcon *trayIcon = nullptr;
    State state = State::Idle;
    bool scanRunning = false;
};

// The tray's picture for a state: a dot coloured grey, green or red.
QIcon TrayStateIcon(AlertTray::State state);

} // namespace keelwatch
