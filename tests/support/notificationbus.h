#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

// A session bus of the test's own: a dbus-daemon that activates no service,
// so nothing of the machine's answers on it. Gone with the object.
class PrivateSessionBus
{
  public:
    static std::optional<QString> Unavailable()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty())
            return QStringLiteral("dbus-daemon is not installed (scripts/install-deps)");
        return std::nullopt;
    }

    PrivateSessionBus()
    {
        const QString config = dir.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        if (!dir.isValid() || !file.open(QIODevice::WriteOnly))
            return;
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                   "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:dir=" +
                   QFile::encodeName(dir.path()) +
                   "</listen><policy context=\"default\"><allow send_destination=\"*\" "
                   "eavesdrop=\"true\"/>"
                   "<allow eavesdrop=\"true\"/>"
                   "<allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--nofork"), QStringLiteral("--print-address"),
                      QStringLiteral("--config-file=") + config});
        if (daemon.waitForStarted() && daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateSessionBus()
    {
        daemon.terminate();
        daemon.waitForFinished(5000);
    }
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    // Empty when the daemon did not start.
    QString address;

  private:
    QTemporaryDir dir;
    QProcess daemon;
};

// A desktop notification server on a bus: it keeps every Notify call and
// invokes actions as a click on a notification does.
class FakeNotificationServer : public QDBusVirtualObject
{
  public:
    struct Notification
    {
        uint id;
        QString appName;
        QString icon;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    explicit FakeNotificationServer(const QString &busAddress)
        : connection(QDBusConnection::connectToBus(busAddress, ConnectionName()))
    {
        registered = connection.registerVirtualObject(Path(), this) &&
                     connection.registerService(Interface());
    }
    ~FakeNotificationServer() override
    {
        connection.unregisterService(Interface());
        connection.unregisterObject(Path());
        QDBusConnection::disconnectFromBus(connection.name());
    }

    QString introspect(const QString &) const override { return QString(); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override
    {
        const QVariantList args = message.arguments();
        QDBusMessage reply;
        if (message.member() == QStringLiteral("Notify") && args.size() == 8) {
            received.append({++lastId, args[0].toString(), args[2].toString(), args[3].toString(),
                             args[4].toString(), args[5].toStringList(),
                             qdbus_cast<QVariantMap>(args[6])});
            reply = message.createReply(QVariant::fromValue(lastId));
        } else if (message.member() == QStringLiteral("GetServerInformation")) {
            reply = message.createReply(QVariantList{QStringLiteral("fake"), QStringLiteral("test"),
                                                     QStringLiteral("1"), QStringLiteral("1.2")});
        } else {
            return false;
        }
        return bus.send(reply);
    }

    // What a click on notification id sends to every client.
    void InvokeAction(uint id, const QString &action)
    {
        QDBusMessage signal =
            QDBusMessage::createSignal(Path(), Interface(), QStringLiteral("ActionInvoked"));
        signal << id << action;
        connection.send(signal);
    }

    bool registered = false;
    QList<Notification> received;

  private:
    static QString Path() { return QStringLiteral("/org/freedesktop/Notifications"); }
    static QString Interface() { return QStringLiteral("org.freedesktop.Notifications"); }
    static QString ConnectionName()
    {
        static int last = 0;
        return QStringLiteral("fake-notification-server-%1").arg(++last);
    }

    QDBusConnection connection;
    uint lastId = 0;
};

// Points DBUS_SESSION_BUS_ADDRESS at a private bus before any test runs, so
// that no notification of a test reaches the desktop of whoever runs it.
// Without dbus-daemon the address leads nowhere. Register it once per test
// program.
class SessionBusEnvironment : public ::testing::Environment
{
  public:
    void SetUp() override
    {
        if (!PrivateSessionBus::Unavailable())
            bus = std::make_unique<PrivateSessionBus>();
        address = bus && !bus->address.isEmpty()
                      ? bus->address
                      : QStringLiteral("unix:path=/nonexistent/keelwatch-test-bus");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    void TearDown() override { bus.reset(); }

    QString address;

  private:
    std::unique_ptr<PrivateSessionBus> bus;
};

inline SessionBusEnvironment *RegisterSessionBus()
{
    return static_cast<SessionBusEnvironment *>(
        ::testing::AddGlobalTestEnvironment(new SessionBusEnvironment));
}
