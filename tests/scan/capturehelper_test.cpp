// The capture helper of this build, started as the program starts it, on a
// lab segment of one host: what it refuses, what it keeps and when it ends.

#include "scan/capturehelperadapter.h"
#include "scan/probeframe.h"

#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/processinfo.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString Helper = QStringLiteral(KEELWATCH_CAPTURE_HELPER);
constexpr std::uint32_t OwnIp = 0x0A4D0001;
const MacBytes Source = {0x02, 0x00, 0x00, 0x77, 0x00, 0x52};
const ProbeSenders Senders = SendersOfSource(Source, OwnIp);

class CaptureHelper : public ::testing::Test
{
  protected:
    static void SetUpTestSuite()
    {
        if (!LabSegment::Unavailable())
            lab = std::make_unique<LabSegment>(1, QStringList{});
    }
    static void TearDownTestSuite() { lab.reset(); }

    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
        scanner = std::make_unique<EnteredNamespace>(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(scanner->entered);
    }
    void TearDown() override { scanner.reset(); }

    static std::unique_ptr<PacketAdapter> Open(const QString &name, QString *error = nullptr)
    {
        QString reason;
        auto adapter = OpenHelperAdapter(Helper, name, &reason);
        if (error)
            *error = reason;
        EXPECT_TRUE(adapter || error) << reason.toStdString();
        return adapter;
    }

    static bool Send(PacketAdapter &adapter, std::vector<std::uint8_t> frame)
    {
        Packet packet;
        PacketInitPacket(packet, frame.data(), frame.size());
        return adapter.PacketSendPacket(packet);
    }

    static std::vector<std::uint8_t> Probe(const MacBytes &source, std::uint32_t ownIp)
    {
        ProbeFrame frame;
        BuildProbeFrame(frame, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, source, ownIp, 0x0A4D000B,
                        FrameFormat::Ethernet2);
        return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
    }

    static inline std::unique_ptr<LabSegment> lab;
    std::unique_ptr<EnteredNamespace> scanner;
};

class HelperInterfaceName : public CaptureHelper, public ::testing::WithParamInterface<const char *>
{
};

// Names that are no interface of the namespace never reach libpcap; the
// reason comes back to the program.
TEST_P(HelperInterfaceName, IsRefusedWithItsReason)
{
    QString error;
    EXPECT_FALSE(Open(QString::fromUtf8(GetParam()), &error));
    EXPECT_TRUE(error.startsWith(u"keelwatch-capture: "_s)) << error.toStdString();
}

INSTANTIATE_TEST_SUITE_P(CaptureHelper, HelperInterfaceName,
                         ::testing::Values("", "../wire0", "wire0:1", "wire0 ", "abcdefghijklmnop",
                                           "eth0", "nosuchif"));

TEST_F(CaptureHelper, SendsOnlyProbesOfTheBoundSenders)
{
    const auto adapter = Open(u"wire0"_s);
    ASSERT_TRUE(adapter);
    // Nothing goes out before the scan has said where its probes come from.
    EXPECT_FALSE(Send(*adapter, Probe(Source, OwnIp)));
    EXPECT_TRUE(adapter->ErrorText().contains(u"no senders"_s))
        << adapter->ErrorText().toStdString();

    ASSERT_TRUE(adapter->BindSenders(Senders)) << adapter->ErrorText().toStdString();
    EXPECT_TRUE(adapter->PacketSetNumWrites(2));
    EXPECT_TRUE(Send(*adapter, Probe(Source, OwnIp))) << adapter->ErrorText().toStdString();
    EXPECT_FALSE(Send(*adapter, Probe({0x02, 0x00, 0x00, 0x77, 0x00, 0x62}, OwnIp)));
    EXPECT_FALSE(Send(*adapter, Probe(Source, 0x0A4D000C)));
    auto reply = Probe(Source, OwnIp);
    reply[21] = 2;
    EXPECT_FALSE(Send(*adapter, reply));
    EXPECT_TRUE(adapter->ErrorText().contains(u"ARP request"_s))
        << adapter->ErrorText().toStdString();
    // A session keeps the senders it was given.
    EXPECT_FALSE(adapter->BindSenders(SendersOfSource({0x02, 0, 0, 0x78, 0, 0x50}, OwnIp)));
    EXPECT_TRUE(adapter->BindSenders(Senders));
    EXPECT_FALSE(adapter->PacketSetNumWrites(17));
}

