// The real path at the size of a /16: the program's start-up objects
// offscreen (main window with the node grid and its filter proxy, event pane,
// event log file, node viewer following an IP), the real scan controller,
// probe sender, capture relay and reply analyser, and a memory packet driver
// whose capture hands over the replies of 65,536 nodes in batches.
//
// Each round builds the program afresh and runs three cycles of a cyclic
// scan (Br only, rate pacing at the highest rate): every node answers in
// cycle 1 (new nodes) and cycle 2 (known nodes), nobody in cycle 3, whose
// end asks every node again and then reports 65,536 lost responses. Prints
// min / median / max over the rounds of the replies classified per second
// (from the batches' arrival at the driver to the last one classified) and
// of the longest main-thread stall in each phase, then the peak resident
// memory, each against its goal. Exits non-zero when a goal is missed.
//
//   scan_path [--rounds N]

#include "app/startup.h"
#include "core/scanassembly.h"
#include "mainthreadmeter.h"
#include "report/eventlog.h"
#include "support/memorydriver.h"
#include "support/quietscan.h"
#include "ui/mainwindow.h"
#include "ui/nodeviewerwindow.h"
#include "ui/settingslink.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

constexpr int Nodes = 65536;
// Frames per capture batch: about what a busy segment fills the driver's
// buffer with between two receives.
constexpr int FramesPerBatch = 1024;
const QString FollowedIp = u"10.1.128.0"_s;

// What the benchmark reaches of the program. Compose is the one place that
// knows how the program is put together.
struct Program
{
    std::unique_ptr<Startup> startup;
    std::function<ScanController &()> controller;
    // Replies relayed and classified since the scan started.
    std::function<CaptureTally()> tally;
    // Tells when more replies were classified.
    ScanWorkers *classified = nullptr;
    std::function<bool()> eventsPending;
    std::function<void(const Settings &)> apply;
    std::function<void(const QString &ip, const QString &logPath)> follow;
};

std::unique_ptr<Program> Compose(std::shared_ptr<MemoryDriver> driver, const QString &dir)
{
    auto program = std::make_unique<Program>();
    program->startup = std::make_unique<Startup>(QStringList(), dir, driver, dir);
    Startup &s = *program->startup;
    s.Show();
    program->controller = [&s]() -> ScanController & { return s.Controller(); };
    program->tally = [&s] { return s.Scan().Workers().Tally(); };
    program->classified = &s.Scan().Workers();
    program->eventsPending = [&s] { return s.Events().HasPendingEvents(); };
    program->apply = [&s](const Settings &values) { s.SettingsWindows().Show(values); };
    program->follow = [&s](const QString &ip, const QString &logPath) {
        s.NodeViewerWin().OpenFor(ip, logPath);
    };
    return program;
}

// The capture batches of every node's reply to the Br probe: node i is
// 10.1.i/256.i%256 with MAC 02 00 00 00 i/256 i%256; own MAC 00 11 22 33 44
// 50, own IP 10.0.0.1.
std::vector<QByteArray> ReplyBatches()
{
    std::vector<QByteArray> batches;
    std::vector<std::uint8_t> buffer(std::size_t(FramesPerBatch) * 64);
    std::size_t used = 0;
    for (int i = 0; i < Nodes; ++i) {
        const std::uint8_t hi = std::uint8_t(i >> 8);
        const std::uint8_t lo = std::uint8_t(i);
        const std::uint8_t source = std::uint8_t(0x50 + BroadcastColumn);
        const std::array<std::uint8_t, 42> frame = {
            0x00, 0x11, 0x22, 0x33, 0x44, source, 0x02, 0x00, 0x00, 0x00,   hi,   lo,   0x08, 0x06,
            0x00, 0x01, 0x08, 0x00, 0x06, 0x04,   0x00, 0x02, 0x02, 0x00,   0x00, 0x00, hi,   lo,
            0x0A, 0x01, hi,   lo,   0x00, 0x11,   0x22, 0x33, 0x44, source, 0x0A, 0x00, 0x00, 0x01};
        AppendCaptureRecord(buffer.data(), buffer.size(), used, frame, frame.size(), 0, 0);
        if ((i + 1) % FramesPerBatch == 0 || i + 1 == Nodes) {
            batches.emplace_back(reinterpret_cast<const char *>(buffer.data()), qsizetype(used));
            used = 0;
        }
    }
    return batches;
}

void WaitFor(const std::function<bool()> &done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

// The offscreen platform's notes on window calls it cannot carry out are
// no news here; everything else is passed on.
QtMessageHandler passOn = nullptr;

void FilterMessages(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.startsWith(u"This plugin does not support"_s))
        return;
    if (passOn)
        passOn(type, context, text);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, text)));
}

enum Phase { FillNew, EndOfCycle1, FillKnown, EndOfCycle2, GoingSilent, PhaseCount };
constexpr const char *PhaseNames[PhaseCount] = {"cycle 1 fill (new nodes)", "end of cycle 1",
                                                "cycle 2 fill (known nodes)", "end of cycle 2",
                                                "a /16 going silent"};

struct Round
{
    double stallMs[PhaseCount] = {};
    long residentKb[PhaseCount] = {};
    long startedKb = 0;
    double fillRate[2] = {};
    bool complete = true;
};

// Lets the scanning step end as its Scan Timer would once its sweep is
// done, and the cycle go round until the next scanning sweep has started
// and its events are written.
void NextCycle(Program &p)
{
    ScanController &c = p.controller();
    const int cycle = c.CycleCount();
    while (c.CycleCount() == cycle) {
        WaitFor([&] { return c.CycleTimer().isActive() || c.CycleCount() != cycle; });
        if (c.CycleCount() == cycle)
            c.OnCycleTimer();
    }
    WaitFor([&] { return c.CycleTimer().isActive(); });
    c.OnCycleTimer(); // step 1 to the skipped node-finding step
    WaitFor([&] { return c.Step() == ScanStep::Scanning && !p.eventsPending(); });
}

