// A /16 through the main thread: 65,536 nodes answer the first cycle (one
// "Br ON" event each, in the reply analyser's batches of 256), then all of
// them go silent and the next cycle reports 65,536 lost responses. Events go
// through the scan controller, the event log with its file and the event
// pane; the node grid and the pane are shown (offscreen is enough). With
// --follow the node viewer follows one of the IPs meanwhile.
//
// Prints the longest time the event loop could not run (what a user sees as
// a frozen window), then the resident memory with the 65,536 nodes and its
// peak while the node list is saved and loaded back.
//
//   event_storm [--follow]

#include "config/addresstext.h"
#include "core/classifyreply.h"
#include "core/scancontroller.h"
#include "mainthreadmeter.h"
#include "report/eventlog.h"
#include "report/nodelistfile.h"
#include "report/nodeviewer.h"
#include "report/syslogsender.h"
#include "support/quietscan.h"
#include "ui/alertmessagewindow.h"
#include "ui/eventwindowsadapter.h"
#include "ui/nodelistmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

constexpr int Nodes = 65536;
constexpr int RepliesPerBatch = 256;

struct IdleEngine : ScanEngine
{
    bool OpenCaptureAdapter(const ScanSnapshot &, QString &) override { return true; }
    bool CreateCapturePipe(int &) override { return true; }
    void AbandonCapture() override {}
    void StartCapture(const ScanSnapshot &, const std::atomic<ScanStep> &) override {}
    void StartSweep(const ScanSnapshot &, const std::atomic<ScanStep> &, std::uint64_t) override {}
    void StopSweep() override {}
    void StopCapture() override {}
};

IpAddress NodeIp(int i)
{
    return IpAddress::FromIpv4(0x0A010000u | quint32(i));
}

MacAddress NodeMac(int i)
{
    const std::uint8_t bytes[6] = {0x02, 0, 0, 0, std::uint8_t(i >> 8), std::uint8_t(i)};
    return MacAddress::FromBytes(bytes);
}

