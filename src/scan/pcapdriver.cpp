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
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr int NameBufferCharacters = 4096;
constexpr int DefaultReadTimeoutMs = 1000;
constexpr int BlockTimeoutMs = 10;
// On Linux libpcap hands the capture over in blocks of 256 KiB, each closed
// at the latest BlockTimeoutMs after its first frame, however few it holds.
// A ring of two blocks overflows whenever the relay is held up for 20 ms;
// RingBytes holds 32 blocks, which bridge a third of a second.

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

} // namespace

// The sockets of one interface: capture (a libpcap handle with its ring) and
// send (a packet socket of protocol 0, which receives nothing). Kept by the
// driver across scans once the process has let its capabilities go.
class PcapDriver::OpenedInterface
{
  public:
    ~OpenedInterface()
    {
        if (capture)
            pcap_close(capture);
        if (sendSocket >= 0)
            ::close(sendSocket);
    }

    // Opens both sockets; false with error set when either cannot be.
    bool Open(const QByteArray &device, QString *error)
    {
        name = device;
        index = if_nametoindex(name.constData());
        char errbuf[PCAP_ERRBUF_SIZE] = {};
        capture = pcap_create(name.constData(), errbuf);
        if (!capture) {
            *error = QString::fromLocal8Bit(errbuf);
            return false;
        }
        pcap_set_snaplen(capture, 65535);
        // The kernel packs frames into blocks, so a burst of short replies
        // fits the ring; a block is handed over at the latest this long
        // after its first frame. The read time-out is kept by polling.
        pcap_set_timeout(capture, BlockTimeoutMs);
        pcap_set_buffer_size(capture, captureprotocol::RingBytes);
        const int status = pcap_activate(capture);
        if (status < 0) {
            *error = PcapError(capture, status);
            return false;
        }
        // libpcap opens its socket inheritable; no program started later
        // may send through it.
        if (pcap_setnonblock(capture, 1, errbuf) != 0 || pcap_get_selectable_fd(capture) < 0 ||
            fcntl(pcap_get_selectable_fd(capture), F_SETFD, FD_CLOEXEC) != 0) {
            *error = *errbuf ? QString::fromLocal8Bit(errbuf)
                             : QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        sendSocket = ::socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        sockaddr_ll link{};
        link.sll_family = AF_PACKET;
        link.sll_ifindex = int(index);
        if (sendSocket < 0 ||
            ::bind(sendSocket, reinterpret_cast<sockaddr *>(&link), sizeof link) != 0) {
            *error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        cardMac = captureprotocol::CardMacOf(name.toStdString());
        return true;
    }

    // A kept interface serves one scan at a time: the next waits until the
    // last one's workers have let go of it (within their read time-out).
    bool Lease(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(leaseMutex);
        if (!released.wait_for(lock, wait, [this] { return !leased; }))
            return false;
        leased = true;
        return true;
    }
    void Release()
    {
        {
            std::lock_guard lock(leaseMutex);
            leased = false;
        }
        released.notify_all();
    }

    QByteArray name;
    unsigned index = 0;
    pcap_t *capture = nullptr;
    int sendSocket = -1;
    std::optional<MacBytes> cardMac;
    bool promiscuous = false;

  private:
    std::mutex leaseMutex;
    std::condition_variable released;
    bool leased = false;
};

namespace {

class PcapAdapter : public PacketAdapter
{
  public:
    // Takes sockets leased for it, and gives them back when it goes.
    explicit PcapAdapter(std::shared_ptr<PcapDriver::OpenedInterface> opened)
        : sockets(std::move(opened)), handle(sockets->capture)
    {
        // A kept interface may hold the last scan's frames; they answer no
        // probe of this one.
        Install({});
        while (pcap_dispatch(
                   handle, -1, [](u_char *, const pcap_pkthdr *, const u_char *) {}, nullptr) > 0) {
        }
    }

    ~PcapAdapter() override { sockets->Release(); }
    PcapAdapter(const PcapAdapter &) = delete;
    PcapAdapter &operator=(const PcapAdapter &) = delete;

    bool PacketSetHwFilter(std::uint32_t filter) override
    {
        if (filter != PromiscuousFilter)
            return false;
        if (sockets->promiscuous)
            return true;
        packet_mreq request{};
        request.mr_ifindex = int(sockets->index);
        request.mr_type = PACKET_MR_PROMISC;
        if (request.mr_ifindex == 0 ||
            setsockopt(pcap_get_selectable_fd(handle), SOL_PACKET, PACKET_ADD_MEMBERSHIP, &request,
                       sizeof request) != 0) {
            std::lock_guard lock(errorMutex);
            error = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        sockets->promiscuous = true;
        return true;
    }

    bool PacketSetBuff(int bytes) override
    {
        // The ring was sized when the interface was opened.
        if (bytes <= captureprotocol::RingBytes)
            return true;
        std::lock_guard lock(errorMutex);
        error = u"the capture ring holds %1 bytes"_s.arg(captureprotocol::RingBytes);
        return false;
    }

    bool PacketSetReadTimeout(int milliseconds) override
    {
        readTimeoutMs = milliseconds;
        return true;
    }

    bool PacketSetBpf(std::span<const BpfInstruction> instructions) override
    {
        return Install({instructions.begin(), instructions.end()});
    }

    bool PacketSendPackets(const ProbeBatch &batch) override
    {
        std::uint32_t gapNs = 0;
        const auto entries = captureprotocol::DecodeProbeBatch(batch.Payload(), &gapNs);
        if (!entries)
            return false;
        const int failed =
            captureprotocol::SendPaced(*entries, gapNs, sockets->sendSocket, [](auto due) {
                std::this_thread::sleep_until(due);
                return true;
            });
        if (failed == 0)
            return true;
        std::lock_guard lock(errorMutex);
        error = QString::fromLocal8Bit(std::strerror(failed));
        return false;
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
                std::lock_guard lock(errorMutex);
                error = QString::fromLocal8Bit(std::strerror(errno));
                return false;
            }
            if (ready <= 0)
                return true;
        }
        const int status =
            pcap_dispatch(handle, -1, &PcapAdapter::OnFrame, reinterpret_cast<u_char *>(this));
        if (status == PCAP_ERROR) {
            std::lock_guard lock(errorMutex);
            error = PcapError(handle, status);
            return false;
        }
        return true;
    }

    bool PacketGetStats(std::uint64_t &droppedFrames) override
    {
        pcap_stat counts{};
        if (pcap_stats(handle, &counts) != 0) {
            std::lock_guard lock(errorMutex);
            error = PcapError(handle, PCAP_ERROR);
            return false;
        }
        droppedFrames = std::uint64_t(counts.ps_drop) + counts.ps_ifdrop;
        return true;
    }

    std::optional<MacBytes> CardMac() const override { return sockets->cardMac; }

    QString ErrorText() const override
    {
        std::lock_guard lock(errorMutex);
        return error;
    }

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
            std::lock_guard lock(errorMutex);
            error = PcapError(handle, PCAP_ERROR);
            return false;
        }
        return true;
    }

