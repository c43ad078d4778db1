// Replies classified per second: capture pipe records read by the reply
// analyser, handed to the main thread and recorded by ClassifyReply in a
// node list of 4,000 nodes, and of 65,536 as a /16 sweep finds; then the
// main thread's part alone.

#include "config/addresstext.h"
#include "core/classifyreply.h"
#include "scan/capturepipe.h"
#include "scan/replyanalyser.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <thread>
#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// Node i: 10.1.i/256.i%256 with MAC 02 00 00 00 i/256 i%256.
IpAddress NodeIp(int i)
{
    return IpAddress::FromIpv4(0x0A010000u | quint32(i));
}

MacAddress NodeMac(int i)
{
    const std::uint8_t bytes[6] = {0x02, 0, 0, 0, std::uint8_t(i >> 8), std::uint8_t(i)};
    return MacAddress::FromBytes(bytes);
}

// The reply of node i (10.1.i/256.i%256) to source address k of own MAC
// 00 11 22 33 44 50 and own IP 10.0.0.1.
CaptureRecord Record(int i, int k)
{
    return {0x02,
            0x00,
            0x00,
            0x00,
            std::uint8_t(i >> 8),
            std::uint8_t(i),
            0x0A,
            0x01,
            std::uint8_t(i >> 8),
            std::uint8_t(i),
            0x00,
            0x11,
            0x22,
            0x33,
            0x44,
            std::uint8_t(0x50 + k),
            0x0A,
            0x00,
            0x00,
            0x01};
}

void BM_ClassifyRepliesThroughThePipe(benchmark::State &state)
{
    int argc = 1;
    char name[] = "bench_classify";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const int nodes = int(state.range(0));

    NodeList list;
    ScanEvents events;
    ReplyTargets targets{list, events, [](const IpAddress &) { return QString(); }, {}};
    ReplyOptions options{FrameFormat::Ethernet2, true, true, ScanStep::Scanning, {}};
    options.tests.fill(true);
    QList<Node> loaded(nodes);
    for (int i = 0; i < nodes; ++i) {
        loaded[i].ip = NodeIp(i);
        loaded[i].mac = NodeMac(i);
    }
    list.Replace(std::move(loaded));

    auto channel = std::make_shared<CaptureChannel>();
    channel->pipe = CapturePipe::Create(nullptr);
    auto inputs = std::make_shared<ScanInputs>();
    inputs->settings.ownIp = IpFromText(u"10.0.0.1"_s);
    inputs->probeSourceMacs = BuildProbeSourceMacs(*inputs->settings.ownMac);
    inputs->rangeStart = NodeIp(0).ToIpv4();
    inputs->rangeEnd = NodeIp(nodes - 1).ToIpv4();
    inputs->lookupVendor = [](const MacAddress &) { return u"unknown"_s; };
    ReplyAnalyser analyser(channel, inputs);
    qint64 classified = 0;
    QObject::connect(
        &analyser, &ReplyAnalyser::repliesDecoded, &app,
        [&](const QList<DecodedReply> &replies) {
            for (const DecodedReply &reply : replies)
                ClassifyReply(targets, options, reply);
            classified += replies.size();
        },
        Qt::QueuedConnection);
    analyser.start();

    int k = 2;
    for (auto _ : state) {
        // Every node answers one test address, in messages as full as the
        // relay's; the write waits for room, as the relay's does, so that
        // every reply is counted.
        const qint64 target = classified + nodes;
        std::thread writer([&, k] {
            std::vector<CaptureRecord> message;
            for (int i = 0; i < nodes; ++i) {
                message.push_back(Record(i, k));
                if (message.size() == RecordsPerMessage || i + 1 == nodes) {
                    channel->pipe->Write(message);
                    message.clear();
                }
            }
        });
        while (classified < target)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        writer.join();
        k = k == 11 ? 2 : k + 1;
    }
    state.SetItemsProcessed(classified);
    state.counters["nodes"] = nodes;
    analyser.RequestStop();
    analyser.Join();
}
BENCHMARK(BM_ClassifyRepliesThroughThePipe)
    ->Arg(4000)
    ->Arg(65536)
    ->ArgName("nodes")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The main thread's part alone: decoded replies recorded by ClassifyReply,
// every node answering one test address per round.
void BM_ClassifyRepliesIntoTheList(benchmark::State &state)
{
    const int nodes = int(state.range(0));
    NodeList list;
    ScanEvents events;
    const ReplyTargets targets{list, events, [](const IpAddress &) { return QString(); }, {}};
    ReplyOptions options;
    options.cyclic = true;
    options.tests.fill(true);
    QList<DecodedReply> replies;
    for (int i = 0; i < nodes; ++i) {
        replies.append({NodeIp(i), NodeMac(i), 2, u"unknown"_s});
        ClassifyReply(targets, options, replies.last());
    }
    int k = 2;
    for (auto _ : state) {
        for (DecodedReply &reply : replies) {
            reply.sourceIndex = k;
            ClassifyReply(targets, options, reply);
        }
        k = k == 11 ? 2 : k + 1;
    }
    state.SetItemsProcessed(state.iterations() * nodes);
    state.counters["nodes"] = nodes;
}
BENCHMARK(BM_ClassifyRepliesIntoTheList)
    ->Arg(4000)
    ->Arg(65536)
    ->ArgName("nodes")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
