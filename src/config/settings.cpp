#include "config/settings.h"

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

} // namespace keelwatch
