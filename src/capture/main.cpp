// keelwatch-capture: the only part of Keelwatch that holds CAP_NET_RAW and
// CAP_NET_ADMIN. It opens one interface, sets the ARP-reply capture filter,
// sends the probes it is given and hands captured replies and capture
// statistics back to its parent over descriptor 3; scan/captureprotocol.h
// describes the messages. Nothing else: no Qt, no plugins, no files.

#include "scan/captureprotocol.h"

#include <pcap/pcap.h>

#include <linux/capability.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>

namespace {

namespace protocol = keelwatch::captureprotocol;
using protocol::MessageType;

constexpr int ChannelFd = protocol::HelperSocket;
constexpr int BlockTimeoutMs = 10;
constexpr int CaptureBytes = 65535;
constexpr int RecordHeaderBytes = 20;

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

// Descriptors 0 and 1 read and write nothing; stderr stays for the reason of
// an early end; the channel stays; everything else is closed.
bool IsolateDescriptors()
{
    const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0 || dup2(null, 0) < 0 || dup2(null, 1) < 0)
        return false;
    if (fcntl(2, F_GETFD) < 0 && dup2(null, 2) < 0)
        return false;
    if (null > 2)
        close(null);
    if (close_range(ChannelFd + 1, ~0U, 0) != 0)
        return false;
    int type = 0;
    socklen_t length = sizeof type;
    sockaddr_storage address{};
    socklen_t addressLength = sizeof address;
    return getsockopt(ChannelFd, SOL_SOCKET, SO_TYPE, &type, &length) == 0 &&
           type == SOCK_SEQPACKET &&
           getsockname(ChannelFd, reinterpret_cast<sockaddr *>(&address), &addressLength) == 0 &&
           address.ss_family == AF_UNIX && fcntl(ChannelFd, F_SETFD, FD_CLOEXEC) == 0;
}

class Session
{
  public:
    explicit Session(pid_t parent) : parent(parent) {}
    ~Session()
    {
        if (handle)
            pcap_close(handle);
    }
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;

