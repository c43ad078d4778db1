#include "config/settings.h"

#include "config/addresstext.h"

#include <random>

using namespace Qt::StringLiterals;

namespace keelwatch {

QString NetworkAdapter::ItemText() const
{
    return address.ToText() + u" : "_s + name;
}

bool Settings::TestEnabled(int column) const
{
    const int i = column - FirstResultColumn;
    return i >= 0 && i < TestCount && tests[size_t(i)];
}

std::optional<MacAddress> Settings::TestDestination(int column) const
{
    if (column == Sp1Column)
        return sp1Mac;
    if (column == Sp2Column)
        return sp2Mac;
    const TestAddress *test = TestOfColumn(column);
    if (!test)
        return std::nullopt;
    return MacAddress::FromText(QStringView(test->destination));
}

std::optional<IpRange> Settings::Range() const
{
    const std::optional<IpAddress> first = IpFromText(from);
    const std::optional<IpAddress> last = IpFromText(to);
    if (!first || !last || *last < *first)
        return std::nullopt;
    return IpRange{*first, *last};
}

std::optional<SyslogTransport> SyslogTransportNamed(QStringView text)
{
    const QStringView name = text.trimmed();
    for (const SyslogTransport transport :
         {SyslogTransport::Udp, SyslogTransport::Tcp, SyslogTransport::Tls}) {
        if (name.compare(SyslogTransportWord(transport), Qt::CaseInsensitive) == 0)
            return transport;
    }
    return std::nullopt;
}

QString SyslogTransportWord(SyslogTransport transport)
{
    switch (transport) {
    case SyslogTransport::Udp:
        break;
    case SyslogTransport::Tcp:
        return u"tcp"_s;
    case SyslogTransport::Tls:
        return u"tls"_s;
    }
    return u"udp"_s;
}

std::optional<ProbeSenderIp> ProbeSenderIpNamed(QStringView text)
{
    const QStringView name = text.trimmed();
    for (const ProbeSenderIp senderIp : {ProbeSenderIp::Zero, ProbeSenderIp::Own}) {
        if (name.compare(ProbeSenderIpWord(senderIp), Qt::CaseInsensitive) == 0)
            return senderIp;
    }
    return std::nullopt;
}

QString ProbeSenderIpWord(ProbeSenderIp senderIp)
{
    return senderIp == ProbeSenderIp::Own ? u"own"_s : u"zero"_s;
}

std::optional<double> Settings::EstimatedSweepSeconds() const
{
    const std::optional<IpRange> range = Range();
    if (!range)
        return std::nullopt;
    const double addresses = double(range->Count());
    if (sendRate == 0)
        return addresses * nodeTimerMs / 1000.0;
    int frames = 0;
    for (int column = FirstResultColumn; column < FirstResultColumn + TestCount; ++column)
        frames += TestEnabled(column) ? packetCount : 0;
    return addresses * frames / sendRate;
}

MacAddress Settings::DrawOwnMac()
{
    std::random_device random;
    MacAddress mac;
    for (std::uint8_t &byte : mac.bytes)
        byte = std::uint8_t(random());
    mac.bytes[0] = std::uint8_t((mac.bytes[0] & 0xFC) | 0x02);
    mac.bytes[5] &= 0xF0;
    return mac;
}

} // namespace keelwatch
