#include "sensor/sensoroptions.h"

#include "config/addresstext.h"
#include "config/settingsstore.h"
#include "config/setuprules.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

struct Refusal
{
    QString text;
};

QString Named(const QString &option, const QString &why)
{
    return u"--"_s + option + u": "_s + why;
}

// A value read from the --settings file, named by its key and the file.
QString FromFile(const QString &path, const QString &key, const QString &why)
{
    return Named(u"settings"_s, path + u": "_s + key + u": "_s + why);
}

// A whole decimal number from low to high, nothing else.
int Bounded(const QString &option, const QString &text, int low, int high)
{
    static const QRegularExpression digits(u"^[0-9]{1,9}$"_s);
    const qint64 value = digits.match(text).hasMatch() ? text.toLongLong() : -1;
    if (value < low || value > high)
        throw Refusal{Named(
            option, u"'%1' is not a whole number from %2 to %3"_s.arg(text).arg(low).arg(high))};
    return int(value);
}

int Bounded(const QString &option, const QString &text, const NumberRule &rule)
{
    return Bounded(option, text, rule.low, rule.high);
}

// A word of an enumeration, as named reads it; refused with the words
// there are.
template <typename Value>
Value Word(const QString &option, const QString &text, std::optional<Value> (*named)(QStringView),
           const QString &words)
{
    const std::optional<Value> value = named(text);
    if (!value)
        throw Refusal{Named(option, u"'%1' is %2"_s.arg(text, words))};
    return *value;
}

quint32 Address(const QString &option, const QString &text)
{
    const QString valid = ValidIpText(text);
    // Blanks also separate the fields of a typed address; on a command line
    // they only hide a mistake.
    if (valid.isEmpty() || valid.contains(u' '))
        throw Refusal{Named(option, u"'%1' is no IPv4 address"_s.arg(text))};
    return quint32(IpTextToNumber(valid));
}

// FROM-TO, or a CIDR block without its network and broadcast addresses
// (a /31 or /32 has none to leave out).
std::pair<QString, QString> Range(const QString &text)
{
    quint32 first = 0;
    quint32 last = 0;
    if (text.contains(u'/')) {
        const QStringList parts = text.split(u'/');
        const quint32 base = Address(u"range"_s, parts[0]);
        const int prefix = parts.size() == 2 ? Bounded(u"range"_s, parts[1], 0, 32) : -1;
        if (prefix < 0)
            throw Refusal{Named(u"range"_s, u"'%1' is no CIDR block"_s.arg(text))};
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        first = base & mask;
        last = first | ~mask;
        if (prefix < 31) {
            ++first;
            --last;
        }
    } else {
        const QStringList parts = text.split(u'-');
        if (parts.size() != 2)
            throw Refusal{
                Named(u"range"_s, u"'%1' is neither FROM-TO nor a CIDR block"_s.arg(text))};
        first = Address(u"range"_s, parts[0]);
        last = Address(u"range"_s, parts[1]);
        if (first > last)
            throw Refusal{Named(u"range"_s, u"'%1' ends before it starts"_s.arg(text))};
    }
    return {IpNumberToText(first), IpNumberToText(last)};
}

// Six two-digit hex bytes, separated all alike by ":", "-" or blanks.
MacAddress TestMac(const QString &option, const QString &text)
{
    static const QRegularExpression mac(
        u"^[0-9A-Fa-f]{2}([-: ])[0-9A-Fa-f]{2}(\\1[0-9A-Fa-f]{2}){4}$"_s);
    const std::optional<MacAddress> bytes =
        mac.match(text).hasMatch() ? MacFromText(text) : std::nullopt;
    if (!bytes)
        throw Refusal{Named(option, u"'%1' is no MAC address (six hex bytes)"_s.arg(text))};
    return *bytes;
}

MacAddress OwnMac(const QString &text)
{
    if (NormalizeOwnMac(text).isEmpty())
        throw Refusal{Named(u"own-mac"_s, u"'%1' is no MAC address (six hex bytes)"_s.arg(text))};
    const std::optional<MacAddress> mac = OwnMacFromText(text);
    // A probe from a multicast source would be no card's own frame.
    if (!mac)
        throw Refusal{Named(u"own-mac"_s, u"'%1' is a group address, no card's own"_s.arg(text))};
    return *mac;
}

