#include "app/commandline.h"
#include "app/startup.h"
#include "app/translations.h"
#include "core/signalcalls.h"
#include "scan/pcapdriver.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    // A logout or service stop during the start is handled once the windows
    // are up, as one afterwards is.
    keelwatch::HoldSignals({SIGTERM, SIGINT});
    // Before any thread: a desktop run as root or given capabilities keeps
    // none and scans through the capture helper, which gains what it needs
    // from its own file capabilities or, for root, as every program root
    // starts does. Without a helper beside it, it opens the card itself.
    if (keelwatch::PcapDriver::HoldsCapabilities() &&
        QFileInfo(keelwatch::PcapDriver::InstalledCaptureHelper()).isExecutable() &&
        !keelwatch::PcapDriver::DropCapabilities()) {
        std::fputs("keelwatch: cannot give up its capabilities\n", stderr);
        return 1;
    }
    QStringList raw;
    for (int i = 1; i < argc; ++i)
        raw.append(QString::fromLocal8Bit(argv[i]));
    // Help and version need no display and no toolkit.
    switch (keelwatch::ReadCommandLine(raw)) {
    case keelwatch::CommandLineRequest::Help:
        std::fputs(keelwatch::HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    case keelwatch::CommandLineRequest::Version:
        std::fputs(keelwatch::VersionText().toLocal8Bit().constData(), stdout);
        return 0;
    case keelwatch::CommandLineRequest::Run:
        break;
    }
    // Without a display the toolkit would abort with a message about
    // platform plugins; say plainly what is missing instead.
    if (!keelwatch::DisplayAvailable(raw)) {
        std::fputs(keelwatch::NoDisplayLine().toLocal8Bit().constData(), stderr);
        return keelwatch::NoDisplayStatus;
    }

    keelwatch::DisplayOpenGuard displayGuard;
    QApplication app(argc, argv);
    displayGuard.Release();
    QApplication::setApplicationName(u"Keelwatch"_s);
    // Before the first window: every text is translated as it is made.
    const keelwatch::Translations translations(QLocale::system());
    keelwatch::Startup startup(QApplication::arguments().mid(1));
    keelwatch::MainWindow &mainWindow = startup.Main();
    // Closing the main window ends the program, whatever other window is
    // still open.
    QObject::connect(&mainWindow, &keelwatch::MainWindow::closing, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    // A logout or a service stop closes the program as File, Exit does, so the
    // settings and comments are saved.
    const auto endOnSignal = [&startup] { startup.EndOnSignal(); };
    keelwatch::SignalCalls quitSignals({{SIGTERM, endOnSignal}, {SIGINT, endOnSignal}});
    startup.Show();
    const int status = app.exec();
    // A service manager or script sees that settings or comments were lost.
    return status == 0 && startup.ExitSaveFailed() ? 1 : status;
}
