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
#include "ui/setupdialog.h"

#include <QCoreApplication>

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
      driver(std::move(packetDriver)), mainWindow(std::make_unique<MainWindow>(arguments))
{
    MainWindow *window = mainWindow.get();
    // Part of the main window's creation: vendors first, then comments.
    const MessageSink tell = MessageBoxSink(window);
    vendors.LoadVendorTable(this->programDir, tell);
    comments.LoadComments(this->programDir, tell);

    setupDialog = new SetupDialog(window);
    // The Setup dialog restores the settings once its adapter list is
    // filled, so that the stored interface item can be selected.
    const AdapterList adapters = FillAdapterList(*driver);
    setupDialog->ShowDriverVersion(adapters.panelText);
    setupDialog->SetAdapterItems(adapters.items);
    setupDialog->LoadSettings();
    aboutBox = new AboutBox(window);
    alertMessageWindow = new AlertMessageWindow(window);
    nodeViewerWindow = new NodeViewerWindow(*setupDialog, window);
    commentEditor = new CommentEditor(comments, window->Nodes(), window);
    promiscuousAlertWindow = new PromiscuousAlertWindow(window->Nodes(), clock, window);

    QObject::connect(window, &MainWindow::setupRequested, setupDialog,
                     [this] { ShowModeless(setupDialog); });
    QObject::connect(window, &MainWindow::aboutRequested, aboutBox,
                     [this] { ShowModeless(aboutBox); });
    // The Setup dialog's close query runs first at exit: the settings are
    // saved whether or not the dialog was ever shown. The comments follow.
    QObject::connect(window, &MainWindow::closing, setupDialog, &SetupDialog::SaveSettings);
    QObject::connect(window, &MainWindow::closing, window, [this, window] {
        SaveCommentsAtExit(comments, this->programDir, RetryBox(window));
    });
    ConnectNodeTools();
    ConnectEventLog();
    ConnectScanController();
}

void Startup::ConnectNodeTools()
{
    MainWindow *window = mainWindow.get();
    const MessageSink tell = MessageBoxSink(window);
    const auto ipOf = [window](int row) { return window->Nodes().Cell(row, NodeTable::IpColumn); };

    QObject::connect(window, &MainWindow::saveNodeListRequested, window,
                     [window, tell] { ShowSaveNodeListDialog(window, window->Nodes(), tell); });
    QObject::connect(window, &MainWindow::loadNodeListRequested, window,
                     [window, tell] { ShowLoadNodeListDialog(window, window->Nodes(), tell); });
    QObject::connect(window, &MainWindow::nodeViewerRequested, nodeViewerWindow,
                     [this] { ShowModeless(nodeViewerWindow); });
    QObject::connect(window, &MainWindow::nodeHistoryRequested, nodeViewerWindow,
                     [this, ipOf](int row) {
                         nodeViewerWindow->OpenFor(ipOf(row), setupDialog->Read().logPath);
                     });
    QObject::connect(window, &MainWindow::commentEditorRequested, commentEditor,
                     [this, ipOf](int row) { commentEditor->OpenFor(ipOf(row)); });
    QObject::connect(window, &MainWindow::externalCommandRequested, window,
                     [this, window, tell](int row) {
                         RunExternalCommand(window->Nodes(), row, setupDialog->Read().command,
                                            StartDetachedProcess, tell);
                     });
}

void Startup::ConnectEventLog()
{
    MainWindow *window = mainWindow.get();
    eventWindows = std::make_unique<EventWindowsAdapter>(window->EventPane(), alertMessageWindow,
                                                         setupDialog->Edit9, window);
    syslog = std::make_unique<SyslogSender>(*setupDialog, *eventWindows);
    events =
        std::make_unique<EventLog>(*setupDialog, window->Nodes(), clock, *eventWindows, *syslog);

    NodeViewer &viewer = nodeViewerWindow->Viewer();
    events->SetRefreshHook([&viewer] { viewer.RefreshNodeViewer(); });
    events->SetRotationHook([&viewer] { viewer.ResetReadPosition(); });
    viewer.SetFlush([this] { events->FlushEventLog(); });

    QObject::connect(window, &MainWindow::alertRequested, promiscuousAlertWindow,
                     &PromiscuousAlertWindow::ShowIfHoldsLines);
}

void Startup::ConnectScanController()
{
    MainWindow *window = mainWindow.get();
    scanWindows = std::make_unique<ScanWindows>(*window, *setupDialog, *promiscuousAlertWindow);
    workers = std::make_unique<ScanWorkers>(driver, *scanWindows, *scanWindows);
    WorkerScanEngine::Lookups lookups;
    lookups.vendor = [this](const QString &prefix) { return vendors.LookupVendor(prefix); };
    lookups.comment = [this](const QString &ip) { return comments.LookupComment(ip); };
    lookups.autoScroll = [window] { return window->AutoScrollChecked(); };
    lookups.selectRow = [window](int row) { window->SelectNodeRow(row); };
    lookups.captureCounterShown = &window->CaptureCounterShown();
    engine = std::make_unique<WorkerScanEngine>(*workers, window->Nodes(), *events, lookups);
    controller = std::make_unique<ScanController>(ScanController::Parts{
        *setupDialog, window->Nodes(), *engine, *scanWindows, *events, *events, clock});
    events->SetDayChangeFlag(&controller->DayChangeFlag());

    QObject::connect(window, &MainWindow::startRequested, window,
                     [this] { controller->Button1Click(); });
    QObject::connect(window, &MainWindow::stopRequested, window,
                     [this] { controller->Button2Click(); });
    // Running workers are stopped, and briefly waited for, after the
    // settings and comments are saved.
    QObject::connect(window, &MainWindow::closing, window, [this] { controller->Shutdown(); });
    if (window->AutoStartPending())
        controller->ArmAutomaticStart();
}

Startup::~Startup() = default;

void Startup::Show()
{
    mainWindow->show();
}

} // namespace keelwatch
