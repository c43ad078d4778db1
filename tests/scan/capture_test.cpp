#include "config/addresstext.h"
#include "scan/capturepipe.h"
#include "scan/capturerelay.h"
#include "scan/confirmationprobes.h"
#include "scan/probeledger.h"
#include "scan/replyanalyser.h"
#include "support/memorydriver.h"

#include "support/eventwait.h"

#include <gtest/gtest.h>

#include <QMutex>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <functional>
#include <thread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// Own MAC 00 11 22 33 44 50, own IP 192.168.0.1: the record of a reply of
// 192.168.0.7 (00 0C 29 AA BB CC) to source address k.
CaptureRecord ReplyRecord(std::uint8_t k, std::uint8_t lastIpByte = 7)
{
    return {0x00, 0x0C, 0x29, 0xAA,       0xBB, 0xCC,                   // sender MAC
            0xC0, 0xA8, 0x00, lastIpByte,                               // sender IP
            0x00, 0x11, 0x22, 0x33,       0x44, std::uint8_t(0x50 + k), // target MAC
            0xC0, 0xA8, 0x00, 0x01};                                    // target IP
}

// A whole Ethernet II ARP reply carrying a record's addresses.
QByteArray ReplyFrame(const CaptureRecord &r)
{
    QByteArray frame;
    frame.append(reinterpret_cast<const char *>(r.data()) + 10, 6); // to the target MAC
    frame.append(reinterpret_cast<const char *>(r.data()), 6);      // from the sender
    frame.append(QByteArray::fromHex("08060001080006040002"));
    frame.append(reinterpret_cast<const char *>(r.data()), 20);
    return frame;
}

QByteArray Batch(const QList<QByteArray> &frames)
{
    std::vector<std::uint8_t> buffer(4096);
    std::size_t used = 0;
    for (const QByteArray &f : frames) {
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t *>(f.constData()), std::size_t(f.size()));
        EXPECT_TRUE(AppendCaptureRecord(buffer.data(), buffer.size(), used, bytes,
                                        std::size_t(f.size()), 0, 0));
    }
    return QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(used));
}

// Stops a worker and waits for it when a test returns early.
struct JoinOnExit
{
    ScanThread &worker;
    ~JoinOnExit()
    {
        worker.Abandon();
        worker.Join();
    }
};

ReplyPatterns DefaultPatterns()
{
    return BuildReplyPatterns(BuildProbeSourceMacs(Settings::DefaultOwnMac()), u"192.168.0.1"_s,
                              MessageSink());
}

// One record as a message of its own.
std::span<const CaptureRecord> One(const CaptureRecord &record)
{
    return {&record, 1};
}

TEST(ReplyPatterns, SourceAddressAndOwnIpBytes)
{
    const ReplyPatterns patterns = DefaultPatterns();
    EXPECT_EQ(patterns[3],
              ReplyPattern({0x00, 0x11, 0x22, 0x33, 0x44, 0x53, 0xC0, 0xA8, 0x00, 0x01}));
    EXPECT_EQ(patterns[15],
              ReplyPattern({0x00, 0x11, 0x22, 0x33, 0x44, 0x5F, 0xC0, 0xA8, 0x00, 0x01}));
}

// Replies were recognised by comparing their bytes' upper-case hex text with
// the source address text, so an address in any other form matches nothing.
TEST(ReplyPatterns, SourceAddressNotInItsCanonicalFormMatchesNothing)
{
    SourceMacs sources = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    sources[2] = u"00 11 22 33 44 5a"_s;
    sources[3] = u"00:11:22:33:44:53"_s;
    sources[4] = u"0 11 22 33 44 54"_s;
    const ReplyPatterns patterns = BuildReplyPatterns(sources, u"192.168.0.1"_s, MessageSink());
    for (int k : {2, 3, 4})
        EXPECT_FALSE(patterns[size_t(k)]) << k;
    EXPECT_FALSE(DecodeCaptureRecord(ReplyRecord(3), patterns));
    EXPECT_EQ(DecodeCaptureRecord(ReplyRecord(5), patterns)->sourceIndex, 5);
}

