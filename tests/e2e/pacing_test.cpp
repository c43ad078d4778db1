// The real program on the large lab with rate pacing: a cyclic List Mode
// scan with all ten tests and two probes each, on the lab's stock receive
// queues, which overflow when the machine is busy. Every host is found and
// every sniffer flagged in the first cycle, and no later cycle reads a lost
// frame as a node that changed. On a failure the test says what the wire
// carried, from a capture of its own on the scanner's side.

#include "labscan.h"

#include "config/testaddresses.h"
#include "scan/capturebatch.h"
#include "scan/pcapdriver.h"
#include "scan/probeframe.h"

#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/processinfo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <mutex>
#include <thread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

constexpr int Cycles = 4;

// The replies that reached the scanner's end of the wire, by the time they
// came: host number, and the probe source address (the test's column) they
// answer.
class WireReplies
{
  public:
    struct Reply
    {
        qint64 ms;
        int host;
        int column;
    };

    WireReplies(const QString &scannerNamespace, const QElapsedTimer &clock)
        : thread([this, scannerNamespace, &clock] { Capture(scannerNamespace, clock); })
    {
    }
    ~WireReplies() { Stop(); }
    WireReplies(const WireReplies &) = delete;
    WireReplies &operator=(const WireReplies &) = delete;

    void Stop()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }
    std::vector<Reply> Replies() const
    {
        std::lock_guard lock(mutex);
        return replies;
    }

    std::atomic<bool> opened{false};
    std::atomic<std::uint64_t> dropped{0};

  private:
    void Capture(const QString &scannerNamespace, const QElapsedTimer &clock)
    {
        EnteredNamespace scanner(scannerNamespace);
        PcapDriver driver;
        const auto adapter =
            scanner.entered ? driver.PacketOpenAdapter(u"wire0"_s, {}, nullptr) : nullptr;
        if (!adapter || !adapter->PacketSetBuff(520000) ||
            !adapter->PacketSetBpf(CaptureFilterProgram))
            return;
        adapter->PacketSetReadTimeout(100);
        std::vector<std::uint8_t> buffer(256000);
        Packet packet;
        PacketInitPacket(packet, buffer.data(), buffer.size());
        std::vector<std::array<std::uint8_t, 6>> sources;
        for (const QString &text :
             BuildProbeSourceMacs(*MacAddress::FromText(u"02:11:22:33:44:50"_s)))
            sources.push_back(*MacTextToBytes(text));
        const ReplyDestinations ours(std::move(sources));
        opened = true;
        while (!stop && adapter->PacketReceivePacket(packet)) {
            const qint64 now = clock.elapsed();
            // The program's own MAC is 02 11 22 33 44 50 and up.
            WalkCaptureBatch(
                packet.buffer, packet.bytesReceived, ours, [&](const CaptureRecord &record) {
                    std::lock_guard lock(mutex);
                    replies.push_back({now, int(record[9]) - 10, int(record[15]) - 0x50});
                });
            std::uint64_t lost = 0;
            if (adapter->PacketGetStats(lost))
                dropped = lost;
        }
    }

    std::atomic<bool> stop{false};
    mutable std::mutex mutex;
    std::vector<Reply> replies;
    std::thread thread;
};

// The lab's switch side: group frames its broadcast queue had no room for.
quint64 LabQueueDrops(const LabSegment &lab)
{
    QProcess ip;
    ip.start(u"ip"_s, {u"-n"_s, lab.Namespace(u"sw"_s), u"-s"_s, u"link"_s, u"show"_s, u"wire1"_s});
    ip.waitForFinished();
    const QStringList lines = QString::fromLatin1(ip.readAllStandardOutput()).split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].trimmed().startsWith(u"RX:"_s))
            return lines[i + 1].simplified().split(u' ').value(3).toULongLong();
    }
    return 0;
}

