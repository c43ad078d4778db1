// Renders every window offscreen into PNG files, so the layout can be looked
// at without a display: keelwatch_screenshots OUTPUT_FOLDER [dark]; "dark"
// takes them in a dark desktop theme (Adwaita dark's colours). The screen is
// a 1366x768 laptop's at any QT_SCALE_FACTOR. The main window, the alerts and
// the node viewer are taken in the middle of a cyclic scan of a simulated
// lab, driven by the real scan controller and event log, whose confirmation
// probes find one sniffer (red) and one hash-filter match (amber).

#include "app/startup.h"
#include "core/classifyreply.h"
#include "core/nodelist.h"
#include "core/scancontroller.h"
#include "core/scanengine.h"
#include "report/eventlog.h"
#include "scan/replyanalyser.h"
#include "ui/aboutbox.h"
#include "ui/alertmessagewindow.h"
#include "ui/commenteditor.h"
#include "ui/helpwindow.h"
#include "ui/mainwindow.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/scanwindows.h"
#include "ui/settingslink.h"
#include "ui/setupdialog.h"
#include "ui/themecolours.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace keelwatch;

namespace {

// A dozen hosts behind real card makers' prefixes; .12 and .14 promiscuous
// all along, .17 during the second scanning sweep only. The confirmation
// probes are answered by .12 and .17 all, and by .14 (a card whose hash
// filter lets some multicast through) a few.
struct LabHost
{
    const char16_t *ip;
    const char16_t *mac;
};
constexpr LabHost LabHosts[] = {
    {u"10.77.0.11", u"00:00:0C:3A:10:01"}, {u"10.77.0.12", u"00:02:B3:5C:22:17"},
    {u"10.77.0.13", u"00:01:E6:41:0B:9E"}, {u"10.77.0.14", u"00:E0:4C:68:01:2A"},
    {u"10.77.0.15", u"00:03:93:C4:7D:50"}, {u"10.77.0.16", u"00:00:97:12:AB:03"},
    {u"10.77.0.17", u"00:05:B5:90:3E:71"}, {u"10.77.0.18", u"00:09:5B:77:20:C8"},
    {u"10.77.0.19", u"00:05:85:0F:64:1D"}, {u"10.77.0.20", u"00:00:F0:D2:88:45"},
    {u"10.77.0.21", u"00:01:02:5E:19:B6"}, {u"10.77.0.22", u"00:02:55:A0:4C:33"},
};
constexpr int SwitchedHostIndex = 6;
constexpr int SwitchedSweep = 2;
constexpr int FilterMatchHostIndex = 3;
constexpr int FilterMatchAnswers = 5;

// The probe sweeps of a real scan controller answered in memory as the lab
// hosts above would answer them, so that the windows show a scan as it runs
// without a network.
class SimulatedLab : public ScanEngine
{
  public:
    SimulatedLab(NodeList &nodes, ScanEvents &events, CaptureStatus &status, Startup &startup)
        : nodes(nodes), status(status), targets{nodes,
                                                events,
                                                [&startup](const IpAddress &ip) {
                                                    return startup.Comments().LookupComment(ip);
                                                },
                                                {}},
          vendors(&startup.Vendors())
    {
    }

    int ScanningSweeps() const { return scanningSweeps; }

    // What opening the capture adapter shows.
    bool OpenCaptureAdapter(const ScanSnapshot &, QString &) override
    {
        status.ShowCaptureState(CaptureState::Opening);
        status.ShowCaptureState(CaptureState::On);
        return true;
    }
    bool CreateCapturePipe(int &) override { return true; }
    void AbandonCapture() override {}
    void StartCapture(const ScanSnapshot &, const std::atomic<ScanStep> &) override {}
    void StartSweep(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                    std::uint64_t sweep) override
    {
        const ScanStep step = scanStep.load();
        if (step == ScanStep::Scanning) {
            ++scanningSweeps;
            nodes.ClearConfirmations();
        }
        ReplyOptions options{scan.settings.format, scan.settings.cyclic, false, step,
                             scan.settings.tests};
        const int sweeps = scanningSweeps;
        const bool confirm = scan.settings.confirmSuspects;
        QTimer::singleShot(200, [this, options, sweeps, sweep, confirm] {
            ReplyOptions now = options;
            now.when = QDateTime::currentMSecsSinceEpoch();
            Answer(now, sweeps, confirm);
            if (sweepFinished)
                sweepFinished(sweep);
        });
    }
    void StopSweep() override {}
    void StopCapture() override {}