TEST(ReplyPatterns, BadOwnIpIsReportedForEachPatternAndMatchesNothing)
{
    QStringList shown;
    const ReplyPatterns patterns =
        BuildReplyPatterns(BuildProbeSourceMacs(Settings::DefaultOwnMac()), u"192.168.1"_s,
                           [&](const QString &text) { shown.append(text); });
    EXPECT_EQ(shown, QStringList(16, u"IP Address Error"_s));
    EXPECT_FALSE(DecodeCaptureRecord(ReplyRecord(3), patterns));
}

TEST(DecodeCaptureRecord, GivesSourceIndexIpAndMac)
{
    const auto reply = DecodeCaptureRecord(ReplyRecord(3), DefaultPatterns());
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->sourceIndex, 3);
    EXPECT_EQ(reply->ip.ToText(), u"192.168.0.7"_s);
    EXPECT_EQ(reply->mac.ToText(), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(VendorPrefix(reply->mac), u"00:0C:29:"_s);
}

TEST(DecodeCaptureRecord, ReplyToAnotherIpOrAddressIsDropped)
{
    CaptureRecord toOtherIp = ReplyRecord(3);
    toOtherIp[19] = 0x02;
    EXPECT_FALSE(DecodeCaptureRecord(toOtherIp, DefaultPatterns()));
    CaptureRecord toOtherMac = ReplyRecord(3);
    toOtherMac[14] = 0x45;
    EXPECT_FALSE(DecodeCaptureRecord(toOtherMac, DefaultPatterns()));
    EXPECT_EQ(DecodeCaptureRecord(ReplyRecord(0), DefaultPatterns())->sourceIndex, 0);
    EXPECT_EQ(DecodeCaptureRecord(ReplyRecord(15), DefaultPatterns())->sourceIndex, 15);
}

// A reply counts only from an address of the range that the sweep asked,
// from a unicast MAC, and a confirmation probe's is told by its source.
struct SenderCase
{
    const char *name;
    std::function<void(CaptureRecord &)> change;
    bool accepted;
};

class ReplySenders : public testing::TestWithParam<SenderCase>
{
};

TEST_P(ReplySenders, AreCheckedAgainstRangeLedgerAndMac)
{
    ScanInputs inputs;
    inputs.settings.ownIp = IpFromText(u"192.168.0.1"_s);
    inputs.settings.probeSenderIp = ProbeSenderIp::Own;
    inputs.probeSourceMacs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    inputs.rangeStart = IpFromText(u"192.168.0.1"_s)->ToIpv4();
    inputs.rangeEnd = IpFromText(u"192.168.0.9"_s)->ToIpv4();
    inputs.asked = std::make_shared<ProbeLedger>(inputs.rangeStart, inputs.rangeEnd);
    for (quint32 a = inputs.rangeStart; a < inputs.rangeEnd; ++a) // all but .9
        inputs.asked->Note(a);
    const ReplyBinding binding = BuildReplyBinding(inputs, MessageSink());
    CaptureRecord record = ReplyRecord(3);
    GetParam().change(record);
    EXPECT_EQ(AcceptCaptureRecord(record, binding).has_value(), GetParam().accepted);
}

void SenderIpLast(CaptureRecord &r, std::uint8_t last)
{
    r[9] = last;
}

INSTANTIATE_TEST_SUITE_P(
    Senders, ReplySenders,
    testing::Values(
        SenderCase{"Honest", [](CaptureRecord &) {}, true},
        SenderCase{"Unasked", [](CaptureRecord &r) { SenderIpLast(r, 9); }, false},
        SenderCase{"OutsideTheRange", [](CaptureRecord &r) { SenderIpLast(r, 10); }, false},
        SenderCase{"OwnIp", [](CaptureRecord &r) { SenderIpLast(r, 1); }, false},
        SenderCase{"GroupMac", [](CaptureRecord &r) { r[0] = 0x01; }, false},
        SenderCase{"ZeroMac", [](CaptureRecord &r) { std::fill(r.begin(), r.begin() + 6, 0); },
                   false},
        SenderCase{"AnotherTargetIp", [](CaptureRecord &r) { r[19] = 0x02; }, false}),
    [](const auto &info) { return std::string(info.param.name); });