TestFlags Tests(const QString &text)
{
    TestFlags tests{};
    for (const QString &name : text.split(u',')) {
        int found = -1;
        for (int i = 0; i < TestCount; ++i) {
            const TestAddress &test = TestAddresses[size_t(i)];
            if (name.compare(QString::fromUtf16(test.shortName), Qt::CaseInsensitive) == 0 ||
                name.compare(QString::fromUtf16(test.label), Qt::CaseInsensitive) == 0)
                found = i;
        }
        if (found < 0)
            throw Refusal{Named(u"tests"_s, u"'%1' is no test address name"_s.arg(name))};
        tests[size_t(found)] = true;
    }
    return tests;
}

QString NotEthernet(const QString &name)
{
    return u"'%1' is no Ethernet interface; probes are Ethernet frames"_s.arg(name);
}

NetworkAdapter Adapter(const QString &name, const NetworkAdapters &adapters)
{
    for (const NetworkAdapter &adapter : adapters) {
        if (adapter.name != name)
            continue;
        if (!adapter.ethernet)
            throw Refusal{Named(u"interface"_s, NotEthernet(name))};
        return adapter;
    }
    throw Refusal{Named(u"interface"_s, u"no interface '%1' with an IPv4 address"_s.arg(name))};
}

void ReadStoredSettings(const QString &path, Settings &settings, const NetworkAdapters &adapters)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        throw Refusal{Named(u"settings"_s, u"cannot read '%1'"_s.arg(path))};
    const SettingsRead read = ReadSettingsFile(settings, path, adapters);
    if (read.malformed || read.found == 0)
        throw Refusal{Named(u"settings"_s, u"'%1' holds no Keelwatch settings"_s.arg(path))};
    // A value that cannot be read keeps the sensor's own and is named, as the
    // desktop program names it.
    if (!read.damagedKeys.isEmpty())
        std::fprintf(stderr, "keelwatch-sensor: %s: unreadable values kept their defaults: %s\n",
                     qPrintable(path), qPrintable(read.damagedKeys.join(u", "_s)));
    // The own MAC all installations once shared is none of this one's.
    if (!read.ownMacKept)
        settings.ownMac.reset();
}

// The sensor's values where the desktop program's first run would differ:
// no log file and no syslog unless asked for, every node probed each cycle,
// and no own MAC: without one given, the installation's kept one serves.
Settings SensorDefaults()
{
    Settings s;
    s.ownMac.reset();
    s.listMode = false;
    s.logPath.clear();
    s.command.clear();
    return s;
}

// The values a scan cannot start without, from the command line or else the
// settings file: each refusal names the option, or the key and the file.
void CheckScanValues(const QCommandLineParser &parser, Settings &s)
{
    const bool fromFile = parser.isSet(u"settings"_s);
    const QString path = parser.value(u"settings"_s);
    const auto refuse = [&](const QString &option, const QString &key, const QString &why) {
        throw Refusal{parser.isSet(option) || !fromFile ? Named(option, why)
                                                        : FromFile(path, key, why)};
    };

    if (s.adapter.name.isEmpty())
        refuse(u"interface"_s, StoredAdapterKey(),
               fromFile ? u"the stored interface is not here; name one with --interface"_s
                        : u"an interface is needed"_s);
    if (!s.adapter.ethernet)
        refuse(u"interface"_s, StoredAdapterKey(), NotEthernet(s.adapter.name));
    if (!s.ownIp)
        refuse(u"interface"_s, StoredKeyOf(&Settings::ownIp), u"no own IPv4 address"_s);

    for (const auto &[member, key] : {std::pair{&Settings::from, StoredKeyOf(&Settings::from)},
                                      std::pair{&Settings::to, StoredKeyOf(&Settings::to)}}) {
        const QString &text = s.*member;
        if (text.isEmpty())
            refuse(u"range"_s, key, u"a range is needed"_s);
        if (!IpFromText(text))
            refuse(u"range"_s, key, u"'%1' is no IPv4 address"_s.arg(text));
    }
    const std::optional<IpRange> range = s.Range();
    if (!range)
        refuse(u"range"_s, StoredKeyOf(&Settings::to), u"the range ends before it starts"_s);
    if (range->Count() > LargestPlainRange && !parser.isSet(u"allow-large-range"_s))
        refuse(u"range"_s, StoredKeyOf(&Settings::to),
               u"%1 addresses are more than a /16; give --allow-large-range to sweep them"_s.arg(
                   range->Count()));

    for (const auto &[column, option, member] :
         {std::tuple{Sp1Column, u"s1"_s, &Settings::sp1Mac},
          std::tuple{Sp2Column, u"s2"_s, &Settings::sp2Mac}}) {
        if (s.TestEnabled(column) && !(s.*member))
            refuse(option, StoredKeyOf(member), u"the test needs its destination address"_s);
    }

    if (s.syslog && (!s.syslogServer || s.syslogServer->ToIpv4() == 0))
        refuse(u"syslog"_s, StoredKeyOf(&Settings::syslogServer), u"no server address"_s);
    if ((!s.syslogCaFile.isEmpty() || !s.syslogCertFile.isEmpty()) &&
        s.syslogTransport != SyslogTransport::Tls)
        refuse(u"syslog-transport"_s, StoredKeyOf(&Settings::syslogTransport),
               u"certificates are for tls only"_s);
}