// Runs the steps one per event-loop turn, then quits.
void RunSteps(std::vector<std::function<void()>> steps)
{
    auto queue = std::make_shared<std::vector<std::function<void()>>>(std::move(steps));
    auto next = std::make_shared<std::function<void(size_t)>>();
    *next = [queue, next](size_t i) {
        if (i == queue->size()) {
            QCoreApplication::quit();
            return;
        }
        (*queue)[i]();
        QTimer::singleShot(0, [next, i] { (*next)(i + 1); });
    };
    QTimer::singleShot(0, [next] { (*next)(0); });
    QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool follow = app.arguments().contains(u"--follow"_s);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    FixedSettings settings;
    Settings &s = settings.values;
    s.from = u"10.1.0.0"_s;
    s.to = u"10.1.255.255"_s;
    s.ownIp = IpFromText(u"10.0.0.1"_s);
    s.adapter = {u"lab0"_s, *IpFromText(u"10.0.0.1"_s)};
    s.listMode = false;
    s.cyclic = true;
    s.scanTimerSeconds = 60;
    s.sendRate = 2000;
    s.logPath = dir.filePath(u"keelwatch.log"_s);

    NodeList nodes;
    NodeListModel model(nodes);
    QTableView grid;
    grid.setModel(&model);
    grid.resize(800, 400);
    grid.show();
    QPlainTextEdit pane;
    pane.setReadOnly(true);
    pane.setLineWrapMode(QPlainTextEdit::NoWrap);
    pane.resize(800, 120);
    pane.show();
    AlertMessageWindow alert;
    EventWindowsAdapter windows(&pane, &alert, nullptr);
    SyslogSender syslog(settings, windows, 9, 0);
    SystemClock clock;
    ScanEvents events;
    EventLog log(settings, clock, windows, syslog);
    log.Listen(events);
    NodeViewer viewer(settings, [](const QString &m) {
        std::fprintf(stderr, "event_storm: node viewer: %s\n", qPrintable(m));
    });
    viewer.SetFlush([&log] { log.FlushEventLog(); });
    log.SetRefreshHook([&viewer] { viewer.RefreshNodeViewer(); });
    log.SetRotationHook([&viewer] { viewer.ResetReadPosition(); });

    IdleEngine engine;
    QuietScanWindows view;
    ScanController controller({settings, nodes, engine, view, events, log, clock});

    StallMeter meter;
    double foundMs = 0;
    double lostMs = 0;
    QElapsedTimer wall;
    qint64 foundWallNs = 0;
    qint64 lostWallNs = 0;

    // Events the log keeps for later turns are part of the storm: the loop
    // runs, and the meter with it, until they are written.
    const auto writeWaitingEvents = [&log] {
        while (log.HasPendingEvents())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    std::vector<std::function<void()>> steps;
    steps.push_back([&] {
        controller.Start();
        controller.OnCycleTimer(); // List Mode is off: straight to scanning
        if (follow)
            viewer.Start(NodeIp(Nodes / 2).ToText(), s.logPath);
        meter.Start();
        wall.start();
    });
    // Cycle 1: every node answers Br.
    ReplyOptions options;
    options.cyclic = true;
    options.tests = s.tests;
    const ReplyTargets targets{nodes, events, {}, {}};
    for (int first = 0; first < Nodes; first += RepliesPerBatch) {
        steps.push_back([&, first] {
            nodes.BeginBatch();
            for (int i = first; i < first + RepliesPerBatch; ++i)
                ClassifyReply(targets, options, {NodeIp(i), NodeMac(i), 2, u"unknown"_s});
            nodes.EndBatch();
        });
    }
    steps.push_back([&] { controller.OnCycleTimer(); }); // end of cycle 1
    steps.push_back(writeWaitingEvents);
    steps.push_back([&] {
        foundWallNs = wall.nsecsElapsed();
        foundMs = meter.LongestMs();
        meter.Start();
        wall.start();
        controller.OnCycleTimer(); // cycle 2 starts
    });
    steps.push_back([&] { controller.OnCycleTimer(); });
    // Cycle 2: nobody answers. At a send rate its end first asks every
    // silent node again, so the lost-node scan is measured too; the end of
    // that recheck, unanswered, reports every node lost.
    steps.push_back([&] { controller.OnCycleTimer(); });
    steps.push_back([&] { controller.OnCycleTimer(); });
    steps.push_back(writeWaitingEvents);
    steps.push_back([] {}); // the pane's pending lines
    steps.push_back([&] {
        lostWallNs = wall.nsecsElapsed();
        lostMs = meter.LongestMs();
        controller.Stop();
    });
    RunSteps(std::move(steps));

    const long rss = StatusKilobytes("VmRSS:");
    const long peakBefore = StatusKilobytes("VmHWM:");
    // The peak of the node list's save and load alone.
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const QString listPath = dir.filePath(u"nodes.csv"_s);
    QString error = WriteNodeList(listPath, EncodeNodeList(nodes));
    if (error.isEmpty())
        error = LoadNodeList(listPath, nodes);
    if (!error.isEmpty())
        std::fprintf(stderr, "event_storm: %s\n", qPrintable(error));
    const long loadPeak = StatusKilobytes("VmHWM:");
    const long afterLoad = StatusKilobytes("VmRSS:");

    for (const QString &text : std::as_const(view.messages))
        std::fprintf(stderr, "event_storm: %s\n", qPrintable(text));
    QFile logFile(s.logPath);
    const qint64 logBytes = logFile.size();
    qint64 logLines = 0;
    if (logFile.open(QIODevice::ReadOnly)) {
        while (!logFile.atEnd())
            logLines += logFile.read(1 << 20).count('\n');
    }
    const double longest = std::max(foundMs, lostMs);
    std::printf("event storm of a /16%s: %d nodes, log %.1f MB in %lld lines\n",
                follow ? ", node viewer following" : "", nodes.Count(), double(logBytes) / 1e6,
                logLines);
    std::printf("  cycle 1 (found): %.0f ms in all, longest stall %.1f ms\n",
                double(foundWallNs) / 1e6, foundMs);
    std::printf("  cycle 2 (lost):  %.0f ms in all, longest stall %.1f ms\n",
                double(lostWallNs) / 1e6, lostMs);
    std::printf("  longest main-thread stall: %.1f ms (goal < 100 ms)\n", longest);
    std::printf("resident memory with %d nodes: %.1f MB (goal < 100 MB); peak so far %.1f MB\n",
                Nodes, double(rss) / 1024, double(peakBefore) / 1024);
    std::printf("  node list save and load: peak %.1f MB, %.1f MB after\n", double(loadPeak) / 1024,
                double(afterLoad) / 1024);
    const bool met = longest < 100 && rss < 100 * 1024 && loadPeak < 100 * 1024;
    return met ? 0 : 1;
}
