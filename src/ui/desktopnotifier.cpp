#include "ui/desktopnotifier.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include <atomic>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString ObjectPath = u"/org/freedesktop/Notifications"_s;
const QString Interface = u"org.freedesktop.Notifications"_s;
// The action a server invokes when the notification itself is clicked.
const QString DefaultAction = u"default"_s;

// A connection of each notifier's own, opened when it is made: the bus
// named by the environment at that moment, and closed with the notifier.
QDBusConnection OpenBus(const QString &address, const QString &name)
{
    return address.isEmpty() ? QDBusConnection::connectToBus(QDBusConnection::SessionBus, name)
                             : QDBusConnection::connectToBus(address, name);
}

// The error's name, not its message: the bus's messages run to several
// lines of detail about service files.
QString NoServerText(const QDBusError &error)
{
    return DesktopNotifier::tr("no notification server on the session bus (%1)").arg(error.name());
}

QString NextConnectionName()
{
    static std::atomic<int> last{0};
    return u"keelwatch-notifications-%1"_s.arg(++last);
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject *parent, const QString &busAddress)
    : QObject(parent), connectionName(NextConnectionName()),
      bus(OpenBus(busAddress, connectionName))
{
    if (!bus.isConnected()) {
        // Queued, so that whoever made this notifier has connected to it.
        QMetaObject::invokeMethod(
            this, [this] { ReportUnavailable(tr("no session bus")); }, Qt::QueuedConnection);
        return;
    }
    bus.connect(Service, ObjectPath, Interface, u"ActionInvoked"_s, this,
                SLOT(OnActionInvoked(uint, QString)));
    bus.connect(Service, ObjectPath, Interface, u"NotificationClosed"_s, this,
                SLOT(OnNotificationClosed(uint, uint)));
    // Asked at start, so that a desktop without a server is told before the
    // first alert; the bus also starts a server it activates on demand.
    Call(u"GetServerInformation"_s, {}, &DesktopNotifier::OnServerReply);
}

DesktopNotifier::~DesktopNotifier()
{
    QDBusConnection::disconnectFromBus(connectionName);
}

void DesktopNotifier::Notify(const QString &summary, const QString &body)
{
    if (!bus.isConnected())
        return;
    // The program's own icon and desktop entry, so the desktop groups and
    // shows it as Keelwatch's; critical, as a sniffer on the segment is, so it
    // stays until looked at.
    const QVariantMap hints = {{u"urgency"_s, QVariant::fromValue(uchar(2))},
                               {u"desktop-entry"_s, u"keelwatch"_s}};
    const QVariantList arguments = {u"Keelwatch"_s, 0u,
                                    u"keelwatch"_s, summary,
                                    body,           QStringList{DefaultAction, tr("Show alerts")},
                                    hints,          -1};
    Call(u"Notify"_s, arguments, &DesktopNotifier::OnNotifyReply);
}

// Never a blocking call: a hung server must not freeze the windows.
void DesktopNotifier::Call(const QString &method, const QVariantList &arguments,
                           void (DesktopNotifier::*onReply)(QDBusPendingCallWatcher *))
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, ObjectPath, Interface, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, onReply](QDBusPendingCallWatcher *finished) {
                (this->*onReply)(finished);
                finished->deleteLater();
            });
}

void DesktopNotifier::OnNotifyReply(QDBusPendingCallWatcher *watcher)
{
    const QDBusPendingReply<uint> reply = *watcher;
    if (reply.isError())
        ReportUnavailable(NoServerText(reply.error()));
    else
        shownIds.insert(reply.value());
}

void DesktopNotifier::OnServerReply(QDBusPendingCallWatcher *watcher)
{
    if (watcher->isError())
        ReportUnavailable(NoServerText(watcher->error()));
}

void DesktopNotifier::ReportUnavailable(const QString &reason)
{
    if (unavailableReported)
        return;
    unavailableReported = true;
    Q_EMIT unavailable(reason);
}

void DesktopNotifier::OnActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey == DefaultAction && shownIds.contains(id))
        Q_EMIT activated();
}

void DesktopNotifier::OnNotificationClosed(uint id, uint)
{
    shownIds.remove(id);
}

} // namespace keelwatch
