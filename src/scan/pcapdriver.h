#pragma once

#include "scan/packetdriver.h"

#include <memory>
#include <mutex>

namespace keelwatch {

// How adapters are opened: by this process through libpcap, or by the
// capture helper keelwatch-capture, which holds the capabilities instead.
enum class CaptureAccess {
    // Directly when this process may open packet sockets (root, or a service
    // given CAP_NET_RAW), else through the helper.
    Automatic,
    Direct,
    Helper,
};

// The packet driver over libpcap. Adapter names are the interface names of
// pcap_findalldevs; opening needs CAP_NET_RAW (and CAP_NET_ADMIN for
// promiscuous mode) here or in the helper, and a refused open keeps the
// reason.
class PcapDriver : public PacketDriver
{
  public:
    explicit PcapDriver(CaptureAccess access = CaptureAccess::Automatic,
                        QString helperPath = InstalledCaptureHelper());
    // The library's version number, e.g. "1.10.3".
    QString PacketGetVersion() const override;
    QByteArray PacketGetAdapterNames() const override;
    std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name) const override;
    bool IsEthernet(const QByteArray &name) const override;
    std::unique_ptr<PacketAdapter>
    PacketOpenAdapter(const QString &name, const ProbeSenders &senders, QString *error) override;

    // Opens the interface's sockets now and keeps them for every scan of it
    // to come, so that the process may let its capabilities go before the
    // first probe. False (error set) when it cannot be opened.
    bool KeepInterfaceOpen(const QString &name, QString *error);
    // Clears every capability of the calling thread, ambient ones too: call
    // it before any other thread starts. False when the kernel refused.
    static bool DropCapabilities();
    // Whether the calling thread holds any capability at all.
    static bool HoldsCapabilities();

    bool UsesCaptureHelper() const { return throughHelper; }
    // The helper as the packages install it: ../libexec/keelwatch/
    // keelwatch-capture from this program's folder.
    static QString InstalledCaptureHelper();
    // Whether this process holds CAP_NET_RAW.
    static bool MayCapture();

    class OpenedInterface;

  private:
    bool throughHelper;
    QString helperPath;
    std::mutex keptMutex;
    std::shared_ptr<OpenedInterface> kept;
};

} // namespace keelwatch
