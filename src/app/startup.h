#pragma once

#include "config/clock.h"
#include "config/settingsstore.h"
#include "report/scansession.h"
#include "scan/pcapdriver.h"
#include "ui/commentsave.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>

namespace keelwatch {

class ScanWindows;
class EventWindowsAdapter;
class MainWindow;
class SetupDialog;
class SettingsLink;
class AboutBox;
class AlertMessageWindow;
class NodeViewerWindow;
class CommentEditor;
class PromiscuousAlertWindow;
class AlertTray;
class HelpWindow;

// The windows, created once in start-up order: the main window with the
// vendor table and the comments, the Setup dialog (the packet driver's
// adapters are listed, then the settings restored), the About box, the small
// alert window, the node viewer, the comment editor and the promiscuous
// alert window; and the event writer.
class Startup
{
    Q_DECLARE_TR_FUNCTIONS(keelwatch::Startup)

  public:
    // arguments: the command line without the program name. programDir holds
    // oui.txt and comment.txt: the program's own folder unless a test gives
    // another. userDir keeps comment.txt where programDir cannot.
    explicit Startup(const QStringList &arguments, const QString &programDir = QString(),
                     std::shared_ptr<PacketDriver> driver = std::make_shared<PcapDriver>(),
                     const QString &userDir = UserCommentFolder());
    ~Startup();

    void Show();

    // SIGTERM or SIGINT: the program ends as File, "Exit" does, but a save
    // that fails is reported on stderr and in the open event log instead of
    // asked about, and a dialog already open (a Retry question) is
    // dismissed, so nothing holds the exit.
    void EndOnSignal();
    // Whether a save at exit failed.
    bool ExitSaveFailed() const { return exitSaveFailed; }

    MainWindow &Main() { return *mainWindow; }
    SetupDialog &Setup() { return *setupDialog; }
    AboutBox &About() { return *aboutBox; }
    AlertMessageWindow &AlertMessage() { return *alertMessageWindow; }
    NodeViewerWindow &NodeViewerWin() { return *nodeViewerWindow; }
    CommentEditor &CommentEditorWin() { return *commentEditor; }
    PromiscuousAlertWindow &PromiscuousAlert() { return *promiscuousAlertWindow; }
    AlertTray &Tray() { return *alertTray; }
    HelpWindow &Help() { return *helpWindow; }
    NodeList &Nodes() { return session.Nodes(); }
    ScanEvents &EventSource() { return session.Events(); }
    VendorTable &Vendors() { return session.Vendors(); }
    CommentTable &Comments() { return session.Comments(); }
    SettingsModel &Configuration() { return settings; }
    SettingsLink &SettingsWindows() { return *settingsLink; }
    EventLog &Events() { return session.Log(); }
    const std::shared_ptr<PacketDriver> &Driver() const { return driver; }
    ScanController &Controller() { return session.Controller(); }
    ScanAssembly &Scan() { return session.Scan(); }

  private:
    void SaveAtExit();
    void ReportExitFailure(const QString &text);
    void ConnectNodeTools();
    void ConnectEventLog();
    void ConnectScanController();

    QString programDir;
    // Where comment.txt is written.
    QString commentDir;
    bool exitBySignal = false;
    bool exitStarted = false;
    bool exitSaveFailed = false;
    std::shared_ptr<PacketDriver> driver;
    SystemClock clock;
    SettingsModel settings;
    // The event log writes to it, so it goes after the session.
    std::unique_ptr<EventWindowsAdapter> eventWindows;
    // Declared before the windows and so gone after them: the node viewer
    // holds a flush of the event log. Its scan reads the windows, so the
    // destructor ends that first.
    ScanSession session;
    std::unique_ptr<MainWindow> mainWindow;
    // Children of the main window, so gone with it.
    SetupDialog *setupDialog;
    SettingsLink *settingsLink;
    AboutBox *aboutBox;
    AlertMessageWindow *alertMessageWindow;
    NodeViewerWindow *nodeViewerWindow;
    CommentEditor *commentEditor;
    PromiscuousAlertWindow *promiscuousAlertWindow;
    AlertTray *alertTray;
    HelpWindow *helpWindow;
    // After the windows: the workers and the controller use them.
    std::unique_ptr<ScanWindows> scanWindows;
};

} // namespace keelwatch