// Address probes are answered to 0.0.0.0: a reply to the own IP answers
// none of them.
TEST(ReplySenders, AnswersToAddressProbesGoToZero)
{
    ScanInputs inputs;
    inputs.settings.ownIp = IpFromText(u"192.168.0.1"_s);
    inputs.probeSourceMacs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    inputs.rangeStart = IpFromText(u"192.168.0.1"_s)->ToIpv4();
    inputs.rangeEnd = IpFromText(u"192.168.0.9"_s)->ToIpv4();
    inputs.confirmationSources = {{0x02, 0xAA, 0, 0, 0, 0x30}};
    const ReplyBinding binding = BuildReplyBinding(inputs, MessageSink());
    CaptureRecord record = ReplyRecord(3);
    EXPECT_FALSE(AcceptCaptureRecord(record, binding));
    std::fill(record.begin() + 16, record.end(), 0);
    EXPECT_EQ(AcceptCaptureRecord(record, binding)->sourceIndex, 3);
    std::copy(inputs.confirmationSources[0].begin(), inputs.confirmationSources[0].end(),
              record.begin() + 10);
    EXPECT_EQ(AcceptCaptureRecord(record, binding)->confirmationProbe, 0);
}

TEST(ReplySenders, ConfirmationProbesAreToldApartByTheirSource)
{
    ScanInputs inputs;
    inputs.settings.ownIp = IpFromText(u"192.168.0.1"_s);
    inputs.settings.probeSenderIp = ProbeSenderIp::Own;
    inputs.probeSourceMacs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    inputs.rangeStart = IpFromText(u"192.168.0.1"_s)->ToIpv4();
    inputs.rangeEnd = IpFromText(u"192.168.0.9"_s)->ToIpv4();
    inputs.confirmationSources = {{0x02, 0xAA, 0, 0, 0, 0x30}, {0x02, 0xAA, 0, 0, 0, 0x31}};
    const ReplyBinding binding = BuildReplyBinding(inputs, MessageSink());
    CaptureRecord record = ReplyRecord(3);
    for (std::size_t j = 0; j < 2; ++j) {
        std::copy(inputs.confirmationSources[j].begin(), inputs.confirmationSources[j].end(),
                  record.begin() + 10);
        const auto reply = AcceptCaptureRecord(record, binding);
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->confirmationProbe, int(j));
        EXPECT_EQ(reply->sourceIndex, ConfirmationSourceIndex);
    }
    EXPECT_EQ(AcceptCaptureRecord(ReplyRecord(3), binding)->confirmationProbe, -1);
}

// A new sweep forgets what the last one asked; addresses outside the range
// are never asked.
TEST(ProbeLedger, NotesAddressesOfItsRangeUntilForgotten)
{
    ProbeLedger ledger(1000, 1200);
    for (quint32 a : {999u, 1000u, 1063u, 1064u, 1200u, 1201u})
        ledger.Note(a);
    EXPECT_FALSE(ledger.Asked(999));
    EXPECT_TRUE(ledger.Asked(1000));
    EXPECT_TRUE(ledger.Asked(1063));
    EXPECT_TRUE(ledger.Asked(1064));
    EXPECT_FALSE(ledger.Asked(1065));
    EXPECT_TRUE(ledger.Asked(1200));
    EXPECT_FALSE(ledger.Asked(1201));
    ledger.Forget();
    EXPECT_FALSE(ledger.Asked(1000));
    // The top of the address space, and an empty range.
    ProbeLedger top(0xFFFFFF00, 0xFFFFFFFF);
    top.Note(0xFFFFFFFF);
    EXPECT_TRUE(top.Asked(0xFFFFFFFF));
    ProbeLedger empty(5, 4);
    empty.Note(5);
    EXPECT_FALSE(empty.Asked(5));
}