  private:
    void Answer(const ReplyOptions &options, int sweeps, bool confirm)
    {
        for (int i = 0; i < int(std::size(LabHosts)); ++i) {
            const bool promiscuous =
                i == 1 || i == 3 || (i == SwitchedHostIndex && sweeps == SwitchedSweep);
            const auto ip = IpAddress::FromText(QString::fromUtf16(LabHosts[i].ip));
            const auto mac = MacAddress::FromText(QString::fromUtf16(LabHosts[i].mac));
            for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
                const bool heard =
                    column == FirstResultColumn || (options.scanStep == ScanStep::Scanning &&
                                                    (TestOfColumn(column)->correct || promiscuous));
                if (heard && options.tests[column - FirstResultColumn])
                    ClassifyReply(targets, options,
                                  {*ip, *mac, column, vendors->LookupVendor(VendorPrefix(*mac))});
            }
            if (confirm && promiscuous && options.scanStep == ScanStep::Scanning) {
                nodes.BeginConfirmation(*ip, *mac);
                const int answers =
                    i == FilterMatchHostIndex ? FilterMatchAnswers : ConfirmationProbeCount;
                for (int probe = 0; probe < answers; ++probe)
                    nodes.CountConfirmationAnswer(*ip, probe, *mac);
                // Every card answers the controls to its own MAC.
                for (int probe = ConfirmationProbeCount; probe < ConfirmationBatchProbes; ++probe)
                    nodes.CountConfirmationAnswer(*ip, probe, *mac);
            }
        }
    }

    NodeList &nodes;
    CaptureStatus &status;
    ReplyTargets targets;
    const VendorTable *vendors;
    int scanningSweeps = 0;
};

// The Setup dialog as a demo scan of the lab has it: every test address,
// List Mode and Cyclic Scan, Scan Timer 1 s, the log in folder.
void SetUpLabScan(Startup &startup, const QString &folder)
{
    const NetworkAdapters adapters = {{u"wire0"_s, IpAddress::FromIpv4(0x0A4D0001)},
                                      {u"eth0"_s, IpAddress::FromIpv4(0xC0A80104)}};
    startup.Setup().SetAdapters(adapters);
    Settings s = startup.Configuration().Read();
    s.adapter = adapters[0];
    s.ownIp = adapters[0].address;
    s.tests.fill(true);
    s.sp1Mac = MacAddress{{0x01, 0x00, 0x5E, 0x00, 0x00, 0x02}};
    s.sp2Mac = MacAddress{{0x01, 0x00, 0x5E, 0x00, 0x00, 0x04}};
    s.listMode = true;
    s.cyclic = true;
    s.scanTimerSeconds = 1;
    s.packetCount = 1;
    s.nodeTimerMs = 0;
    s.logPath = QDir(folder).filePath(u"keelwatch.log"_s);
    s.from = u"10.77.0.11"_s;
    s.to = u"10.77.0.22"_s;
    startup.SettingsWindows().Show(s);
}