SensorOptions Options(const QCommandLineParser &parser, const NetworkAdapters &adapters)
{
    SensorOptions options;
    Settings &s = options.settings;
    s = SensorDefaults();
    if (parser.isSet(u"settings"_s))
        ReadStoredSettings(parser.value(u"settings"_s), s, adapters);

    if (parser.isSet(u"interface"_s)) {
        s.adapter = Adapter(parser.value(u"interface"_s), adapters);
        s.ownIp = s.adapter.address;
    }
    if (parser.isSet(u"range"_s))
        std::tie(s.from, s.to) = Range(parser.value(u"range"_s));

    if (parser.isSet(u"tests"_s))
        s.tests = Tests(parser.value(u"tests"_s));
    // Br finds the nodes that the other tests are judged against.
    s.tests[size_t(TestIndex(u"Br"))] = true;
    if (parser.isSet(u"s1"_s))
        s.sp1Mac = TestMac(u"s1"_s, parser.value(u"s1"_s));
    if (parser.isSet(u"s2"_s))
        s.sp2Mac = TestMac(u"s2"_s, parser.value(u"s2"_s));
    if (parser.isSet(u"own-mac"_s))
        s.ownMac = OwnMac(parser.value(u"own-mac"_s));

    if (parser.isSet(u"list-mode"_s))
        s.listMode = true;
    if (parser.isSet(u"interval"_s))
        s.scanTimerSeconds = Bounded(u"interval"_s, parser.value(u"interval"_s), ScanTimerRule);
    if (parser.isSet(u"node-timer"_s))
        s.nodeTimerMs = Bounded(u"node-timer"_s, parser.value(u"node-timer"_s), NodeTimerRule);
    if (parser.isSet(u"send-rate"_s))
        s.sendRate = Bounded(u"send-rate"_s, parser.value(u"send-rate"_s), SendRateRule);
    if (parser.isSet(u"packets"_s))
        s.packetCount = Bounded(u"packets"_s, parser.value(u"packets"_s), PacketCountRule);
    if (parser.isSet(u"frame"_s)) {
        const QString frame = parser.value(u"frame"_s);
        if (frame == u"ethernet"_s)
            s.format = FrameFormat::Ethernet2;
        else if (frame == u"ieee802.3"_s)
            s.format = FrameFormat::Ieee8023;
        else
            throw Refusal{
                Named(u"frame"_s, u"'%1' is neither ethernet nor ieee802.3"_s.arg(frame))};
    }
    if (parser.isSet(u"probe-sender-ip"_s))
        s.probeSenderIp = Word(u"probe-sender-ip"_s, parser.value(u"probe-sender-ip"_s),
                               &ProbeSenderIpNamed, u"neither zero nor own"_s);

    if (parser.isSet(u"log"_s)) {
        const QString path = parser.value(u"log"_s);
        const QFileInfo info(path);
        if (path.isEmpty() || info.isDir() || !info.absoluteDir().exists())
            throw Refusal{Named(u"log"_s, u"'%1' is no file in an existing folder"_s.arg(path))};
        s.logPath = info.absoluteFilePath();
    }
    if (parser.isSet(u"syslog"_s)) {
        const QString server = parser.value(u"syslog"_s);
        if (Address(u"syslog"_s, server) == 0)
            throw Refusal{Named(u"syslog"_s, u"0.0.0.0 is no server"_s)};
        s.syslog = true;
        s.syslogServer = IpFromText(server);
    }
    if (parser.isSet(u"syslog-format"_s)) {
        const QString format = parser.value(u"syslog-format"_s).toLower();
        if (format == u"rfc3164"_s || format == u"3164"_s)
            s.syslogRfc5424 = false;
        else if (format == u"rfc5424"_s || format == u"5424"_s)
            s.syslogRfc5424 = true;
        else
            throw Refusal{
                Named(u"syslog-format"_s, u"'%1' is neither rfc3164 nor rfc5424"_s.arg(format))};
    }
    if (parser.isSet(u"syslog-transport"_s))
        s.syslogTransport = Word(u"syslog-transport"_s, parser.value(u"syslog-transport"_s),
                                 &SyslogTransportNamed, u"none of udp, tcp and tls"_s);
    for (const auto &[option, file] : {std::pair{u"syslog-ca"_s, &s.syslogCaFile},
                                       std::pair{u"syslog-cert"_s, &s.syslogCertFile}}) {
        if (!parser.isSet(option))
            continue;
        const QFileInfo info(parser.value(option));
        if (!info.isFile() || !info.isReadable())
            throw Refusal{Named(option, u"'%1' is no readable file"_s.arg(parser.value(option)))};
        *file = info.absoluteFilePath();
    }
    if (parser.isSet(u"syslog-spool-size"_s))
        s.syslogSpoolKib =
            Bounded(u"syslog-spool-size"_s, parser.value(u"syslog-spool-size"_s), SyslogSpoolRule);
    if (parser.isSet(u"syslog-max-size"_s))
        s.syslogMaxBytes =
            Bounded(u"syslog-max-size"_s, parser.value(u"syslog-max-size"_s), SyslogMessageRule);
    CheckScanValues(parser, s);

    options.json = parser.isSet(u"json"_s);
    options.once = parser.isSet(u"once"_s);
    // A sensor monitors unless it is asked for one sweep.
    s.cyclic = !options.once;
    return options;
}

