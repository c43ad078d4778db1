#pragma once

#include "config/netaddress.h"
#include "config/testaddresses.h"

#include <QList>
#include <QString>

#include <optional>

namespace keelwatch {

enum class FrameFormat { Ethernet2, Ieee8023 };
enum class SyslogTransport { Udp, Tcp, Tls };
// The ARP sender protocol address of every probe. Zero: address probes
// (0.0.0.0 as sender), which leave the hosts' neighbour caches alone. Own:
// the own IP, for stacks that do not answer address probes; the sweep then
// repairs the entries it rewrote.
enum class ProbeSenderIp { Zero, Own };

// The transport named by text ("udp", "tcp", "tls", any case, blanks
// around it), nothing for any other text.
std::optional<SyslogTransport> SyslogTransportNamed(QStringView text);
// The word a transport is stored and named by: "udp", "tcp" or "tls".
QString SyslogTransportWord(SyslogTransport transport);
// The same for the probes' sender address: "zero" or "own".
std::optional<ProbeSenderIp> ProbeSenderIpNamed(QStringView text);
QString ProbeSenderIpWord(ProbeSenderIp senderIp);

// A network interface that has an IPv4 address, as adapter discovery finds
// it. The name is what the capture opens.
struct NetworkAdapter
{
    QString name;
    IpAddress address;
    // Only Ethernet cards answer ARP probes with Ethernet frames.
    bool ethernet = true;

    bool operator==(const NetworkAdapter &) const = default;
    // "10.77.0.1 : kw-scan": how the Setup dialog lists it and the store
    // keeps it.
    QString ItemText() const;
};
using NetworkAdapters = QList<NetworkAdapter>;

// The first and last address of a scan, first <= last.
struct IpRange
{
    IpAddress first;
    IpAddress last;
    quint64 Count() const { return quint64(last.ToIpv4()) - first.ToIpv4() + 1; }
    bool operator==(const IpRange &) const = default;
};

// More addresses than a /16 take hours to days to sweep; such a range is
// scanned only when the user confirms it.
inline constexpr quint64 LargestPlainRange = 65536;

// Every setting of the program: the Setup dialog's values and the main
// window's From, To, "Auto Scroll" and "Beep". Values are parsed and forced
// into range once, where they enter (the store, the Setup dialog, the
// sensor's command line); From and To stay as the user typed them. The
// initialisers are the first-run values. A stored setting also needs its
// entry in the settings store's table.
struct Settings
{
    // Main window
    QString from;
    QString to;
    bool autoScroll = true;
    bool beep = false;

    // Own PC. An adapter with an empty name is none.
    NetworkAdapter adapter;
    std::optional<IpAddress> ownIp;
    // Its last hex digit is 0; none when the field holds no usable address.
    std::optional<MacAddress> ownMac = DefaultOwnMac();

    // Scan options
    TestFlags tests = DefaultTestFlags();
    std::optional<MacAddress> sp1Mac;
    std::optional<MacAddress> sp2Mac;
    FrameFormat format = FrameFormat::Ethernet2;
    ProbeSenderIp probeSenderIp = ProbeSenderIp::Zero;
    bool listMode = true;
    bool cyclic = true;
    // Suspects get confirmation probes; only confirmed ones raise alerts.
    bool confirmSuspects = true;
    int scanTimerSeconds = 5;
    int packetCount = 3;
    int nodeTimerMs = 500;
    // Frames per second of a rate-paced sweep; 0 (also for a store written
    // before pacing existed) paces by the Node Timer instead.
    int sendRate = 2000;

    // Log. Both delimiter choices may be off (a damaged store): a comma then.
    QString logPath = QStringLiteral("keelwatch.log");
    bool tabDelimiter = true;
    bool commaDelimiter = false;
    bool syslog = false;
    std::optional<IpAddress> syslogServer;
    // RFC 5424 with the event's fields as structured data instead of the BSD
    // form (RFC 3164) existing collectors expect.
    bool syslogRfc5424 = false;
    // Udp: the datagrams collectors have always taken; Tcp: octet counted
    // (RFC 6587); Tls: RFC 5425.
    SyslogTransport syslogTransport = SyslogTransport::Udp;
    // PEM files for TLS: the authorities the server's certificate must chain
    // to (empty: the system's), and an optional client certificate with its
    // private key in the same file.
    QString syslogCaFile;
    QString syslogCertFile;
    // KiB of undelivered TCP/TLS messages kept on disk while the server is away.
    int syslogSpoolKib = 1024;
    // Longest RFC 5424 message in bytes; 2048 is what every receiver takes.
    int syslogMaxBytes = 2048;

    // External command and columns
    QString command;
    bool showAll = false;

    // The main window's place and size (QWidget::saveGeometry in base64);
    // empty until the first exit.
    QString windowGeometry;

    bool operator==(const Settings &) const = default;

    // The own MAC earlier versions gave every installation alike; a store
    // that holds it gets one drawn for the installation instead.
    static constexpr MacAddress DefaultOwnMac() { return {{0x00, 0x11, 0x22, 0x33, 0x44, 0x50}}; }
    // An own MAC for one installation: locally administered, unicast, its
    // last hex digit 0, the rest random, so that two instances on one
    // segment probe from different source addresses.
    static MacAddress DrawOwnMac();

    // Whether the test address of a result column (2 to 11) is switched on.
    bool TestEnabled(int column) const;
    // Destination of the test address of a result column: the fixed
    // address, or SP1/SP2 as set.
    std::optional<MacAddress> TestDestination(int column) const;
    // From and To read as addresses; nothing when either is no address or
    // To is below From.
    std::optional<IpRange> Range() const;
    // How long one sweep of the range with every switched-on test takes:
    // addresses x frames / rate, or addresses x Node Timer. Nothing without
    // a range.
    std::optional<double> EstimatedSweepSeconds() const;
    qint64 SyslogSpoolBytes() const { return qint64(syslogSpoolKib) * 1024; }
    QChar Delimiter() const { return tabDelimiter ? QChar(u'\t') : QChar(u','); }
};

// The live settings, read where a value is needed: the settings model in the
// program, a fixed value in tests. Read on the main thread; workers get a
// copy taken at Start.
class LiveSettings
{
  public:
    virtual ~LiveSettings() = default;
    virtual Settings Read() const = 0;
};

class FixedSettings : public LiveSettings
{
  public:
    FixedSettings() = default;
    explicit FixedSettings(Settings s) : values(std::move(s)) {}
    Settings Read() const override { return values; }
    Settings values;
};

} // namespace keelwatch
