#pragma once

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
    // The driver's version text.
    virtual QString PacketGetVersion() const = 0;
    // The adapter names, each ended by one zero character and the last one
    // by a second zero, in a buffer of at most 4096 characters: 16-bit
    // characters (UTF-16, host order) when wide, else 8-bit.
    virtual QByteArray PacketGetAdapterNames(bool wide) const = 0;
    // The IPv4 address of the adapter's first address entry (first octet
    // most significant), or nothing when the adapter has no address data.
    // entries is the number of address entries the caller has room for.
    virtual std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name,
                                                      int entries) const = 0;
};

struct AdapterList
{
    QString DriverVersion;
    QString panelText; // status panel 7
    QStringList items; // "IPv4 : name" for each adapter with an address
};

// Asks the driver for its version and adapters once at program start. The
// Setup dialog shows the items without a selection.
AdapterList FillAdapterList(const AdapterSource &driver);

// The adapter names in a name buffer as FillAdapterList reads it: the text
// before the first double zero, single zeros as line breaks, trimmed.
QStringList AdapterNamesFromBuffer(const QByteArray &buffer, bool wide);

} // namespace keelwatch