// "1 to 60 (default 5)": the limits the options are checked against.
QString Limits(const NumberRule &rule, int byDefault)
{
    return u"%1 to %2 (default %3)"_s.arg(rule.low).arg(rule.high).arg(byDefault);
}

} // namespace

SensorCommand ParseSensorCommand(const QStringList &arguments, const NetworkAdapters &adapters)
{
    const Settings defaults = SensorDefaults();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Watches one Ethernet segment for hosts whose card is in promiscuous mode."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Print the options and exit."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Print the version and exit."_s);
    parser.addOptions({
        help,
        version,
        {{u"i"_s, u"interface"_s}, u"The network interface to scan on."_s, u"name"_s},
        {{u"r"_s, u"range"_s},
         u"The addresses to probe: FROM-TO or a CIDR block, at most a /16 (65536 addresses)."_s,
         u"range"_s},
        {u"allow-large-range"_s, u"Sweep a range larger than a /16 all the same."_s},
        {{u"t"_s, u"tests"_s},
         u"Test addresses, by name, comma-separated: Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2 "
         u"(default Br,B47,B16,B8,Gr; Br is always probed)."_s,
         u"list"_s},
        {u"s1"_s, u"Destination address of the test S1."_s, u"mac"_s},
        {u"s2"_s, u"Destination address of the test S2."_s, u"mac"_s},
        {u"own-mac"_s,
         u"Base of the probes' source addresses, no group address (default: one drawn "
         u"for this installation and kept as Quillstone/keelwatch/own-mac in $XDG_DATA_HOME)."_s,
         u"mac"_s},
        {{u"l"_s, u"list-mode"_s}, u"List Mode: find the nodes first, then probe only those."_s},
        {u"interval"_s,
         u"Scan Timer: seconds to wait after each sweep, %1."_s.arg(
             Limits(ScanTimerRule, defaults.scanTimerSeconds)),
         u"seconds"_s},
        {u"node-timer"_s,
         u"Pause after each address, %1."_s.arg(Limits(NodeTimerRule, defaults.nodeTimerMs)),
         u"milliseconds"_s},
        {u"send-rate"_s,
         u"Frames per second, one address after another, %1; 0 paces by --node-timer "
         u"instead."_s.arg(Limits(SendRateRule, defaults.sendRate)),
         u"frames"_s},
        {u"packets"_s,
         u"Times each probe is sent, %1."_s.arg(Limits(PacketCountRule, defaults.packetCount)),
         u"number"_s},
        {u"frame"_s, u"Frame format of the probes: ethernet or ieee802.3."_s, u"format"_s},
        {u"probe-sender-ip"_s,
         u"ARP sender address of the probes: zero (default), 0.0.0.0, asks as an address probe "
         u"and leaves the hosts' neighbour caches alone; own, the interface's address, is for "
         u"stacks that do not answer address probes: it rewrites each probed host's entry for "
         u"this machine, which every sweep's end repairs."_s,
         u"sender"_s},
        {u"log"_s, u"The event log file."_s, u"file"_s},
        {u"syslog"_s, u"Forward events to this IPv4 address: UDP or TCP port 514, TLS port 6514."_s,
         u"address"_s},
        {u"syslog-format"_s, u"rfc3164 (default) or rfc5424."_s, u"format"_s},
        {u"syslog-transport"_s,
         u"udp (default), tcp (RFC 6587 octet counting) or tls (RFC 5425). TCP and TLS keep "
         u"what the server has not taken in a spool and deliver it when it answers again."_s,
         u"transport"_s},
        {u"syslog-ca"_s,
         u"TLS: PEM file of the authorities the server's certificate must chain "
         u"to (default: the system's)."_s,
         u"file"_s},
        {u"syslog-cert"_s, u"TLS: PEM file with a client certificate and its private key."_s,
         u"file"_s},
        {u"syslog-spool-size"_s,
         u"TCP and TLS: KiB of waiting messages kept, %1; past it the oldest are dropped and "
         u"counted."_s.arg(Limits(SyslogSpoolRule, defaults.syslogSpoolKib)),
         u"kib"_s},
        {u"syslog-max-size"_s,
         u"RFC 5424: longest message in bytes, %1; longer comments and vendor names are "
         u"shortened."_s.arg(Limits(SyslogMessageRule, defaults.syslogMaxBytes)),
         u"bytes"_s},
        {u"settings"_s,
         u"Take every setting from this settings file of the desktop program; options "
         u"given as well take precedence."_s,
         u"file"_s},
        {u"json"_s, u"Write one JSON object per event to standard output."_s},
        {u"once"_s, u"Sweep once and exit: 0 when no node is confirmed (without confirmation: a "
                    u"suspect), 1 when some are, 2 on an error or an interrupted sweep."_s},
    });

    SensorCommand command;
    if (!parser.parse(arguments)) {
        command.text = parser.errorText();
        return command;
    }
    if (parser.isSet(help)) {
        command.action = SensorCommand::Action::Help;
        command.text = parser.helpText();
        return command;
    }
    if (parser.isSet(version)) {
        command.action = SensorCommand::Action::Version;
        command.text = u"keelwatch-sensor "_s + QCoreApplication::applicationVersion();
        return command;
    }
    if (!parser.positionalArguments().isEmpty()) {
        command.text = u"unexpected argument '%1'"_s.arg(parser.positionalArguments().first());
        return command;
    }
    try {
        command.options = Options(parser, adapters);
        command.action = SensorCommand::Action::Run;
    } catch (const Refusal &refusal) {
        command.text = refusal.text;
    }
    return command;
}

} // namespace keelwatch
