#include "support/memorydriver.h"

#include <chrono>
#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

QString MacOf(const std::uint8_t *bytes)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(bytes), 6).toHex(' ').toUpper());
}

} // namespace

class MemoryDriver::Adapter : public PacketAdapter
{
  public:
    Adapter(MemoryDriver &d, QString n) : driver(d), name(std::move(n)) {}
    ~Adapter() override { driver.Note(u"close "_s + name); }

    bool PacketSetHwFilter(std::uint32_t filter) override
    {
        std::lock_guard lock(driver.mutex);
        if (driver.refusePromiscuous || filter != PromiscuousFilter)
            return false;
        if (driver.recordSends)
            driver.events.append(u"promisc "_s + name);
        return true;
    }
    bool PacketSetBuff(int bytes) override
    {
        driver.Note(u"buffer %1"_s.arg(bytes));
        return true;
    }
    bool PacketSetReadTimeout(int milliseconds) override
    {
        readTimeoutMs = milliseconds;
        driver.Note(u"timeout %1"_s.arg(milliseconds));
        return true;
    }
    bool PacketSetBpf(std::span<const BpfInstruction> program) override
    {
        driver.Note(u"filter %1"_s.arg(program.size()));
        return true;
    }
    bool PacketSendPackets(const ProbeBatch &batch) override
    {
        std::uint32_t gapNs = 0;
        const auto entries = captureprotocol::DecodeProbeBatch(batch.Payload(), &gapNs);
        if (!entries)
            return false;
        std::lock_guard lock(driver.mutex);
        ++driver.sendCalls;
        for (const captureprotocol::BatchEntry &entry : *entries) {
            const QByteArray bytes(reinterpret_cast<const char *>(entry.frame.data()),
                                   qsizetype(entry.frame.size()));
            if (driver.recordSends) {
                driver.sent.push_back({name, bytes, entry.copies, gapNs});
                driver.events.append(
                    u"send %1 / %2 x%3"_s
                        .arg(MacOf(entry.frame.data()), MacOf(entry.frame.data() + 6))
                        .arg(entry.copies));
            }
            driver.AnswerRequest(bytes);
        }
        return true;
    }
    std::optional<MacBytes> CardMac() const override { return MemoryDriver::CardMac; }
    bool PacketReceivePacket(Packet &packet) override
    {
        std::unique_lock lock(driver.mutex);
        ++driver.receiveCalls;
        packet.bytesReceived = 0;
        driver.queued.wait_for(lock, std::chrono::milliseconds(readTimeoutMs),
                               [&] { return !driver.receives.empty(); });
        if (driver.receives.empty())
            return true;
        Receive next = driver.receives.front();
        driver.receives.pop_front();
        if (next.fail) {
            error = next.reason;
            return false;
        }
        const std::size_t n = std::min(packet.length, std::size_t(next.batch.size()));
        std::memcpy(packet.buffer, next.batch.constData(), n);
        packet.bytesReceived = n;
        return true;
    }
    bool PacketGetStats(std::uint64_t &droppedFrames) override
    {
        std::lock_guard lock(driver.mutex);
        droppedFrames = driver.droppedFrames;
        return true;
    }
    QString ErrorText() const override { return error; }

  private:
    MemoryDriver &driver;
    QString name;
    int readTimeoutMs = 1000;
    QString error;
};

QByteArray MemoryDriver::PacketGetAdapterNames() const
{
    return nameBuffer;
}

std::optional<quint32> MemoryDriver::PacketGetNetInfoEx(const QByteArray &name) const
{
    const auto it = addresses.find(name);
    if (it == addresses.end())
        return std::nullopt;
    return it->second;
}

std::unique_ptr<PacketAdapter>
MemoryDriver::PacketOpenAdapter(const QString &name, const ProbeSenders &given, QString *error)
{
    std::lock_guard lock(mutex);
    const auto refused = refusedOpens.find(name);
    if (refused != refusedOpens.end()) {
        if (error)
            *error = refused->second;
        return nullptr;
    }
    ++opens;
    senders = given;
    events.append(u"open "_s + name);
    return std::make_unique<Adapter>(*this, name);
}

std::unique_ptr<Packet> MemoryDriver::PacketAllocatePacket()
{
    {
        std::lock_guard lock(mutex);
        if (failAllocation)
            return nullptr;
    }
    return PacketDriver::PacketAllocatePacket();
}

void MemoryDriver::RefuseOpen(const QString &name, const QString &reason)
{
    std::lock_guard lock(mutex);
    refusedOpens[name] = reason;
}

void MemoryDriver::RefusePromiscuous(bool refuse)
{
    std::lock_guard lock(mutex);
    refusePromiscuous = refuse;
}

void MemoryDriver::FailAllocation(bool fail)
{
    std::lock_guard lock(mutex);
    failAllocation = fail;
}