TEST_F(CaptureHelper, CapturesOnlyWithTheArpReplyFilter)
{
    const auto adapter = Open(u"wire0"_s);
    ASSERT_TRUE(adapter);
    constexpr BpfInstruction AcceptAll[1] = {{0x06, 0, 0, 0xFFFF}};
    EXPECT_FALSE(adapter->PacketSetBpf(AcceptAll));
    EXPECT_TRUE(adapter->PacketSetBpf(CaptureFilterProgram)) << adapter->ErrorText().toStdString();
    EXPECT_TRUE(adapter->PacketSetHwFilter(PromiscuousFilter))
        << adapter->ErrorText().toStdString();
    EXPECT_TRUE(adapter->PacketSetReadTimeout(50));
    EXPECT_FALSE(adapter->PacketSetReadTimeout(0));
    EXPECT_TRUE(adapter->PacketSetBuff(520000));

    // The lab host answers the broadcast probe; its reply comes back as a
    // record of the batch.
    ASSERT_TRUE(adapter->BindSenders(Senders));
    ProbeFrame frame;
    BuildProbeFrame(frame, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, Source, OwnIp, 0x0A4D000B,
                    FrameFormat::Ethernet2);
    ASSERT_TRUE(Send(*adapter, {frame.bytes.begin(), frame.bytes.begin() + frame.size}));
    std::vector<std::uint8_t> buffer(4096);
    Packet packet;
    PacketInitPacket(packet, buffer.data(), buffer.size());
    const bool replied = WaitUntil(
        [&] { return adapter->PacketReceivePacket(packet) && packet.bytesReceived > 0; }, 5000);
    ASSERT_TRUE(replied) << adapter->ErrorText().toStdString();
    namespace L = CaptureRecordLayout;
    ASSERT_GE(packet.bytesReceived, L::Header + 42);
    const std::uint8_t *reply = buffer.data() + L::Header;
    EXPECT_EQ(std::vector<std::uint8_t>(reply, reply + 6),
              std::vector<std::uint8_t>(Source.begin(), Source.end()));
    EXPECT_EQ(reply[21], 2);
    std::uint64_t dropped = 1;
    EXPECT_TRUE(adapter->PacketGetStats(dropped));
    EXPECT_EQ(dropped, 0U);
}

// Once the interface is open the helper holds no capability, no environment
// and no descriptor but its standard ones, its channel and the capture
// socket; it ends with its adapter.
TEST_F(CaptureHelper, KeepsNothingButItsSocketsAndEndsWithItsAdapter)
{
    auto adapter = Open(u"wire0"_s);
    ASSERT_TRUE(adapter);
    const auto pid = processinfo::ChildRunning(Helper);
    ASSERT_TRUE(pid);
    EXPECT_EQ(processinfo::StatusField(*pid, u"CapEff"_s), u"0000000000000000"_s);
    EXPECT_EQ(processinfo::StatusField(*pid, u"CapPrm"_s), u"0000000000000000"_s);
    EXPECT_EQ(processinfo::StatusField(*pid, u"NoNewPrivs"_s), u"1"_s);
    QFile environment(u"/proc/%1/environ"_s.arg(*pid));
    ASSERT_TRUE(environment.open(QIODevice::ReadOnly));
    EXPECT_EQ(environment.readAll(), QByteArray());
    const QMap<int, QString> fds = processinfo::Descriptors(*pid);
    EXPECT_EQ(fds.size(), 5) << processinfo::Describe(fds);
    EXPECT_EQ(fds.value(0), u"/dev/null"_s);
    EXPECT_EQ(fds.value(1), u"/dev/null"_s);
    for (auto fd = fds.lowerBound(3); fd != fds.end(); ++fd)
        EXPECT_TRUE(fd.value().startsWith(u"socket:"_s)) << processinfo::Describe(fds);

    adapter.reset();
    EXPECT_TRUE(processinfo::Ended(*pid));
}

// A parent killed outright leaves no helper behind.
TEST_F(CaptureHelper, EndsWhenItsParentDies)
{
    int report[2];
    ASSERT_EQ(pipe2(report, O_CLOEXEC), 0);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        const auto adapter = OpenHelperAdapter(Helper, u"wire0"_s, nullptr);
        const auto pid = processinfo::ChildRunning(Helper);
        const pid_t helper = adapter && pid ? *pid : 0;
        if (write(report[1], &helper, sizeof helper) != sizeof helper)
            _exit(1);
        pause();
        _exit(0);
    }
    close(report[1]);
    pid_t helper = 0;
    ASSERT_EQ(read(report[0], &helper, sizeof helper), ssize_t(sizeof helper));
    close(report[0]);
    ASSERT_GT(helper, 0);
    EXPECT_FALSE(processinfo::Ended(helper));
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    EXPECT_TRUE(WaitUntil([&] { return processinfo::Ended(helper); }, 5000));
}

} // namespace