Round RunRound(const std::vector<QByteArray> &batches)
{
    Round round;
    QTemporaryDir dir;
    auto driver = std::make_shared<MemoryDriver>();
    driver->RecordSends(false);
    driver->nameBuffer = AdapterNameBuffer({u"lab0"_s});
    driver->addresses = {{"lab0", 0x0A000001}};
    auto program = Compose(driver, dir.path());

    Settings s = MemoryScanSettings(u"10.1.0.0"_s, u"10.1.255.255"_s);
    s.tests.fill(false);
    s.tests[size_t(BroadcastColumn - FirstResultColumn)] = true;
    s.cyclic = true;
    s.scanTimerSeconds = 60;
    s.sendRate = 1000000;
    s.logPath = dir.filePath(u"keelwatch.log"_s);
    program->apply(s);
    round.startedKb = StatusKilobytes("VmRSS:");

    ScanController &controller = program->controller();
    controller.Start();
    WaitFor([&] { return controller.Step() == ScanStep::Scanning; });
    program->follow(FollowedIp, s.logPath);

    StallMeter meter;
    quint64 expected = 0;
    QElapsedTimer fillClock;
    qint64 fillNs = 0;
    const auto handled = QObject::connect(program->classified, &ScanWorkers::repliesHandled, [&] {
        if (fillNs == 0 && program->tally().handled >= expected)
            fillNs = fillClock.nsecsElapsed();
    });
    const auto fill = [&](Phase phase, int index) {
        // Replies answer probes: the sweep has asked every address first.
        WaitFor([&] { return !program->classified->SweepRunning(); });
        meter.Start();
        expected += Nodes;
        fillNs = 0;
        fillClock.start();
        for (const QByteArray &batch : batches)
            driver->QueueBatch(batch);
        WaitFor([&] { return fillNs != 0; });
        // Every reply answered a probe and made or found its node.
        round.complete = round.complete && program->tally().rejected == 0 &&
                         program->startup->Nodes().Count() == Nodes;
        round.stallMs[phase] = meter.LongestMs();
        round.residentKb[phase] = StatusKilobytes("VmRSS:");
        round.fillRate[index] = Nodes / (double(fillNs) / 1e9);
    };
    const auto endCycle = [&](Phase phase) {
        meter.Start();
        NextCycle(*program);
        round.stallMs[phase] = meter.LongestMs();
        round.residentKb[phase] = StatusKilobytes("VmRSS:");
    };
    fill(FillNew, 0);
    endCycle(EndOfCycle1);
    fill(FillKnown, 1);
    endCycle(EndOfCycle2);
    endCycle(GoingSilent);
    controller.Stop();
    QObject::disconnect(handled);
    return round;
}

struct Spread
{
    double min, median, max;
};

Spread SpreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return {values.front(), values[values.size() / 2], values.back()};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The program's settings store goes to a folder of its own.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    passOn = qInstallMessageHandler(FilterMessages);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype roundsAt = args.indexOf(u"--rounds"_s);
    const int rounds = roundsAt > 0 ? std::max(1, args.value(roundsAt + 1).toInt()) : 5;

    const std::vector<QByteArray> batches = ReplyBatches();
    std::vector<Round> results;
    for (int r = 0; r < rounds; ++r)
        results.push_back(RunRound(batches));
    const long peak = StatusKilobytes("VmHWM:");

    std::vector<double> rates;
    std::printf("the real path at %d nodes, %d rounds (min / median / max):\n", Nodes, rounds);
    for (int index = 0; index < 2; ++index) {
        std::vector<double> values;
        for (const Round &round : results)
            values.push_back(round.fillRate[index]);
        rates.insert(rates.end(), values.begin(), values.end());
        const Spread spread = SpreadOf(values);
        std::printf("  replies classified end to end, %s: %.0f / %.0f / %.0f per second\n",
                    index == 0 ? "new nodes  " : "known nodes", spread.min, spread.median,
                    spread.max);
    }
    const Spread rate = SpreadOf(rates);
    std::printf("replies classified end to end: %.0f per second, median of every fill (goal >= "
                "1,000,000)\n",
                rate.median);
    // Resident memory as the first round left it: later rounds start with
    // what the allocator kept of the ones before.
    std::printf("  resident memory in round 1 once the program has started: %.0f MB\n",
                double(results.front().startedKb) / 1024);
    double longest = 0;
    for (int phase = 0; phase < PhaseCount; ++phase) {
        std::vector<double> values;
        for (const Round &round : results)
            values.push_back(round.stallMs[phase]);
        const Spread spread = SpreadOf(values);
        longest = std::max(longest, spread.max);
        std::printf("  longest main-thread stall, %s: %.1f / %.1f / %.1f ms; resident after it "
                    "in round 1: %.0f MB\n",
                    PhaseNames[phase], spread.min, spread.median, spread.max,
                    double(results.front().residentKb[phase]) / 1024);
    }
    std::printf("longest main-thread stall in any phase, node viewer following: %.1f ms (goal < "
                "50 ms)\n",
                longest);
    std::printf("peak resident memory: %.1f MB (goal < 100 MB)\n", double(peak) / 1024);
    const bool complete = std::all_of(results.begin(), results.end(),
                                      [](const Round &round) { return round.complete; });
    if (!complete)
        std::printf("NOT MEASURED: replies were rejected or nodes are missing\n");
    const bool met = complete && rate.median >= 1e6 && longest < 50 && peak < 100 * 1024;
    return met ? 0 : 1;
}
