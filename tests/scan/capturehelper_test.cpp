// The capture helper of this build, started as the program starts it and
// driven by hand as a member of its group could, on a lab segment of one
// host: what it refuses, what it keeps and when it ends.

#include "scan/capturehelperadapter.h"
#include "scan/pcapdriver.h"
#include "scan/probeframe.h"

#include "support/eventwait.h"
#include "support/labsegment.h"
#include "support/processinfo.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <cstring>
#include <memory>
#include <random>
#include <thread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

namespace protocol = captureprotocol;
using protocol::ErrorCode;
using protocol::MessageType;

const QString Helper = QStringLiteral(KEELWATCH_CAPTURE_HELPER);
constexpr std::uint32_t OwnIp = 0x0A4D0001;
constexpr std::uint32_t HostIp = 0x0A4D000B; // lab host 1
const MacBytes Source = {0x02, 0x00, 0x00, 0x77, 0x00, 0x52};
const MacBytes Broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

ProbeSenders Senders(std::uint32_t senderIp = 0)
{
    ProbeSenders senders;
    senders.senderIp = senderIp;
    senders.blocks = {{0x02, 0x00, 0x00, 0x77, 0x00, 0x50}};
    return senders;
}

std::vector<std::uint8_t> Probe(const MacBytes &destination, const MacBytes &source,
                                std::uint32_t senderIp, std::uint32_t target = HostIp)
{
    ProbeFrame frame;
    BuildProbeFrame(frame, destination, source, senderIp, target, FrameFormat::Ethernet2);
    return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

ProbeBatch BatchOf(const std::vector<std::uint8_t> &frame, int copies = 1)
{
    ProbeBatch batch;
    batch.Add(frame, copies);
    return batch;
}

// Every frame on the switch's end of the lab wire: what the helper really
// put on the segment.
class WireTap
{
  public:
    explicit WireTap(const QString &switchNamespace)
    {
        EnteredNamespace sw(switchNamespace);
        fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, htons(ETH_P_ALL));
        sockaddr_ll address{};
        address.sll_family = AF_PACKET;
        address.sll_protocol = htons(ETH_P_ALL);
        address.sll_ifindex = int(if_nametoindex("wire1"));
        opened = sw.entered && fd >= 0 && address.sll_ifindex > 0 &&
                 bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~WireTap()
    {
        if (fd >= 0)
            close(fd);
    }

    // The ARP requests that came in from the scanner's end so far.
    std::vector<std::vector<std::uint8_t>> Requests()
    {
        std::uint8_t frame[2048];
        sockaddr_ll from{};
        socklen_t length = sizeof from;
        for (;;) {
            const ssize_t got =
                recvfrom(fd, frame, sizeof frame, 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (got <= 0)
                break;
            if (from.sll_pkttype != PACKET_OUTGOING && got >= 42 && frame[12] == 0x08 &&
                frame[13] == 0x06 && frame[21] == 1)
                seen.emplace_back(frame, frame + got);
        }
        return seen;
    }

    bool opened = false;

  private:
    int fd = -1;
    std::vector<std::vector<std::uint8_t>> seen;
};

// The helper's request socket, driven by hand.
class HandDriven
{
  public:
    explicit HandDriven(const QString &path) : process(SpawnCaptureHelper(path, &error)) {}
    ~HandDriven()
    {
        close(process.requests);
        close(process.capture);
        waitpid(process.pid, nullptr, 0);
    }

    // Sends a datagram and waits for the answer to it.
    std::optional<protocol::Message> Ask(const std::vector<std::uint8_t> &datagram)
    {
        if (send(process.requests, datagram.data(), datagram.size(), MSG_NOSIGNAL) < 0)
            return std::nullopt;
        pollfd fd{process.requests, POLLIN, 0};
        if (poll(&fd, 1, 30000) <= 0)
            return std::nullopt;
        std::vector<std::uint8_t> answer(protocol::MaxMessageBytes + 1);
        const ssize_t got = recv(process.requests, answer.data(), answer.size(), 0);
        if (got <= 0)
            return std::nullopt;
        return protocol::Decode({answer.data(), std::size_t(got)});
    }
    std::optional<protocol::Message> Ask(MessageType type, std::span<const std::uint8_t> payload)
    {
        return Ask(protocol::Encode(type, ++lastId, payload));
    }
    // The code of the Error that answered, or nothing for another answer.
    std::optional<ErrorCode> Refusal(MessageType type, std::span<const std::uint8_t> payload)
    {
        const auto answer = Ask(type, payload);
        if (!answer || answer->type != MessageType::Error || answer->id != lastId)
            return std::nullopt;
        const auto error = protocol::DecodeError(answer->payload);
        return error ? std::optional(error->first) : std::nullopt;
    }

    QString error;
    HelperProcess process;
    std::uint32_t lastId = 0;
};

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

    static std::unique_ptr<PacketAdapter> Open(const QString &name, QString *error = nullptr,
                                               const ProbeSenders &senders = Senders())
    {
        QString reason;
        auto adapter = OpenHelperAdapter(Helper, name, senders, &reason);
        if (error)
            *error = reason;
        EXPECT_TRUE(adapter || error) << reason.toStdString();
        return adapter;
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

// A member of the helper's group who drives it by hand gets every frame
// that is not one of the scan's probes refused with its reason, and
// garbage too, while nothing of it reaches the wire and the probes that
// follow still go out.
TEST_F(CaptureHelper, RefusesEverythingButTheScansProbesAndKeepsServing)
{
    WireTap tap(lab->Namespace(u"sw"_s));
    ASSERT_TRUE(tap.opened);
    HandDriven helper(Helper);
    ASSERT_GT(helper.process.pid, 0) << helper.error.toStdString();
    const auto ask = [&helper](const std::vector<std::uint8_t> &frame) {
        return helper.Refusal(MessageType::Send, BatchOf(frame).Payload());
    };

    EXPECT_EQ(ask(Probe(Broadcast, Source, 0)), ErrorCode::OutOfOrder);
    // Claiming an address the interface does not hold is refused at start.
    EXPECT_EQ(
        helper.Refusal(MessageType::Start, protocol::EncodeStart({"wire0", Senders(0x0A4D0063)})),
        ErrorCode::SenderIpRefused);
    const auto started =
        helper.Ask(MessageType::Start, protocol::EncodeStart({"wire0", Senders()}));
    ASSERT_TRUE(started && started->type == MessageType::Started);
    EXPECT_EQ(helper.Refusal(MessageType::Start, protocol::EncodeStart({"wire0", Senders()})),
              ErrorCode::OutOfOrder);

    EXPECT_EQ(ask(Probe(Broadcast, Source, OwnIp)), ErrorCode::SenderIpRefused);
    EXPECT_EQ(ask(Probe(Broadcast, {0x02, 0x00, 0x00, 0x77, 0x00, 0x62}, 0)),
              ErrorCode::SourceRefused);
    auto reply = Probe(Broadcast, Source, 0);
    reply[21] = 2;
    EXPECT_EQ(ask(reply), ErrorCode::NotAProbe);
    auto ipv4 = Probe(Broadcast, Source, 0);
    ipv4[12] = 0x08;
    ipv4[13] = 0x00;
    EXPECT_EQ(ask(ipv4), ErrorCode::NotAProbe);
    // A unicast frame goes only to the MAC that answered for its target.
    const MacBytes host = MacAddress::FromText(LabSegment::HostMac(1))->bytes;
    EXPECT_EQ(ask(Probe(host, Source, 0)), ErrorCode::DestinationRefused);
    // One bad frame keeps its whole batch home.
    ProbeBatch mixed = BatchOf(Probe(Broadcast, Source, 0));
    mixed.Add(Probe(Broadcast, Source, OwnIp));
    EXPECT_EQ(helper.Refusal(MessageType::Send, mixed.Payload()), ErrorCode::SenderIpRefused);

    std::mt19937 random(7);
    int refused = 0;
    for (int i = 0; i < 10000; ++i) {
        std::vector<std::uint8_t> bytes(random() % 160);
        for (auto &b : bytes)
            b = std::uint8_t(random());
        // Half of them well-formed messages with a random payload, so that
        // the checks behind the header are reached too.
        const auto answer =
            i % 2 ? helper.Ask(bytes) : helper.Ask(MessageType(1 + random() % 3), bytes);
        refused += answer && answer->type == MessageType::Error;
    }
    EXPECT_EQ(refused, 10000);

    // Still serving: the broadcast probe goes out, twice, and the host's
    // answer teaches the helper its MAC, so a control to it passes now.
    const auto marker = Probe(Broadcast, Source, 0, HostIp);
    const auto sent = helper.Ask(MessageType::Send, BatchOf(marker, 2).Payload());
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->type, MessageType::Ok);
    EXPECT_TRUE(WaitUntil([&] { return tap.Requests().size() >= 2; }, 10000));
    EXPECT_TRUE(WaitUntil(
        [&] {
            const auto control =
                helper.Ask(MessageType::Send, BatchOf(Probe(host, Source, 0)).Payload());
            return control && control->type == MessageType::Ok;
        },
        10000));
    const auto requests = tap.Requests();
    ASSERT_EQ(requests.size(), 3U);
    EXPECT_EQ(requests[0], marker);
    EXPECT_EQ(requests[1], marker);
    EXPECT_EQ(requests[2], Probe(host, Source, 0));
}

TEST_F(CaptureHelper, AnswersToAddressProbesComeBackFromTheOneHelperOfTheScan)
{
    const auto adapter = Open(u"wire0"_s);
    ASSERT_TRUE(adapter);
    constexpr BpfInstruction AcceptAll[1] = {{0x06, 0, 0, 0xFFFF}};
    EXPECT_FALSE(adapter->PacketSetBpf(AcceptAll));
    EXPECT_TRUE(adapter->PacketSetBpf(CaptureFilterProgram)) << adapter->ErrorText().toStdString();
    EXPECT_TRUE(adapter->PacketSetHwFilter(PromiscuousFilter))
        << adapter->ErrorText().toStdString();
    EXPECT_TRUE(adapter->PacketSetReadTimeout(50));
    EXPECT_TRUE(adapter->PacketSetBuff(520000));
    ifreq card{};
    std::strcpy(card.ifr_name, "wire0");
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(ioctl(fd, SIOCGIFHWADDR, &card), 0);
    close(fd);
    MacBytes cardMac;
    std::memcpy(cardMac.data(), card.ifr_hwaddr.sa_data, 6);
    EXPECT_EQ(adapter->CardMac(), cardMac);

    // The lab host answers the broadcast address probe, to its source, with
    // 0.0.0.0 as target: its cache keeps nothing of the prober.
    ASSERT_TRUE(adapter->PacketSendPackets(BatchOf(Probe(Broadcast, Source, 0))))
        << adapter->ErrorText().toStdString();
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
    EXPECT_EQ(std::vector<std::uint8_t>(reply + 38, reply + 42), std::vector<std::uint8_t>(4, 0));
    std::uint64_t dropped = 1;
    EXPECT_TRUE(adapter->PacketGetStats(dropped));
    EXPECT_EQ(dropped, 0U);
}

// The sensor opens its card at start and gives up its capabilities: the
// kept sockets serve scan after scan (the next waiting for the last to let
// go), and nothing else can be opened any more. Capabilities belong to a
// thread, so a thread of this test plays the sensor.
TEST_F(CaptureHelper, AKeptInterfaceServesScanAfterScanWithoutCapabilities)
{
    PcapDriver driver(CaptureAccess::Direct);
    QString error;
    ASSERT_TRUE(driver.KeepInterfaceOpen(u"wire0"_s, &error)) << error.toStdString();
    std::thread sensor([&] {
        ASSERT_TRUE(PcapDriver::DropCapabilities());
        EXPECT_FALSE(PcapDriver::HoldsCapabilities());
        auto last = driver.PacketOpenAdapter(u"wire0"_s, Senders(), &error);
        ASSERT_TRUE(last) << error.toStdString();
        std::thread lettingGo([&last] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            last.reset();
        });
        const auto next = driver.PacketOpenAdapter(u"wire0"_s, Senders(), &error);
        lettingGo.join();
        ASSERT_TRUE(next) << error.toStdString();
        ASSERT_TRUE(next->PacketSetBpf(CaptureFilterProgram));
        ASSERT_TRUE(next->PacketSetHwFilter(PromiscuousFilter));
        next->PacketSetReadTimeout(50);
        ASSERT_TRUE(next->PacketSendPackets(BatchOf(Probe(Broadcast, Source, 0))))
            << next->ErrorText().toStdString();
        std::vector<std::uint8_t> buffer(4096);
        Packet packet;
        PacketInitPacket(packet, buffer.data(), buffer.size());
        EXPECT_TRUE(WaitUntil(
            [&] { return next->PacketReceivePacket(packet) && packet.bytesReceived > 0; }, 5000));
        EXPECT_FALSE(driver.PacketOpenAdapter(u"lo"_s, Senders(), &error));
    });
    sensor.join();
}

// Once the interface is open the helper holds no capability, no environment
// and no descriptor but its standard ones, its two channels and the capture
// and send sockets; it ends with its adapter.
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
    EXPECT_EQ(fds.size(), 7) << processinfo::Describe(fds);
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
        const auto adapter = OpenHelperAdapter(Helper, u"wire0"_s, Senders(), nullptr);
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
