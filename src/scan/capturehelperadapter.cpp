#include "scan/capturehelperadapter.h"

#include "config/spawnattributes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace protocol = captureprotocol;
using protocol::MessageType;

namespace {

// A reply may take the read time-out; beyond it by this much the helper is
// taken for hung.
constexpr int ReplyGraceMs = 5000;
constexpr int ExitWaitMs = 2000;

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

class HelperAdapter : public PacketAdapter
{
  public:
    HelperAdapter(pid_t pid, int channel) : pid(pid), channel(channel) {}
    ~HelperAdapter() override
    {
        // End of file ends the helper; one that does not end is killed.
        close(channel);
        for (int waited = 0; waited < ExitWaitMs; waited += 10) {
            const pid_t done = waitpid(pid, nullptr, WNOHANG);
            if (done == pid || (done < 0 && errno != EINTR))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, SIGKILL);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    HelperAdapter(const HelperAdapter &) = delete;
    HelperAdapter &operator=(const HelperAdapter &) = delete;

    bool OpenInterface(const QString &name)
    {
        const QByteArray bytes = name.toLocal8Bit();
        return Request(MessageType::Open,
                       {reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                        std::size_t(bytes.size())},
                       MessageType::Ok)
            .has_value();
    }

    bool PacketSetHwFilter(std::uint32_t filter) override
    {
        return filter == PromiscuousFilter &&
               Request(MessageType::SetPromiscuous, {}, MessageType::Ok);
    }

    bool PacketSetBuff(int bytes) override
    {
        // The helper opens every adapter with the ring a capture needs.
        if (bytes <= protocol::RingBytes)
            return true;
        error = u"the capture helper's buffer holds %1 bytes"_s.arg(protocol::RingBytes);
        return false;
    }

    bool PacketSetReadTimeout(int milliseconds) override
    {
        if (milliseconds < 1 || std::uint32_t(milliseconds) > protocol::MaxReadTimeoutMs) {
            error = u"a read time-out of %1 ms"_s.arg(milliseconds);
            return false;
        }
        std::vector<std::uint8_t> payload;
        protocol::PutU32(payload, std::uint32_t(milliseconds));
        if (!Request(MessageType::SetReadTimeout, payload, MessageType::Ok))
            return false;
        readTimeoutMs = milliseconds;
        return true;
    }

    bool PacketSetBpf(std::span<const BpfInstruction> program) override
    {
        std::vector<protocol::FilterInstruction> instructions;
        for (const BpfInstruction &i : program)
            instructions.push_back({i.code, i.jt, i.jf, i.k});
        return Request(MessageType::CaptureArpReplies, protocol::EncodeFilter(instructions),
                       MessageType::Ok)
            .has_value();
    }

    bool PacketSetNumWrites(int count) override
    {
        if (count < 1 || count > protocol::MaxCopies)
            return false;
        writes = count;
        return true;
    }

    bool PacketSendPacket(const Packet &packet) override
    {
        std::vector<std::uint8_t> payload;
        payload.reserve(2 + packet.length);
        protocol::PutU16(payload, std::uint16_t(writes));
        payload.insert(payload.end(), packet.buffer, packet.buffer + packet.length);
        return Request(MessageType::Send, payload, MessageType::Ok).has_value();
    }

    bool PacketReceivePacket(Packet &packet) override
    {
        packet.bytesReceived = 0;
        std::vector<std::uint8_t> payload;
        protocol::PutU32(payload, std::uint32_t(std::min<std::size_t>(packet.length, UINT32_MAX)));
        const auto reply = Request(MessageType::Receive, payload, MessageType::Batch);
        if (!reply)
            return false;
        if (reply->payload.size() > packet.length) {
            error = u"the capture helper sent a batch larger than asked for"_s;
            return false;
        }
        if (!reply->payload.empty())
            std::memcpy(packet.buffer, reply->payload.data(), reply->payload.size());
        packet.bytesReceived = reply->payload.size();
        return true;
    }

    bool PacketGetStats(std::uint64_t &droppedFrames) override
    {
        const auto reply = Request(MessageType::GetStatistics, {}, MessageType::Statistics);
        if (!reply)
            return false;
        if (reply->payload.size() != 8) {
            error = u"the capture helper sent statistics of another form"_s;
            return false;
        }
        droppedFrames = protocol::GetU64(reply->payload.data());
        return true;
    }

    bool BindSenders(const ProbeSenders &senders) override
    {
        return Request(MessageType::BindSenders, protocol::EncodeSenders(senders), MessageType::Ok)
            .has_value();
    }

    QString ErrorText() const override
    {
        std::lock_guard lock(mutex);
        return error;
    }

  private:
    // Sends one request and reads its reply, which must be of the type
    // expected; nothing (and error set) otherwise.
    std::optional<protocol::Message>
    Request(MessageType type, std::span<const std::uint8_t> payload, MessageType expected)
    {
        std::lock_guard lock(mutex);
        const std::vector<std::uint8_t> request = protocol::Encode(type, payload);
        ssize_t sent;
        do {
            sent = send(channel, request.data(), request.size(), MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0) {
            error = u"the capture helper has ended ("_s + SystemError(errno) + u')';
            return std::nullopt;
        }
        pollfd fd{channel, POLLIN, 0};
        int ready;
        do {
            ready = poll(&fd, 1, readTimeoutMs + ReplyGraceMs);
        } while (ready < 0 && errno == EINTR);
        if (ready <= 0) {
            error = u"the capture helper does not answer"_s;
            return std::nullopt;
        }
        std::vector<std::uint8_t> datagram(protocol::MaxMessageBytes + 1);
        ssize_t got;
        do {
            got = recv(channel, datagram.data(), datagram.size(), 0);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) {
            error = u"the capture helper has ended"_s;
            return std::nullopt;
        }
        auto reply = protocol::Decode({datagram.data(), std::size_t(got)});
        if (reply && reply->type == MessageType::Error) {
            error = u"keelwatch-capture: "_s +
                    QString::fromUtf8(reinterpret_cast<const char *>(reply->payload.data()),
                                      qsizetype(reply->payload.size()));
            return std::nullopt;
        }
        if (!reply || reply->type != expected) {
            error = u"the capture helper answered out of protocol"_s;
            return std::nullopt;
        }
        return reply;
    }

    const pid_t pid;
    const int channel;
    mutable std::mutex mutex;
    int readTimeoutMs = 1000;
    int writes = 1;
    QString error;
};

} // namespace

std::unique_ptr<PacketAdapter> OpenHelperAdapter(const QString &helperPath, const QString &name,
                                                 QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return nullptr;
    };
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0)
        return fail(SystemError(errno));
    // dup2 onto itself would leave the helper's end close-on-exec.
    if (ends[1] == protocol::HelperSocket) {
        const int moved = fcntl(ends[1], F_DUPFD_CLOEXEC, protocol::HelperSocket + 1);
        close(ends[1]);
        ends[1] = moved;
    }
    const QByteArray path = helperPath.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], protocol::HelperSocket);
    const SpawnAttributes attributes;
    char *argv[] = {const_cast<char *>(path.constData()), nullptr};
    char *environment[] = {nullptr};
    pid_t pid = 0;
    const int spawned = ends[1] < 0 ? errno
                                    : posix_spawn(&pid, path.constData(), &actions,
                                                  attributes.Get(), argv, environment);
    posix_spawn_file_actions_destroy(&actions);
    if (ends[1] >= 0)
        close(ends[1]);
    if (spawned != 0) {
        close(ends[0]);
        return fail(u"the capture helper %1 cannot be started (%2); only root and members of "
                    "the keelwatch group can capture"_s.arg(helperPath, SystemError(spawned)));
    }
    auto adapter = std::make_unique<HelperAdapter>(pid, ends[0]);
    if (!adapter->OpenInterface(name))
        return fail(adapter->ErrorText());
    return adapter;
}

} // namespace keelwatch
