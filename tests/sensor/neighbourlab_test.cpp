// The probed hosts' neighbour caches while a sensor watches sixty of them:
// address probes leave the caches alone, so every host reaches the scanning
// machine throughout; in the own-IP mode each sweep leaves every host's
// entry for the own IP on the card's real MAC.

#include "support/labsegment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Hosts = 60;
const QStringList PromiscuousHosts = {u"7"_s, u"37"_s};
// Guards against a hung sensor, not timing goals.
constexpr int CyclesMs = 300000;

class NeighboursOnLab : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        lab = std::make_unique<LabSegment>(Hosts, PromiscuousHosts);
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
        QProcess link;
        link.start(u"ip"_s, {u"-n"_s, lab->Namespace(u"scan"_s), u"-br"_s, u"link"_s, u"show"_s,
                             u"wire0"_s});
        ASSERT_TRUE(link.waitForFinished());
        const QStringList fields =
            QString::fromLatin1(link.readAllStandardOutput()).simplified().split(u' ');
        ASSERT_GE(fields.size(), 3);
        cardMac = fields[2].toLower();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(u"data"_s));
        sensor.setProcessEnvironment(environment);
        sensor.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }

    void TearDown() override
    {
        for (auto &ping : pings)
            ping->kill();
        for (auto &ping : pings)
            ping->waitForFinished();
        if (sensor.state() != QProcess::NotRunning) {
            sensor.kill();
            sensor.waitForFinished();
        }
    }

    void StartSensor(const QStringList &options)
    {
        EnteredNamespace scanner(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(scanner.entered);
        sensor.start(QStringLiteral(KEELWATCH_SENSOR_BINARY),
                     QStringList{u"--interface"_s, u"wire0"_s, u"--range"_s,
                                 LabSegment::HostIp(1) + u'-' + LabSegment::HostIp(Hosts),
                                 u"--send-rate"_s, u"2000"_s, u"--log"_s, LogPath()} +
                         options);
        ASSERT_TRUE(sensor.waitForStarted());
    }

    QString LogPath() const { return dir.filePath(u"keelwatch.log"_s); }
    QString Log() const
    {
        QFile log(LogPath());
        return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
    }
    int Cycles() const { return int(Log().count(u"#Cyclic_Count"_s)); }
    bool WaitForCycles(int cycles)
    {
        QDeadlineTimer deadline(CyclesMs);
        while (Cycles() < cycles && !deadline.hasExpired() && sensor.state() == QProcess::Running)
            QThread::msleep(20);
        return Cycles() >= cycles;
    }

    // Each host's neighbour entry for the scanner's IP, "" where it has none.
    QStringList EntriesForTheScanner() const
    {
        QString script;
        for (int host = 1; host <= Hosts; ++host)
            script += u"ip -n %1 neigh show %2 | head -n 1; echo .\n"_s.arg(
                lab->Namespace(u"h%1"_s.arg(host)), QLatin1String(LabSegment::ScannerIp));
        QProcess read;
        read.start(u"sh"_s, {u"-c"_s, script});
        read.waitForFinished(60000);
        QStringList entries;
        for (const QString &part :
             QString::fromLatin1(read.readAllStandardOutput()).split(u".\n"_s))
            entries << part.trimmed();
        entries.removeLast();
        return entries;
    }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
    QString cardMac;
    QProcess sensor;
    std::vector<std::unique_ptr<QProcess>> pings;
};

// Every host pings the scanning machine five times a second while the sensor
// runs ten cycles a second apart and finds the two sniffers: no ping is lost,
// for no probe claims the scanner's IP.
TEST_F(NeighboursOnLab, AddressProbesCostNoHostItsTrafficToTheScanner)
{
    StartSensor({u"--interval"_s, u"1"_s});
    ASSERT_TRUE(WaitForCycles(1)) << Log().toStdString();
    for (int host = 1; host <= Hosts; ++host) {
        auto ping = std::make_unique<QProcess>();
        ping->start(u"ip"_s, {u"netns"_s, u"exec"_s, lab->Namespace(u"h%1"_s.arg(host)), u"ping"_s,
                              u"-q"_s, u"-i"_s, u"0.2"_s, QLatin1String(LabSegment::ScannerIp)});
        ASSERT_TRUE(ping->waitForStarted());
        pings.push_back(std::move(ping));
    }
    const int first = Cycles();
    ASSERT_TRUE(WaitForCycles(first + 10)) << Log().toStdString();
    for (auto &ping : pings)
        kill(pid_t(ping->processId()), SIGINT);
    const QRegularExpression summary(u"(\\d+) packets transmitted, (\\d+) received"_s);
    for (int host = 1; host <= Hosts; ++host) {
        QProcess &ping = *pings[size_t(host - 1)];
        ASSERT_TRUE(ping.waitForFinished(30000));
        const QString out = QString::fromLatin1(ping.readAllStandardOutput());
        const auto match = summary.match(out);
        ASSERT_TRUE(match.hasMatch()) << out.toStdString();
        const int sent = match.captured(1).toInt();
        const int received = match.captured(2).toInt();
        // Ten cycles take at least ten seconds: fifty pings at the least.
        EXPECT_GE(sent, 50) << "host " << host;
        // The one in flight when the test stopped it may miss its answer.
        EXPECT_LE(sent - received, 1) << "host " << host << ": " << out.toStdString();
    }
    const QString log = Log();
    for (const QString &host : PromiscuousHosts) {
        const int n = host.toInt();
        EXPECT_TRUE(log.contains(u"\t"_s + LabSegment::HostIp(n) + u"\t["_s +
                                 LabSegment::HostMac(n) + u"]\tPROMISC\tSTART"_s))
            << log.toStdString();
    }
}

// With the own IP as sender every probe rewrites the host's entry; by the
// end of each sweep (its cycle line, a Scan Timer before the next sweep)
// every host's entry is the card's real MAC again.
TEST_F(NeighboursOnLab, OwnIpModeLeavesEveryEntryOnTheCardAfterEachSweep)
{
    StartSensor({u"--interval"_s, u"3"_s, u"--probe-sender-ip"_s, u"own"_s});
    for (int cycle = 1; cycle <= 5; ++cycle) {
        ASSERT_TRUE(WaitForCycles(cycle)) << Log().toStdString();
        const QStringList entries = EntriesForTheScanner();
        ASSERT_EQ(entries.size(), Hosts);
        for (int host = 1; host <= Hosts; ++host) {
            const QString &entry = entries[host - 1];
            EXPECT_TRUE(entry.contains(u"lladdr "_s + cardMac))
                << "cycle " << cycle << ", host " << host << ": " << entry.toStdString();
        }
    }
}

} // namespace
