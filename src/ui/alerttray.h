#pragma once

#include <QIcon>
#include <QObject>

#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace keelwatch {

class DesktopNotifier;

// The program's sign in the system tray: idle, scanning, or an alert not yet
// looked at, and a desktop notification for every node that starts to
// answer as a promiscuous one, so a minimised monitor still alerts.
// Clicking the icon or the notification asks for the alert window. Where the
// desktop has no tray the notification goes straight to the desktop's
// notification server; it is announced by its signal either way. The icon's
// menu shows the main window, starts or stops the scan and quits.
class AlertTray : public QObject
{
    Q_OBJECT

  public:
    enum class State { Idle, Scanning, Alert };

    // notificationBus: a bus to use instead of the session bus (tests).
    explicit AlertTray(QObject *parent = nullptr, const QString &notificationBus = QString());
    ~AlertTray() override;

    void SetScanRunning(bool running);
    // An alert window line; a START notifies and raises the alert state.
    void ShowAlertLine(const QString &line, bool started);
    // The alert window was put away: back to idle or scanning.
    void AcknowledgeAlert();

    State CurrentState() const { return state; }
    bool Shown() const { return trayIcon != nullptr; }
    // The icon's menu, also where the desktop has no tray to show it.
    QMenu *Menu() const { return menu.get(); }

  Q_SIGNALS:
    void notified(const QString &title, const QString &text);
    void alertWindowRequested();
    // Neither a tray nor a notification server: alerts show in the windows
    // only. Said once.
    void notificationsOff(const QString &note);
    // The tray menu's entries.
    void mainWindowRequested();
    void startRequested();
    void stopRequested();
    void quitRequested();

  private:
    void Show(State next);
    void BuildMenu();

    // A menu has no QObject parent here, so it is owned directly.
    std::unique_ptr<QMenu> menu;
    QAction *startStop = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    DesktopNotifier *notifier = nullptr;
    State state = State::Idle;
    bool scanRunning = false;
};

// The tray's picture for a state: a dot coloured grey, green or red.
QIcon TrayStateIcon(AlertTray::State state);

} // namespace keelwatch
