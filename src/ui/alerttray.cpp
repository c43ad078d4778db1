#include "ui/alerttray.h"

#include "ui/desktopnotifier.h"

#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace keelwatch {

QIcon TrayStateIcon(AlertTray::State state)
{
    QColor colour(0x80, 0x80, 0x80);
    if (state == AlertTray::State::Scanning)
        colour = QColor(0x20, 0xA0, 0x40);
    else if (state == AlertTray::State::Alert)
        colour = Qt::red;
    QIcon icon;
    for (int size : {16, 22, 32, 64}) {
        QPixmap picture(size, size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, size / 16.0));
        painter.setBrush(colour);
        const qreal margin = size / 8.0;
        painter.drawEllipse(QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
        painter.end();
        icon.addPixmap(picture);
    }
    return icon;
}

AlertTray::AlertTray(QObject *parent, const QString &notificationBus) : QObject(parent)
{
    BuildMenu();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        notifier = new DesktopNotifier(this, notificationBus);
        connect(notifier, &DesktopNotifier::activated, this, &AlertTray::alertWindowRequested);
        connect(notifier, &DesktopNotifier::unavailable, this, [this](const QString &reason) {
            Q_EMIT notificationsOff(tr("No desktop notifications: no system tray and %1. Alerts "
                                       "show in the alert window only.")
                                        .arg(reason));
        });
        return;
    }
    trayIcon = new QSystemTrayIcon(this);
    trayIcon->setObjectName(u"TrayIcon"_s);
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT alertWindowRequested();
            });
    connect(trayIcon, &QSystemTrayIcon::messageClicked, this, &AlertTray::alertWindowRequested);
    trayIcon->setContextMenu(menu.get());
    Show(State::Idle);
    trayIcon->show();
}

AlertTray::~AlertTray() = default;

void AlertTray::BuildMenu()
{
    menu = std::make_unique<QMenu>();
    menu->setObjectName(u"TrayMenu"_s);
    QAction *show = menu->addAction(tr("&Show Keelwatch"));
    show->setObjectName(u"TrayShow"_s);
    startStop = menu->addAction(tr("S&tart scan"));
    startStop->setObjectName(u"TrayStartStop"_s);
    menu->addSeparator();
    QAction *quit = menu->addAction(tr("&Quit"));
    quit->setObjectName(u"TrayQuit"_s);
    connect(show, &QAction::triggered, this, &AlertTray::mainWindowRequested);
    connect(startStop, &QAction::triggered, this, [this] {
        if (scanRunning)
            Q_EMIT stopRequested();
        else
            Q_EMIT startRequested();
    });
    connect(quit, &QAction::triggered, this, &AlertTray::quitRequested);
}

void AlertTray::SetScanRunning(bool running)
{
    scanRunning = running;
    startStop->setText(running ? tr("S&top scan") : tr("S&tart scan"));
    if (state != State::Alert)
        Show(running ? State::Scanning : State::Idle);
}

void AlertTray::ShowAlertLine(const QString &line, bool started)
{
    if (!started)
        return;
    Show(State::Alert);
    const QString title = tr("Detect Promiscuous Node");
    if (trayIcon && QSystemTrayIcon::supportsMessages())
        trayIcon->showMessage(title, line, QSystemTrayIcon::Warning);
    else if (notifier)
        notifier->Notify(title, line);
    Q_EMIT notified(title, line);
}

void AlertTray::AcknowledgeAlert()
{
    if (state == State::Alert)
        Show(scanRunning ? State::Scanning : State::Idle);
}

void AlertTray::Show(State next)
{
    state = next;
    if (!trayIcon)
        return;
    trayIcon->setIcon(TrayStateIcon(next));
    const QString tips[] = {tr("Keelwatch: idle"), tr("Keelwatch: scanning"),
                            tr("Keelwatch: promiscuous node detected")};
    trayIcon->setToolTip(tips[int(next)]);
}

} // namespace keelwatch
