#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QString>

class QDBusPendingCallWatcher;

namespace keelwatch {

// Desktop notifications sent straight to the notification server on the
// session bus (org.freedesktop.Notifications), for desktops without a system
// tray: many GNOME sessions and plain window managers still show these.
// Clicking one of ours is announced by activated().
class DesktopNotifier : public QObject
{
    Q_OBJECT

  public:
    // busAddress: a bus to use instead of the session bus (tests).
    explicit DesktopNotifier(QObject *parent = nullptr, const QString &busAddress = QString());
    ~DesktopNotifier() override;

    void Notify(const QString &summary, const QString &body);

  Q_SIGNALS:
    void activated();
    // No bus or no server, in a few words: said once, and the notifications
    // are dropped.
    void unavailable(const QString &reason);

  private Q_SLOTS:
    void OnActionInvoked(uint id, const QString &actionKey);
    void OnNotificationClosed(uint id, uint reason);

  private:
    void Call(const QString &method, const QVariantList &arguments,
              void (DesktopNotifier::*onReply)(QDBusPendingCallWatcher *));
    void OnNotifyReply(QDBusPendingCallWatcher *watcher);
    void OnServerReply(QDBusPendingCallWatcher *watcher);
    void ReportUnavailable(const QString &reason);

    const QString connectionName;
    QDBusConnection bus;
    // Notifications of ours still on the screen: the server's signals name
    // every client's.
    QSet<uint> shownIds;
    bool unavailableReported = false;
};

} // namespace keelwatch
