// A hostile lab segment: a lab host forges ARP replies while the sensor
// monitors 20 hosts. What the sensor reports must be what it reports on a
// quiet segment, and a flood must not grow it.

#include "support/frameinjector.h"
#include "support/labsegment.h"
#include "support/processinfo.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <iostream>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

constexpr int Hosts = 20;
const QStringList PromiscuousHosts = {u"4"_s, u"13"_s};
// The forger: a normal lab host whose kernel takes no part.
constexpr int ForgerHost = Hosts + 1;
constexpr int Cycles = 3;
// Guards against a hung sensor, not timing goals.
constexpr int RunMs = 120000;

using Mac = std::array<std::uint8_t, 6>;
constexpr Mac OwnMac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x50};
constexpr quint32 ScannerIp = 0x0A4D0001;

quint32 HostIp(int host)
{
    return 0x0A4D0000u + quint32(10 + host);
}

Mac Source(int k)
{
    Mac mac = OwnMac;
    mac[5] = std::uint8_t(0x50 + k);
    return mac;
}

void Put(QByteArray &frame, int at, const Mac &mac)
{
    for (int i = 0; i < 6; ++i)
        frame[at + i] = char(mac[size_t(i)]);
}

void Put(QByteArray &frame, int at, quint32 ip)
{
    for (int i = 0; i < 4; ++i)
        frame[at + i] = char(ip >> (24 - 8 * i));
}

// An Ethernet II ARP reply of sender (ip, mac) to the scanner's source
// address `to`.
QByteArray Reply(const Mac &to, quint32 ip, const Mac &mac)
{
    QByteArray frame(42, '\0');
    Put(frame, 0, to);
    Put(frame, 6, mac);
    frame.replace(12, 10, QByteArray::fromHex("08060001080006040002"));
    Put(frame, 22, mac);
    Put(frame, 28, ip);
    Put(frame, 32, to);
    Put(frame, 38, ScannerIp);
    return frame;
}

// Every kind of forged reply that answers no probe of the scan.
std::vector<QByteArray> Forgeries()
{
    const Mac decoy = {0x02, 0xDE, 0xC0, 0x00, 0x00, 0x05};
    const Mac b47 = Source(3);
    std::vector<QByteArray> frames;
    for (quint32 ip : {0xC0000242u, 0x0A4D00C8u, 0u, 0xFFFFFFFFu, 0xE0000001u, ScannerIp})
        frames.push_back(Reply(b47, ip, decoy));
    const auto changed = [&](int at, const QByteArray &bytes) {
        QByteArray frame = Reply(b47, HostIp(5), decoy);
        frame.replace(at, bytes.size(), bytes);
        frames.push_back(frame);
    };
    changed(18, QByteArray::fromHex("08"));       // hardware length 8
    changed(19, QByteArray::fromHex("10"));       // protocol length 16
    changed(14, QByteArray::fromHex("0006"));     // hardware type 6
    changed(16, QByteArray::fromHex("86DD"));     // IPv6
    changed(38, QByteArray::fromHex("0A4D0009")); // another target IP
    changed(2, QByteArray::fromHex("FFFFFFFF"));  // only the first two bytes ours
    for (const Mac &sender : {Mac{0x01, 0x00, 0x5E, 0, 0, 1},
                              Mac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Mac{0, 0, 0, 0, 0, 0}})
        frames.push_back(Reply(b47, HostIp(6), sender));
    // Replies to another instance's source addresses.
    frames.push_back(Reply({0x02, 0xAB, 0, 0, 0, 0x53}, HostIp(7), decoy));
    return frames;
}

// Replies from random addresses outside the lab's /24 and random cards, to
// the scan's source addresses.
std::vector<QByteArray> Flood()
{
    std::mt19937 random(23);
    std::vector<QByteArray> frames;
    for (int i = 0; i < 4096; ++i) {
        const std::uint32_t bits = random();
        const quint32 ip = (bits & 0x00FFFFFF) | 0xC6000000u; // 198.x.x.x
        const Mac mac = {0x02,
                         std::uint8_t(bits),
                         std::uint8_t(bits >> 8),
                         std::uint8_t(bits >> 16),
                         std::uint8_t(i),
                         std::uint8_t(i >> 8)};
        frames.push_back(Reply(Source(2 + int(bits % 10)), ip, mac));
    }
    return frames;
}

// What a sensor run reported: its events without times and counts, and its
// memory at the end.
struct Report
{
    QSet<QString> events;
    QSet<QString> ips;
    qint64 rejected = 0;
    qint64 rssKb = 0;
    qint64 peakKb = 0;
};

