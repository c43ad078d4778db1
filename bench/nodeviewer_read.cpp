// Generates an event log, or reads one through the node viewer's window
// (offscreen) and prints the bytes read, the grid's rows, the time the read
// took and the longest turn of the event loop while it read, each as wall
// time and as CPU time; bench/nodeviewer.sh compares the times with grep
// over the same file.
#include "ui/nodeviewerwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

#include <cstdio>
#include <ctime>
#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

QByteArray When(qint64 second)
{
    const auto two = [](qint64 n) { return QByteArray::number(n).rightJustified(2, '0'); };
    return "05/Jan/2004 " + two(second / 3600 % 24) + ':' + two(second / 60 % 60) + ':' +
           two(second % 60);
}

QByteArray Ip(int host)
{
    return "10.77." + QByteArray::number(host >> 8 & 255) + '.' + QByteArray::number(host & 255);
}

const char *const Tests[] = {"Br", "B47", "B16", "B8", "Gr", "M0", "M1", "M3", "S1", "S2"};

QByteArray NodeLine(const QByteArray &when, int host, const QByteArray &event)
{
    return when + '\t' + Ip(host) + "\t[00:16:3E:4D:" +
           QByteArray::number(host >> 8 & 255, 16).toUpper().rightJustified(2, '0') + ':' +
           QByteArray::number(host & 255, 16).toUpper().rightJustified(2, '0') + "]\t" + event +
           "\r\n";
}

QByteArray Banner(const QByteArray &when, const char *range)
{
    return "\r\n### START Keelwatch\t03FF\t" + when + '\t' + range + " ###\r\n";
}

QByteArray CycleLine(int cycle, const QByteArray &when)
{
    return "#Cyclic_Count\t" + QByteArray::number(cycle) + '\t' + when + "\r\n";
}

// A node event as the log writes them: mostly marks, some verdicts.
QByteArray Event(std::mt19937 &random)
{
    static const char *const others[] = {"PROMISC\tSUSPECT\t", "PROMISC\tSTART\t",
                                         "PROMISC\tSTOP\t", "MAC\tCHANGE\t-",
                                         "PROMISC\tCONFIRMED\t24/24"};
    if (random() % 8 == 0)
        return others[random() % std::size(others)];
    return QByteArray(Tests[random() % std::size(Tests)]) +
           (random() % 3 ? "\tON\tethernet" : "\tOFF\tethernet");
}

// A busy /16: a thousand node lines of hosts all over it per cycle.
QByteArray BusyCycle(int cycle, std::mt19937 &random)
{
    const QByteArray when = When(qint64(cycle) * 2);
    QByteArray chunk;
    if (cycle % 5000 == 1)
        chunk += Banner(when, "10.77.0.1-10.77.255.254");
    for (int i = 0; i < 1000; ++i)
        chunk += NodeLine(when, int(random() % 65534) + 1, Event(random));
    return chunk + CycleLine(cycle, when);
}

// A quiet /24: a cycle line every five seconds, a daily start banner, and a
// node that comes and goes about once an hour.
QByteArray QuietCycle(int cycle, std::mt19937 &random)
{
    const QByteArray when = When(qint64(cycle) * 5);
    QByteArray chunk;
    if (cycle % 17280 == 1)
        chunk += Banner(when, "10.77.2.1-10.77.2.254");
    if (cycle % 720 == 0)
        chunk += NodeLine(when, 2 * 256 + int(random() % 254) + 1, Event(random));
    return chunk + CycleLine(cycle, when);
}

// Churn: a cycle every two seconds with zero to three events, of hosts all
// over a /16 or, for prefix, of 10.77.0.1 to 10.77.0.199, whose texts from
// .10 on begin with the text of 10.77.0.1.
QByteArray ChurnCycle(int cycle, std::mt19937 &random, bool prefix)
{
    const QByteArray when = When(qint64(cycle) * 2);
    QByteArray chunk;
    if (cycle % 43200 == 1)
        chunk += Banner(when, prefix ? "10.77.0.1-10.77.0.199" : "10.77.0.1-10.77.255.254");
    for (int e = int(random() % 4); e > 0; --e) {
        const int host = prefix ? int(random() % 199) + 1 : int(random() % 65534) + 1;
        chunk += NodeLine(when, host, Event(random));
    }
    return chunk + CycleLine(cycle, when);
}

int Generate(const QString &path, qint64 bytes, const QString &shape)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    std::mt19937 random(17);
    QByteArray chunk;
    qint64 written = 0;
    for (int cycle = 1; written < bytes; ++cycle) {
        if (shape == u"busy")
            chunk += BusyCycle(cycle, random);
        else if (shape == u"quiet")
            chunk += QuietCycle(cycle, random);
        else
            chunk += ChurnCycle(cycle, random, shape == u"prefix");
        if (chunk.size() >= (1 << 20) || written + chunk.size() >= bytes) {
            file.write(chunk);
            written += chunk.size();
            chunk.clear();
        }
    }
    return 0;
}

qint64 CpuNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Wall time and CPU time from one moment on: on a shared machine the wall
// time holds the time others had the CPU.
struct Stopwatch
{
    explicit Stopwatch(clockid_t clock) : clock(clock) { wall.start(); }
    void Restart()
    {
        wall.restart();
        cpuStart = CpuNs(clock);
    }
    qint64 WallNs() const { return wall.nsecsElapsed(); }
    qint64 CpuNsElapsed() const { return CpuNs(clock) - cpuStart; }

    clockid_t clock;
    QElapsedTimer wall;
    qint64 cpuStart = CpuNs(clock);
};

int Read(const QString &path, const QString &ip)
{
    FixedSettings settings;
    NodeViewerWindow window(settings);
    window.SetMessageSink([](const QString &m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
    window.OpenFor(ip, path);
    QCoreApplication::processEvents();
    NodeViewer &viewer = window.Viewer();
    Stopwatch read(CLOCK_PROCESS_CPUTIME_ID);
    Stopwatch turn(CLOCK_THREAD_CPUTIME_ID);
    read.Restart();
    turn.Restart();
    // Start reads its first slice at once; a big log goes on in slices, one
    // per turn of the event loop, and the grid is painted between them.
    window.findChild<QPushButton *>(u"Button1"_s)->click();
    qint64 longestWall = turn.WallNs();
    qint64 longestCpu = turn.CpuNsElapsed();
    do {
        turn.Restart();
        QCoreApplication::processEvents();
        longestWall = std::max(longestWall, turn.WallNs());
        longestCpu = std::max(longestCpu, turn.CpuNsElapsed());
    } while (viewer.IsReading());
    if (!viewer.IsLive())
        return 1;
    std::printf("%lld %d %.6f %.6f %.1f %.1f\n", static_cast<long long>(viewer.ReadPosition()),
                viewer.Grid().RowCount(), double(read.WallNs()) / 1e9,
                double(read.CpuNsElapsed()) / 1e9, double(longestWall) / 1e6,
                double(longestCpu) / 1e6);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == u"generate")
        return Generate(args[2], args[3].toLongLong() * 1000 * 1000, args[4]);
    if (args.size() == 4 && args[1] == u"read")
        return Read(args[2], args[3]);
    std::fprintf(stderr, "usage: nodeviewer_read generate LOG MEGABYTES busy|quiet|churn|prefix"
                         " | read LOG IP\n");
    return 2;
}
