#include "scan/probeframe.h"

#include "config/integertext.h"

#include <QCoreApplication>
#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cstring>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// ARP over Ethernet, IPv4, request: hardware type, protocol type, sizes, op.
constexpr std::uint8_t ArpRequestHeader[8] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01};
// IEEE 802.3 length 46 (the minimum payload, not the 36 bytes that follow),
// then LLC AA AA 03 and SNAP organisation 00 00 00.
constexpr std::uint8_t LlcSnapHeader[8] = {0x00, 0x2E, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
constexpr std::uint8_t EtherTypeArp[2] = {0x08, 0x06};

} // namespace

void BuildProbeFrame(ProbeFrame &frame, const MacBytes &destination, const MacBytes &source,
                     std::uint32_t senderIp, std::uint32_t targetIp, FrameFormat format)
{
    std::uint8_t *p = frame.bytes.data();
    std::memcpy(p, destination.data(), 6);
    std::memcpy(p + 6, source.data(), 6);
    p += 12;
    if (format == FrameFormat::Ieee8023) {
        std::memcpy(p, LlcSnapHeader, sizeof LlcSnapHeader);
        p += sizeof LlcSnapHeader;
    }
    std::memcpy(p, EtherTypeArp, 2);
    std::memcpy(p + 2, ArpRequestHeader, sizeof ArpRequestHeader);
    p += 10;
    std::memcpy(p, source.data(), 6);
    qToBigEndian(senderIp, p + 6);
    std::memset(p + 10, 0, 6);
    qToBigEndian(targetIp, p + 16);
    frame.size = int(p + 20 - frame.bytes.data());
}

std::optional<ProbeFrame> BuildProbeFrame(const QString &destination, const QString &source,
                                          const QString &ownIp, const QString &targetIp,
                                          FrameFormat format)
{
    const auto dst = MacTextToBytes(destination);
    const auto src = MacTextToBytes(source);
    const auto own = IpLinesToNumber(ownIp);
    const auto target = IpLinesToNumber(targetIp);
    if (!dst || !src || !own || !target)
        return std::nullopt;
    ProbeFrame frame;
    BuildProbeFrame(frame, *dst, *src, *own, *target, format);
    return frame;
}

std::optional<std::uint32_t> ProbeSenderAddress(const Settings &settings)
{
    if (!settings.ownIp)
        return std::nullopt;
    return settings.probeSenderIp == ProbeSenderIp::Own ? settings.ownIp->ToIpv4() : 0;
}

captureprotocol::ProbeSenders ScanSenders(const Settings &settings,
                                          const std::vector<MacBytes> &confirmationSources)
{
    captureprotocol::ProbeSenders senders;
    senders.senderIp = ProbeSenderAddress(settings).value_or(0);
    const auto addBlock = [&senders](MacBytes mac) {
        mac[5] &= 0xF0;
        if (std::find(senders.blocks.begin(), senders.blocks.end(), mac) == senders.blocks.end())
            senders.blocks.push_back(mac);
    };
    if (settings.ownMac)
        addBlock(settings.ownMac->bytes);
    for (const MacBytes &source : confirmationSources)
        addBlock(source);
    for (int column : {Sp1Column, Sp2Column}) {
        const std::optional<MacAddress> destination = settings.TestDestination(column);
        if (settings.TestEnabled(column) && destination && (destination->bytes[0] & 1) == 0)
            senders.extraDestinations.push_back(destination->bytes);
    }
    return senders;
}

QByteArray HexTextToBytes(const QString &text)
{
    QByteArray bytes;
    const QStringView view(text);
    qsizetype i = 0;
    while (i < view.size()) {
        const auto isSeparator = [&](qsizetype at) {
            const QChar c = view[at];
            return c == u' ' || c == u'\r' || c == u'\n';
        };
        if (isSeparator(i)) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < view.size() && !isSeparator(i))
            ++i;
        const QStringView token = view.mid(start, i - start);
        const auto value = token.size() <= 2 ? ParseHexDigits(token) : std::nullopt;
        if (!value)
            return QByteArray();
        bytes.append(char(*value));
    }
    return bytes;
}

std::optional<MacBytes> MacTextToBytes(const QString &text)
{
    const QByteArray bytes = HexTextToBytes(text);
    if (bytes.size() != 6)
        return std::nullopt;
    MacBytes mac;
    std::memcpy(mac.data(), bytes.constData(), 6);
    return mac;
}

std::optional<std::uint32_t> SenderOwnIp(const std::optional<IpAddress> &ownIp,
                                         const MessageSink &sink)
{
    if (!ownIp) {
        if (sink)
            sink(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "IP Address ERROR !!! ")));
        return std::nullopt;
    }
    return ownIp->ToIpv4();
}

} // namespace keelwatch
