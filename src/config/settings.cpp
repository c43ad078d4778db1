#include "config/settings.h"

#include "config/addresstext.h"
#include "config/integertext.h"
#include "config/setuprules.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

bool Settings::TestEnabled(int column) const
{
    const int i = column - FirstResultColumn;
    return i >= 0 && i < TestCount && tests[size_t(i)];
}

QString Settings::TestDestination(int column) const
{
    if (column == Sp1Column)
        return sp1Mac;
    if (column == Sp2Column)
        return sp2Mac;
    const TestAddress *test = TestOfColumn(column);
    return test ? QString::fromUtf16(test->destination) : QString();
}

QString Settings::AdapterName() const
{
    const qsizetype at = adapterItem.indexOf(u" : "_s);
    return at < 0 ? QString() : adapterItem.mid(at + 3);
}

int Settings::ScanTimerSeconds() const
{
    return ScanTimerExit(scanTimer).toInt();
}

int Settings::PacketCount() const
{
    return PacketNumberExit(packetNumber).toInt();
}

int Settings::NodeTimerMs() const
{
    return NodeTimerExit(nodeTimer).toInt();
}

int Settings::SendRatePerSecond() const
{
    return SendRateExit(sendRate).toInt();
}

namespace {

// An unreadable text takes the first-run value; a number out of range the
// nearest bound.
qint64 Clamped(const QString &text, qint64 fallback, qint64 low, qint64 high)
{
    const std::optional<qint64> value = ParseInteger(text.trimmed());
    return std::clamp(value.value_or(fallback), low, high);
}

} // namespace

std::optional<SyslogTransport> SyslogTransportNamed(const QString &text)
{
    const QString name = text.trimmed().toLower();
    if (name == u"udp"_s)
        return SyslogTransport::Udp;
    if (name == u"tcp"_s)
        return SyslogTransport::Tcp;
    if (name == u"tls"_s)
        return SyslogTransport::Tls;
    return std::nullopt;
}

SyslogTransport Settings::Transport() const
{
    // A store without the key, or with a word this version does not know,
    // keeps the datagrams every collector takes.
    return SyslogTransportNamed(syslogTransport).value_or(SyslogTransport::Udp);
}

qint64 Settings::SyslogSpoolBytes() const
{
    return Clamped(syslogSpoolKib, 1024, MinSyslogSpoolKib, MaxSyslogSpoolKib) * 1024;
}

int Settings::SyslogMessageLimit() const
{
    return int(Clamped(syslogMaxBytes, 2048, MinSyslogMessageBytes, MaxSyslogMessageBytes));
}

std::optional<double> Settings::EstimatedSweepSeconds() const
{
    const qint64 first = IpTextToNumber(from);
    const qint64 last = IpTextToNumber(to);
    if (first < 0 || last < first)
        return std::nullopt;
    const double addresses = double(last - first + 1);
    const int rate = SendRatePerSecond();
    if (rate == 0)
        return addresses * NodeTimerMs() / 1000.0;
    int frames = 0;
    for (int column = FirstResultColumn; column < FirstResultColumn + TestCount; ++column)
        frames += TestEnabled(column) ? PacketCount() : 0;
    return addresses * frames / rate;
}

} // namespace keelwatch
