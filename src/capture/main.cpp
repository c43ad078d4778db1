// keelwatch-capture: the only part of Keelwatch that holds CAP_NET_RAW and
// CAP_NET_ADMIN. Configured once per scan, it opens one interface, captures
// the ARP replies sent to the scan's source addresses and pushes them to its
// parent, and sends the probes it is given when they are probes of that
// scan and nothing else; scan/captureprotocol.h describes the messages. No
// Qt, no plugins, no files.

#include "scan/captureprotocol.h"

#include <pcap/pcap.h>

#include <ifaddrs.h>
#include <linux/capability.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

namespace protocol = keelwatch::captureprotocol;
using protocol::ErrorCode;
using protocol::MessageType;
using Clock = std::chrono::steady_clock;

constexpr int RequestFd = protocol::RequestSocket;
constexpr int StreamFd = protocol::CaptureSocket;
constexpr int BlockTimeoutMs = 10;
constexpr int CaptureBytes = 96;
constexpr int RecordHeaderBytes = 20;
// How often the parent, the capture statistics and a stalled stream are
// looked at while nothing else happens.
constexpr int TickMs = 250;
// After a failed read the capture rests this long before it is read again.
constexpr auto FailedReadRest = std::chrono::milliseconds(50);
// A capture whose reads have failed for this long is broken until one works.
constexpr auto BrokenAfter = std::chrono::seconds(1);
// A sender is never woken for less than this; frames due within it go now,
// so the average rate holds.
constexpr auto Coarse = std::chrono::milliseconds(1);
// Nodes whose answering MAC is kept, as many as a /14 holds.
constexpr std::size_t MostNodes = 1 << 18;

// Keeps only the capabilities in keep (a mask of CAP_ bits), in every set;
// the ambient set follows the permitted one.
bool KeepCapabilities(std::uint32_t keep)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    data[0].effective &= keep;
    data[0].permitted &= keep;
    data[0].inheritable = 0;
    data[1] = {};
    return syscall(SYS_capset, &header, data) == 0;
}

bool IsOwnSocket(int fd)
{
    int type = 0;
    socklen_t length = sizeof type;
    sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 && type == SOCK_SEQPACKET &&
           getsockname(fd, reinterpret_cast<sockaddr *>(&address), &addressLength) == 0 &&
           address.ss_family == AF_UNIX && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

// Descriptors 0 and 1 read and write nothing; stderr stays for the reason of
// an early end; the two channels stay; everything else is closed.
bool IsolateDescriptors()
{
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0)
        return false;
    if (fcntl(2, F_GETFD) < 0 && dup2(null, 2) < 0)
        return false;
    if (null > 2)
        close(null);
    if (close_range(StreamFd + 1, ~0U, 0) != 0)
        return false;
    return IsOwnSocket(RequestFd) && IsOwnSocket(StreamFd) &&
           fcntl(StreamFd, F_SETFL, O_NONBLOCK) == 0;
}

// Whether ip (host order) is an IPv4 address of the interface.
bool HoldsAddress(const std::string &name, std::uint32_t ip)
{
    ifaddrs *first = nullptr;
    if (getifaddrs(&first) != 0)
        return false;
    bool held = false;
    for (ifaddrs *a = first; a && !held; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || name != a->ifa_name)
            continue;
        sockaddr_in in{};
        std::memcpy(&in, a->ifa_addr, sizeof in);
        held = ntohl(in.sin_addr.s_addr) == ip;
    }
    freeifaddrs(first);
    return held;
}

