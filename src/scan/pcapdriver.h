#pragma once

#include "scan/packetdriver.h"

namespace keelwatch {

// The packet driver over libpcap. Adapter names are the interface names of
// pcap_findalldevs; opening needs CAP_NET_RAW (and CAP_NET_ADMIN for
// promiscuous mode), and a refused open keeps libpcap's reason.
class PcapDriver : public PacketDriver
{
  public:
    // The library's version number, e.g. "1.10.3".
    QString PacketGetVersion() const override;
    QByteArray PacketGetAdapterNames() const override;
    std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name) const override;
    bool IsEthernet(const QByteArray &name) const override;
    std::unique_ptr<PacketAdapter> PacketOpenAdapter(const QString &name, QString *error) override;
};

} // namespace keelwatch