TEST(CapturePipe, KeepsMessagesWholeAndInOrder)
{
    int error = 0;
    auto pipe = CapturePipe::Create(&error);
    ASSERT_TRUE(pipe) << error;
    std::vector<CaptureRecord> full;
    for (std::size_t i = 0; i < RecordsPerMessage; ++i)
        full.push_back(ReplyRecord(std::uint8_t(i % SourceAddressCount), std::uint8_t(i)));
    EXPECT_EQ(pipe->Write(One(ReplyRecord(2))), CapturePipe::WriteResult::Written);
    EXPECT_EQ(pipe->Write(full), CapturePipe::WriteResult::Written);
    EXPECT_EQ(pipe->Write(One(ReplyRecord(3))), CapturePipe::WriteResult::Written);
    std::vector<CaptureRecord> r;
    ASSERT_EQ(pipe->Read(r, 1000), CapturePipe::ReadResult::Records);
    EXPECT_EQ(r, std::vector<CaptureRecord>({ReplyRecord(2)}));
    ASSERT_TRUE(pipe->ReadWaiting(r));
    EXPECT_EQ(r, full);
    ASSERT_TRUE(pipe->ReadWaiting(r));
    EXPECT_EQ(r, std::vector<CaptureRecord>({ReplyRecord(3)}));
    EXPECT_FALSE(pipe->ReadWaiting(r));
    EXPECT_EQ(pipe->Read(r, 10), CapturePipe::ReadResult::TimedOut);
}

TEST(CapturePipe, MessageOfNoneOrTooManyRecordsIsRefused)
{
    auto pipe = CapturePipe::Create(nullptr);
    ASSERT_TRUE(pipe);
    const std::vector<CaptureRecord> tooMany(RecordsPerMessage + 1, ReplyRecord(2));
    EXPECT_EQ(pipe->Write(tooMany), CapturePipe::WriteResult::Failed);
    EXPECT_EQ(pipe->Write({}), CapturePipe::WriteResult::Failed);
    std::vector<CaptureRecord> r;
    EXPECT_EQ(pipe->Read(r, 10), CapturePipe::ReadResult::TimedOut);
}

TEST(CapturePipe, FullPipeWaitsForTheReaderAndLetsAStopThrough)
{
    auto pipe = CapturePipe::Create(nullptr);
    ASSERT_TRUE(pipe);
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::thread writer([&] {
        while (pipe->Write(One(ReplyRecord(2, std::uint8_t(written))), &stop) ==
               CapturePipe::WriteResult::Written)
            ++written;
    });
    // The writer fills the pipe and then waits instead of dropping.
    int before = -1;
    while (before != written) {
        before = written;
        QThread::msleep(100);
    }
    EXPECT_GT(written, 10);
    std::vector<CaptureRecord> r;
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(pipe->ReadWaiting(r));
        EXPECT_EQ(r, std::vector<CaptureRecord>({ReplyRecord(2, std::uint8_t(i))}));
    }
    ASSERT_TRUE(WaitUntil([&] { return written >= before + 5; }));
    stop = true;
    writer.join();
    int read = 5;
    while (pipe->ReadWaiting(r))
        ++read;
    EXPECT_EQ(read, written);
}

TEST(CapturePipe, ClosedWriteEndEndsTheReadAndClosedReadEndTheWrite)
{
    auto pipe = CapturePipe::Create(nullptr);
    ASSERT_TRUE(pipe);
    pipe->CloseWriteEnd();
    std::vector<CaptureRecord> r;
    EXPECT_EQ(pipe->Read(r, 5000), CapturePipe::ReadResult::Failed);

    auto other = CapturePipe::Create(nullptr);
    ASSERT_TRUE(other);
    other->CloseReadEnd();
    EXPECT_EQ(other->Write(One(ReplyRecord(2))), CapturePipe::WriteResult::NotConnected);
}