class Session
{
  public:
    explicit Session(pid_t parent) : parent(parent) {}
    ~Session()
    {
        if (capture)
            pcap_close(capture);
        if (sendSocket >= 0)
            close(sendSocket);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Serves requests until the parent goes; the exit status.
    int Serve()
    {
        std::vector<std::uint8_t> datagram(protocol::MaxMessageBytes + 1);
        while (!ended) {
            if (!Wait(TickMs, true))
                break;
            if (!requestWaiting)
                continue;
            const ssize_t got = recv(RequestFd, datagram.data(), datagram.size(), MSG_DONTWAIT);
            // An empty datagram reads as 0 too; only a hang-up is the end.
            if (got == 0 && requestHangup)
                break;
            if (got < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return 1;
            }
            Handle({datagram.data(), std::size_t(got)});
        }
        return 0;
    }

  private:
    void Answer(MessageType type, std::uint32_t id, std::span<const std::uint8_t> payload = {})
    {
        const std::vector<std::uint8_t> message = protocol::Encode(type, id, payload);
        while (send(RequestFd, message.data(), message.size(), MSG_NOSIGNAL) < 0 &&
               errno == EINTR) {
        }
    }

    void Refuse(std::uint32_t id, ErrorCode code, const std::string &reason)
    {
        Answer(MessageType::Error, id, protocol::EncodeError(code, reason));
    }

    void Handle(std::span<const std::uint8_t> datagram)
    {
        const auto message = protocol::Decode(datagram);
        if (!message) {
            // The id of a datagram that is no message is not to be trusted.
            Refuse(0, ErrorCode::NotAMessage, "not a message of protocol version 2");
            return;
        }
        switch (message->type) {
        case MessageType::Start:
            Start(*message);
            return;
        case MessageType::Send:
            Send(*message);
            return;
        default:
            Refuse(message->id, ErrorCode::UnknownRequest, "unknown request");
        }
    }

    void Start(const protocol::Message &m)
    {
        if (capture) {
            Refuse(m.id, ErrorCode::OutOfOrder, "the session has started already");
            return;
        }
        std::string problem;
        const auto start = protocol::DecodeStart(m.payload, &problem);
        if (!start) {
            Refuse(m.id, ErrorCode::BadStart, problem);
            return;
        }
        const std::string &name = start->interfaceName;
        const unsigned index = if_nametoindex(name.c_str());
        const auto card = index == 0 ? std::nullopt : protocol::CardMacOf(name);
        if (!card) {
            Refuse(m.id, ErrorCode::BadStart, "no Ethernet interface " + name);
            return;
        }
        const std::uint32_t ip = start->senders.senderIp;
        if (ip != 0 && !HoldsAddress(name, ip)) {
            Refuse(m.id, ErrorCode::SenderIpRefused,
                   "a sender IP other than 0.0.0.0 is an address of " + name);
            return;
        }
        for (const protocol::Mac &block : start->senders.blocks) {
            if (std::equal(block.begin(), block.end() - 1, card->begin()) &&
                (block[5] & 0xF0) == ((*card)[5] & 0xF0)) {
                Refuse(m.id, ErrorCode::BadStart, "a source block holds the card's own MAC");
                return;
            }
        }
        std::string reason;
        if (!Open(name, index, reason)) {
            Refuse(m.id, ErrorCode::InterfaceRefused, reason);
            return;
        }
        // Nothing else needs a capability: sending, the filter and the
        // statistics work on the open sockets.
        if (!KeepCapabilities(0) || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
            Refuse(m.id, ErrorCode::InterfaceRefused, "cannot drop the capabilities");
            ended = true;
            return;
        }
        rules.senders = start->senders;
        rules.cardMac = *card;
        rules.answeredFor = [this](std::uint32_t node) -> std::optional<protocol::Mac> {
            const auto it = answered.find(node);
            if (it == answered.end())
                return std::nullopt;
            return it->second;
        };
        Answer(MessageType::Started, m.id, protocol::EncodeStarted({*card, promiscuous}));
    }

    bool Open(const std::string &name, unsigned index, std::string &reason)
    {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_t *fresh = pcap_create(name.c_str(), errbuf);
        if (!fresh) {
            reason = errbuf;
            return false;
        }
        pcap_set_snaplen(fresh, CaptureBytes);
        pcap_set_timeout(fresh, BlockTimeoutMs);
        pcap_set_buffer_size(fresh, protocol::RingBytes);
        const int status = pcap_activate(fresh);
        if (status < 0) {
            reason = pcap_statustostr(status);
            if (const char *detail = pcap_geterr(fresh); detail && *detail)
                reason += std::string(" (") + detail + ')';
            pcap_close(fresh);
            return false;
        }
        std::vector<bpf_insn> code;
        for (const auto &i : protocol::ArpReplyFilter)
            code.push_back(bpf_insn{i.code, i.jt, i.jf, i.k});
        bpf_program filter{u_int(code.size()), code.data()};
        if (pcap_setnonblock(fresh, 1, errbuf) != 0 || pcap_get_selectable_fd(fresh) < 0 ||
            pcap_setfilter(fresh, &filter) != 0) {
            reason = *errbuf ? errbuf : pcap_geterr(fresh);
            pcap_close(fresh);
            return false;
        }
        packet_mreq membership{};
        membership.mr_ifindex = int(index);
        membership.mr_type = PACKET_MR_PROMISC;
        promiscuous = setsockopt(pcap_get_selectable_fd(fresh), SOL_PACKET, PACKET_ADD_MEMBERSHIP,
                                 &membership, sizeof membership) == 0;
        // Protocol 0: the send socket receives nothing and needs no ring.
        const int sender = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_ifindex = int(index);
        if (sender < 0 || bind(sender, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0) {
            reason = std::strerror(errno);
            if (sender >= 0)
                close(sender);
            pcap_close(fresh);
            return false;
        }
        capture = fresh;
        sendSocket = sender;
        return true;
    }

    void Send(const protocol::Message &m)
    {
        if (!capture) {
            Refuse(m.id, ErrorCode::OutOfOrder, "the session has not started");
            return;
        }
        std::uint32_t gapNs = 0;
        const auto entries = protocol::DecodeProbeBatch(m.payload, &gapNs);
        if (!entries) {
            Refuse(m.id, ErrorCode::BadBatch, "a Send holds a gap and 1 to 1024 probes");
            return;
        }
        // All or nothing: a refused frame keeps the whole batch home.
        for (std::size_t i = 0; i < entries->size(); ++i) {
            if (const auto refusal = protocol::ProbeProblem((*entries)[i].frame, rules)) {
                Refuse(m.id, refusal->code,
                       "probe " + std::to_string(i + 1) + ": " + refusal->reason);
                return;
            }
        }
        // While it waits for a frame's turn the helper goes on capturing.
        const int failed = protocol::SendPaced(*entries, gapNs, sendSocket, [this](auto due) {
            while (Clock::now() + Coarse < due) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
                if (!Wait(int(std::clamp<long long>(left.count(), 1, TickMs)), false))
                    return false;
            }
            return true;
        });
        if (failed < 0)
            return;
        if (failed > 0) {
            Refuse(m.id, ErrorCode::SendFailed, std::strerror(failed));
            return;
        }
        Answer(MessageType::Ok, m.id);
    }

    // Serves the capture for at most timeoutMs, and until a request is
    // there when withRequests. False when the parent has gone.
    bool Wait(int timeoutMs, bool withRequests)
    {
        requestWaiting = false;
        requestHangup = false;
        if (getppid() != parent) {
            ended = true;
            return false;
        }
        const bool resting = Clock::now() < restUntil;
        pollfd fds[3] = {{RequestFd, POLLIN, 0}, {StreamFd, POLLOUT, 0}, {-1, POLLIN, 0}};
        if (capture && pending.empty() && !resting)
            fds[2].fd = pcap_get_selectable_fd(capture);
        if (pending.empty())
            fds[1].fd = -1;
        if (!withRequests)
            fds[0].fd = -1;
        const int wait = resting ? std::min(timeoutMs, 50) : timeoutMs;
        const int ready = poll(fds, 3, wait);
        if (ready < 0 && errno != EINTR)
            return false;
        if (fds[1].revents & (POLLERR | POLLHUP)) {
            ended = true;
            return false;
        }
        if (fds[1].revents & POLLOUT)
            Push();
        if (fds[2].revents)
            ReadCapture();
        TellHealth();
        requestWaiting = (fds[0].revents & (POLLIN | POLLHUP)) != 0;
        requestHangup = (fds[0].revents & POLLHUP) != 0;
        return true;
    }

    void ReadCapture()
    {
        batch.clear();
        const int status =
            pcap_dispatch(capture, -1, &Session::OnFrame, reinterpret_cast<u_char *>(this));
        const auto now = Clock::now();
        if (status == PCAP_ERROR) {
            ++health.failedReads;
            if (failingSince == Clock::time_point{})
                failingSince = now;
            health.broken = now - failingSince >= BrokenAfter;
            restUntil = now + FailedReadRest;
            return;
        }
        failingSince = {};
        health.broken = false;
        if (!batch.empty()) {
            pending = protocol::Encode(MessageType::Batch, 0, batch);
            Push();
        }
    }

    // Sends what waits for the stream; kept when the parent is not reading.
    void Push()
    {
        if (pending.empty())
            return;
        const ssize_t sent = send(StreamFd, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent >= 0)
            pending.clear();
        else if (errno != EAGAIN && errno != EINTR)
            ended = true;
    }

    void TellHealth()
    {
        const auto now = Clock::now();
        if (!capture || !pending.empty() || now < nextStatistics)
            return;
        nextStatistics = now + std::chrono::milliseconds(TickMs);
        pcap_stat counts{};
        if (pcap_stats(capture, &counts) == 0)
            health.droppedFrames = std::uint64_t(counts.ps_drop) + counts.ps_ifdrop;
        if (health == told)
            return;
        told = health;
        pending = protocol::Encode(MessageType::Health, 0, protocol::EncodeHealth(health));
        Push();
    }

    static void OnFrame(u_char *user, const pcap_pkthdr *header, const u_char *bytes)
    {
        auto *self = reinterpret_cast<Session *>(user);
        const std::span<const std::uint8_t> frame(bytes, header->caplen);
        // Only the answers to this scan's probes go to the parent; they also
        // tell which MAC answers for which node.
        const auto sender = protocol::ReplyToBlocks(frame, self->rules.senders.blocks);
        if (!sender)
            return;
        if (self->answered.size() < MostNodes || self->answered.contains(sender->ip))
            self->answered[sender->ip] = sender->mac;
        if (!self->Append(frame, header->len))
            pcap_breakloop(self->capture);
    }

    // Frames that do not fit stay in the ring for the next read.
    bool Append(std::span<const std::uint8_t> frame, std::size_t frameLength)
    {
        const std::size_t start = (batch.size() + 3) & ~std::size_t(3);
        if (start + RecordHeaderBytes + frame.size() > protocol::MaxBatchBytes)
            return false;
        timeval now{};
        gettimeofday(&now, nullptr);
        batch.resize(start, 0);
        protocol::PutU32(batch, std::uint32_t(now.tv_sec));
        protocol::PutU32(batch, std::uint32_t(now.tv_usec));
        protocol::PutU32(batch, std::uint32_t(frame.size()));
        protocol::PutU32(batch, std::uint32_t(frameLength));
        protocol::PutU16(batch, RecordHeaderBytes);
        protocol::PutU16(batch, 0);
        batch.insert(batch.end(), frame.begin(), frame.end());
        return true;
    }

    const pid_t parent;
    pcap_t *capture = nullptr;
    int sendSocket = -1;
    bool promiscuous = false;
    bool ended = false;
    bool requestWaiting = false;
    bool requestHangup = false;
    protocol::SendRules rules;
    std::unordered_map<std::uint32_t, protocol::Mac> answered;
    std::vector<std::uint8_t> batch;
    std::vector<std::uint8_t> pending;
    protocol::Health health;
    protocol::Health told;
    Clock::time_point nextStatistics;
    Clock::time_point failingSince;
    Clock::time_point restUntil;
};

} // namespace

int main(int argc, char **)
{
    // Nothing from the caller's environment reaches libpcap or its plugins.
    clearenv();
    const std::uint32_t capture = (1U << CAP_NET_RAW) | (1U << CAP_NET_ADMIN);
    const char *refusal = nullptr;
    if (!KeepCapabilities(capture))
        refusal = "cannot limit its capabilities";
    else if (!IsolateDescriptors())
        refusal = "descriptors 3 and 4 are not sockets of Keelwatch";
    else if (argc != 1)
        refusal = "it takes no arguments";
    if (refusal) {
        std::fprintf(stderr, "keelwatch-capture: %s; Keelwatch starts it itself\n", refusal);
        return 2;
    }
    // The parent's death ends a session too: the channel then reaches end of
    // file, and the parent's number changes.
    Session session(getppid());
    return session.Serve();
}
