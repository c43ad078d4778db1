#include "config/settings.h"

#include "config/setuprules.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

bool Settings::testEnabled(int column) const
{
    const int i = column - FirstResultColumn;
    return i >= 0 && i < TestCount && tests[size_t(i)];
}

QString Settings::adapterName() const
{
    const qsizetype at = adapterItem.indexOf(u" : "_s);
    return at < 0 ? QString() : adapterItem.mid(at + 3);
}

int Settings::scanTimerSeconds() const
{
    return ScanTimerExit(scanTimer).toInt();
}

int Settings::packetCount() const
{
    return PacketNumberExit(packetNumber).toInt();
}

int Settings::nodeTimerMs() const
{
    return NodeTimerExit(nodeTimer).toInt();
}

} // namespace keelwatch
