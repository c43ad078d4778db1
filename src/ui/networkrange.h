#pragma once

#include "config/settings.h"

#include <QString>

#include <optional>

namespace keelwatch {

// The host addresses of the network address/prefixLength: without the
// network and broadcast addresses when it has more than two.
IpRange HostRange(IpAddress address, int prefixLength);

// "10.77.0.0/24" (or any address of that network with its prefix) as the
// network's host range; nothing for another text.
std::optional<IpRange> RangeFromCidr(const QString &text);

// The host range of the network the adapter's address belongs to, from the
// system's interface table; nothing when the interface or its address is
// gone, or when the network is larger than a plain scan takes.
std::optional<IpRange> AdapterNetwork(const NetworkAdapter &adapter);

} // namespace keelwatch