// The relay and the analyser over the in-memory driver and a real pipe.
class Capture : public testing::Test
{
  protected:
    Capture()
    {
        channel->adapter = driver->PacketOpenAdapter(u"lab0"_s, {}, nullptr);
        channel->adapter->PacketSetReadTimeout(20);
        channel->packet = driver->PacketAllocatePacket();
        channel->buffer.resize(CaptureChannel::BufferSize);
        PacketInitPacket(*channel->packet, channel->buffer.data(), channel->buffer.size());
        channel->pipe = CapturePipe::Create(nullptr);
        inputs->settings.ownIp = IpFromText(u"192.168.0.1"_s);
        inputs->settings.probeSenderIp = ProbeSenderIp::Own;
        inputs->probeSourceMacs = BuildProbeSourceMacs(*inputs->settings.ownMac);
        inputs->rangeStart = IpFromText(u"192.168.0.0"_s)->ToIpv4();
        inputs->rangeEnd = IpFromText(u"192.168.255.255"_s)->ToIpv4();
        inputs->lookupVendor = [this](const MacAddress &mac) -> QString {
            ++vendorLookups;
            return u"vendor of "_s + VendorPrefix(mac);
        };
    }

    void Record(const QString &text)
    {
        QMutexLocker lock(&mutex);
        shown.append(text);
    }
    QStringList Shown()
    {
        QMutexLocker lock(&mutex);
        return shown;
    }

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    std::shared_ptr<CaptureChannel> channel = std::make_shared<CaptureChannel>();
    std::shared_ptr<ScanInputs> inputs = std::make_shared<ScanInputs>();
    std::atomic<bool> counterShown{false};
    std::atomic<int> vendorLookups{0};
    QMutex mutex;
    QStringList shown;
};

TEST_F(Capture, RepliesTravelFromBatchToDecodedReplyInOrder)
{
    ReplyAnalyser analyser(channel, inputs);
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    // Recorded on the workers' threads: the hand-over to the main thread is
    // ScanWorkers' part.
    QMutex recorded;
    QList<DecodedReply> replies;
    QList<quint64> counts;
    QObject::connect(&analyser, &ReplyAnalyser::repliesDecoded, [&](const QList<DecodedReply> &r) {
        QMutexLocker lock(&recorded);
        replies += r;
    });
    QObject::connect(&relay, &CaptureRelay::captureCounted, [&](quint64 n) {
        QMutexLocker lock(&recorded);
        counts.append(n);
    });
    counterShown = true;
    JoinOnExit joinAnalyser{analyser}, joinRelay{relay};
    analyser.start();
    relay.start();

    CaptureRecord foreign = ReplyRecord(4);
    foreign[10] = 0x02; // another card's reply
    driver->QueueBatch(
        Batch({ReplyFrame(ReplyRecord(2)), ReplyFrame(foreign), ReplyFrame(ReplyRecord(3, 9))}));
    ASSERT_TRUE(WaitUntil([&] {
        QMutexLocker lock(&recorded);
        return replies.size() == 2;
    }));
    QMutexLocker lock(&recorded);

    EXPECT_EQ(replies[0].ip.ToText(), u"192.168.0.7"_s);
    EXPECT_EQ(replies[0].mac.ToText(), u"00:0C:29:AA:BB:CC"_s);
    EXPECT_EQ(replies[0].sourceIndex, 2);
    EXPECT_EQ(replies[0].vendor, u"vendor of 00:0C:29:"_s);
    EXPECT_EQ(replies[1].ip.ToText(), u"192.168.0.9"_s);
    EXPECT_EQ(replies[1].sourceIndex, 3);
    EXPECT_EQ(replies[1].vendor, u"vendor of 00:0C:29:"_s);
    // One vendor code, looked up once; the batch's two replies counted at once.
    EXPECT_EQ(vendorLookups, 1);
    EXPECT_EQ(counts, QList<quint64>({2}));

    lock.unlock();
    // Stopping on a silent network: the relay leaves its receive, closes
    // the pipe, and the analyser ends as well.
    relay.RequestStop();
    analyser.RequestStop();
    relay.Join();
    analyser.Join();
}