// Frames the scanner has sent on the lab so far.
quint64 ScannerSentFrames(const LabSegment &lab)
{
    QProcess ip;
    ip.start(u"ip"_s,
             {u"-n"_s, lab.Namespace(u"scan"_s), u"-s"_s, u"link"_s, u"show"_s, u"wire0"_s});
    ip.waitForFinished();
    const QStringList lines = QString::fromLatin1(ip.readAllStandardOutput()).split(u'\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].trimmed().startsWith(u"TX:"_s))
            return lines[i + 1].simplified().split(u' ').value(1).toULongLong();
    }
    return 0;
}

TEST(PacedScanOnLargeLab, FindsEveryHostAndRaisesNoFalseAlarm)
{
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(u"bin"_s) && root.mkpath(u"config/Quillstone"_s));
    const QStringList promiscuous = LabSegment::LargePromiscuousHosts();
    LabSegment lab(LabSegment::LargeHosts, promiscuous);
    ASSERT_TRUE(lab.built) << lab.output.toStdString();

    const QString logPath = root.filePath(u"keelwatch.log"_s);
    {
        QSettings store(root.filePath(u"config/Quillstone/keelwatch.conf"_s), QSettings::IniFormat);
        labscan::WriteSettings(store, logPath, false, QString(), LabSegment::LargeHosts,
                               u"20000"_s);
        ASSERT_EQ(store.status(), QSettings::NoError);
    }
    const QString binary = labscan::CopyProgram(root.path(), QStringLiteral(KEELWATCH_BINARY),
                                                QStringLiteral(KEELWATCH_CAPTURE_HELPER));
    ASSERT_FALSE(binary.isEmpty());

    QElapsedTimer clock;
    clock.start();
    WireReplies wire(lab.Namespace(u"scan"_s), clock);
    ASSERT_TRUE(WaitUntil([&] { return wire.opened.load(); }, 10000));
    const quint64 labDropsBefore = LabQueueDrops(lab);
    // The frames sent up to each cycle's line: beyond the two sweeps, what
    // the cycle asked again.
    std::vector<quint64> sentFrames{ScannerSentFrames(lab)};

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, root.filePath(u"config"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(u"ip"_s, {u"netns"_s, u"exec"_s, lab.Namespace(u"scan"_s), binary, u"auto"_s});
    ASSERT_TRUE(program.waitForStarted());
    const auto log = [&] {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QString();
    };
    // When each cycle's line appeared: a reply on the wire belongs to the
    // cycle whose line came next. A cycle line is written a Scan Timer (1 s)
    // after its sweep and the next sweep starts a second later, so polling
    // finds it well between the two.
    std::vector<qint64> cycleEnds;
    // The capture helpers of the program while it sweeps and confirms, and
    // the rings they map: one helper per scan, for capture and sends alike.
    const QString helper =
        QFileInfo(QFileInfo(binary).dir().filePath(u"../libexec/keelwatch/keelwatch-capture"_s))
            .canonicalFilePath();
    qsizetype mostHelpers = 0;
    qint64 mostRingBytes = 0;
    const bool cycled = WaitUntil(
        [&] {
            QList<pid_t> helpers = processinfo::Children(pid_t(program.processId()));
            helpers.removeIf([&](pid_t child) { return processinfo::Program(child) != helper; });
            qint64 ringBytes = 0;
            for (pid_t child : helpers)
                ringBytes += processinfo::SocketMappingBytes(child);
            mostHelpers = std::max(mostHelpers, helpers.size());
            mostRingBytes = std::max(mostRingBytes, ringBytes);
            const QString text = log();
            while (int(cycleEnds.size()) < Cycles &&
                   text.contains(u"#Cyclic_Count,%1,"_s.arg(cycleEnds.size() + 1))) {
                cycleEnds.push_back(clock.elapsed());
                sentFrames.push_back(ScannerSentFrames(lab));
            }
            return int(cycleEnds.size()) == Cycles || program.state() == QProcess::NotRunning;
        },
        120000);
    program.terminate();
    program.waitForFinished(15000);
    wire.Stop();
    const quint64 labDrops = LabQueueDrops(lab) - labDropsBefore;
    const QString text = log();
    ASSERT_TRUE(cycled && int(cycleEnds.size()) == Cycles)
        << program.readAll().toStdString() << text.toStdString();
    // Replies the test's own capture missed would make it lenient.
    EXPECT_EQ(wire.dropped.load(), 0u);
    EXPECT_EQ(mostHelpers, 1);
    EXPECT_GT(mostRingBytes, 0);
    EXPECT_LE(mostRingBytes, 16 * 1024 * 1024);

    // How many replies of a host to a test the wire carried in a cycle.
    const std::vector<WireReplies::Reply> replies = wire.Replies();
    const auto carried = [&](int cycle, int host, int column) {
        const qint64 from = cycle > 1 ? cycleEnds[size_t(cycle - 2)] : 0;
        const qint64 to = cycleEnds[size_t(cycle - 1)];
        return std::count_if(replies.begin(), replies.end(), [&](const WireReplies::Reply &r) {
            return r.ms > from && r.ms <= to && r.host == host && r.column == column;
        });
    };

    // The log's lines by cycle: lines before "#Cyclic_Count,1," are cycle 1's.
    std::vector<QStringList> cycleLines(Cycles + 1);
    int cycle = 1;
    for (const QString &line : text.split(u"\r\n"_s)) {
        if (line.startsWith(u"#Cyclic_Count,"_s))
            ++cycle;
        else if (cycle <= Cycles)
            cycleLines[size_t(cycle)].append(line);
    }

    int found = 0;
    int flagged = 0;
    for (int host = 1; host <= LabSegment::LargeHosts; ++host) {
        const QString node =
            u","_s + LabSegment::HostIp(host) + u",["_s + LabSegment::HostMac(host) + u"],"_s;
        const bool logged = !cycleLines[1].filter(node + u"Br,ON,"_s).isEmpty();
        found += logged;
        EXPECT_TRUE(logged) << "host " << host << " not found in cycle 1; the wire carried "
                            << carried(1, host, BroadcastColumn) << " Br replies";
        if (!promiscuous.contains(QString::number(host)))
            continue;
        const bool suspect = !cycleLines[1].filter(node + u"PROMISC,SUSPECT,"_s).isEmpty();
        flagged += suspect;
        EXPECT_TRUE(suspect) << "host " << host << " was not flagged in cycle 1";
    }

    // A normal card may answer a group address through its hash filter, so
    // extra suspects are allowed; a node read as gone is not.
    int offLines = 0;
    int stopLines = 0;
    for (int c = 2; c <= Cycles; ++c) {
        for (const QString &line : cycleLines[size_t(c)]) {
            const QStringList fields = line.split(u',');
            const bool off = fields.size() >= 5 && fields[3] == u"Br"_s && fields[4] == u"OFF"_s;
            const bool stop =
                fields.size() >= 5 && fields[3] == u"PROMISC"_s && fields[4] == u"STOP"_s;
            offLines += off;
            stopLines += stop;
            if (off || stop) {
                const int host = fields[1].section(u'.', 3).toInt() - 10;
                ADD_FAILURE() << "cycle " << c << ": " << line.toStdString()
                              << "; the wire carried " << carried(c, host, BroadcastColumn)
                              << " Br replies of the host in it";
            }
        }
    }
    std::cout << "cycle 1: " << found << " of " << LabSegment::LargeHosts << " hosts found, "
              << flagged << " of " << promiscuous.size() << " sniffers flagged\n"
              << "cycles 2-" << Cycles << ": " << offLines << " Br OFF and " << stopLines
              << " PROMISC STOP lines; " << text.count(u"#Dropped_Frames,"_s)
              << " cycles with capture losses\n"
              << "frames asked again per cycle:";
    // Each cycle's two sweeps: every address's Br, then every node's ten
    // tests, two of each.
    const quint64 sweeps = 2 * (LabSegment::LargeHosts + quint64(found) * TestCount);
    for (int c = 1; c <= Cycles; ++c)
        std::cout << ' '
                  << qint64(sentFrames[size_t(c)] - sentFrames[size_t(c - 1)]) - qint64(sweeps);
    std::cout << "\nthe lab's broadcast queue dropped " << labDrops << " group frames\n";
}

} // namespace
