#include "app/startup.h"

#include "config/adapterlist.h"
#include "report/eventlog.h"
#include "report/externalcommand.h"
#include "ui/aboutbox.h"
#include "ui/alertmessagewindow.h"
#include "ui/alerttray.h"
#include "ui/commenteditor.h"
#include "ui/commentsave.h"
#include "ui/eventwindowsadapter.h"
#include "ui/helpwindow.h"
#include "ui/logo.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"
#include "ui/nodelistdialogs.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/scanwindows.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <cstdio>

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

Startup::Startup(const QStringList &arguments, const QString &programDir,
                 std::shared_ptr<PacketDriver> packetDriver, const QString &userDir)
    : programDir(programDir.isEmpty() ? QCoreApplication::applicationDirPath() : programDir),
      driver(std::move(packetDriver)), session(settings, clock),
      mainWindow(std::make_unique<MainWindow>(session.Nodes(), arguments))
{
    MainWindow *window = mainWindow.get();
    QApplication::setWindowIcon(ProgramIcon());
    // Part of the main window's creation: vendors first, then comments.
    const MessageSink tell = MessageBoxSink(window);
    // A missing file is no fault worth a modal box: a first run has no
    // comments yet, and the built-in vendors still name the common makers.
    session.Vendors().LoadVendorTable(
        this->programDir, tell, VendorTable::SharedOuiDir, [window](const QString &text) {
            window->AppendPaneNote(
                tr("%1 Vendors come from the built-in list; install ieee-data or put oui.txt "
                   "beside the program.")
                    .arg(WindowText(text)));
        });
    const CommentFolders commentFolders = ChooseCommentFolders(this->programDir, userDir);
    commentDir = commentFolders.saveDir;
    session.Comments().LoadComments(commentFolders.readDir, tell, [this, window](const QString &) {
        window->AppendPaneNote(tr("No comments yet: comment.txt is created in %1 at exit.")
                                   .arg(QDir::toNativeSeparators(commentDir)));
    });
    if (commentDir != this->programDir) {
        const QString file = QDir::toNativeSeparators(QDir(commentDir).filePath(u"comment.txt"_s));
        const QString folder = QDir::toNativeSeparators(this->programDir);
        window->AppendPaneNote(
            commentFolders.readDir != commentDir
                ? tr("Comments are kept in %1, as %2 cannot be written; they start from the "
                     "comment.txt there.")
                      .arg(file, folder)
                : tr("Comments are kept in %1, as %2 cannot be written.").arg(file, folder));
    }

    setupDialog = new SetupDialog(window);
    settingsLink = new SettingsLink(settings, *window, *setupDialog, [this](const QString &text) {
        if (exitBySignal)
            ReportExitFailure(text);
        else
            QMessageBox::critical(setupDialog, u"Keelwatch"_s, text);
    });
    // The settings are restored once the adapters are known, so that the
    // stored interface item can be selected.
    const AdapterList adapters = FillAdapterList(*driver);
    window->SetPanelText(7, adapters.panelText);
    settingsLink->Load(adapters.adapters, tell);
    aboutBox = new AboutBox(window);
    alertMessageWindow = new AlertMessageWindow(window);
    nodeViewerWindow = new NodeViewerWindow(settings, window);
    commentEditor = new CommentEditor(session.Comments(), session.Nodes(), window);
    promiscuousAlertWindow = new PromiscuousAlertWindow(clock, window);
    // Before the event log: an alert pops up as its line is written.
    promiscuousAlertWindow->Listen(session.Events());
    alertTray = new AlertTray(window);
    QObject::connect(promiscuousAlertWindow, &PromiscuousAlertWindow::alertShown, alertTray,
                     &AlertTray::ShowAlertLine);
    QObject::connect(promiscuousAlertWindow, &PromiscuousAlertWindow::hidden, alertTray,
                     &AlertTray::AcknowledgeAlert);
    QObject::connect(alertTray, &AlertTray::alertWindowRequested, promiscuousAlertWindow,
                     [this] { ShowModeless(promiscuousAlertWindow); });
    QObject::connect(alertTray, &AlertTray::mainWindowRequested, window, [window] {
        window->showNormal();
        ShowModeless(window);
    });
    QObject::connect(alertTray, &AlertTray::startRequested, window, &MainWindow::PressStart);
    QObject::connect(alertTray, &AlertTray::stopRequested, window, &MainWindow::PressStop);
    QObject::connect(alertTray, &AlertTray::quitRequested, window, &QWidget::close);

    QObject::connect(window, &MainWindow::setupRequested, setupDialog,
                     [this] { ShowModeless(setupDialog); });
    QObject::connect(window, &MainWindow::aboutRequested, aboutBox,
                     [this] { ShowModeless(aboutBox); });
    helpWindow = new HelpWindow(window);
    QObject::connect(window, &MainWindow::helpRequested, helpWindow, &HelpWindow::ShowSection);
    QObject::connect(window, &MainWindow::closing, window, [this] { SaveAtExit(); });
    ConnectNodeTools();
    ConnectEventLog();
    ConnectScanController();
}

// The settings are saved first, whether or not the Setup dialog was ever
// shown; the comments follow.
void Startup::SaveAtExit()
{
    exitStarted = true;
    bool saved = settingsLink->Save();
    const RetryQuestion ask = RetryBox(mainWindow.get());
    saved = SaveCommentsAtExit(session.Comments(), commentDir,
                               [this, &ask](const QString &error) {
                                   if (!exitBySignal && ask(error) && !exitBySignal)
                                       return true;
                                   ReportExitFailure(error);
                                   return false;
                               }) &&
            saved;
    exitSaveFailed = !saved;
}

