#include "scan/capturehelperadapter.h"

#include "config/spawnattributes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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

// An answer may take as long as its batch is paced; beyond that by this
// much the helper is taken for hung.
constexpr int AnswerGraceMs = 5000;
constexpr int ExitWaitMs = 2000;
constexpr int DefaultReadTimeoutMs = 1000;

QString SystemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// Moves a descriptor above the helper's own numbers, so that dup2 onto them
// never meets itself (which would leave it close-on-exec) or the other.
int AboveHelperSockets(int fd)
{
    if (fd < 0 || fd > protocol::CaptureSocket)
        return fd;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, protocol::CaptureSocket + 1);
    close(fd);
    return moved;
}

class HelperAdapter : public PacketAdapter
{
  public:
    explicit HelperAdapter(HelperProcess process) : helper(process) {}
    ~HelperAdapter() override
    {
        // End of file ends the helper; one that does not end is killed.
        close(helper.requests);
        close(helper.capture);
        for (int waited = 0; waited < ExitWaitMs; waited += 10) {
            const pid_t done = waitpid(helper.pid, nullptr, WNOHANG);
            if (done == helper.pid || (done < 0 && errno != EINTR))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(helper.pid, SIGKILL);
        while (waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    HelperAdapter(const HelperAdapter &) = delete;
    HelperAdapter &operator=(const HelperAdapter &) = delete;

    bool Start(const QString &name, const ProbeSenders &senders)
    {
        const QByteArray bytes = name.toLocal8Bit();
        const auto answer = Request(
            MessageType::Start,
            protocol::EncodeStart({std::string(bytes.constData(), size_t(bytes.size())), senders}),
            MessageType::Started, 0);
        const auto started = answer ? protocol::DecodeStarted(answer->payload) : std::nullopt;
        if (answer && !started)
            SetError(u"the capture helper answered out of protocol"_s);
        if (!started)
            return false;
        cardMac = started->cardMac;
        promiscuous = started->promiscuous;
        return true;
    }

    bool PacketSetHwFilter(std::uint32_t filter) override
    {
        // The helper asked the card once, at the start.
        if (filter == PromiscuousFilter && promiscuous)
            return true;
        SetError(u"the card refused promiscuous mode"_s);
        return false;
    }

    bool PacketSetBuff(int bytes) override
    {
        // The helper opens every interface with the ring a capture needs.
        if (bytes <= protocol::RingBytes)
            return true;
        SetError(u"the capture helper's buffer holds %1 bytes"_s.arg(protocol::RingBytes));
        return false;
    }

    bool PacketSetReadTimeout(int milliseconds) override
    {
        readTimeoutMs = std::max(milliseconds, 1);
        return true;
    }

    bool PacketSetBpf(std::span<const BpfInstruction> program) override
    {
        // The helper captures ARP replies with its own filter and no other.
        const bool same =
            std::equal(program.begin(), program.end(), std::begin(protocol::ArpReplyFilter),
                       std::end(protocol::ArpReplyFilter),
                       [](const BpfInstruction &a, const protocol::FilterInstruction &b) {
                           return a.code == b.code && a.jt == b.jt && a.jf == b.jf && a.k == b.k;
                       });
        if (!same)
            SetError(u"the capture helper captures ARP replies only"_s);
        return same;
    }

    bool PacketSendPackets(const ProbeBatch &batch) override
    {
        const qint64 pacedMs = qint64(batch.GapNs()) * batch.Count() / 1'000'000;
        return Request(MessageType::Send, batch.Payload(), MessageType::Ok, pacedMs).has_value();
    }

    bool PacketReceivePacket(Packet &packet) override
    {
        packet.bytesReceived = 0;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(readTimeoutMs);
        std::vector<std::uint8_t> datagram(protocol::MaxMessageBytes + 1);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{helper.capture, POLLIN, 0};
            const int ready = poll(&fd, 1, int(std::max<qint64>(left.count(), 0)));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0) {
                SetError(SystemError(errno));
                return false;
            }
            if (ready == 0) {
                // A capture the helper calls broken is never read as silence.
                if (captureBroken)
                    SetError(u"the capture of the card keeps failing"_s);
                return !captureBroken;
            }
            const ssize_t got = recv(helper.capture, datagram.data(), datagram.size(), 0);
            if (got <= 0) {
                SetError(u"the capture helper has ended"_s);
                return false;
            }
            const auto message = protocol::Decode({datagram.data(), std::size_t(got)});
            if (message && message->type == MessageType::Batch &&
                message->payload.size() <= packet.length) {
                std::copy(message->payload.begin(), message->payload.end(), packet.buffer);
                packet.bytesReceived = message->payload.size();
                return true;
            }
            const auto health = message && message->type == MessageType::Health
                                    ? protocol::DecodeHealth(message->payload)
                                    : std::nullopt;
            if (!health) {
                SetError(u"the capture helper sent what it may not"_s);
                return false;
            }
            droppedFrames = health->droppedFrames;
            captureBroken = health->broken;
        }
    }

    bool PacketGetStats(std::uint64_t &dropped) override
    {
        dropped = droppedFrames;
        return true;
    }

    std::optional<MacBytes> CardMac() const override { return cardMac; }

    QString ErrorText() const override
    {
        std::lock_guard lock(errorMutex);
        return error;
    }

  private:
    void SetError(const QString &text)
    {
        std::lock_guard lock(errorMutex);
        error = text;
    }

    // Sends one request and waits for its answer, which must be of the type
    // expected; nothing (and error set) otherwise. An answer to an earlier
    // request that timed out is passed over.
    std::optional<protocol::Message> Request(MessageType type,
                                             std::span<const std::uint8_t> payload,
                                             MessageType expected, qint64 pacedMs)
    {
        std::lock_guard lock(requestMutex);
        const std::uint32_t id = ++lastId;
        const std::vector<std::uint8_t> request = protocol::Encode(type, id, payload);
        ssize_t sent;
        do {
            sent = send(helper.requests, request.data(), request.size(), MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        if (sent < 0) {
            SetError(u"the capture helper has ended ("_s + SystemError(errno) + u')');
            return std::nullopt;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(pacedMs + AnswerGraceMs);
        std::vector<std::uint8_t> datagram(protocol::MaxMessageBytes + 1);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{helper.requests, POLLIN, 0};
            const int ready = left.count() > 0 ? poll(&fd, 1, int(left.count())) : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0) {
                SetError(u"the capture helper does not answer"_s);
                return std::nullopt;
            }
            const ssize_t got = recv(helper.requests, datagram.data(), datagram.size(), 0);
            if (got <= 0) {
                SetError(u"the capture helper has ended"_s);
                return std::nullopt;
            }
            auto answer = protocol::Decode({datagram.data(), std::size_t(got)});
            if (answer && answer->id != id)
                continue;
            if (answer && answer->type == MessageType::Error) {
                const auto refusal = protocol::DecodeError(answer->payload);
                SetError(u"keelwatch-capture: "_s +
                         (refusal ? QString::fromStdString(refusal->second) : QString()));
                return std::nullopt;
            }
            if (!answer || answer->type != expected) {
                SetError(u"the capture helper answered out of protocol"_s);
                return std::nullopt;
            }
            return answer;
        }
    }

    const HelperProcess helper;
    std::mutex requestMutex;
    std::uint32_t lastId = 0;
    int readTimeoutMs = DefaultReadTimeoutMs;
    std::atomic<std::uint64_t> droppedFrames{0};
    bool captureBroken = false;
    std::optional<MacBytes> cardMac;
    bool promiscuous = false;
    mutable std::mutex errorMutex;
    QString error;
};

} // namespace

HelperProcess SpawnCaptureHelper(const QString &helperPath, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return HelperProcess{};
    };
    int requests[2];
    int capture[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, requests) != 0)
        return fail(SystemError(errno));
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, capture) != 0) {
        const int code = errno;
        close(requests[0]);
        close(requests[1]);
        return fail(SystemError(code));
    }
    const int helperRequests = AboveHelperSockets(requests[1]);
    const int helperCapture = AboveHelperSockets(capture[1]);
    const QByteArray path = helperPath.toLocal8Bit();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, helperRequests, protocol::RequestSocket);
    posix_spawn_file_actions_adddup2(&actions, helperCapture, protocol::CaptureSocket);
    const SpawnAttributes attributes;
    char *argv[] = {const_cast<char *>(path.constData()), nullptr};
    char *environment[] = {nullptr};
    pid_t pid = 0;
    const int spawned =
        helperRequests < 0 || helperCapture < 0
            ? errno
            : posix_spawn(&pid, path.constData(), &actions, attributes.Get(), argv, environment);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {helperRequests, helperCapture}) {
        if (fd >= 0)
            close(fd);
    }
    if (spawned != 0) {
        close(requests[0]);
        close(capture[0]);
        return fail(u"the capture helper %1 cannot be started (%2); only root and members of "
                    "the keelwatch group can capture"_s.arg(helperPath, SystemError(spawned)));
    }
    return {pid, requests[0], capture[0]};
}

std::unique_ptr<PacketAdapter> OpenHelperAdapter(const QString &helperPath, const QString &name,
                                                 const ProbeSenders &senders, QString *error)
{
    const HelperProcess process = SpawnCaptureHelper(helperPath, error);
    if (process.pid < 0)
        return nullptr;
    auto adapter = std::make_unique<HelperAdapter>(process);
    if (!adapter->Start(name, senders)) {
        if (error)
            *error = adapter->ErrorText();
        return nullptr;
    }
    return adapter;
}

} // namespace keelwatch
