#pragma once

#include "scan/packetdriver.h"
#include "support/simulatedcard.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace keelwatch {

// A packet driver in memory, for tests and benchmarks: it records what is
// sent, in order, and hands out the batches it was given to receive.
// Thread-safe; adapters opened from it report to it.
class MemoryDriver : public PacketDriver
{
  public:
    struct SentFrame
    {
        QString adapter;
        QByteArray bytes;
        int writes = 0;
        // Nanoseconds the adapter was to leave between the frames of the
        // send this frame was in.
        std::uint32_t gapNs = 0;
    };
    // The card's own MAC every adapter of this driver tells.
    static constexpr MacBytes CardMac = {0x02, 0xCA, 0x4D, 0x00, 0x00, 0x01};

    // Adapter discovery.
    QString version = QStringLiteral("1.10.3");
    QByteArray nameBuffer; // as PacketGetAdapterNames returns it
    std::map<QByteArray, quint32> addresses;
    // Names of adapters that are not Ethernet; every other one is.
    std::set<QByteArray> notEthernet;

    QString PacketGetVersion() const override { return version; }
    QByteArray PacketGetAdapterNames() const override;
    std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name) const override;
    bool IsEthernet(const QByteArray &name) const override { return !notEthernet.contains(name); }
    std::unique_ptr<PacketAdapter>
    PacketOpenAdapter(const QString &name, const ProbeSenders &senders, QString *error) override;
    std::unique_ptr<Packet> PacketAllocatePacket() override;

    // What adapters do. Set before they are opened.
    void RefuseOpen(const QString &name, const QString &reason);
    void RefusePromiscuous(bool refuse);
    void FailAllocation(bool fail);
    // Off: sends are still answered but neither they nor the promiscuous
    // mode set before each are recorded, so that benchmarks can sweep a /16
    // again and again without holding every frame.
    void RecordSends(bool record);

    // A host on the simulated segment: every ARP request for ip that its card
    // answers queues its reply as a batch of its own.
    void AddHost(quint32 ip, const SimulatedCard &card);

    // A sender on the segment that sees every frame sent and answers it with
    // frames of its own making, queued as one batch after the hosts'
    // replies. Called with the driver's lock held.
    using Forger = std::function<std::vector<QByteArray>(const QByteArray &sent)>;
    void SetForger(Forger forger);

    // The next count replies of the simulated hosts are lost as a full
    // capture buffer loses them: adapters count them as dropped frames.
    void DropNextReplies(int count);
    // The next count requests for ip never reach its host, as a switch's
    // full queue loses them: nothing counts them.
    void LoseRequestsTo(quint32 ip, int count);

    // A batch for the next receive; a receive with nothing queued waits up
    // to the read time-out and returns no bytes.
    void QueueBatch(const QByteArray &batch);
    // The next receive fails, after the batches queued before.
    void QueueReceiveFailure(const QString &reason);

    // Appends a line to the event record (tests note pauses and the like).
    void Note(const QString &event);
    // "open NAME", "promisc", "send DST / SRC xN", "close", and notes.
    QStringList Events() const;
    std::vector<SentFrame> Sent() const;
    int OpenCount() const;
    int ReceiveCount() const;
    // Calls of PacketSendPackets, and the senders the last adapter was
    // opened with.
    int SendCalls() const;
    ProbeSenders OpenedSenders() const;

  private:
    class Adapter;
    struct Host
    {
        quint32 ip;
        SimulatedCard card;
    };
    // The reply of a simulated host to an ARP request, if it gives one.
    // Called with the lock held.
    void AnswerRequest(const QByteArray &frame);
    void AnswerAsHosts(const QByteArray &frame);
    friend class Adapter;

    struct Receive
    {
        QByteArray batch;
        bool fail = false;
        QString reason;
    };

    mutable std::mutex mutex;
    std::condition_variable queued;
    QStringList events;
    std::vector<SentFrame> sent;
    std::deque<Receive> receives;
    std::vector<Host> hosts;
    Forger forger;
    std::map<QString, QString> refusedOpens;
    bool refusePromiscuous = false;
    bool failAllocation = false;
    bool recordSends = true;
    int repliesToDrop = 0;
    std::map<quint32, int> requestsToLose;
    std::uint64_t droppedFrames = 0;
    int opens = 0;
    int receiveCalls = 0;
    int sendCalls = 0;
    ProbeSenders senders;
};

// A zero-separated, double-zero-ended name buffer of the given names.
QByteArray AdapterNameBuffer(const QStringList &names);

} // namespace keelwatch
