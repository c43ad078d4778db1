#include "scan/pcapdriver.h"

#include "scan/capturehelperadapter.h"

#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <pcap/pcap.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr int NameBufferCharacters = 4096;
constexpr int DefaultReadTimeoutMs = 1000;
constexpr int BlockTimeoutMs = 10;
// On Linux libpcap hands the capture over in blocks of 256 KiB, each closed
// at the latest BlockTimeoutMs after its first frame, however few it holds.
// A buffer of two blocks (as 520,000 bytes gives) overflows whenever the
// relay is held up for 20 ms; the ring gets at least enough blocks to bridge
// a third of a second.
constexpr int RingBlockBytes = 256 * 1024;
constexpr int MinimumRingBlocks = 32;
static_assert(RingBlockBytes * MinimumRingBlocks == captureprotocol::RingBytes);

// Rejects every frame.
constexpr BpfInstruction RejectAll[1] = {{0x06, 0, 0, 0}};

QString PcapError(pcap_t *handle, int status)
{
    const QString detail = QString::fromLocal8Bit(pcap_geterr(handle));
    const QString summary = QString::fromLocal8Bit(pcap_statustostr(status));
    if (detail.isEmpty())
        return summary;
    // "socket: Operation not permitted" alone does not say what to do.
    if (status == PCAP_ERROR_PERM_DENIED)
        return summary + u" ("_s + detail + u')';
    return detail;
}

// The devices of pcap_findalldevs, freed when it goes.
class DeviceList
{
  public:
    DeviceList()
    {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        if (pcap_findalldevs(&first, errbuf) != 0)
            first = nullptr;
    }
    ~DeviceList()
    {
        if (first)
            pcap_freealldevs(first);
    }
    DeviceList(const DeviceList &) = delete;
    DeviceList &operator=(const DeviceList &) = delete;
    pcap_if_t *begin() const { return first; }

  private:
    pcap_if_t *first = nullptr;
};

class PcapAdapter : public PacketAdapter
{
  public:
    explicit PcapAdapter(QByteArray device) : name(std::move(device)) {}
    ~PcapAdapter() override
    {
        if (handle)
            pcap_close(handle);
    }

    // Opens with the given buffer size; on failure the old handle stays.
    bool Activate(int bufferBytes, QString *error)
    {
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        pcap_t *fresh = pcap_create(name.constData(), errbuf);
        if (!fresh) {
            *error = QString::fromLocal8Bit(errbuf);
            return false;
        }
        pcap_set_snaplen(fresh, 65535);
        pcap_set_promisc(fresh, promiscuous);
        // The kernel packs frames into blocks, so a burst of short replies
        // fits the buffer; a block is handed over at the latest this long
        // after its first frame. The read time-out is kept by polling.
        pcap_set_timeout(fresh, BlockTimeoutMs);
        if (bufferBytes > 0)
            pcap_set_buffer_size(fresh, std::max(bufferBytes, MinimumRingBlocks * RingBlockBytes));
        const int status = pcap_activate(fresh);
        if (status < 0) {
            *error = PcapError(fresh, status);
            pcap_close(fresh);
            return false;
        }
        if (pcap_setnonblock(fresh, 1, errbuf) != 0 || pcap_get_selectable_fd(fresh) < 0) {
            *error = QString::fromLocal8Bit(errbuf);
            pcap_close(fresh);
            return false;
        }
        // libpcap opens its socket inheritable; no program started later
        // may send through it.
        if (fcntl(pcap_get_selectable_fd(fresh), F_SETFD, FD_CLOEXEC) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            pcap_close(fresh);
            return false;
        }
        if (handle)
            pcap_close(handle);
        handle = fresh;
        return Install(program);
    }