void Startup::ReportExitFailure(const QString &text)
{
    // One line per failure, as log collectors take stderr.
    const QString line = QString(text).replace(u'\n', u' ');
    std::fprintf(stderr, "keelwatch: %s\n", line.toLocal8Bit().constData());
    session.Log().WriteErrorNote(text);
}

void Startup::EndOnSignal()
{
    exitBySignal = true;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(widget);
        if (dialog && dialog->isModal() && dialog->isVisible())
            dialog->reject();
    }
    // An exit already under way goes on once its question is gone.
    if (!exitStarted)
        mainWindow->close();
}

void Startup::ConnectNodeTools()
{
    MainWindow *window = mainWindow.get();
    const MessageSink tell = MessageBoxSink(window);
    NodeList &nodes = session.Nodes();
    const auto nodeAt = [&nodes](int node) {
        return node >= 0 && node < nodes.Count() ? &nodes.At(node) : nullptr;
    };
    const auto ipOf = [nodeAt](int node) {
        const Node *found = nodeAt(node);
        return found ? found->ip.ToText() : QString();
    };

    QObject::connect(window, &MainWindow::saveNodeListRequested, window,
                     [&nodes, window, tell] { ShowSaveNodeListDialog(window, nodes, tell); });
    QObject::connect(window, &MainWindow::exportReportRequested, window,
                     [&nodes, window, tell] { ShowExportReportDialog(window, nodes, tell); });
    QObject::connect(window, &MainWindow::loadNodeListRequested, window,
                     [&nodes, window, tell] { ShowLoadNodeListDialog(window, nodes, tell); });
    QObject::connect(window, &MainWindow::nodeViewerRequested, nodeViewerWindow,
                     [this] { ShowModeless(nodeViewerWindow); });
    QObject::connect(
        window, &MainWindow::nodeHistoryRequested, nodeViewerWindow,
        [this, ipOf](int node) { nodeViewerWindow->OpenFor(ipOf(node), settings.Read().logPath); });
    QObject::connect(window, &MainWindow::commentEditorRequested, commentEditor,
                     [this, ipOf](int node) { commentEditor->OpenFor(ipOf(node)); });
    QObject::connect(commentEditor, &CommentEditor::commentStored, window, [this, tell] {
        if (const QString error = session.Comments().SaveComments(commentDir); !error.isEmpty())
            tell(error);
    });
    QObject::connect(
        window, &MainWindow::externalCommandRequested, window, [this, nodeAt, tell](int node) {
            RunExternalCommand(nodeAt(node), settings.Read().command, StartDetachedProcess, tell);
        });
}

void Startup::ConnectEventLog()
{
    MainWindow *window = mainWindow.get();
    eventWindows = window->CreateEventWindows(alertMessageWindow);
    session.StartReporting(*eventWindows);
    EventLog &log = session.Log();
    // Comes while the program runs: in turn with the event lines waiting for
    // the pane, which a text put there directly would drop.
    QObject::connect(alertTray, &AlertTray::notificationsOff, window,
                     [this](const QString &note) { eventWindows->AppendPaneLine(note); });

    NodeViewer &viewer = nodeViewerWindow->Viewer();
    log.SetRefreshHook([&viewer] { viewer.RefreshNodeViewer(); });
    log.SetRotationHook([&viewer] { viewer.ResetReadPosition(); });
    viewer.SetFlush([&log] { log.FlushEventLog(); });

    QObject::connect(window, &MainWindow::alertRequested, promiscuousAlertWindow,
                     &PromiscuousAlertWindow::ShowIfHoldsLines);
}

void Startup::ConnectScanController()
{
    MainWindow *window = mainWindow.get();
    scanWindows = std::make_unique<ScanWindows>(*window, *setupDialog, *settingsLink);
    scanWindows->SetScanRunningHook([this](bool running) { alertTray->SetScanRunning(running); });
    session.AssembleScan(
        ScanSession::ScanParts{.driver = driver,
                               .status = *scanWindows,
                               .messages = *scanWindows,
                               .view = *scanWindows,
                               .autoScroll = [this] { return settings.Read().autoScroll; },
                               .selectNode = [window](int node) { window->ShowNode(node); }});
    QObject::connect(window, &MainWindow::captureCounterToggled, window,
                     [this](bool shown) { session.ShowCaptureCounter(shown); });
    ScanController *controller = &session.Controller();

    QObject::connect(window, &MainWindow::startRequested, window,
                     [controller] { controller->Start(); });
    QObject::connect(window, &MainWindow::stopRequested, window,
                     [controller] { controller->Stop(); });
    // Running workers are told to stop after the settings and comments are
    // saved; they are joined when this object goes.
    // Events still waiting for their turn are written while the windows
    // they go to are there.
    QObject::connect(window, &MainWindow::closing, window, [this, controller] {
        controller->Shutdown();
        session.Log().WritePendingEvents();
    });
    if (window->AutoStartPending())
        controller->ArmAutomaticStart();
}

Startup::~Startup()
{
    // The workers read the windows: they are joined while those are here.
    session.EndScan();
}

void Startup::Show()
{
    mainWindow->show();
}

} // namespace keelwatch
