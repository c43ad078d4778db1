#pragma once

#include "config/addresstext.h"
#include "config/settings.h"

#include <QByteArray>
#include <QString>

#include "scan/captureprotocol.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace keelwatch {

using MacBytes = std::array<std::uint8_t, 6>;

// One probe, built in place: 42 bytes for Ethernet II, 50 for IEEE 802.3 with
// LLC/SNAP. Not padded to the Ethernet minimum; the adapter does that.
struct ProbeFrame
{
    static constexpr int EthernetSize = 42;
    static constexpr int Ieee8023Size = 50;
    std::array<std::uint8_t, Ieee8023Size> bytes{};
    int size = 0;
};

// Writes the ARP request for targetIp, sent to destination with source as
// both the Ethernet and the ARP sender address and senderIp as sender IP.
void BuildProbeFrame(ProbeFrame &frame, const MacBytes &destination, const MacBytes &source,
                     std::uint32_t senderIp, std::uint32_t targetIp, FrameFormat format);

// The sender IP a scan's probes give: 0.0.0.0, or the own IP in the own-IP
// mode; nothing without an own IP.
std::optional<std::uint32_t> ProbeSenderAddress(const Settings &settings);

// What a scan sends from: its sender IP, the own MAC's block of sixteen
// test sources and the blocks of its confirmation sources, and the SP test
// destinations that are unicast.
captureprotocol::ProbeSenders ScanSenders(const Settings &settings,
                                          const std::vector<MacBytes> &confirmationSources);

// The same from the texts the settings hold. A text that does not give six
// bytes, or an IP text that does not convert, gives no frame.
std::optional<ProbeFrame> BuildProbeFrame(const QString &destination, const QString &source,
                                          const QString &ownIp, const QString &targetIp,
                                          FrameFormat format);

// Bytes of a hex text: blanks and line breaks separate tokens, each token is
// one or two hex digits. Empty when a token is anything else.
QByteArray HexTextToBytes(const QString &text);

// The six bytes of a MAC text, or nothing when it does not give exactly six.
std::optional<MacBytes> MacTextToBytes(const QString &text);

// The probe sender's own IP. Tells the sink "IP Address ERROR !!! " when
// there is none.
std::optional<std::uint32_t> SenderOwnIp(const std::optional<IpAddress> &ownIp,
                                         const MessageSink &sink);

} // namespace keelwatch