    // Serves requests until the parent goes; the exit status.
    int Serve()
    {
        std::vector<std::uint8_t> datagram(protocol::MaxMessageBytes + 1);
        for (;;) {
            if (!WaitForChannel(-1))
                return 0;
            const ssize_t got = recv(ChannelFd, datagram.data(), datagram.size(), 0);
            if (got == 0)
                return 0;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                return 1;
            }
            const auto message = protocol::Decode({datagram.data(), std::size_t(got)});
            if (!message) {
                Reply(MessageType::Error, Text("not a message of protocol version 1"));
                return 1;
            }
            const std::string problem = Handle(*message);
            if (!problem.empty()) {
                Reply(MessageType::Error, Text(problem));
                if (ended)
                    return 1;
            }
        }
    }

  private:
    static std::vector<std::uint8_t> Text(const std::string &text)
    {
        return {text.begin(), text.end()};
    }

    void Reply(MessageType type, std::span<const std::uint8_t> payload = {})
    {
        const std::vector<std::uint8_t> datagram = protocol::Encode(type, payload);
        while (send(ChannelFd, datagram.data(), datagram.size(), MSG_NOSIGNAL) < 0 &&
               errno == EINTR) {
        }
    }

    // Waits until a request or the end of the channel is there, at most
    // timeoutMs (-1: without end); false when the parent has gone. Wakes
    // every second to see whether it was orphaned.
    bool WaitForChannel(int timeoutMs, int otherFd = -1)
    {
        for (;;) {
            if (getppid() != parent)
                return false;
            pollfd fds[2] = {{ChannelFd, POLLIN, 0}, {otherFd, POLLIN, 0}};
            const int slice = timeoutMs < 0 || timeoutMs > 1000 ? 1000 : timeoutMs;
            const int ready = poll(fds, otherFd < 0 ? 1 : 2, slice);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready > 0)
                return true;
            if (timeoutMs >= 0) {
                timeoutMs -= slice;
                if (timeoutMs <= 0)
                    return true;
            }
        }
    }

    // An empty text when the request was served (its reply sent), else the
    // reason it was refused. A refusal of the protocol's order ends the
    // session.
    std::string Handle(const protocol::Message &m)
    {
        const bool open = handle != nullptr;
        if ((m.type == MessageType::Open) == open) {
            ended = true;
            return open ? "the interface is open already" : "the first request opens an interface";
        }
        switch (m.type) {
        case MessageType::Open:
            return Open(std::string(m.payload.begin(), m.payload.end()));
        case MessageType::SetPromiscuous:
            return Expect(m, 0) ? SetPromiscuous() : "SetPromiscuous has no payload";
        case MessageType::SetReadTimeout: {
            if (!Expect(m, 4))
                return "SetReadTimeout has 4 bytes";
            const std::uint32_t ms = protocol::GetU32(m.payload.data());
            if (ms < 1 || ms > protocol::MaxReadTimeoutMs)
                return "a read time-out is 1 to 60000 ms";
            readTimeoutMs = int(ms);
            Reply(MessageType::Ok);
            return {};
        }
        case MessageType::CaptureArpReplies:
            if (!protocol::IsArpReplyFilter(m.payload))
                return "only the ARP reply filter is set";
            return Install(protocol::ArpReplyFilter);
        case MessageType::BindSenders: {
            const auto given = protocol::DecodeSenders(m.payload);
            if (!given)
                return "BindSenders has a unicast own MAC and an own IP";
            if (senders && !(*senders == *given))
                return "the session is bound to other senders";
            senders = given;
            Reply(MessageType::Ok);
            return {};
        }
        case MessageType::Send:
            return Send(m.payload);
        case MessageType::Receive:
            if (!Expect(m, 4))
                return "Receive has 4 bytes";
            return Receive(protocol::GetU32(m.payload.data()));
        case MessageType::GetStatistics:
            return Expect(m, 0) ? Statistics() : "GetStatistics has no payload";
        default:
            ended = true;
            return "unknown request";
        }
    }

    static bool Expect(const protocol::Message &m, std::size_t bytes)
    {
        return m.payload.size() == bytes;
    }

    std::string Open(const std::string &name)
    {
        if (const std::string problem = protocol::InterfaceNameProblem(name); !problem.empty())
            return problem;
        index = if_nametoindex(name.c_str());
        if (index == 0)
            return "no interface " + name;
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_t *fresh = pcap_create(name.c_str(), errbuf);
        if (!fresh)
            return errbuf;
        pcap_set_snaplen(fresh, CaptureBytes);
        pcap_set_timeout(fresh, BlockTimeoutMs);
        pcap_set_buffer_size(fresh, protocol::RingBytes);
        const int status = pcap_activate(fresh);
        // Nothing else needs a capability: sending, filters, promiscuous
        // membership and statistics work on the open socket.
        const bool dropped = KeepCapabilities(0) && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0;
        if (status < 0) {
            std::string reason = pcap_statustostr(status);
            if (const char *detail = pcap_geterr(fresh); detail && *detail)
                reason += std::string(" (") + detail + ')';
            pcap_close(fresh);
            ended = true;
            return reason;
        }
        if (!dropped || pcap_setnonblock(fresh, 1, errbuf) != 0 ||
            pcap_get_selectable_fd(fresh) < 0) {
            pcap_close(fresh);
            ended = true;
            return dropped ? errbuf : "cannot drop the capabilities";
        }
        handle = fresh;
        // Until the filter is set nothing is captured.
        constexpr protocol::FilterInstruction RejectAll[1] = {{0x06, 0, 0, 0}};
        return Install(RejectAll);
    }

    std::string SetPromiscuous()
    {
        packet_mreq request{};
        request.mr_ifindex = int(index);
        request.mr_type = PACKET_MR_PROMISC;
        if (!promiscuous && setsockopt(pcap_get_selectable_fd(handle), SOL_PACKET,
                                       PACKET_ADD_MEMBERSHIP, &request, sizeof request) != 0)
            return std::strerror(errno);
        promiscuous = true;
        Reply(MessageType::Ok);
        return {};
    }

    std::string Install(std::span<const protocol::FilterInstruction> program)
    {
        std::vector<bpf_insn> code;
        for (const auto &i : program)
            code.push_back(bpf_insn{i.code, i.jt, i.jf, i.k});
        bpf_program filter{u_int(code.size()), code.data()};
        if (pcap_setfilter(handle, &filter) != 0)
            return pcap_geterr(handle);
        Reply(MessageType::Ok);
        return {};
    }

    std::string Send(std::span<const std::uint8_t> payload)
    {
        if (!senders)
            return "no senders bound";
        if (payload.size() < 2)
            return "Send has the number of copies and a frame";
        const int copies = protocol::GetU16(payload.data());
        if (copies < 1 || copies > protocol::MaxCopies)
            return "a probe is sent 1 to 16 times";
        const auto frame = payload.subspan(2);
        if (const std::string problem = protocol::ProbeProblem(frame, *senders); !problem.empty())
            return problem;
        for (int i = 0; i < copies; ++i) {
            if (pcap_sendpacket(handle, frame.data(), int(frame.size())) != 0)
                return pcap_geterr(handle);
        }
        Reply(MessageType::Ok);
        return {};
    }

    std::string Receive(std::uint32_t capacity)
    {
        batch.clear();
        room = std::min<std::size_t>(capacity, protocol::MaxBatchBytes);
        // A frame that did not fit into the last batch opens this one.
        if (!carried.empty()) {
            Append(carried, carriedLength);
            carried.clear();
        }
        if (batch.empty()) {
            if (!WaitForChannel(readTimeoutMs, pcap_get_selectable_fd(handle))) {
                ended = true;
                return "the parent has gone";
            }
        }
        if (pcap_dispatch(handle, -1, &Session::OnFrame, reinterpret_cast<u_char *>(this)) ==
            PCAP_ERROR)
            return pcap_geterr(handle);
        Reply(MessageType::Batch, batch);
        return {};
    }

    static void OnFrame(u_char *user, const pcap_pkthdr *header, const u_char *bytes)
    {
        auto *self = reinterpret_cast<Session *>(user);
        const std::span<const std::uint8_t> frame(bytes, header->caplen);
        // The filter passes only ARP replies; anything else is not passed on.
        if (frame.size() < 22 || frame[12] != 0x08 || frame[13] != 0x06 || frame[20] != 0 ||
            frame[21] != 2)
            return;
        if (!self->Append(frame, header->len)) {
            self->carried.assign(frame.begin(), frame.end());
            self->carriedLength = header->len;
            pcap_breakloop(self->handle);
        }
    }

    bool Append(std::span<const std::uint8_t> frame, std::size_t frameLength)
    {
        const std::size_t start = (batch.size() + 3) & ~std::size_t(3);
        if (start + RecordHeaderBytes + frame.size() > room)
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

    std::string Statistics()
    {
        pcap_stat counts{};
        if (pcap_stats(handle, &counts) != 0)
            return pcap_geterr(handle);
        std::vector<std::uint8_t> payload;
        protocol::PutU64(payload, std::uint64_t(counts.ps_drop) + counts.ps_ifdrop);
        Reply(MessageType::Statistics, payload);
        return {};
    }

    const pid_t parent;
    pcap_t *handle = nullptr;
    unsigned index = 0;
    bool promiscuous = false;
    bool ended = false;
    int readTimeoutMs = 1000;
    std::optional<protocol::ProbeSenders> senders;
    std::vector<std::uint8_t> batch;
    std::size_t room = 0;
    std::vector<std::uint8_t> carried;
    std::size_t carriedLength = 0;
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
        refusal = "descriptor 3 is not a socket of Keelwatch";
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
