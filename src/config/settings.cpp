#include "config/settings.h"

#include "config/addresstext.h"
#include "config/setuprules.h"

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
