#include "config/addresstext.h"
#include "config/settingsstore.h"
#include "sensor/sensoroptions.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>

using namespace Qt::StringLiterals;
using namespace keelwatch;

namespace {

const NetworkAdapters Adapters = {{u"wire0"_s, IpAddress::FromIpv4(0x0A4D0001)},
                                  {u"eth1"_s, IpAddress::FromIpv4(0xC0A80509)},
                                  {u"lo"_s, IpAddress::FromIpv4(0x7F000001), false}};

SensorCommand Parse(const QStringList &arguments)
{
    return ParseSensorCommand(QStringList{u"keelwatch-sensor"_s} + arguments, Adapters);
}

const QStringList Minimal = {u"-i"_s, u"wire0"_s, u"-r"_s, u"10.77.0.0/24"_s};

struct RefusedCase
{
    const char *name;
    QStringList arguments;
    // The option the message names.
    QString named;
};

void PrintTo(const RefusedCase &c, std::ostream *os)
{
    *os << c.name;
}

class RefusedCommandLine : public ::testing::TestWithParam<RefusedCase>
{
};

TEST_P(RefusedCommandLine, NamesTheOptionAndRunsNothing)
{
    const SensorCommand command = Parse(GetParam().arguments);
    EXPECT_EQ(command.action, SensorCommand::Action::Refuse);
    EXPECT_TRUE(command.text.contains(GetParam().named)) << command.text.toStdString();
}

QStringList With(const QStringList &more)
{
    return Minimal + more;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedCommandLine,
    ::testing::Values(
        RefusedCase{"NoInterface", {u"-r"_s, u"10.77.0.0/24"_s}, u"--interface"_s},
        RefusedCase{
            "UnknownInterface", {u"-i"_s, u"wire9"_s, u"-r"_s, u"10.0.0.0/24"_s}, u"wire9"_s},
        RefusedCase{"NoRange", {u"-i"_s, u"wire0"_s}, u"--range"_s},
        RefusedCase{"RangeBackwards", With({u"-r"_s, u"10.0.0.9-10.0.0.1"_s}), u"--range"_s},
        RefusedCase{"RangeNotAnAddress", With({u"-r"_s, u"10.0.0.1-10.0.0.256"_s}), u"--range"_s},
        RefusedCase{"RangeWithBlanks", With({u"-r"_s, u"10 0 0 1-10.0.0.2"_s}), u"--range"_s},
        RefusedCase{"RangeOneAddress", With({u"-r"_s, u"10.0.0.1"_s}), u"--range"_s},
        RefusedCase{"CidrPrefixTooLong", With({u"-r"_s, u"10.0.0.0/33"_s}), u"--range"_s},
        RefusedCase{"CidrPrefixNotANumber", With({u"-r"_s, u"10.0.0.0/x"_s}), u"--range"_s},
        RefusedCase{"CidrTwoSlashes", With({u"-r"_s, u"10.0.0.0/24/8"_s}), u"--range"_s},
        RefusedCase{"UnknownTest", With({u"-t"_s, u"Br,B48"_s}), u"B48"_s},
        RefusedCase{"EmptyTestName", With({u"-t"_s, u"Br,,Gr"_s}), u"--tests"_s},
        RefusedCase{"S1WithoutAddress", With({u"-t"_s, u"S1"_s}), u"--s1"_s},
        RefusedCase{"S2AddressTooShort", With({u"-t"_s, u"S2"_s, u"--s2"_s, u"01:00:5E:00:00"_s}),
                    u"--s2"_s},
        RefusedCase{"S1MixedSeparators", With({u"--s1"_s, u"01:00-5E:00:00:02"_s}), u"--s1"_s},
        RefusedCase{"OwnMacNotHex", With({u"--own-mac"_s, u"00:11:22:33:44:GG"_s}), u"--own-mac"_s},
        RefusedCase{"OwnMacGroupAddress", With({u"--own-mac"_s, u"01:00:5E:00:00:00"_s}),
                    u"--own-mac"_s},
        RefusedCase{"InterfaceWithoutEthernet",
                    {u"-i"_s, u"lo"_s, u"-r"_s, u"127.0.0.0/24"_s},
                    u"'lo' is no Ethernet interface"_s},
        RefusedCase{"RangeLargerThanA16", With({u"-r"_s, u"10.0.0.0/15"_s}),
                    u"--allow-large-range"_s},
        RefusedCase{"RangeWholeInternet", With({u"-r"_s, u"0.0.0.0/0"_s}),
                    u"--allow-large-range"_s},
        RefusedCase{"RangeOneAddressMoreThanA16", With({u"-r"_s, u"10.0.0.0-10.1.0.0"_s}),
                    u"--allow-large-range"_s},
        RefusedCase{"IntervalZero", With({u"--interval"_s, u"0"_s}), u"--interval"_s},
        RefusedCase{"IntervalTooLong", With({u"--interval"_s, u"61"_s}), u"--interval"_s},
        RefusedCase{"IntervalFraction", With({u"--interval"_s, u"1.5"_s}), u"--interval"_s},
        RefusedCase{"NodeTimerNegative", With({u"--node-timer"_s, u"-1"_s}), u"--node-timer"_s},
        RefusedCase{"NodeTimerTooLong", With({u"--node-timer"_s, u"60001"_s}), u"--node-timer"_s},
        RefusedCase{"SendRateNegative", With({u"--send-rate"_s, u"-1"_s}), u"--send-rate"_s},
        RefusedCase{"SendRateBeyondTheWire", With({u"--send-rate"_s, u"1000001"_s}),
                    u"--send-rate"_s},
        RefusedCase{"PacketsZero", With({u"--packets"_s, u"0"_s}), u"--packets"_s},
        RefusedCase{"PacketsHuge", With({u"--packets"_s, u"99999999999"_s}), u"--packets"_s},
        RefusedCase{"FrameUnknown", With({u"--frame"_s, u"ethernet2"_s}), u"--frame"_s},
        RefusedCase{"ProbeSenderIpAnAddress", With({u"--probe-sender-ip"_s, u"10.77.0.1"_s}),
                    u"--probe-sender-ip"_s},
        RefusedCase{"LogInMissingFolder", With({u"--log"_s, u"/nonexistent/dir/k.log"_s}),
                    u"--log"_s},
        RefusedCase{"LogIsAFolder", With({u"--log"_s, u"/tmp"_s}), u"--log"_s},
        RefusedCase{"SyslogNotAnAddress", With({u"--syslog"_s, u"loghost"_s}), u"--syslog"_s},
        RefusedCase{"SyslogNullAddress", With({u"--syslog"_s, u"0.0.0.0"_s}), u"--syslog"_s},
        RefusedCase{"SyslogFormatUnknown", With({u"--syslog-format"_s, u"rfc5425"_s}),
                    u"--syslog-format"_s},
        RefusedCase{"TransportUnknown", With({u"--syslog-transport"_s, u"relp"_s}),
                    u"--syslog-transport"_s},
        RefusedCase{
            "CaFileMissing",
            With({u"--syslog-transport"_s, u"tls"_s, u"--syslog-ca"_s, u"/nonexistent.pem"_s}),
            u"--syslog-ca"_s},
        RefusedCase{"CertificateIsAFolder",
                    With({u"--syslog-transport"_s, u"tls"_s, u"--syslog-cert"_s, u"/tmp"_s}),
                    u"--syslog-cert"_s},
        RefusedCase{"CertificatesWithoutTls", With({u"--syslog-ca"_s, u"/etc/hostname"_s}),
                    u"--syslog-transport"_s},
        RefusedCase{"SpoolTooSmall", With({u"--syslog-spool-size"_s, u"15"_s}),
                    u"--syslog-spool-size"_s},
        RefusedCase{"MessageSizeBelowTheMinimum", With({u"--syslog-max-size"_s, u"479"_s}),
                    u"--syslog-max-size"_s},
        RefusedCase{"SettingsMissing", With({u"--settings"_s, u"/nonexistent.conf"_s}),
                    u"--settings"_s},
        RefusedCase{"UnknownOption", With({u"--promisc"_s}), u"promisc"_s},
        RefusedCase{"StrayArgument", With({u"eth0"_s}), u"eth0"_s}));

struct RangeCase
{
    const char *name;
    QString range;
    QString from;
    QString to;
};

void PrintTo(const RangeCase &c, std::ostream *os)
{
    *os << c.name;
}

class RangeOption : public ::testing::TestWithParam<RangeCase>
{
};

TEST_P(RangeOption, GivesTheFirstAndLastAddressProbed)
{
    const SensorCommand command = Parse({u"-i"_s, u"wire0"_s, u"-r"_s, GetParam().range});
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    EXPECT_EQ(command.options.settings.from, GetParam().from);
    EXPECT_EQ(command.options.settings.to, GetParam().to);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RangeOption,
    ::testing::Values(
        RangeCase{"FromTo", u"10.77.0.11-10.77.0.22"_s, u"10.77.0.11"_s, u"10.77.0.22"_s},
        // Leading zeros would read as octal elsewhere.
        RangeCase{"LeadingZeros", u"010.077.000.011-10.77.0.11"_s, u"10.77.0.11"_s,
                  u"10.77.0.11"_s},
        RangeCase{"Cidr24LeavesOutNetworkAndBroadcast", u"192.168.0.0/24"_s, u"192.168.0.1"_s,
                  u"192.168.0.254"_s},
        RangeCase{"CidrHostBitsIgnored", u"192.168.0.77/30"_s, u"192.168.0.77"_s,
                  u"192.168.0.78"_s},
        RangeCase{"Cidr31HasBoth", u"10.0.0.4/31"_s, u"10.0.0.4"_s, u"10.0.0.5"_s},
        RangeCase{"Cidr32IsOneAddress", u"10.0.0.4/32"_s, u"10.0.0.4"_s, u"10.0.0.4"_s},
        RangeCase{"Cidr16", u"172.16.9.9/16"_s, u"172.16.0.1"_s, u"172.16.255.254"_s},
        RangeCase{"AWhole16", u"172.16.0.0-172.16.255.255"_s, u"172.16.0.0"_s,
                  u"172.16.255.255"_s}));

TEST(SensorCommandLine, LargerRangeIsSweptWhenAskedFor)
{
    const SensorCommand command =
        Parse({u"-i"_s, u"wire0"_s, u"-r"_s, u"10.0.0.0/15"_s, u"--allow-large-range"_s});
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    EXPECT_EQ(command.options.settings.Range()->Count(), 131070u);
}

// The value an option's help gives after "--name <value>", up to the next
// option.
QString HelpOf(const QString &help, const QString &option)
{
    const qsizetype at = help.indexOf(u"--"_s + option + u" <"_s);
    EXPECT_GE(at, 0) << option.toStdString();
    const qsizetype next = help.indexOf(u" --"_s, at + 2);
    return help.mid(at, next < 0 ? -1 : next - at);
}

// Every value the help offers is one the options take: the ends and the
// default of each number, each test name, the default own MAC.
TEST(SensorCommandLine, EveryValueTheHelpOffersIsAccepted)
{
    const SensorCommand help = Parse({u"--help"_s});
    ASSERT_EQ(help.action, SensorCommand::Action::Help);
    const QString text = help.text.simplified();
    static const QRegularExpression limits(u"(\\d+) to (\\d+) \\(default (\\d+)\\)"_s);
    for (const QString &option : {u"interval"_s, u"node-timer"_s, u"send-rate"_s, u"packets"_s}) {
        const QRegularExpressionMatch offered = limits.match(HelpOf(text, option));
        ASSERT_TRUE(offered.hasMatch()) << option.toStdString();
        for (int value = 1; value <= 3; ++value) {
            const SensorCommand command = Parse(With({u"--"_s + option, offered.captured(value)}));
            EXPECT_EQ(command.action, SensorCommand::Action::Run)
                << option.toStdString() << " " << command.text.toStdString();
        }
    }
    const QString tests =
        HelpOf(text, u"tests"_s).section(u"comma-separated: "_s, 1).section(u' ', 0, 0);
    ASSERT_FALSE(tests.isEmpty());
    for (const QString &name : tests.split(u','))
        EXPECT_EQ(Parse(With({u"-t"_s, name, u"--s1"_s, u"01:00:5E:00:00:02"_s, u"--s2"_s,
                              u"01:00:5E:00:00:04"_s}))
                      .action,
                  SensorCommand::Action::Run)
            << name.toStdString();
    // No own MAC is offered: each installation draws its own.
    EXPECT_TRUE(HelpOf(text, u"own-mac"_s).contains(u"drawn for this installation"_s));
}

TEST(SensorCommandLine, OptionsBecomeTheDesktopProgramsSettings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const SensorCommand command = Parse({u"--interface"_s,
                                         u"eth1"_s,
                                         u"--range"_s,
                                         u"192.168.5.1-192.168.5.20"_s,
                                         u"--tests"_s,
                                         u"b47,M3,S1"_s,
                                         u"--s1"_s,
                                         u"01-00-5e-00-00-02"_s,
                                         u"--list-mode"_s,
                                         u"--interval"_s,
                                         u"60"_s,
                                         u"--node-timer"_s,
                                         u"0"_s,
                                         u"--send-rate"_s,
                                         u"20000"_s,
                                         u"--packets"_s,
                                         u"10"_s,
                                         u"--frame"_s,
                                         u"ieee802.3"_s,
                                         u"--probe-sender-ip"_s,
                                         u"own"_s,
                                         u"--log"_s,
                                         dir.filePath(u"k.log"_s),
                                         u"--syslog"_s,
                                         u"192.168.5.010"_s,
                                         u"--syslog-format"_s,
                                         u"5424"_s,
                                         u"--json"_s});
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    const Settings &s = command.options.settings;
    EXPECT_EQ(s.adapter, Adapters[1]);
    EXPECT_EQ(s.ownIp, IpAddress::FromIpv4(0xC0A80509));
    // None given: the sensor takes its installation's kept one when it starts.
    EXPECT_EQ(s.ownMac, std::nullopt);
    // Br always, as it finds the nodes the other tests are judged against.
    EXPECT_EQ(s.tests,
              (TestFlags{true, true, false, false, false, false, false, true, true, false}));
    EXPECT_EQ(s.sp1Mac, MacFromText(u"01 00 5E 00 00 02"_s));
    EXPECT_TRUE(s.listMode);
    EXPECT_TRUE(s.cyclic);
    EXPECT_EQ(s.scanTimerSeconds, 60);
    EXPECT_EQ(s.nodeTimerMs, 0);
    EXPECT_EQ(s.sendRate, 20000);
    EXPECT_EQ(s.packetCount, 10);
    EXPECT_EQ(s.format, FrameFormat::Ieee8023);
    EXPECT_EQ(s.probeSenderIp, ProbeSenderIp::Own);
    EXPECT_EQ(s.logPath, dir.filePath(u"k.log"_s));
    EXPECT_TRUE(s.syslog);
    EXPECT_EQ(s.syslogServer, IpFromText(u"192.168.5.10"_s));
    EXPECT_TRUE(s.syslogRfc5424);
    EXPECT_TRUE(command.options.json);
    EXPECT_FALSE(command.options.once);
}

TEST(SensorCommandLine, SyslogTransportOptionsBecomeSettings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ca = dir.filePath(u"ca.pem"_s);
    QFile file(ca);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    SensorCommand command = Parse(
        With({u"--syslog"_s, u"10.77.0.2"_s, u"--syslog-transport"_s, u"TLS"_s, u"--syslog-ca"_s,
              ca, u"--syslog-spool-size"_s, u"65536"_s, u"--syslog-max-size"_s, u"480"_s}));
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    const keelwatch::Settings &s = command.options.settings;
    EXPECT_EQ(s.syslogTransport, keelwatch::SyslogTransport::Tls);
    EXPECT_EQ(s.syslogCaFile, ca);
    EXPECT_TRUE(s.syslogCertFile.isEmpty());
    EXPECT_EQ(s.SyslogSpoolBytes(), 65536 * 1024);
    EXPECT_EQ(s.syslogMaxBytes, 480);

    // Without the options: UDP, as collectors have always taken syslog.
    command = Parse(With({u"--syslog"_s, u"10.77.0.2"_s}));
    EXPECT_EQ(command.options.settings.syslogTransport, keelwatch::SyslogTransport::Udp);
    EXPECT_EQ(command.options.settings.syslogMaxBytes, 2048);
}

TEST(SensorCommandLine, DefaultsWriteNoFileAndSendNothingButProbes)
{
    const SensorCommand command = Parse(Minimal + QStringList{u"--once"_s});
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    const Settings &s = command.options.settings;
    EXPECT_EQ(s.logPath, QString());
    EXPECT_FALSE(s.syslog);
    EXPECT_FALSE(s.listMode);
    EXPECT_FALSE(s.cyclic);
    EXPECT_EQ(s.sendRate, 2000);
    EXPECT_EQ(s.tests, DefaultTestFlags());
    EXPECT_FALSE(s.syslogRfc5424);
    EXPECT_EQ(s.probeSenderIp, ProbeSenderIp::Zero);
}

// The desktop program's stored settings, then the options given on top.
TEST(SensorCommandLine, SettingsFileGivesEverythingOptionsOverride)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"keelwatch.conf"_s);
    Settings stored;
    stored.from = u"10.77.0.11"_s;
    stored.to = u"10.77.0.22"_s;
    stored.adapter = Adapters[0];
    stored.ownIp = IpFromText(u"10.77.0.1"_s);
    stored.ownMac = OwnMacFromText(u"02 00 00 00 00 10"_s);
    stored.packetCount = 2;
    stored.logPath = dir.filePath(u"stored.log"_s);
    stored.syslog = true;
    stored.syslogServer = IpFromText(u"10.77.0.2"_s);
    stored.probeSenderIp = ProbeSenderIp::Own;
    {
        QSettings store(path, QSettings::IniFormat);
        ASSERT_TRUE(WriteSettingsStore(stored, store, [](const QString &) {}));
    }

    const SensorCommand command = ParseSensorCommand(
        {u"keelwatch-sensor"_s, u"--settings"_s, path, u"--packets"_s, u"4"_s}, Adapters);
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    const Settings &s = command.options.settings;
    EXPECT_EQ(s.adapter, stored.adapter);
    EXPECT_EQ(s.from, stored.from);
    EXPECT_EQ(s.to, stored.to);
    EXPECT_EQ(s.ownMac, stored.ownMac);
    EXPECT_EQ(s.logPath, stored.logPath);
    EXPECT_EQ(s.syslogServer, stored.syslogServer);
    EXPECT_EQ(s.probeSenderIp, ProbeSenderIp::Own);
    EXPECT_EQ(s.packetCount, 4);

    // The own MAC every installation once shared is not taken from a file.
    stored.ownMac = Settings::DefaultOwnMac();
    {
        QSettings store(path, QSettings::IniFormat);
        ASSERT_TRUE(WriteSettingsStore(stored, store, [](const QString &) {}));
    }
    EXPECT_EQ(ParseSensorCommand({u"keelwatch-sensor"_s, u"--settings"_s, path}, Adapters)
                  .options.settings.ownMac,
              std::nullopt);

    // The stored interface is gone from this machine: it must be named.
    const SensorCommand elsewhere =
        ParseSensorCommand({u"keelwatch-sensor"_s, u"--settings"_s, path}, {Adapters[1]});
    EXPECT_EQ(elsewhere.action, SensorCommand::Action::Refuse);
    EXPECT_TRUE(elsewhere.text.contains(u"--interface"_s)) << elsewhere.text.toStdString();
    EXPECT_TRUE(elsewhere.text.contains(path + u": NIC: "_s)) << elsewhere.text.toStdString();
}

