#include "config/adapterlist.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

QByteArray NameBuffer(const QStringList &names)
{
    QString text;
    for (const QString &name : names)
        text += name + QChar(0);
    text += QChar(0);
    return text.toLocal8Bit();
}

class FakeDriver : public AdapterSource
{
  public:
    QString version = u"1.10.3"_s;
    QByteArray names;
    std::map<QByteArray, quint32> addresses;
    std::set<QByteArray> notEthernet;

    QString PacketGetVersion() const override { return version; }
    QByteArray PacketGetAdapterNames() const override { return names; }
    std::optional<quint32> PacketGetNetInfoEx(const QByteArray &name) const override
    {
        const auto it = addresses.find(name);
        return it == addresses.end() ? std::nullopt : std::optional<quint32>(it->second);
    }
    bool IsEthernet(const QByteArray &name) const override { return !notEthernet.contains(name); }
};

// The item texts the Setup dialog lists.
QStringList Items(const AdapterList &list)
{
    QStringList items;
    for (const NetworkAdapter &adapter : list.adapters)
        items.append(adapter.ItemText());
    return items;
}

struct VersionCase
{
    const char *version;
    const char16_t *driverVersion;
    const char16_t *panel;
};

class DriverVersions : public testing::TestWithParam<VersionCase>
{
};

TEST_P(DriverVersions, GiveThePanelText)
{
    const VersionCase &c = GetParam();
    FakeDriver driver;
    driver.version = QString::fromLatin1(c.version);
    driver.names = NameBuffer({u"eth0"_s, u"wlan0"_s});
    driver.addresses = {{"eth0", 0xC0A80A0A}, {"wlan0", 0x0A000001}};

    const AdapterList list = FillAdapterList(driver);

    EXPECT_EQ(list.driverVersion, QString::fromUtf16(c.driverVersion));
    EXPECT_EQ(list.panelText, QString::fromUtf16(c.panel));
    EXPECT_EQ(Items(list), QStringList({u"192.168.10.10 : eth0"_s, u"10.0.0.1 : wlan0"_s}));
}

INSTANTIATE_TEST_SUITE_P(
    AdapterList, DriverVersions,
    testing::Values(VersionCase{"3.0 alpha", u"3.0", u"3.0 alpha"},
                    VersionCase{"3.01", u"3.01", u"3.01"},
                    VersionCase{"libpcap version 1.10.3 (with TPACKET_V3)", u"1.10",
                                u"libpcap version 1.10.3 (with TPACKET_V3)"},
                    VersionCase{"libpcap version", u"libp", u"libpcap version"}),
    [](const testing::TestParamInfo<VersionCase> &info) {
        std::string name = info.param.version;
        for (char &c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(AdapterList, AdaptersWithoutAddressAreLeftOutInDriverOrder)
{
    FakeDriver driver;
    driver.names = NameBuffer({u"b"_s, u"nothing"_s, u"a"_s, u"c"_s});
    driver.addresses = {{"a", 0x0A000001}, {"b", 0x0A000001}, {"c", 0x7F000001}};
    EXPECT_EQ(Items(FillAdapterList(driver)),
              QStringList({u"10.0.0.1 : b"_s, u"10.0.0.1 : a"_s, u"127.0.0.1 : c"_s}));
}

TEST(AdapterList, AdaptersKeepTheirNameAddressAndWhetherTheyAreEthernet)
{
    FakeDriver driver;
    driver.names = NameBuffer({u"kw-scan"_s, u"lo"_s});
    driver.addresses = {{"kw-scan", 0x0A4D0001}, {"lo", 0x7F000001}};
    driver.notEthernet = {"lo"};
    const NetworkAdapters expected = {{u"kw-scan"_s, IpAddress::FromIpv4(0x0A4D0001), true},
                                      {u"lo"_s, IpAddress::FromIpv4(0x7F000001), false}};
    EXPECT_EQ(FillAdapterList(driver).adapters, expected);
}

TEST(AdapterList, NameBufferWithoutDoubleZeroGivesNoAdapters)
{
    FakeDriver driver;
    driver.names = QByteArray("eth0\0wlan0", 10);
    driver.addresses = {{"eth0", 1}};
    EXPECT_TRUE(FillAdapterList(driver).adapters.isEmpty());
    EXPECT_TRUE(AdapterNamesFromBuffer(QByteArray()).isEmpty());
}

TEST(AdapterList, NamesEndAtTheFirstDoubleZero)
{
    const QByteArray buffer("eth0\0lo\0\0stale\0\0", 17);
    EXPECT_EQ(AdapterNamesFromBuffer(buffer), QStringList({u"eth0"_s, u"lo"_s}));
}

} // namespace