    bool PacketSetHwFilter(std::uint32_t filter) override
    {
        if (filter != PromiscuousFilter)
            return false;
        if (promiscuous)
            return true;
        packet_mreq request{};
        request.mr_ifindex = int(if_nametoindex(name.constData()));
        request.mr_type = PACKET_MR_PROMISC;
        if (request.mr_ifindex == 0 ||
            setsockopt(pcap_get_selectable_fd(handle), SOL_PACKET, PACKET_ADD_MEMBERSHIP, &request,
                       sizeof request) != 0) {
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        promiscuous = true;
        return true;
    }

    bool PacketSetBuff(int bytes) override
    {
        // The ring buffer is sized when the handle is activated.
        QString reason;
        if (!Activate(bytes, &reason)) {
            error = reason;
            return false;
        }
        return true;
    }

    bool PacketSetReadTimeout(int milliseconds) override
    {
        readTimeoutMs = milliseconds;
        return true;
    }

    bool PacketSetBpf(std::span<const BpfInstruction> instructions) override
    {
        program.assign(instructions.begin(), instructions.end());
        return Install(program);
    }

    bool PacketSetNumWrites(int count) override
    {
        if (count < 1)
            return false;
        writes = count;
        return true;
    }

    bool PacketSendPacket(const Packet &packet) override
    {
        for (int i = 0; i < writes; ++i) {
            if (pcap_sendpacket(handle, packet.buffer, int(packet.length)) != 0) {
                error = PcapError(handle, PCAP_ERROR);
                return false;
            }
        }
        return true;
    }

    bool PacketReceivePacket(Packet &packet) override
    {
        packet.bytesReceived = 0;
        batch = &packet;
        // A frame that did not fit into the last batch opens this one.
        if (!carried.empty()) {
            // One that does not fit into an empty batch never will.
            Append(carried, carriedLength);
            carried.clear();
        }
        if (packet.bytesReceived == 0) {
            pollfd fd{pcap_get_selectable_fd(handle), POLLIN, 0};
            const int ready = poll(&fd, 1, readTimeoutMs);
            if (ready < 0 && errno != EINTR) {
                error = QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            if (ready <= 0)
                return true;
        }
        const int status =
            pcap_dispatch(handle, -1, &PcapAdapter::OnFrame, reinterpret_cast<u_char *>(this));
        if (status == PCAP_ERROR) {
            error = PcapError(handle, status);
            return false;
        }
        return true;
    }

    bool PacketGetStats(std::uint64_t &droppedFrames) override
    {
        pcap_stat counts{};
        if (pcap_stats(handle, &counts) != 0) {
            error = PcapError(handle, PCAP_ERROR);
            return false;
        }
        droppedFrames = std::uint64_t(counts.ps_drop) + counts.ps_ifdrop;
        return true;
    }

    QString ErrorText() const override { return error; }

  private:
    static void OnFrame(u_char *user, const pcap_pkthdr *header, const u_char *bytes)
    {
        auto *self = reinterpret_cast<PcapAdapter *>(user);
        const std::span<const std::uint8_t> frame(bytes, header->caplen);
        if (!self->Append(frame, header->len)) {
            self->carried.assign(frame.begin(), frame.end());
            self->carriedLength = header->len;
            pcap_breakloop(self->handle);
        }
    }

    bool Append(std::span<const std::uint8_t> frame, std::size_t frameLength)
    {
        timeval now{};
        gettimeofday(&now, nullptr);
        return AppendCaptureRecord(batch->buffer, batch->length, batch->bytesReceived, frame,
                                   frameLength, std::uint32_t(now.tv_sec),
                                   std::uint32_t(now.tv_usec));
    }

    bool Install(const std::vector<BpfInstruction> &instructions)
    {
        static_assert(sizeof(BpfInstruction) == sizeof(bpf_insn));
        std::vector<bpf_insn> code;
        const auto &source =
            instructions.empty()
                ? std::vector<BpfInstruction>(std::begin(RejectAll), std::end(RejectAll))
                : instructions;
        for (const BpfInstruction &i : source)
            code.push_back(bpf_insn{i.code, i.jt, i.jf, i.k});
        bpf_program filter{u_int(code.size()), code.data()};
        if (pcap_setfilter(handle, &filter) != 0) {
            error = PcapError(handle, PCAP_ERROR);
            return false;
        }
        return true;
    }

    QByteArray name;
    pcap_t *handle = nullptr;
    bool promiscuous = false;
    int readTimeoutMs = DefaultReadTimeoutMs;
    int writes = 1;
    std::vector<BpfInstruction> program;
    Packet *batch = nullptr;
    std::vector<std::uint8_t> carried;
    std::size_t carriedLength = 0;
    QString error;
};

} // namespace

PcapDriver::PcapDriver(CaptureAccess access, QString helper)
    : throughHelper(access == CaptureAccess::Helper ||
                    (access == CaptureAccess::Automatic && !MayCapture())),
      helperPath(std::move(helper))
{
}

QString PcapDriver::InstalledCaptureHelper()
{
    const QString program = QFile::symLinkTarget(u"/proc/self/exe"_s);
    return QDir::cleanPath(QFileInfo(program).path() +
                           u"/../libexec/keelwatch/keelwatch-capture"_s);
}

bool PcapDriver::MayCapture()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return syscall(SYS_capget, &header, data) == 0 && (data[0].effective & (1U << CAP_NET_RAW));
}

QString PcapDriver::PacketGetVersion() const
{
    return QString::fromLatin1(pcap_lib_version());
}

QByteArray PcapDriver::PacketGetAdapterNames() const
{
    QByteArray buffer(NameBufferCharacters, '\0');
    qsizetype used = 0;
    DeviceList devices;
    for (pcap_if_t *d = devices.begin(); d; d = d->next) {
        const QByteArray name(d->name);
        // A name that would not leave room for the closing double zero is
        // left out, with every name after it.
        if (used + name.size() + 2 > buffer.size())
            break;
        std::memcpy(buffer.data() + used, name.constData(), size_t(name.size()));
        used += name.size() + 1;
    }
    return buffer;
}

std::optional<quint32> PcapDriver::PacketGetNetInfoEx(const QByteArray &name) const
{
    DeviceList devices;
    for (pcap_if_t *d = devices.begin(); d; d = d->next) {
        if (name != d->name)
            continue;
        for (pcap_addr_t *a = d->addresses; a; a = a->next) {
            if (a->addr && a->addr->sa_family == AF_INET) {
                sockaddr_in in{};
                std::memcpy(&in, a->addr, sizeof in);
                return qFromBigEndian<quint32>(&in.sin_addr.s_addr);
            }
        }
    }
    return std::nullopt;
}

bool PcapDriver::IsEthernet(const QByteArray &name) const
{
    ifreq request{};
    if (name.isEmpty() || name.size() >= IFNAMSIZ)
        return false;
    std::memcpy(request.ifr_name, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool known = ::ioctl(fd, SIOCGIFHWADDR, &request) == 0;
    ::close(fd);
    return known && request.ifr_hwaddr.sa_family == ARPHRD_ETHER;
}

std::unique_ptr<PacketAdapter> PcapDriver::PacketOpenAdapter(const QString &name, QString *error)
{
    if (throughHelper)
        return OpenHelperAdapter(helperPath, name, error);
    auto adapter = std::make_unique<PcapAdapter>(name.toLocal8Bit());
    QString reason;
    if (!adapter->Activate(0, &reason)) {
        if (error)
            *error = reason;
        return nullptr;
    }
    return adapter;
}

} // namespace keelwatch