// A settings file in dir holding text.
QString WrittenFile(const QTemporaryDir &dir, QByteArrayView text)
{
    EXPECT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"keelwatch.conf"_s);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text.data(), text.size());
    return path;
}

// A value only a data stream could read is skipped, not decoded; the rest
// of the file still counts.
TEST(SensorCommandLine, SettingsFileWithAStreamedValueGivesTheRest)
{
    QTemporaryDir dir;
    const QString path =
        WrittenFile(dir, "[General]\nPNUM=2\nIVTIME=@Variant(\\0\\0\\0\\t(1 2 3 4)\n");
    const SensorCommand command = Parse(With({u"--settings"_s, path}));
    ASSERT_EQ(command.action, SensorCommand::Action::Run) << command.text.toStdString();
    EXPECT_EQ(command.options.settings.packetCount, 2);
}

// A file holding no key of Keelwatch is no settings file of it, whatever
// else it holds.
TEST(SensorCommandLine, SettingsFileWithoutSettingsIsRefusedByName)
{
    for (const QByteArrayView text :
         {QByteArrayView(""), QByteArrayView("[General]\ncolour=blue\n[Other]\nTIPF=10.0.0.1\n")}) {
        QTemporaryDir dir;
        const QString path = WrittenFile(dir, text);
        const SensorCommand command = Parse(With({u"--settings"_s, path}));
        EXPECT_EQ(command.action, SensorCommand::Action::Refuse);
        EXPECT_TRUE(command.text.contains(u"--settings"_s)) << command.text.toStdString();
        EXPECT_TRUE(command.text.contains(path)) << command.text.toStdString();
    }
}

