#pragma once

#include <QHashFunctions>
#include <QString>
#include <QStringView>

#include <array>
#include <compare>
#include <cstdint>
#include <optional>

namespace keelwatch {

// A node's IP address as a value. IPv4 addresses are held in their
// IPv4-mapped IPv6 form (::ffff:a.b.c.d), so the type can take IPv6
// addresses later without changing any code that stores or compares it;
// byte order makes the ordering numeric.
class IpAddress
{
  public:
    constexpr IpAddress() = default;

    static constexpr IpAddress FromIpv4(std::uint32_t address)
    {
        IpAddress ip;
        ip.bytes[10] = 0xFF;
        ip.bytes[11] = 0xFF;
        ip.bytes[12] = std::uint8_t(address >> 24);
        ip.bytes[13] = std::uint8_t(address >> 16);
        ip.bytes[14] = std::uint8_t(address >> 8);
        ip.bytes[15] = std::uint8_t(address);
        return ip;
    }
    // Four dotted decimal numbers 0 to 255, nothing else (no blanks, no
    // empty fields); leading zeros are read as decimal.
    static std::optional<IpAddress> FromText(QStringView text);

    constexpr bool IsIpv4() const
    {
        for (int i = 0; i < 10; ++i) {
            if (bytes[size_t(i)] != 0)
                return false;
        }
        return bytes[10] == 0xFF && bytes[11] == 0xFF;
    }
    // The IPv4 address, first octet most significant; 0 for another family.
    constexpr std::uint32_t ToIpv4() const
    {
        if (!IsIpv4())
            return 0;
        return std::uint32_t(bytes[12]) << 24 | std::uint32_t(bytes[13]) << 16 |
               std::uint32_t(bytes[14]) << 8 | bytes[15];
    }
    // Dotted decimal without leading zeros.
    QString ToText() const;

    constexpr auto operator<=>(const IpAddress &) const = default;
    constexpr bool operator==(const IpAddress &) const = default;

    friend size_t qHash(const IpAddress &ip, size_t seed = 0) noexcept
    {
        return qHashBits(ip.bytes.data(), ip.bytes.size(), seed);
    }

  private:
    std::array<std::uint8_t, 16> bytes{};
};

// A MAC address as its six bytes.
struct MacAddress
{
    std::array<std::uint8_t, 6> bytes{};

    static constexpr MacAddress FromBytes(const std::uint8_t *six)
    {
        MacAddress mac;
        for (int i = 0; i < 6; ++i)
            mac.bytes[size_t(i)] = six[i];
        return mac;
    }
    // Six hex bytes of one or two digits separated by ":", "-" or blanks.
    static std::optional<MacAddress> FromText(QStringView text);

    // Upper-case two-digit bytes joined by separator: "00:0C:29:AA:BB:CC".
    QString ToText(QChar separator = QChar(u':')) const;
    // The vendor part, the first three bytes, as a number: 0x000C29.
    constexpr std::uint32_t Oui() const
    {
        return std::uint32_t(bytes[0]) << 16 | std::uint32_t(bytes[1]) << 8 | bytes[2];
    }
    constexpr bool IsGroup() const { return (bytes[0] & 1) != 0; }
    constexpr bool IsZero() const
    {
        for (std::uint8_t b : bytes) {
            if (b != 0)
                return false;
        }
        return true;
    }

    constexpr auto operator<=>(const MacAddress &) const = default;
    constexpr bool operator==(const MacAddress &) const = default;

    friend size_t qHash(const MacAddress &mac, size_t seed = 0) noexcept
    {
        return qHashBits(mac.bytes.data(), mac.bytes.size(), seed);
    }
};

} // namespace keelwatch