TEST_F(Capture, ABatchLargerThanAMessageCrossesInSeveralInOrder)
{
    // 1,100 replies in one receive: two full messages and a part.
    constexpr int Replies = 1100;
    std::vector<std::uint8_t> buffer(Replies * 64);
    std::size_t used = 0;
    for (int i = 0; i < Replies; ++i) {
        CaptureRecord record = ReplyRecord(std::uint8_t(i % SourceAddressCount));
        record[8] = std::uint8_t(i >> 8);
        record[9] = std::uint8_t(i);
        const QByteArray frame = ReplyFrame(record);
        ASSERT_TRUE(AppendCaptureRecord(
            buffer.data(), buffer.size(), used,
            {reinterpret_cast<const std::uint8_t *>(frame.constData()), std::size_t(frame.size())},
            std::size_t(frame.size()), 0, 0));
    }
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    JoinOnExit join{relay};
    relay.start();
    driver->QueueBatch(QByteArray(reinterpret_cast<const char *>(buffer.data()), qsizetype(used)));
    std::vector<CaptureRecord> all;
    std::vector<std::size_t> sizes;
    std::vector<CaptureRecord> r;
    while (all.size() < Replies &&
           channel->pipe->Read(r, 5000) == CapturePipe::ReadResult::Records) {
        sizes.push_back(r.size());
        all.insert(all.end(), r.begin(), r.end());
    }
    EXPECT_EQ(sizes, std::vector<std::size_t>(
                         {RecordsPerMessage, RecordsPerMessage, Replies - 2 * RecordsPerMessage}));
    ASSERT_EQ(all.size(), std::size_t(Replies));
    for (int i = 0; i < Replies; ++i)
        ASSERT_EQ(all[size_t(i)][8] << 8 | all[size_t(i)][9], i) << i;
    EXPECT_TRUE(WaitUntil([&] { return channel->relayedRecords.load() == Replies; }));
}

TEST_F(Capture, EveryReplyReachesAnAnalyserThatStartsLate)
{
    constexpr int Replies = 10000;
    constexpr int PerBatch = 50;
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    JoinOnExit joinRelay{relay};
    relay.start();
    for (int first = 0; first < Replies; first += PerBatch) {
        QList<QByteArray> frames;
        for (int i = first; i < first + PerBatch; ++i) {
            CaptureRecord record = ReplyRecord(std::uint8_t(i % SourceAddressCount));
            // 192.168.1.0 and up: none of them the own IP.
            record[8] = std::uint8_t(1 + (i >> 8));
            record[9] = std::uint8_t(i);
            frames.append(ReplyFrame(record));
        }
        driver->QueueBatch(Batch(frames));
    }
    // The analyser is held back until the relay has filled the pipe and
    // waits for room, with most batches still unread.
    ASSERT_TRUE(WaitUntil([&] { return driver->ReceiveCount() > 1; }));
    QThread::msleep(300);
    EXPECT_LT(driver->ReceiveCount(), Replies / PerBatch);

    ReplyAnalyser analyser(channel, inputs);
    QMutex recorded;
    QSet<IpAddress> ips;
    int count = 0;
    QObject::connect(&analyser, &ReplyAnalyser::repliesDecoded, [&](const QList<DecodedReply> &r) {
        QMutexLocker lock(&recorded);
        for (const DecodedReply &reply : r)
            ips.insert(reply.ip);
        count += int(r.size());
    });
    JoinOnExit joinAnalyser{analyser};
    analyser.start();
    ASSERT_TRUE(WaitUntil([&] {
        QMutexLocker lock(&recorded);
        return count >= Replies;
    }));
    QMutexLocker lock(&recorded);
    EXPECT_EQ(count, Replies);
    EXPECT_EQ(ips.size(), Replies);
}

TEST_F(Capture, CounterCountsOnlyWhileShown)
{
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    std::atomic<int> counted{0};
    QObject::connect(&relay, &CaptureRelay::captureCounted, [&](quint64) { ++counted; });
    JoinOnExit join{relay};
    relay.start();
    driver->QueueBatch(Batch({ReplyFrame(ReplyRecord(2))}));
    std::vector<CaptureRecord> r;
    ASSERT_EQ(channel->pipe->Read(r, 5000), CapturePipe::ReadResult::Records);
    EXPECT_EQ(counted, 0);
}