// A value from the settings file that a scan cannot start with is refused
// before anything starts, naming the file and the key.
struct StoredRefusal
{
    const char *name;
    std::function<void(Settings &)> change;
    QString key;
};

void PrintTo(const StoredRefusal &c, std::ostream *os)
{
    *os << c.name;
}

class RefusedSettingsFile : public ::testing::TestWithParam<StoredRefusal>
{
};

TEST_P(RefusedSettingsFile, NamesTheFileAndTheKey)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(u"keelwatch.conf"_s);
    Settings stored;
    stored.from = u"10.77.0.11"_s;
    stored.to = u"10.77.0.22"_s;
    stored.adapter = Adapters[0];
    stored.ownIp = Adapters[0].address;
    {
        QSettings store(path, QSettings::IniFormat);
        ASSERT_TRUE(WriteSettingsStore(stored, store, [](const QString &) {}));
    }
    ASSERT_EQ(Parse({u"--settings"_s, path}).action, SensorCommand::Action::Run);
    GetParam().change(stored);
    {
        QSettings store(path, QSettings::IniFormat);
        ASSERT_TRUE(WriteSettingsStore(stored, store, [](const QString &) {}));
    }
    const SensorCommand command = Parse({u"--settings"_s, path});
    EXPECT_EQ(command.action, SensorCommand::Action::Refuse);
    EXPECT_TRUE(
        command.text.contains(u"--settings: "_s + path + u": "_s + GetParam().key + u": "_s))
        << command.text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedSettingsFile,
    ::testing::Values(
        StoredRefusal{"FromNoAddress", [](Settings &s) { s.from = u"10.77.0.300"_s; }, u"TIPF"_s},
        StoredRefusal{"NoTo", [](Settings &s) { s.to.clear(); }, u"TIPT"_s},
        StoredRefusal{"RangeBackwards", [](Settings &s) { s.to = u"10.77.0.1"_s; }, u"TIPT"_s},
        StoredRefusal{"RangeLargerThanA16", [](Settings &s) { s.to = u"10.79.0.1"_s; }, u"TIPT"_s},
        StoredRefusal{"InterfaceWithoutEthernet", [](Settings &s) { s.adapter = Adapters[2]; },
                      u"NIC"_s},
        StoredRefusal{"NoOwnIp", [](Settings &s) { s.ownIp.reset(); }, u"OIP"_s},
        StoredRefusal{"S2WithoutAddress",
                      [](Settings &s) { s.tests[size_t(TestIndex(u"SP2"))] = true; }, u"FS2MAC"_s},
        StoredRefusal{"SyslogWithoutServer", [](Settings &s) { s.syslog = true; }, u"SyslogServ"_s},
        // Certificates only mean something to a TLS stream.
        StoredRefusal{"CertificateWithoutTls",
                      [](Settings &s) { s.syslogCaFile = u"/etc/ssl/ca.pem"_s; },
                      u"SyslogTransport"_s}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
