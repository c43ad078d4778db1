// Generates an event log, or reads one through the node viewer and prints
// the throughput; bench/nodeviewer.sh compares it with grep over the same file.
#include "report/nodeviewer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

QByteArray When(qint64 second)
{
    const auto two = [](qint64 n) { return QByteArray::number(n).rightJustified(2, '0'); };
    return "05/Jan/2004 " + two(second / 3600 % 24) + ':' + two(second / 60 % 60) + ':' +
           two(second % 60);
}

QByteArray NodeLine(const QByteArray &when, int node, const char *test, bool on)
{
    const QByteArray ip =
        "10.1." + QByteArray::number(node / 254) + '.' + QByteArray::number(node % 254 + 1);
    return when + '\t' + ip + "\t[00:16:3E:00:" + QByteArray::number(node / 254 + 10) + ':' +
           QByteArray::number(node % 254 + 10) + "]\t" + test +
           (on ? "\tON\tethernet\r\n" : "\tOFF\tethernet\r\n");
}

// A busy segment: a thousand node lines between two cycle lines.
QByteArray DenseCycle(int cycle)
{
    static const char *tests[] = {"Br", "B47", "B16", "B8", "Gr", "M0", "M1", "M3", "S1", "S2"};
    const QByteArray when = When(cycle);
    QByteArray chunk;
    if (cycle % 500 == 1)
        chunk += "\r\n### START Keelwatch\t03FF\t" + when + "\t10.1.0.1-10.1.3.254 ###\r\n";
    for (int node = 0; node < 1000; ++node) {
        if ((node + cycle) % 97 == 0)
            chunk += NodeLine(when, node, "PROMISC", true).replace("\tON\tethernet", "\tSUSPECT\t");
        else
            chunk += NodeLine(when, node, tests[(node + cycle) % 10], (node * cycle) % 3 != 0);
    }
    chunk += "#Cyclic_Count\t" + QByteArray::number(cycle) + '\t' + when + "\r\n";
    return chunk;
}

// A quiet /24 (10.1.2.0): a cycle line every five seconds, a daily start banner, and a
// node that comes and goes about once an hour.
QByteArray QuietCycle(int cycle)
{
    const QByteArray when = When(qint64(cycle) * 5);
    QByteArray chunk;
    if (cycle % 17280 == 1)
        chunk += "\r\n### START Keelwatch\t001F\t" + when + "\t10.1.2.1-10.1.2.254 ###\r\n";
    if (cycle % 720 == 0)
        chunk += NodeLine(when, 2 * 254 + cycle / 720 % 254, "Br", cycle / 720 % 3 != 0);
    chunk += "#Cyclic_Count\t" + QByteArray::number(cycle) + '\t' + when + "\r\n";
    return chunk;
}

int Generate(const QString &path, qint64 bytes, bool quiet)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    QByteArray chunk;
    qint64 written = 0;
    for (int cycle = 1; written < bytes; ++cycle) {
        chunk += quiet ? QuietCycle(cycle) : DenseCycle(cycle);
        if (chunk.size() >= (1 << 20) || written + chunk.size() >= bytes) {
            file.write(chunk);
            written += chunk.size();
            chunk.clear();
        }
    }
    return 0;
}

int Read(const QString &path, const QString &ip)
{
    FixedSettings settings;
    NodeViewer viewer(settings,
                      [](const QString &m) { std::fprintf(stderr, "%s\n", qPrintable(m)); });
    QElapsedTimer timer;
    timer.start();
    viewer.Start(ip, path);
    // A big log is read in slices, one per turn of the event loop.
    while (viewer.IsReading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (!viewer.IsLive())
        return 1;
    std::printf("%lld %.6f %d\n", static_cast<long long>(viewer.ReadPosition()), seconds,
                viewer.Grid().RowCount());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == u"generate")
        return Generate(args[2], args[3].toLongLong() * 1000 * 1000, args[4] == u"quiet");
    if (args.size() == 4 && args[1] == u"read")
        return Read(args[2], args[3]);
    std::fprintf(stderr,
                 "usage: nodeviewer_read generate LOG MEGABYTES dense|quiet | read LOG IP\n");
    return 2;
}
