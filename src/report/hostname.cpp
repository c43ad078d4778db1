#include "report/hostname.h"

#include <unistd.h>

#include <array>

namespace keelwatch {

QByteArray ShortHostName(const QByteArray &reported)
{
    // Syslog wants the bare host name, and the 15-byte limit is that of the
    // computer names the message format was built around.
    QByteArray name = reported;
    const qsizetype dot = name.indexOf('.');
    if (dot >= 0)
        name.truncate(dot);
    name.truncate(HostNameLimit);
    return name.isEmpty() ? QByteArrayLiteral("unknown") : name;
}

QByteArray SystemHostName()
{
    std::array<char, 256> buffer{};
    if (gethostname(buffer.data(), buffer.size() - 1) != 0)
        return QByteArray();
    return QByteArray(buffer.data());
}

QByteArray LocalHostName()
{
    return ShortHostName(SystemHostName());
}

} // namespace keelwatch