    std::shared_ptr<PcapDriver::OpenedInterface> sockets;
    pcap_t *handle;
    int readTimeoutMs = DefaultReadTimeoutMs;
    Packet *batch = nullptr;
    std::vector<std::uint8_t> carried;
    std::size_t carriedLength = 0;
    mutable std::mutex errorMutex;
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
    return captureprotocol::CardMacOf(name.toStdString()).has_value();
}

std::unique_ptr<PacketAdapter>
PcapDriver::PacketOpenAdapter(const QString &name, const ProbeSenders &senders, QString *error)
{
    if (throughHelper)
        return OpenHelperAdapter(helperPath, name, senders, error);
    std::shared_ptr<OpenedInterface> sockets;
    {
        std::lock_guard lock(keptMutex);
        if (kept && kept->name == name.toLocal8Bit())
            sockets = kept;
    }
    // A new scan right after the last one (the daily renewal) waits for the
    // last one's workers to let go of the kept sockets.
    constexpr auto LeaseWait = std::chrono::seconds(10);
    if (sockets && !sockets->Lease(LeaseWait)) {
        if (error)
            *error = u"the interface is still in use by the last scan"_s;
        return nullptr;
    }
    if (!sockets) {
        sockets = std::make_shared<OpenedInterface>();
        QString reason;
        if (!sockets->Open(name.toLocal8Bit(), &reason)) {
            if (error)
                *error = reason;
            return nullptr;
        }
        sockets->Lease(std::chrono::milliseconds(0));
    }
    return std::make_unique<PcapAdapter>(std::move(sockets));
}

bool PcapDriver::KeepInterfaceOpen(const QString &name, QString *error)
{
    auto sockets = std::make_shared<OpenedInterface>();
    QString reason;
    if (!sockets->Open(name.toLocal8Bit(), &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    std::lock_guard lock(keptMutex);
    kept = std::move(sockets);
    return true;
}

bool PcapDriver::DropCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) == 0 &&
           syscall(SYS_capset, &header, data) == 0;
}

bool PcapDriver::HoldsCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    return syscall(SYS_capget, &header, data) == 0 &&
           (data[0].effective | data[0].permitted | data[1].effective | data[1].permitted) != 0;
}

} // namespace keelwatch
