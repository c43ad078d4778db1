#include "config/addresstext.h"
#include "config/netaddress.h"

#include <QString>

#include <cstdint>
#include <cstdlib>

using namespace keelwatch;

namespace {

void Check(const QString &text)
{
    const QString valid = ValidIpText(text);
    const qint64 number = IpTextToNumber(text);
    // Both read the same four fields: valid exactly when there is a number.
    if (valid.isEmpty() != (number < 0) || number > 0xFFFFFFFFll)
        std::abort();
    if (!valid.isEmpty() && IpTextToNumber(valid) != number)
        std::abort();
    IpTextToHexText(text, nullptr);
    IpTextToHexBytes(text, nullptr);

    const QString own = NormalizeOwnMac(text);
    if (NormalizeOwnMac(own) != own || (!own.isEmpty() && own.size() != 17))
        std::abort();
    const QString mac = NormalizeMac(text);
    if (NormalizeMac(mac) != mac)
        std::abort();

    // The address values read only what the text checks accept, and their
    // own texts read back as the same values.
    if (const auto ip = IpAddress::FromText(text)) {
        if (IpTextToNumber(text) != ip->ToIpv4() || IpAddress::FromText(ip->ToText()) != ip)
            std::abort();
    }
    const auto address = MacAddress::FromText(text);
    if (address && (mac.isEmpty() || MacAddress::FromText(address->ToText()) != address))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto *chars = reinterpret_cast<const char *>(data);
    Check(QString::fromUtf8(chars, qsizetype(size)));
    // As UTF-16 too, so that every code unit, control characters and lone
    // surrogates among them, is reached directly.
    Check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}