// A failed receive no longer ends the scan's capture: it is told, counted
// (so the cycle judges no silence) and tried again, and the replies that
// come after it still travel.
TEST_F(Capture, FailedReceiveIsToldCountedAndTriedAgain)
{
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    QObject::connect(&relay, &ScanThread::message, [&](const QString &t) { Record(t); });
    driver->QueueReceiveFailure(u"device went down"_s);
    driver->QueueBatch(Batch({ReplyFrame(ReplyRecord(2))}));
    JoinOnExit join{relay};
    relay.start();
    std::vector<CaptureRecord> r;
    ASSERT_EQ(channel->pipe->Read(r, 10000), CapturePipe::ReadResult::Records);
    ASSERT_EQ(r.size(), 1U);
    EXPECT_EQ(r[0], ReplyRecord(2));
    EXPECT_EQ(channel->failedReceives.load(), 1U);
    EXPECT_EQ(Shown(), QStringList({u"/ PacketReceivePacket failed "_s}));
    EXPECT_TRUE(relay.isRunning());
}

TEST_F(Capture, WriteToAGoneAnalyserIsAnErrorUnlessStopping)
{
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    QObject::connect(&relay, &ScanThread::message, [&](const QString &t) { Record(t); });
    channel->pipe->CloseReadEnd();
    driver->QueueBatch(Batch({ReplyFrame(ReplyRecord(2))}));
    relay.start();
    relay.Join();
    EXPECT_EQ(Shown(), QStringList({u"Pipe2 wait Error!!!"_s}));
    EXPECT_TRUE(relay.StopRequested());
}

TEST_F(Capture, WriteToAGoneAnalyserWhileStoppingIsQuiet)
{
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    QObject::connect(&relay, &ScanThread::message, [&](const QString &t) { Record(t); });
    channel->pipe->CloseReadEnd();
    channel->adapter->PacketSetReadTimeout(2000);
    JoinOnExit join{relay};
    relay.start();
    ASSERT_TRUE(WaitUntil([&] { return driver->ReceiveCount() == 1; }));
    // The stop comes while the relay waits in its receive, and the batch
    // that ends the wait then meets the closed pipe.
    relay.RequestStop();
    driver->QueueBatch(Batch({ReplyFrame(ReplyRecord(2))}));
    relay.Join();
    EXPECT_TRUE(Shown().isEmpty());
}

TEST_F(Capture, RelayWithoutPacketObjectReportsTheReceive)
{
    channel->packet.reset();
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    QObject::connect(&relay, &ScanThread::message, [&](const QString &t) { Record(t); });
    relay.start();
    relay.Join();
    EXPECT_EQ(Shown(), QStringList({u"/ PacketReceivePacket failed "_s}));
}

TEST_F(Capture, PipeAlreadyClosedEndsTheRelayAtTheFirstReply)
{
    channel->pipe->CloseWriteEnd();
    CaptureRelay relay(channel, ReplyDestinationsOf(*inputs), &counterShown);
    QObject::connect(&relay, &ScanThread::message, [&](const QString &t) { Record(t); });
    driver->QueueBatch(Batch({ReplyFrame(ReplyRecord(2))}));
    relay.start();
    relay.Join();
    EXPECT_EQ(Shown(), QStringList({u"Pipe2 wait Error!!!"_s}));
}

TEST_F(Capture, AnalyserOutlivesARelayThatEndedOnAnError)
{
    ReplyAnalyser analyser(channel, inputs);
    analyser.start();
    channel->pipe->CloseWriteEnd();
    // Every read now fails at once; the analyser keeps going, paced, until
    // it is told to stop.
    QThread::msleep(200);
    EXPECT_TRUE(analyser.isRunning());
    analyser.RequestStop();
    analyser.Join();
}

} // namespace
