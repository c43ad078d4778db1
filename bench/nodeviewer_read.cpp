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

int Generate(const QString &path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 1;
    const char *tests[] = {"Br", "B47", "B16", "B8", "Gr", "M0", "M1", "M3", "S1", "S2"};
    QByteArray chunk;
    qint64 written = 0;
    for (int cycle = 1; written < bytes; ++cycle) {
        const QByteArray when = "05/Jan/2004 14:" + QByteArray::number(cycle / 60 % 60) + ':' +
                                QByteArray::number(cycle % 60);
        if (cycle % 500 == 1)
            chunk += "\r\n### START Keelwatch\t03FF\t" + when + "\t10.1.0.1-10.1.3.254 ###\r\n";
        for (int node = 0; node < 1000; ++node) {
            const QByteArray ip =
                "10.1." + QByteArray::number(node / 254) + '.' + QByteArray::number(node % 254 + 1);
            const QByteArray head = when + '\t' + ip +
                                    "\t[00:16:3E:00:" + QByteArray::number(node / 254 + 10) + ':' +
                                    QByteArray::number(node % 254 + 10) + "]\t";
            if ((node + cycle) % 97 == 0)
                chunk += head + "PROMISC\tSUSPECT\t\r\n";
            else
                chunk += head + tests[(node + cycle) % 10] +
                         ((node * cycle) % 3 ? "\tON\tethernet\r\n" : "\tOFF\tethernet\r\n");
        }
        chunk += "#Cyclic_Count\t" + QByteArray::number(cycle) + '\t' + when + "\r\n";
        file.write(chunk);
        written += chunk.size();
        chunk.clear();
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
    if (args.size() == 4 && args[1] == u"generate")
        return Generate(args[2], args[3].toLongLong() * 1000 * 1000);
    if (args.size() == 4 && args[1] == u"read")
        return Read(args[2], args[3]);
    std::fprintf(stderr, "usage: nodeviewer_read generate LOG MEGABYTES | read LOG IP\n");
    return 2;
}
