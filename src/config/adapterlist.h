#pragma once

#include "config/settings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace keelwatch {

// What adapter discovery asks of the packet driver.
class AdapterSource
{
  public:
    virtual ~AdapterSource() = default;
    // The capture library's version text, as pcap_lib_version gives it.
    virtual QString PacketGetVersion() const = 0;
    // The adapter names, each ended by one zero byte and the last one by a
    // second zero, in a buffer of at most 4096 bytes.
    virtual QByteArray PacketGetAdapterNames() const = 0;
    // The adapter's first IPv4 address (first octet most significant), or
    // nothing when the adapter has none.
    virtual std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name) const = 0;
    // Whether the adapter sends and receives Ethernet frames.
    virtual bool IsEthernet(const QByteArray &name) const = 0;
};

struct AdapterList
{
    QString driverVersion;
    QString panelText;        // status panel 7
    NetworkAdapters adapters; // each adapter with an IPv4 address
};

// Asks the driver for its version and adapters once at program start. The
// Setup dialog shows the items without a selection.
AdapterList FillAdapterList(const AdapterSource &driver);

// The adapter names in a name buffer as FillAdapterList reads it: the text
// before the first double zero, single zeros as line breaks, trimmed.
QStringList AdapterNamesFromBuffer(const QByteArray &buffer);

} // namespace keelwatch