class ForgeryLab : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        lab = std::make_unique<LabSegment>(ForgerHost, PromiscuousHosts);
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
    }

    // Starts a cyclic sensor in the scanner's namespace.
    std::unique_ptr<QProcess> StartSensor(const QString &name, int first, int last,
                                          const QStringList &options)
    {
        auto sensor = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"XDG_DATA_HOME"_s, dir.filePath(name));
        sensor->setProcessEnvironment(environment);
        EnteredNamespace scanner(lab->Namespace(u"scan"_s));
        EXPECT_TRUE(scanner.entered);
        const auto ip = [](int host) { return u"10.77.0.%1"_s.arg(10 + host); };
        sensor->start(QStringLiteral(KEELWATCH_SENSOR_BINARY),
                      QStringList{u"--interface"_s, u"wire0"_s, u"--range"_s,
                                  ip(first) + u'-' + ip(last), u"--node-timer"_s, u"0"_s,
                                  u"--packets"_s, u"2"_s, u"--interval"_s, u"1"_s, u"--json"_s} +
                          options);
        EXPECT_TRUE(sensor->waitForStarted());
        return sensor;
    }

    // Waits for Cycles cycles, then stops the sensor and reads its report.
    static Report Finish(QProcess &sensor)
    {
        Report report;
        QByteArray output;
        int cycles = 0;
        QDeadlineTimer deadline(RunMs);
        while (cycles < Cycles && !deadline.hasExpired() && sensor.state() == QProcess::Running) {
            sensor.waitForReadyRead(200);
            output += sensor.readAllStandardOutput();
            cycles = int(output.count("\"event\":\"CYCLE\""));
        }
        EXPECT_EQ(cycles, Cycles) << sensor.readAllStandardError().toStdString();
        const pid_t pid = pid_t(sensor.processId());
        report.rssKb = processinfo::StatusField(pid, u"VmRSS"_s).section(u' ', 0, 0).toLongLong();
        report.peakKb = processinfo::StatusField(pid, u"VmHWM"_s).section(u' ', 0, 0).toLongLong();
        ::kill(pid, SIGTERM);
        EXPECT_TRUE(sensor.waitForFinished(15000));
        output += sensor.readAllStandardOutput();
        for (const QByteArray &line : output.split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            const QString event = o.value(u"event"_s).toString();
            if (event == u"REPLIES REJECTED"_s) {
                report.rejected += o.value(u"replies"_s).toInt();
                continue;
            }
            if (event.isEmpty() || event == u"CYCLE"_s || event == u"START"_s)
                continue;
            report.ips.insert(o.value(u"ip"_s).toString());
            report.events.insert(
                QStringList{event, o.value(u"ip"_s).toString(), o.value(u"mac"_s).toString(),
                            o.value(u"test"_s).toString(), o.value(u"verdict"_s).toString()}
                    .join(u' '));
        }
        return report;
    }

    Report Run(const std::vector<QByteArray> &frames, int perSecond)
    {
        FrameInjector forger(lab->Namespace(u"h%1"_s.arg(ForgerHost)));
        EXPECT_TRUE(forger.opened);
        auto sensor = StartSensor(u"data"_s, 1, Hosts, {u"--own-mac"_s, u"02:11:22:33:44:50"_s});
        if (!frames.empty())
            forger.Start(frames, perSecond);
        Report report = Finish(*sensor);
        forger.Stop();
        std::cout << "[ forgery lab ] frames forged " << forger.sent << ", replies rejected "
                  << report.rejected << ", sensor RSS " << report.rssKb << " kB (peak "
                  << report.peakKb << " kB)\n";
        return report;
    }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
};

QSet<QString> RangeIps(int first, int last)
{
    QSet<QString> ips;
    for (int host = first; host <= last; ++host)
        ips.insert(u"10.77.0.%1"_s.arg(10 + host));
    return ips;
}

TEST_F(ForgeryLab, ForgedRepliesAndAFloodChangeNothingAndDoNotGrowTheSensor)
{
    const Report clean = Run({}, 0);
    ASSERT_EQ(clean.ips, RangeIps(1, Hosts));
    for (const QString &host : PromiscuousHosts) {
        const QString ip = u"10.77.0.%1"_s.arg(10 + host.toInt());
        EXPECT_TRUE(std::any_of(clean.events.begin(), clean.events.end(), [&](const QString &e) {
            return e.startsWith(u"PROMISC CONFIRMED "_s + ip + u' ');
        })) << ip.toStdString();
    }
    EXPECT_EQ(clean.rejected, 0);

    const Report forged = Run(Forgeries(), 2000);
    EXPECT_EQ(forged.events, clean.events);
    EXPECT_GT(forged.rejected, 0);

    const Report flooded = Run(Flood(), 20000);
    EXPECT_EQ(flooded.events, clean.events);
    EXPECT_GT(flooded.rejected, 0);
    EXPECT_LE(flooded.peakKb, clean.peakKb + 10 * 1024);
}

// Two sensors on one card, each with its own range and the own MAC its
// installation drew: each reports exactly its own hosts and verdicts.
TEST_F(ForgeryLab, TwoSensorsOnOneCardEachReportTheirOwnRange)
{
    auto low = StartSensor(u"low"_s, 1, Hosts / 2, {});
    auto high = StartSensor(u"high"_s, Hosts / 2 + 1, Hosts, {});
    const Report lowReport = Finish(*low);
    const Report highReport = Finish(*high);
    EXPECT_EQ(lowReport.ips, RangeIps(1, Hosts / 2));
    EXPECT_EQ(highReport.ips, RangeIps(Hosts / 2 + 1, Hosts));
    const auto confirmed = [](const Report &report) {
        QSet<QString> ips;
        for (const QString &event : report.events) {
            if (event.startsWith(u"PROMISC CONFIRMED "_s))
                ips.insert(event.section(u' ', 2, 2));
        }
        return ips;
    };
    EXPECT_EQ(confirmed(lowReport), QSet<QString>{u"10.77.0.14"_s});
    EXPECT_EQ(confirmed(highReport), QSet<QString>{u"10.77.0.23"_s});
    // Their own MACs differ, so neither took the other's replies.
    QFile lowMac(dir.filePath(u"low/Quillstone/keelwatch/own-mac"_s));
    QFile highMac(dir.filePath(u"high/Quillstone/keelwatch/own-mac"_s));
    ASSERT_TRUE(lowMac.open(QIODevice::ReadOnly) && highMac.open(QIODevice::ReadOnly));
    EXPECT_NE(lowMac.readAll(), highMac.readAll());
}

} // namespace
