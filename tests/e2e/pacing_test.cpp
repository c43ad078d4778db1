// The real program on the large lab with rate pacing: a cyclic List Mode
// scan with all ten tests and two probes each, on the lab's stock receive
// queues. The test captures the replies on the scanner's side of the wire
// itself, so that it tells what the program lost from what never reached it:
// the lab's broadcast queue overflows when the machine is busy.

#include "labscan.h"

#include "config/testaddresses.h"
#include "scan/capturebatch.h"
#include "scan/pcapdriver.h"

#include "support/eventwait.h"
#include "support/labsegment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

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
            scanner.entered ? driver.PacketOpenAdapter(u"wire0"_s, nullptr) : nullptr;
        if (!adapter || !adapter->PacketSetBuff(520000) ||
            !adapter->PacketSetBpf(CaptureFilterProgram))
            return;
        adapter->PacketSetReadTimeout(100);
        std::vector<std::uint8_t> buffer(256000);
        Packet packet;
        PacketInitPacket(packet, buffer.data(), buffer.size());
        opened = true;
        while (!stop && adapter->PacketReceivePacket(packet)) {
            const qint64 now = clock.elapsed();
            // The program's own MAC is 00 11 22 33 44 50 and up.
            WalkCaptureBatch(
                packet.buffer, packet.bytesReceived, 0x00, 0x11, [&](const CaptureRecord &record) {
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

int ColumnOfTest(const QString &name)
{
    for (const TestAddress &test : TestAddresses) {
        if (name == QStringView(test.shortName))
            return test.column;
    }
    return -1;
}

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

TEST(PacedScanOnLargeLab, LosesNoReplyThatReachedIt)
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
    const QString binary = root.filePath(u"bin/keelwatch"_s);
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(KEELWATCH_BINARY), binary));

    QElapsedTimer clock;
    clock.start();
    WireReplies wire(lab.Namespace(u"scan"_s), clock);
    ASSERT_TRUE(WaitUntil([&] { return wire.opened.load(); }, 10000));
    const quint64 labDropsBefore = LabQueueDrops(lab);

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
    const bool cycled = WaitUntil(
        [&] {
            const QString text = log();
            while (int(cycleEnds.size()) < Cycles &&
                   text.contains(u"#Cyclic_Count,%1,"_s.arg(cycleEnds.size() + 1)))
                cycleEnds.push_back(clock.elapsed());
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

    // (cycle, host, column) of every reply on the wire to a cycle's scanning
    // sweep, cycles from 1. The node-finding sweep's replies mark nothing;
    // they come before the longest pause of the cycle, its Scan Timer.
    std::vector<std::vector<WireReplies::Reply>> byCycle(Cycles + 2);
    for (const WireReplies::Reply &reply : wire.Replies()) {
        int cycle = 1;
        while (cycle <= Cycles && reply.ms > cycleEnds[size_t(cycle - 1)])
            ++cycle;
        byCycle[size_t(cycle)].push_back(reply);
    }
    std::set<std::tuple<int, int, int>> heard;
    for (int c = 1; c <= Cycles; ++c) {
        const auto &replies = byCycle[size_t(c)];
        size_t scanning = 0;
        qint64 longestPause = -1;
        for (size_t i = 1; i < replies.size(); ++i) {
            if (replies[i].ms - replies[i - 1].ms > longestPause) {
                longestPause = replies[i].ms - replies[i - 1].ms;
                scanning = i;
            }
        }
        for (size_t i = scanning; i < replies.size(); ++i)
            heard.insert({c, replies[i].host, replies[i].column});
    }

    // The log's lines by cycle: lines before "#Cyclic_Count,1," are cycle 1's.
    std::vector<QStringList> cycleLines(Cycles + 1);
    int cycle = 1;
    for (const QString &line : text.split(u"\r\n"_s)) {
        if (line.startsWith(u"#Cyclic_Count,"_s))
            ++cycle;
        else if (cycle <= Cycles)
            cycleLines[size_t(cycle)].append(line);
    }
    const auto hostOf = [](const QString &ip) { return ip.section(u'.', 3).toInt() - 10; };

    // Cycle 1: every host whose broadcast answer came is found, every
    // promiscuous one whose answer to an illegal test came is flagged.
    int found = 0;
    int unheard = 0;
    int flagged = 0;
    int unheardSniffers = 0;
    for (int host = 1; host <= LabSegment::LargeHosts; ++host) {
        const QString node =
            u","_s + LabSegment::HostIp(host) + u",["_s + LabSegment::HostMac(host) + u"],"_s;
        const bool logged = !cycleLines[1].filter(node + u"Br,ON,"_s).isEmpty();
        found += logged;
        if (!heard.contains({1, host, BroadcastColumn}))
            ++unheard;
        else
            EXPECT_TRUE(logged) << "host " << host << " answered Br in cycle 1 but was not found";
        if (!promiscuous.contains(QString::number(host)))
            continue;
        const bool suspect = !cycleLines[1].filter(node + u"PROMISC,SUSPECT,"_s).isEmpty();
        flagged += suspect;
        bool answeredIllegal = false;
        for (const TestAddress &test : TestAddresses)
            answeredIllegal |= !test.correct && heard.contains({1, host, test.column});
        if (!answeredIllegal)
            ++unheardSniffers;
        else
            EXPECT_TRUE(suspect) << "host " << host << " was not flagged in cycle 1";
    }

    // Later cycles: a test reads OFF only when its answer did not come. A
    // normal card may answer a group address through its hash filter, so
    // extra suspects are allowed; a lost reply is not.
    int offLines = 0;
    int stopLines = 0;
    for (int c = 2; c <= Cycles; ++c) {
        for (const QString &line : cycleLines[size_t(c)]) {
            const QStringList fields = line.split(u',');
            if (fields.size() >= 5 && fields[4] == u"OFF"_s) {
                ++offLines;
                const int host = hostOf(fields[1]);
                EXPECT_FALSE(heard.contains({c, host, ColumnOfTest(fields[3])}))
                    << "cycle " << c << ": " << line.toStdString() << " though its answer came";
            } else if (fields.size() >= 5 && fields[4] == u"STOP"_s) {
                ++stopLines;
            }
        }
    }
    std::cout << "cycle 1: " << found << " of " << LabSegment::LargeHosts << " hosts found ("
              << unheard << " never answered), " << flagged << " of " << promiscuous.size()
              << " sniffers flagged (" << unheardSniffers << " never answered)\n"
              << "cycles 2-" << Cycles << ": " << offLines << " OFF and " << stopLines
              << " PROMISC STOP lines, all for answers that did not come; "
              << text.count(u"#Dropped_Frames,"_s) << " cycles with capture losses\n"
              << "the lab's broadcast queue dropped " << labDrops << " group frames\n";
    // On a lab that lost nothing every node is found and nothing goes OFF.
    if (labDrops == 0) {
        EXPECT_EQ(found, LabSegment::LargeHosts);
        EXPECT_EQ(flagged, promiscuous.size());
        EXPECT_EQ(offLines + stopLines, 0);
    }
}

} // namespace