void MemoryDriver::RecordSends(bool record)
{
    std::lock_guard lock(mutex);
    recordSends = record;
}

void MemoryDriver::AddHost(quint32 ip, const SimulatedCard &card)
{
    std::lock_guard lock(mutex);
    hosts.push_back({ip, card});
}

void MemoryDriver::SetForger(Forger f)
{
    std::lock_guard lock(mutex);
    forger = std::move(f);
}

void MemoryDriver::AnswerRequest(const QByteArray &frame)
{
    AnswerAsHosts(frame);
    if (!forger)
        return;
    std::vector<std::uint8_t> batch(64 * 1024);
    std::size_t used = 0;
    for (const QByteArray &forged : forger(frame)) {
        const std::span<const std::uint8_t> bytes(
            reinterpret_cast<const std::uint8_t *>(forged.constData()), std::size_t(forged.size()));
        if (!AppendCaptureRecord(batch.data(), batch.size(), used, bytes, bytes.size(), 0, 0))
            break;
    }
    if (used == 0)
        return;
    receives.push_back({QByteArray(reinterpret_cast<const char *>(batch.data()), qsizetype(used)),
                        false, QString()});
    queued.notify_all();
}

void MemoryDriver::AnswerAsHosts(const QByteArray &frame)
{
    // An Ethernet II ARP request: destination, source, type 0806, then the
    // ARP fields with sender MAC and IP at 22 and 28, target IP at 38.
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(frame.constData());
    if (hosts.empty() || frame.size() < 42 || bytes[12] != 0x08 || bytes[13] != 0x06 ||
        bytes[21] != 0x01)
        return;
    const quint32 target = quint32(bytes[38]) << 24 | quint32(bytes[39]) << 16 |
                           quint32(bytes[40]) << 8 | quint32(bytes[41]);
    if (int &lose = requestsToLose[target]; lose > 0) {
        --lose;
        return;
    }
    MacBytes destination;
    std::memcpy(destination.data(), bytes, destination.size());
    for (const Host &host : hosts) {
        if (host.ip != target || !host.card.Answers(destination))
            continue;
        std::array<std::uint8_t, 42> reply{};
        std::memcpy(reply.data(), bytes + 22, 6); // to the request's sender
        std::memcpy(reply.data() + 6, host.card.own.data(), 6);
        std::memcpy(reply.data() + 12, bytes + 12, 8); // ARP over Ethernet, IPv4
        reply[21] = 0x02;
        std::memcpy(reply.data() + 22, host.card.own.data(), 6);
        std::memcpy(reply.data() + 28, bytes + 38, 4);
        std::memcpy(reply.data() + 32, bytes + 22, 10); // sender MAC and IP
        if (repliesToDrop > 0) {
            --repliesToDrop;
            ++droppedFrames;
            continue;
        }
        std::uint8_t batch[128];
        std::size_t used = 0;
        AppendCaptureRecord(batch, sizeof batch, used, reply, reply.size(), 0, 0);
        receives.push_back(
            {QByteArray(reinterpret_cast<const char *>(batch), qsizetype(used)), false, QString()});
        queued.notify_all();
    }
}

void MemoryDriver::DropNextReplies(int count)
{
    std::lock_guard lock(mutex);
    repliesToDrop = count;
}

void MemoryDriver::LoseRequestsTo(quint32 ip, int count)
{
    std::lock_guard lock(mutex);
    requestsToLose[ip] = count;
}

void MemoryDriver::QueueBatch(const QByteArray &batch)
{
    {
        std::lock_guard lock(mutex);
        receives.push_back({batch, false, QString()});
    }
    queued.notify_all();
}

void MemoryDriver::QueueReceiveFailure(const QString &reason)
{
    {
        std::lock_guard lock(mutex);
        receives.push_back({QByteArray(), true, reason});
    }
    queued.notify_all();
}

void MemoryDriver::Note(const QString &event)
{
    std::lock_guard lock(mutex);
    events.append(event);
}

QStringList MemoryDriver::Events() const
{
    std::lock_guard lock(mutex);
    return events;
}

std::vector<MemoryDriver::SentFrame> MemoryDriver::Sent() const
{
    std::lock_guard lock(mutex);
    return sent;
}

int MemoryDriver::OpenCount() const
{
    std::lock_guard lock(mutex);
    return opens;
}

int MemoryDriver::ReceiveCount() const
{
    std::lock_guard lock(mutex);
    return receiveCalls;
}

int MemoryDriver::SendCalls() const
{
    std::lock_guard lock(mutex);
    return sendCalls;
}

ProbeSenders MemoryDriver::OpenedSenders() const
{
    std::lock_guard lock(mutex);
    return senders;
}

QByteArray AdapterNameBuffer(const QStringList &names)
{
    QByteArray buffer;
    for (const QString &name : names)
        buffer.append(name.toLocal8Bit()).append('\0');
    buffer.append('\0');
    return buffer;
}

} // namespace keelwatch