template <typename Condition> bool RunUntil(Condition condition)
{
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

bool Save(QWidget *window, const QDir &folder, const QString &name)
{
    window->show();
    QApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!window->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

// The offscreen screen as a 1366x768 laptop's, at the scale factor the
// pictures are taken in: Setup sizes itself to the screen it is shown on.
bool UseLaptopScreen(const QString &configFolder)
{
    bool valid = false;
    double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&valid);
    if (!valid || scale <= 0)
        scale = 1;
    const QString path = QDir(configFolder).filePath(u"offscreen.json"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QStringLiteral("{\"screens\": [{\"name\": \"laptop\", \"x\": 0, \"y\": 0, "
                              "\"width\": %1, \"height\": %2, \"logicalDpi\": 96}]}\n")
                   .arg(qRound(1366 * scale))
                   .arg(qRound(768 * scale))
                   .toUtf8());
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
    return true;
}

int main(int argc, char **argv)
{
    // The windows show their defaults, not the settings of whoever runs this.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    if (!UseLaptopScreen(config.path())) {
        std::fputs("cannot write the offscreen screen's configuration\n", stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Keelwatch"_s);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 2 && (arguments.size() != 3 || arguments[2] != u"dark"_s)) {
        std::fputs("usage: keelwatch_screenshots OUTPUT_FOLDER [dark]\n", stderr);
        return 2;
    }
    if (arguments.size() == 3)
        QApplication::setPalette(AdwaitaDarkPalette());
    QDir folder(arguments[1]);
    if (!folder.mkpath(u"."_s)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(arguments[1]));
        return 1;
    }

    // Comments of the lab, read by the program from its folder.
    QTemporaryDir programDir;
    QFile comments(QDir(programDir.path()).filePath(u"comment.txt"_s));
    if (comments.open(QIODevice::WriteOnly))
        comments.write("10.77.0.11,gateway\r\n10.77.0.12,capture box\r\n"
                       "10.77.0.17,build server\r\n");
    comments.close();

    Startup startup({}, programDir.path());
    SetUpLabScan(startup, programDir.path());
    MainWindow &mainWindow = startup.Main();
    ScanWindows windows(mainWindow, startup.Setup(), startup.SettingsWindows());
    SimulatedLab lab(startup.Nodes(), startup.EventSource(), windows, startup);
    SystemClock clock;
    ScanController controller(ScanController::Parts{startup.Configuration(), startup.Nodes(), lab,
                                                    windows, startup.EventSource(),
                                                    startup.Events(), clock});
    // Setup as it is filled in before the scan, when its controls are live
    // (a scan locks most of them).
    if (!Save(&startup.Setup(), folder, u"setup.png"_s))
        return 1;
    startup.Setup().hide();
    // Wide enough for every column, as a user watching a scan would make it.
    mainWindow.resize(960, 560);
    mainWindow.show();
    controller.Start();

    // The node viewer follows the switched host from the first cycle on; the
    // pictures are taken in the cycle after its Promiscuous STOP, while nodes
    // are being found and the marks are settled.
    if (!RunUntil([&] { return controller.CycleCount() >= 1; })) {
        std::fputs("the simulated scan did not complete a cycle\n", stderr);
        return 1;
    }
    NodeViewerWindow &viewer = startup.NodeViewerWin();
    viewer.OpenFor(QString::fromUtf16(LabHosts[SwitchedHostIndex].ip),
                   startup.Configuration().Read().logPath);
    viewer.findChild<QPushButton *>(u"Button1"_s)->click(); // Start
    if (!RunUntil([&] {
            return lab.ScanningSweeps() == SwitchedSweep + 1 &&
                   controller.Step() == ScanStep::FindingNodes;
        })) {
        std::fputs("the simulated scan did not reach its last cycle\n", stderr);
        return 1;
    }
    startup.AlertMessage().ShowAlertMessage(
        u"Back up ERROR!!!\r\nCannot rename log file\r\nCurrent file will be used as is"_s);
    startup.CommentEditorWin().OpenFor(QString::fromUtf16(LabHosts[1].ip));
    startup.Help().ShowSection(u"colours"_s);

    const bool saved = Save(&mainWindow, folder, u"main-window.png"_s) &&
                       Save(&startup.PromiscuousAlert(), folder, u"promiscuous-alert.png"_s) &&
                       Save(&startup.NodeViewerWin(), folder, u"node-viewer.png"_s) &&
                       Save(&startup.About(), folder, u"about.png"_s) &&
                       Save(&startup.AlertMessage(), folder, u"alert-message.png"_s) &&
                       Save(&startup.CommentEditorWin(), folder, u"comment-editor.png"_s) &&
                       Save(&startup.Help(), folder, u"help.png"_s);
    controller.Stop();
    return saved ? 0 : 1;
}
