#include "app/startup.h"

#include "config/adapterlist.h"
#include "core/scancontroller.h"
#include "core/workerscanengine.h"
#include "report/eventlog.h"
#include "report/externalcommand.h"
#include "report/syslogsender.h"
#include "ui/aboutbox.h"
#include "ui/alertmessagewindow.h"
#include "ui/commenteditor.h"
#include "ui/commentsave.h"
#include "ui/eventwindowsadapter.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/nodelistdialogs.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/scanwindows.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

void ShowModeless(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

const char NoDisplayText[] =
    "Keelwatch is a desktop program and needs a display, and none is set here.\n"
    "Give it one in either of these ways:\n"
    "  - log in with X forwarding:   ssh -X user@this-host, then run it again\n"
    "  - use a virtual display:      xvfb-run -a keelwatch\n";

bool DisplayAvailable(const QStringList &arguments)
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || arguments.contains(u"-platform"_s);
}

Startup::Startup(const QStringList &arguments, const QString &programDir,
                 std::shared_ptr<PacketDriver> packetDriver)
    : programDir(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir),
      driver(std::move(packetDriver)), form1(std::make_unique<MainWindow>(arguments))
{
    // Part of the main window's creation: vendors first, then comments.
    const MessageSink tell = MessageBoxSink(form1.get());
    vendors.LoadVendorTable(this->programDir, tell);
    comments.LoadComments(this->programDir, tell);

    form2 = new SetupDialog(form1.get());
    settingsLink = new SettingsLink(settings, *form1, *form2, [this](const QString &text) {
        QMessageBox::critical(form2, u"Keelwatch"_s, text);
    });
    // The settings are restored once the adapters are known, so that the
    // stored interface item can be selected.
    const AdapterList adapters = FillAdapterList(*driver);
    form1->SetPanelText(7, adapters.panelText);
    settingsLink->Load(adapters.items);
    form6 = new AboutBox(form1.get());
    form7 = new AlertMessageWindow(form1.get());
    form8 = new NodeViewerWindow(settings, form1.get());
    form9 = new CommentEditor(comments, form1->Nodes(), form1.get());
    form10 = new PromiscuousAlertWindow(form1->Nodes(), clock, form1.get());

    QObject::connect(form1.get(), &MainWindow::setupRequested, form2,
                     [this] { ShowModeless(form2); });
    QObject::connect(form1.get(), &MainWindow::aboutRequested, form6,
                     [this] { ShowModeless(form6); });
    // The settings are saved first at exit, whether or not the Setup dialog
    // was ever shown. The comments follow.
    QObject::connect(form1.get(), &MainWindow::closing, settingsLink, &SettingsLink::Save);
    QObject::connect(form1.get(), &MainWindow::closing, form1.get(), [this] {
        SaveCommentsAtExit(comments, this->programDir, RetryBox(form1.get()));
    });
    ConnectNodeTools();
    ConnectEventLog();
    ConnectScanController();
}

void Startup::ConnectNodeTools()
{
    MainWindow *f1 = form1.get();
    const MessageSink tell = MessageBoxSink(f1);
    const auto selectedIp = [f1] { return f1->Nodes().Cell(f1->SelectedRow, NodeTable::IpColumn); };
    const auto runCommand = [this, f1, tell] {
        RunExternalCommand(f1->Nodes(), f1->SelectedRow, settings.Read().command,
                           StartDetachedProcess, tell);
    };

    QObject::connect(f1->savedata1, &QAction::triggered, f1,
                     [f1, tell] { ShowSaveNodeListDialog(f1, f1->Nodes(), tell); });
    QObject::connect(f1->loaddata1, &QAction::triggered, f1,
                     [f1, tell] { ShowLoadNodeListDialog(f1, f1->Nodes(), tell); });
    QObject::connect(f1->N1, &QAction::triggered, form8, [this] { ShowModeless(form8); });
    QObject::connect(f1->N3, &QAction::triggered, form8,
                     [this, selectedIp] { form8->OpenFor(selectedIp(), settings.Read().logPath); });
    for (QAction *editor : {f1->N4, f1->N7})
        QObject::connect(editor, &QAction::triggered, form9,
                         [this, selectedIp] { form9->OpenFor(selectedIp()); });
    QObject::connect(f1->N5, &QAction::triggered, f1, runCommand);
    QObject::connect(f1, &MainWindow::gridDoubleClicked, f1, runCommand);
}

void Startup::ConnectEventLog()
{
    const auto setServerText = [this](const QString &text) {
        Settings values = settings.Read();
        values.syslogServer = text;
        settingsLink->Show(values);
    };
    eventWindows =
        std::make_unique<EventWindowsAdapter>(form1->Memo1, form7, setServerText, form1.get());
    syslog = std::make_unique<SyslogSender>(settings, *eventWindows);
    events = std::make_unique<EventLog>(settings, form1->Nodes(), clock, *eventWindows, *syslog);

    NodeViewer &viewer = form8->Viewer();
    events->SetRefreshHook([&viewer] { viewer.RefreshNodeViewer(); });
    events->SetRotationHook([&viewer] { viewer.ResetReadPosition(); });
    viewer.SetFlush([this] { events->FlushEventLog(); });

    QObject::connect(form1->N8, &QAction::triggered, form10,
                     &PromiscuousAlertWindow::ShowIfHoldsLines);
}

void Startup::ConnectScanController()
{
    MainWindow *f1 = form1.get();
    scanWindows = std::make_unique<ScanWindows>(*f1, *form2, *settingsLink, *form10);
    workers = std::make_unique<ScanWorkers>(driver, *scanWindows, *scanWindows);
    WorkerScanEngine::Lookups lookups;
    lookups.vendor = [this](const QString &prefix) { return vendors.LookupVendor(prefix); };
    lookups.comment = [this](const QString &ip) { return comments.LookupComment(ip); };
    lookups.autoScroll = [this] { return settings.Read().autoScroll; };
    lookups.selectRow = [f1](int row) { f1->SelectNodeRow(row); };
    lookups.captureCounterShown = &f1->CaptureCounterShown;
    engine = std::make_unique<WorkerScanEngine>(*workers, f1->Nodes(), *events, lookups);
    controller = std::make_unique<ScanController>(ScanController::Parts{
        settings, f1->Nodes(), *engine, *scanWindows, *events, *events, clock});
    events->SetDayChangeFlag(&controller->DayChangeFlag());

    QObject::connect(f1->Button1, &QPushButton::clicked, f1, [this] { controller->Start(); });
    QObject::connect(f1->Button2, &QPushButton::clicked, f1, [this] { controller->Stop(); });
    // Running workers are told to stop after the settings and comments are
    // saved; they are joined when this object goes.
    QObject::connect(f1, &MainWindow::closing, f1, [this] { controller->Shutdown(); });
    if (f1->AutoStartPending())
        controller->ArmAutomaticStart();
}

Startup::~Startup() = default;

void Startup::Show()
{
    form1->show();
}

} // namespace keelwatch
